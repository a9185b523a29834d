#pragma once
// The signatures of one hash kind in one table: fixed-size rows sorted by
// digest, found by binary search. Rows gather in a block list while a load
// adds them (no reallocation that briefly doubles millions of rows), then move
// into one exactly sized array, a block at a time. Pure: no system calls.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <limits>
#include <vector>

#include "substitute/signature/NamePool.h"

namespace Substitute {

template <std::size_t DigestSize>
class DigestIndex {
public:
    // Sizes are kept in 32 bits (the parser refuses larger ones).
    static constexpr std::uint32_t kAnySize = std::numeric_limits<std::uint32_t>::max();

    struct Row {
        std::uint8_t digest[DigestSize];
        NameRef name;
        std::uint32_t record; // record number, or 0 for allow-list rows
        std::uint32_t size;   // kAnySize for "*"
    };

    void Add(const std::uint8_t* digest, std::uint32_t size, NameRef name, std::uint32_t record)
    {
        Row row;
        std::memcpy(row.digest, digest, DigestSize);
        row.name = name;
        row.record = record;
        row.size = size;
        pending_.push_back(row);
    }
    std::size_t Pending() const { return pending_.size(); }
    void Truncate(std::size_t count) { pending_.resize(std::min(count, pending_.size())); }

    // keepSizes: remember which sizes occur, for Needs.
    void Finish(bool keepSizes)
    {
        rows_.reserve(pending_.size());
        while (!pending_.empty()) {
            rows_.push_back(pending_.front());
            pending_.pop_front();
        }
        std::deque<Row>().swap(pending_);
        SortRows();
        if (!keepSizes)
            return;
        for (const Row& row : rows_) {
            if (row.size == kAnySize)
                anySize_ = true;
            else
                sizes_.push_back(row.size);
        }
        std::sort(sizes_.begin(), sizes_.end());
        sizes_.erase(std::unique(sizes_.begin(), sizes_.end()), sizes_.end());
        sizes_.shrink_to_fit();
    }

    bool Needs(std::uint64_t size) const { return anySize_ || std::binary_search(sizes_.begin(), sizes_.end(), size); }
    bool Empty() const { return rows_.empty(); }
    std::size_t Count() const { return rows_.size(); }

    // The row that answers for this digest and size among those accept(row)
    // lets through: where several list the same hash, one with the exact size
    // wins over "*", and among equals the one loaded last (a later database
    // overrides an earlier one). nullptr when none fits.
    template <typename Accept>
    const Row* Find(const std::uint8_t* digest, std::uint64_t size, Accept&& accept) const
    {
        auto at = std::lower_bound(rows_.begin(), rows_.end(), digest, [](const Row& row, const std::uint8_t* key) {
            return std::memcmp(row.digest, key, DigestSize) < 0;
        });
        const Row* exact = nullptr;
        const Row* any = nullptr;
        for (; at != rows_.end() && std::memcmp(at->digest, digest, DigestSize) == 0; ++at) {
            if (at->size != kAnySize && at->size == size && accept(*at))
                exact = &*at;
            else if (at->size == kAnySize && accept(*at))
                any = &*at;
        }
        return exact != nullptr ? exact : any;
    }

private:
    // Byte order of digests, a word at a time (a library memcmp call per
    // comparison costs more than the sort's own work).
    static std::uint32_t Word(const std::uint8_t* at)
    {
        return static_cast<std::uint32_t>(at[0]) << 24 | static_cast<std::uint32_t>(at[1]) << 16 |
               static_cast<std::uint32_t>(at[2]) << 8 | at[3];
    }
    static bool Before(const Row& a, const Row& b)
    {
        for (std::size_t i = 0; i < DigestSize; i += 4) {
            const std::uint32_t left = Word(a.digest + i), right = Word(b.digest + i);
            if (left != right)
                return left < right;
        }
        return a.record < b.record;
    }

    // Digests are evenly spread: the rows are first dealt in place into 256
    // buckets by their first byte, then each bucket, small enough to stay in
    // the cache, is sorted on its own.
    void SortRows()
    {
        std::size_t begin[257] = {};
        for (const Row& row : rows_)
            ++begin[row.digest[0] + 1];
        for (std::size_t bucket = 1; bucket <= 256; ++bucket)
            begin[bucket] += begin[bucket - 1];
        std::size_t next[256];
        std::copy(begin, begin + 256, next);
        for (std::size_t bucket = 0; bucket < 256; ++bucket) {
            while (next[bucket] < begin[bucket + 1]) {
                Row& row = rows_[next[bucket]];
                const std::size_t home = row.digest[0];
                if (home == bucket)
                    ++next[bucket];
                else
                    std::swap(row, rows_[next[home]++]);
            }
        }
        for (std::size_t bucket = 0; bucket < 256; ++bucket)
            std::sort(rows_.begin() + begin[bucket], rows_.begin() + begin[bucket + 1], Before);
    }

    std::deque<Row> pending_;
    std::vector<Row> rows_;
    std::vector<std::uint32_t> sizes_;
    bool anySize_ = false;
};

} // namespace Substitute
