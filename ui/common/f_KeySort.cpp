#include "ui/common/f_KeySort.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace vantrel {

namespace {

constexpr size_t kSmallRun = 48;     // shorter runs: a plain stable sort
constexpr size_t kFewValues = 256;   // at most this many distinct keys: one counting pass
constexpr size_t kSlots = 1024;      // hash slots for the distinct keys (a power of two)

bool KeyLess(const TSortEntry& a, const TSortEntry& b) { return a.key < b.key; }

size_t SlotOf(uint64_t hash) { return static_cast<size_t>((hash * 0x9E3779B97F4A7C15ull) >> 54) & (kSlots - 1); }

// The rank of each of n keys among the distinct keys, when there are at most kFewValues of
// them; false otherwise (rank is then of no use).
template <class KeyAt>
bool RankFewKeys(size_t n, KeyAt keyAt, std::vector<uint16_t>& rank, size_t& values) {
    std::array<uint64_t, kSlots> keys{};
    std::array<int16_t, kSlots> slotRank;
    slotRank.fill(-1);
    std::vector<uint64_t> distinct;
    distinct.reserve(kFewValues);
    rank.resize(n);
    for (size_t i = 0; i < n; ++i) {
        const uint64_t key = keyAt(i);
        size_t slot = SlotOf(key);
        while (slotRank[slot] >= 0 && keys[slot] != key) slot = (slot + 1) & (kSlots - 1);
        if (slotRank[slot] < 0) {
            if (distinct.size() == kFewValues) return false;
            keys[slot] = key;
            slotRank[slot] = 0;
            distinct.push_back(key);
        }
        rank[i] = static_cast<uint16_t>(slot);
    }
    std::sort(distinct.begin(), distinct.end());
    for (size_t r = 0; r < distinct.size(); ++r) {
        size_t slot = SlotOf(distinct[r]);
        while (keys[slot] != distinct[r]) slot = (slot + 1) & (kSlots - 1);
        slotRank[slot] = static_cast<int16_t>(r);
    }
    for (uint16_t& r : rank) r = static_cast<uint16_t>(slotRank[r]);
    values = distinct.size();
    return true;
}

// One stable counting pass over ranks.
template <class T, class RankOf>
void CountingPass(const T* from, T* to, size_t n, size_t values, RankOf rankOf) {
    std::vector<size_t> start(values + 1, 0);
    for (size_t i = 0; i < n; ++i) ++start[rankOf(from[i]) + 1];
    for (size_t r = 1; r <= values; ++r) start[r] += start[r - 1];
    for (size_t i = 0; i < n; ++i) to[start[rankOf(from[i])]++] = from[i];
}

bool CountingSort(TSortEntry* first, size_t n, std::vector<TSortEntry>& spare) {
    std::vector<uint16_t> rank;
    size_t values = 0;
    if (!RankFewKeys(n, [first](size_t i) { return first[i].key; }, rank, values)) return false;
    if (values == 1) return true;
    // Ranks are by position: the pass moves positions, which then fetch their entries.
    std::vector<uint32_t> positions(n);
    std::vector<uint32_t> moved(n);
    for (size_t i = 0; i < n; ++i) positions[i] = static_cast<uint32_t>(i);
    CountingPass(positions.data(), moved.data(), n, values, [&rank](uint32_t i) { return size_t{rank[i]}; });
    spare.resize(n);
    for (size_t i = 0; i < n; ++i) spare[i] = first[moved[i]];
    std::copy(spare.begin(), spare.begin() + static_cast<std::ptrdiff_t>(n), first);
    return true;
}

// How often each byte value occurs at each of the eight byte positions of the keys.
struct TByteCounts {
    std::array<std::array<uint32_t, 256>, 8> counts{};
    uint64_t any = 0, all = ~uint64_t{0};

