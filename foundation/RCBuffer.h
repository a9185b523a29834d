#pragma once

#include <cstdint>
#include <cstring>

namespace RC {

// A byte buffer that the code filling it writes through Data(). Size is kept
// apart from capacity: changing the capacity leaves the size alone, and
// copying a buffer copies its bytes but not its size.
template <typename T>
class RCBuffer {
public:
    RCBuffer() = default;
    RCBuffer(const RCBuffer& other) { Assign(other); }
    RCBuffer& operator=(const RCBuffer& other)
    {
        Assign(other);
        return *this;
    }
    virtual ~RCBuffer() { delete[] data_; }

    void SetCapacity(uint32_t capacity)
    {
        if (capacity == capacity_)
            return;
        T* data = capacity ? new T[capacity] : nullptr;
        const uint32_t kept = capacity < capacity_ ? capacity : capacity_;
        if (kept)
            std::memcpy(data, data_, kept * sizeof(T));
        delete[] data_;
        data_ = data;
        capacity_ = capacity;
    }

    void SetSize(uint32_t size) { size_ = size < capacity_ ? size : capacity_; }
    uint32_t GetSize() const { return size_; }
    uint32_t GetCapacity() const { return capacity_; }
    T* Data() { return data_; }
    const T* Data() const { return data_; }

    void Clear()
    {
        delete[] data_;
        data_ = nullptr;
        capacity_ = 0;
    }

protected:
    void Assign(const RCBuffer& other)
    {
        if (&other == this)
            return;
        Clear();
        if (other.capacity_) {
            SetCapacity(other.capacity_);
            std::memcpy(data_, other.data_, other.capacity_ * sizeof(T));
        }
    }

private:
    uint32_t capacity_ = 0;
    T* data_ = nullptr;
    uint32_t size_ = 0;
};

} // namespace RC
