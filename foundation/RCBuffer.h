#pragma once

#include <cstdint>
#include <cstring>

namespace RC {

// A byte buffer that the code filling it writes through Data(). Size is kept
// apart from capacity: changing the capacity leaves the size alone, and
// copying a buffer copies its bytes but not its size.
template <typename T>
class RCBuffer
{
public:
    RCBuffer() = default;
    RCBuffer(const RCBuffer& other) { Assign(other); }
    RCBuffer& operator=(const RCBuffer& other)
    {
        Assign(other);
        return *this;
    }
    virtual ~RCBuffer() { delete[] m_data; }

    void SetCapacity(uint32_t capacity)
    {
        if (capacity == m_capacity)
            return;
        T* data = capacity ? new T[capacity] : nullptr;
        const uint32_t kept = capacity < m_capacity ? capacity : m_capacity;
        if (kept)
            std::memcpy(data, m_data, kept * sizeof(T));
        delete[] m_data;
        m_data = data;
        m_capacity = capacity;
    }

    void SetSize(uint32_t size) { m_size = size < m_capacity ? size : m_capacity; }
    uint32_t GetSize() const { return m_size; }
    uint32_t GetCapacity() const { return m_capacity; }
    T* Data() { return m_data; }
    const T* Data() const { return m_data; }

    void Clear()
    {
        delete[] m_data;
        m_data = nullptr;
        m_capacity = 0;
    }

protected:
    void Assign(const RCBuffer& other)
    {
        if (&other == this)
            return;
        Clear();
        if (other.m_capacity) {
            SetCapacity(other.m_capacity);
            std::memcpy(m_data, other.m_data, other.m_capacity * sizeof(T));
        }
    }

private:
    uint32_t m_capacity = 0;
    T* m_data = nullptr;
    uint32_t m_size = 0;
};

} // namespace RC