    void Add(uint64_t key) {
        any |= key;
        all &= key;
        for (size_t b = 0; b < 8; ++b) ++counts[b][(key >> (8 * b)) & 0xFF];
    }
};

// Least significant byte first, skipping the bytes in which all keys agree. With rowsOut the
// last pass writes only the rows there, and the entries are left in any order.
void RadixPasses(TSortEntry* first, size_t n, std::vector<TSortEntry>& spare, const TByteCounts& counted,
                 uint32_t* rowsOut) {
    const uint64_t varying = counted.any ^ counted.all;
    int last = -1;
    for (int b = 0; b < 8; ++b)
        if ((varying >> (8 * b)) & 0xFF) last = b;
    if (last < 0) {
        if (rowsOut)
            for (size_t i = 0; i < n; ++i) rowsOut[i] = first[i].row;
        return;
    }
    spare.resize(n);
    TSortEntry* from = first;
    TSortEntry* to = spare.data();
    for (int b = 0; b <= last; ++b) {
        if (((varying >> (8 * b)) & 0xFF) == 0) continue;
        std::array<size_t, 256> next;
        size_t sum = 0;
        for (size_t v = 0; v < 256; ++v) {
            next[v] = sum;
            sum += counted.counts[static_cast<size_t>(b)][v];
        }
        const int shift = 8 * b;
        if (b == last && rowsOut) {
            for (size_t i = 0; i < n; ++i) rowsOut[next[(from[i].key >> shift) & 0xFF]++] = from[i].row;
            return;
        }
        for (size_t i = 0; i < n; ++i) to[next[(from[i].key >> shift) & 0xFF]++] = from[i];
        std::swap(from, to);
    }
    if (from != first) std::copy(from, from + n, first);
}

void RadixSort(TSortEntry* first, size_t n, std::vector<TSortEntry>& spare) {
    TByteCounts counted;
    for (size_t i = 0; i < n; ++i) counted.Add(first[i].key);
    RadixPasses(first, n, spare, counted, nullptr);
}

void SortSpan(TSortEntry* first, size_t n, std::vector<TSortEntry>& spare) {
    if (n < 2) return;
    if (n < kSmallRun) {
        std::stable_sort(first, first + n, KeyLess);
        return;
    }
    if (!CountingSort(first, n, spare)) RadixSort(first, n, spare);
}

// Puts rows into the order of their entries' ranks, stably.
void SortRowsByRank(std::vector<uint32_t>& rows, const std::vector<uint16_t>& rankOfEntry, size_t values,
                    bool descending) {
    if (values < 2) return;
    std::vector<uint32_t> sorted(rows.size());
    const size_t top = values - 1;
    if (descending)
        CountingPass(rows.data(), sorted.data(), rows.size(), values,
                     [&rankOfEntry, top](uint32_t row) { return top - rankOfEntry[row]; });
    else
        CountingPass(rows.data(), sorted.data(), rows.size(), values,
                     [&rankOfEntry](uint32_t row) { return size_t{rankOfEntry[row]}; });
    rows.swap(sorted);
}

// ---- texts --------------------------------------------------------------------------------

unsigned char Folded(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 'a' && u <= 'z' ? static_cast<unsigned char>(u - 'a' + 'A') : u;
}

// Seven folded bytes of the text from byte 7 * depth on (zeros past its end), then how many
// bytes it still has from there: 0..7 exactly, kGoesOn for more. Two texts that agree before
// byte 7 * depth compare as these keys do, and equal keys below kGoesOn mean equal texts.
constexpr uint64_t kGoesOn = 8;

// a-z to upper case in all eight bytes at once; bytes from 0x80 on stay as they are.
uint64_t FoldedWord(uint64_t bytes) {
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    const uint64_t low = bytes & (0x7F * kOnes);
    const uint64_t fromA = low + (0x80 - 'a') * kOnes;      // top bit: at least 'a'
    const uint64_t pastZ = low + (0x80 - 'z' - 1) * kOnes;  // top bit: past 'z'
    const uint64_t lower = fromA & ~pastZ & ~bytes & (0x80 * kOnes);
    return bytes ^ (lower >> 2);
}

uint64_t TextKey(std::string_view text, size_t depth) {
    const size_t from = 7 * depth;
    const size_t rest = text.size() > from ? text.size() - from : 0;
    uint64_t bytes = 0;
    if (rest > 0) std::memcpy(&bytes, text.data() + from, std::min<size_t>(rest, 7));
    // The first byte most significant, seven bytes, then the count.
    return (__builtin_bswap64(FoldedWord(bytes)) & ~uint64_t{0xFF}) | std::min<uint64_t>(rest, kGoesOn);
}

bool SameFolded(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Folded(a[i]) != Folded(b[i])) return false;
    return true;
}

