#pragma once

#include <utility>

// A slot that holds one reference to an intrusively counted object. On
// assignment the new object gains its reference before the old one loses
// its own, so assigning a slot the object it already holds (or an object that
// only the old one keeps alive) never deletes anything too early.
// A slot shared by threads needs its owner's lock: assignment is not atomic.
template <typename T>
class RCRefPtr
{
public:
    RCRefPtr() noexcept = default;
    RCRefPtr(T* object) : m_object(object)
    {
        if (m_object)
            m_object->AddRef();
    }
    RCRefPtr(const RCRefPtr& other) : RCRefPtr(other.m_object) {}
    RCRefPtr(RCRefPtr&& other) noexcept : m_object(other.m_object) { other.m_object = nullptr; }
    ~RCRefPtr() { Reset(); }

    RCRefPtr& operator=(T* object)
    {
        if (object != m_object) {
            if (object)
                object->AddRef();
            T* old = m_object;
            m_object = object;
            if (old)
                old->Release();
        }
        return *this;
    }
    RCRefPtr& operator=(const RCRefPtr& other) { return *this = other.m_object; }
    RCRefPtr& operator=(RCRefPtr&& other) noexcept
    {
        if (this != &other) {
            T* old = m_object;
            m_object = other.m_object;
            other.m_object = nullptr;
            if (old)
                old->Release();
        }
        return *this;
    }

    void Reset()
    {
        T* old = m_object;
        m_object = nullptr;
        if (old)
            old->Release();
    }

    // Takes over a reference that someone already added for this slot.
    static RCRefPtr Adopt(T* object) noexcept
    {
        RCRefPtr slot;
        slot.m_object = object;
        return slot;
    }

    T* Get() const noexcept { return m_object; }
    T* operator->() const noexcept { return m_object; }
    T& operator*() const noexcept { return *m_object; }
    explicit operator bool() const noexcept { return m_object != nullptr; }

private:
    T* m_object = nullptr;
};
