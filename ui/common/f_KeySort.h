// Stable sorting of a list's rows by keys extracted once, instead of comparing records n log n
// times: numbers become order-preserving 64-bit keys, texts are taken seven bytes at a time.
// The keys are read once per list entry in the entries' own order (the order their records
// were made in, so mostly the order they lie in memory), never by chasing rows in display order.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace vantrel {

struct TSortEntry {
    uint64_t key;
    uint32_t row;
};

// Stable by key: a counting sort when the keys take few values, otherwise a byte-wise radix
// sort over the bytes in which the keys differ.
void StableSortByKey(std::vector<TSortEntry>& entries);

// Order-preserving keys: a < b exactly when Key(a) < Key(b). Descending order is the
// complement of the key, which keeps equal keys equal and so keeps the sort stable.
uint64_t IntegerSortKey(int64_t value);
uint64_t RealSortKey(double value);   // -0 equals 0

// rows holds entries of a list of `count` entries in their current order; it is put into the
// order of the entries' texts compared byte-wise after folding a-z to upper case, a text that
// is a prefix of another first. Equal texts keep the order they are given in.
void StableSortByText(std::vector<uint32_t>& rows, size_t count,
                      const std::function<std::string_view(uint32_t entry)>& textOf, bool descending);
// Same, for keys that are numbers.
void StableSortByNumber(std::vector<uint32_t>& rows, size_t count,
                        const std::function<uint64_t(uint32_t entry)>& keyOf, bool descending);

}  // namespace vantrel