// firstKey: the text's key at depth 0, which already holds its first seven bytes.
uint64_t FoldedHash(std::string_view text, uint64_t firstKey) {
    uint64_t hash = firstKey ^ text.size();
    for (size_t depth = 1; 7 * depth < text.size(); ++depth) {
        hash = (hash ^ TextKey(text, depth)) * 0xFF51AFD7ED558CCDull;
        hash ^= hash >> 29;
    }
    return hash;
}

// The distinct texts of a column, up to kFewValues of them, texts that compare equal counting
// as one.
class TextDictionary {
public:
    TextDictionary() { slotId_.fill(-1); }

    // The text's number, or false when it would be one too many.
    bool Add(std::string_view text, uint64_t firstKey, uint16_t& id) {
        const uint64_t hash = FoldedHash(text, firstKey);
        size_t slot = SlotOf(hash);
        for (; slotId_[slot] >= 0; slot = (slot + 1) & (kSlots - 1)) {
            const auto known = static_cast<size_t>(slotId_[slot]);
            if (hash_[slot] == hash && SameFolded(texts_[known], text)) {
                id = static_cast<uint16_t>(known);
                return true;
            }
        }
        if (texts_.size() == kFewValues) return false;
        id = static_cast<uint16_t>(texts_.size());
        slotId_[slot] = static_cast<int16_t>(id);
        hash_[slot] = hash;
        texts_.push_back(text);
        return true;
    }

    const std::vector<std::string_view>& Texts() const { return texts_; }

private:
    std::array<int16_t, kSlots> slotId_;
    std::array<uint64_t, kSlots> hash_{};
    std::vector<std::string_view> texts_;
};

// Sorts entries whose keys are their texts' TextKey at depth 0 (complemented when descending):
// runs of equal keys that go on are sorted by the next seven bytes, breadth first, so that a
// depth whose runs hold many of the texts takes its keys in one pass in entry order.
void SortByTextKeys(std::vector<TSortEntry>& entries, const std::vector<std::string_view>& texts, bool descending) {
    const uint64_t flip = descending ? ~uint64_t{0} : 0;
    std::vector<TSortEntry> spare;
    std::vector<std::pair<size_t, size_t>> runs{{0, entries.size()}}, next;
    std::vector<uint64_t> level;
    for (size_t depth = 0; !runs.empty(); ++depth) {
        if (depth > 0) {
            size_t waiting = 0;
            for (const auto& [start, n] : runs) waiting += n;
            const bool wholeLevel = waiting * 4 >= texts.size();
            if (wholeLevel) {
                level.resize(texts.size());
                for (size_t e = 0; e < texts.size(); ++e)
                    if (texts[e].size() > 7 * depth) level[e] = TextKey(texts[e], depth) ^ flip;
            }
            for (const auto& [start, n] : runs)
                for (TSortEntry* entry = &entries[start]; entry != &entries[start] + n; ++entry)
                    entry->key = wholeLevel ? level[entry->row] : TextKey(texts[entry->row], depth) ^ flip;
        }
        next.clear();
        for (const auto& [start, n] : runs) {
            TSortEntry* first = &entries[start];
            SortSpan(first, n, spare);
            for (size_t i = 0; i < n;) {
                size_t j = i + 1;
                while (j < n && first[j].key == first[i].key) ++j;
                if (j - i > 1 && ((first[i].key ^ flip) & 0xFF) == kGoesOn) next.emplace_back(start + i, j - i);
                i = j;
            }
        }
        runs.swap(next);
    }
}

}  // namespace

