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

namespace Substitute {

template <std::size_t DigestSize>
class DigestIndex {
public:
    static constexpr std::uint64_t kAnySize = std::numeric_limits<std::uint64_t>::max();

    struct Row {
        std::uint8_t digest[DigestSize];
        std::uint32_t name;   // NamePool reference
        std::uint32_t record; // record number, or 0 for allow-list rows
        std::uint64_t size;   // kAnySize for "*"
    };

    void Add(const std::uint8_t* digest, std::uint64_t size, std::uint32_t name, std::uint32_t record)
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
        std::sort(rows_.begin(), rows_.end(), [](const Row& a, const Row& b) {
            const int order = std::memcmp(a.digest, b.digest, DigestSize);
            return order != 0 ? order < 0 : a.record < b.record;
        });
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

    bool Needs(std::uint64_t size) const
    {
        return anySize_ || std::binary_search(sizes_.begin(), sizes_.end(), size);
    }
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
            if (at->size == size && accept(*at))
                exact = &*at;
            else if (at->size == kAnySize && accept(*at))
                any = &*at;
        }
        return exact != nullptr ? exact : any;
    }

private:
    std::deque<Row> pending_;
    std::vector<Row> rows_;
    std::vector<std::uint64_t> sizes_;
    bool anySize_ = false;
};

} // namespace Substitute
