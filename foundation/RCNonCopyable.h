#pragma once

namespace RC {

// Base for objects that own something a copy would own twice.
class RCNonCopyable {
protected:
    RCNonCopyable() = default;
    ~RCNonCopyable() = default;

public:
    RCNonCopyable(const RCNonCopyable&) = delete;
    RCNonCopyable& operator=(const RCNonCopyable&) = delete;
};

} // namespace RC