void StableSortByKey(std::vector<TSortEntry>& entries) {
    std::vector<TSortEntry> spare;
    SortSpan(entries.data(), entries.size(), spare);
}

uint64_t IntegerSortKey(int64_t value) { return static_cast<uint64_t>(value) ^ (uint64_t{1} << 63); }

uint64_t RealSortKey(double value) {
    if (value == 0) value = 0;   // -0 compares equal to 0
    const auto bits = std::bit_cast<uint64_t>(value);
    return (bits >> 63) ? ~bits : bits | (uint64_t{1} << 63);
}

void StableSortByText(std::vector<uint32_t>& rows, size_t count,
                      const std::function<std::string_view(uint32_t entry)>& textOf, bool descending) {
    // One pass over the entries: the texts, their first keys, and their numbers while the
    // column has few distinct texts.
    std::vector<std::string_view> texts(count);
    std::vector<uint64_t> firstKey(count);
    std::vector<uint16_t> id(count);
    TextDictionary dictionary;
    bool few = true;
    for (size_t e = 0; e < count; ++e) {
        const std::string_view text = textOf(static_cast<uint32_t>(e));
        texts[e] = text;
        // Long runs of one value are common (flags): the same bytes as the entry before need
        // neither a key nor a look-up.
        if (e > 0 && text == texts[e - 1]) {
            firstKey[e] = firstKey[e - 1];
            id[e] = id[e - 1];
            continue;
        }
        firstKey[e] = TextKey(text, 0);
        if (few) few = dictionary.Add(text, firstKey[e], id[e]);
    }
    if (few) {
        // The distinct texts sorted among themselves give every entry its rank; the rows then
        // take one counting pass. Distinct texts never compare equal, so the ranks are unique.
        const std::vector<std::string_view>& distinct = dictionary.Texts();
        std::vector<TSortEntry> order(distinct.size());
        for (size_t i = 0; i < distinct.size(); ++i) order[i] = {TextKey(distinct[i], 0), static_cast<uint32_t>(i)};
        SortByTextKeys(order, distinct, false);
        std::vector<uint16_t> rankOfId(distinct.size());
        for (size_t r = 0; r < order.size(); ++r) rankOfId[order[r].row] = static_cast<uint16_t>(r);
        for (uint16_t& entryId : id) entryId = rankOfId[entryId];
        SortRowsByRank(rows, id, distinct.size(), descending);
        return;
    }
    id = {};
    const uint64_t flip = descending ? ~uint64_t{0} : 0;
    std::vector<TSortEntry> entries(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) entries[i] = {firstKey[rows[i]] ^ flip, rows[i]};
    firstKey = {};
    SortByTextKeys(entries, texts, descending);
    for (size_t i = 0; i < entries.size(); ++i) rows[i] = entries[i].row;
}

void StableSortByNumber(std::vector<uint32_t>& rows, size_t count, const std::function<uint64_t(uint32_t entry)>& keyOf,
                        bool descending) {
    std::vector<uint64_t> keys(count);
    for (size_t e = 0; e < count; ++e) keys[e] = keyOf(static_cast<uint32_t>(e));
    std::vector<uint16_t> rank;
    size_t values = 0;
    if (RankFewKeys(count, [&keys](size_t e) { return keys[e]; }, rank, values)) {
        SortRowsByRank(rows, rank, values, descending);
        return;
    }
    // The last pass writes the rows themselves.
    const uint64_t flip = descending ? ~uint64_t{0} : 0;
    std::vector<TSortEntry> entries(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) entries[i] = {keys[rows[i]] ^ flip, rows[i]};
    keys = {};
    TByteCounts counted;
    for (const TSortEntry& entry : entries) counted.Add(entry.key);
    std::vector<TSortEntry> spare;
    RadixPasses(entries.data(), entries.size(), spare, counted, rows.data());
}

}  // namespace vantrel
