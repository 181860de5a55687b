#include "ui/common/f_KeySort.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace {

constexpr size_t kSmallRun = 48;     // shorter runs: a plain stable sort
constexpr size_t kFewValues = 256;   // at most this many distinct keys: one counting pass
constexpr size_t kSlots = 1024;      // hash slots for the distinct keys (a power of two)

bool KeyLess(const TSortEntry& a, const TSortEntry& b) { return a.key < b.key; }

size_t SlotOf(uint64_t key) { return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> 54) & (kSlots - 1); }

// One stable pass over ranks when the keys take few values; false (nothing moved) otherwise.
bool CountingSort(TSortEntry* first, size_t n, std::vector<TSortEntry>& spare) {
    std::array<uint64_t, kSlots> keys{};
    std::array<int16_t, kSlots> slotRank;
    slotRank.fill(-1);
    std::vector<uint64_t> distinct;
    distinct.reserve(kFewValues);
    std::vector<uint16_t> slotOfEntry(n);
    for (size_t i = 0; i < n; ++i) {
        const uint64_t key = first[i].key;
        size_t slot = SlotOf(key);
        while (slotRank[slot] >= 0 && keys[slot] != key) slot = (slot + 1) & (kSlots - 1);
        if (slotRank[slot] < 0) {
            if (distinct.size() == kFewValues) return false;
            keys[slot] = key;
            slotRank[slot] = 0;
            distinct.push_back(key);
        }
        slotOfEntry[i] = static_cast<uint16_t>(slot);
    }
    std::sort(distinct.begin(), distinct.end());
    for (size_t rank = 0; rank < distinct.size(); ++rank) {
        size_t slot = SlotOf(distinct[rank]);
        while (keys[slot] != distinct[rank]) slot = (slot + 1) & (kSlots - 1);
        slotRank[slot] = static_cast<int16_t>(rank);
    }
    std::array<size_t, kFewValues + 1> start{};
    for (size_t i = 0; i < n; ++i) ++start[static_cast<size_t>(slotRank[slotOfEntry[i]]) + 1];
    for (size_t r = 1; r <= kFewValues; ++r) start[r] += start[r - 1];
    spare.resize(n);
    for (size_t i = 0; i < n; ++i) spare[start[static_cast<size_t>(slotRank[slotOfEntry[i]])]++] = first[i];
    std::copy(spare.begin(), spare.begin() + static_cast<std::ptrdiff_t>(n), first);
    return true;
}

// Least significant byte first, skipping the bytes in which all keys agree.
void RadixSort(TSortEntry* first, size_t n, std::vector<TSortEntry>& spare) {
    std::array<std::array<size_t, 256>, 8> counts{};
    uint64_t any = 0, all = ~uint64_t{0};
    for (size_t i = 0; i < n; ++i) {
        const uint64_t key = first[i].key;
        any |= key;
        all &= key;
        for (int b = 0; b < 8; ++b) ++counts[static_cast<size_t>(b)][(key >> (8 * b)) & 0xFF];
    }
    const uint64_t varying = any ^ all;
    spare.resize(n);
    TSortEntry* from = first;
    TSortEntry* to = spare.data();
    for (int b = 0; b < 8; ++b) {
        if (((varying >> (8 * b)) & 0xFF) == 0) continue;
        std::array<size_t, 256> next;
        size_t sum = 0;
        for (size_t v = 0; v < 256; ++v) {
            next[v] = sum;
            sum += counts[static_cast<size_t>(b)][v];
        }
        for (size_t i = 0; i < n; ++i) to[next[(from[i].key >> (8 * b)) & 0xFF]++] = from[i];
        std::swap(from, to);
    }
    if (from != first) std::copy(from, from + n, first);
}

void SortSpan(TSortEntry* first, size_t n, std::vector<TSortEntry>& spare) {
    if (n < 2) return;
    if (n < kSmallRun) {
        std::stable_sort(first, first + n, KeyLess);
        return;
    }
    if (!CountingSort(first, n, spare)) RadixSort(first, n, spare);
}

// Bytes [8 * depth, 8 * depth + 8) of the folded text, most significant first, zeros past its end.
uint64_t TextChunk(std::string_view text, size_t depth, bool descending) {
    uint64_t key = 0;
    const size_t from = 8 * depth;
    for (size_t i = 0; i < 8; ++i) {
        unsigned char c = from + i < text.size() ? static_cast<unsigned char>(text[from + i]) : 0;
        if (c >= 'a' && c <= 'z') c = static_cast<unsigned char>(c - 'a' + 'A');
        key = (key << 8) | c;
    }
    return descending ? ~key : key;
}

struct TextSorter {
    const std::function<std::string_view(uint32_t)>& textOf;
    bool descending;
    std::vector<TSortEntry> spare;

    // Entries carry the chunk of their text at this depth.
    void Sort(TSortEntry* first, size_t n, size_t depth) {
        SortSpan(first, n, spare);
        for (size_t i = 0; i < n;) {
            size_t j = i + 1;
            while (j < n && first[j].key == first[i].key) ++j;
            if (j - i > 1) ResolveTies(first + i, j - i, depth);
            i = j;
        }
    }

    void ResolveTies(TSortEntry* first, size_t n, size_t depth) {
        const size_t seen = 8 * (depth + 1);
        bool longer = false;
        for (size_t i = 0; i < n && !longer; ++i) longer = textOf(first[i].row).size() > seen;
        if (longer) {
            for (size_t i = 0; i < n; ++i) first[i].key = TextChunk(textOf(first[i].row), depth + 1, descending);
            Sort(first, n, depth + 1);
            return;
        }
        // The same bytes so far and none goes on: only trailing zero bytes can tell them apart.
        std::stable_sort(first, first + n, [this](const TSortEntry& a, const TSortEntry& b) {
            const size_t la = textOf(a.row).size(), lb = textOf(b.row).size();
            return descending ? la > lb : la < lb;
        });
    }
};

void WriteBack(const std::vector<TSortEntry>& entries, std::vector<uint32_t>& rows) {
    for (size_t i = 0; i < entries.size(); ++i) rows[i] = entries[i].row;
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

void StableSortByText(std::vector<uint32_t>& rows, const std::function<std::string_view(uint32_t row)>& textOf,
                      bool descending) {
    std::vector<TSortEntry> entries(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) entries[i] = {TextChunk(textOf(rows[i]), 0, descending), rows[i]};
    TextSorter sorter{textOf, descending, {}};
    sorter.Sort(entries.data(), entries.size(), 0);
    WriteBack(entries, rows);
}

void StableSortByNumber(std::vector<uint32_t>& rows, const std::function<uint64_t(uint32_t row)>& keyOf,
                        bool descending) {
    std::vector<TSortEntry> entries(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        const uint64_t key = keyOf(rows[i]);
        entries[i] = {descending ? ~key : key, rows[i]};
    }
    std::vector<TSortEntry> spare;
    SortSpan(entries.data(), entries.size(), spare);
    WriteBack(entries, rows);
}
