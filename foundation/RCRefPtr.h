#pragma once

#include <utility>

// A slot that holds one reference to an intrusively counted object. On
// assignment the new object gains its reference before the old one loses
// its own, so assigning a slot the object it already holds (or an object that
// only the old one keeps alive) never deletes anything too early.
// A slot shared by threads needs its owner's lock: assignment is not atomic.
template <typename T>
class RCRefPtr {
public:
    RCRefPtr() noexcept = default;
    RCRefPtr(T* object) : object_(object)
    {
        if (object_)
            object_->AddRef();
    }
    RCRefPtr(const RCRefPtr& other) : RCRefPtr(other.object_) {}
    RCRefPtr(RCRefPtr&& other) noexcept : object_(other.object_) { other.object_ = nullptr; }
    ~RCRefPtr() { Reset(); }

    RCRefPtr& operator=(T* object)
    {
        if (object != object_) {
            if (object)
                object->AddRef();
            T* old = object_;
            object_ = object;
            if (old)
                old->Release();
        }
        return *this;
    }
    RCRefPtr& operator=(const RCRefPtr& other) { return *this = other.object_; }
    RCRefPtr& operator=(RCRefPtr&& other) noexcept
    {
        if (this != &other) {
            T* old = object_;
            object_ = other.object_;
            other.object_ = nullptr;
            if (old)
                old->Release();
        }
        return *this;
    }

    void Reset()
    {
        T* old = object_;
        object_ = nullptr;
        if (old)
            old->Release();
    }

    // Takes over a reference that someone already added for this slot.
    static RCRefPtr Adopt(T* object) noexcept
    {
        RCRefPtr slot;
        slot.object_ = object;
        return slot;
    }

    T* Get() const noexcept { return object_; }
    T* operator->() const noexcept { return object_; }
    T& operator*() const noexcept { return *object_; }
    explicit operator bool() const noexcept { return object_ != nullptr; }

private:
    T* object_ = nullptr;
};
