#pragma once
// Thread checks: a cheap assertion that an entry point runs on the thread its
// class expects. Active where the build defines RC_THREAD_CHECKS (the build
// the suite runs); elsewhere the macros compile to nothing.
//
// A worker's entry points use RCThreadChecker: the run's first entry binds
// it, the others check it. The host's delivery may move between threads but
// never runs two calls at once; its entry points use RCSequenceChecker,
// which a nested call on the same thread passes.
//
// The first failed check logs one line at level 1 naming the place. Where
// the environment sets KIVO_THREAD_CHECKS_FATAL (the suite's programs, run
// through the tree's wine-run) it then ends the process, so the test that
// drove the wrong thread fails there; in a host's process the call goes on.
#include <atomic>

namespace RC {

class RCThreadChecker {
public:
    void Bind();
    bool IsCurrent() const;

private:
    std::atomic<unsigned long> owner_{0};
};

class RCSequenceChecker {
public:
    // While a scope lives, only its thread may enter.
    class Scope {
    public:
        Scope(RCSequenceChecker& checker, const char* file, int line);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        RCSequenceChecker& checker_;
        unsigned long previous_;
    };

private:
    std::atomic<unsigned long> owner_{0};
};

void RCThreadCheckFailed(const char* file, int line) noexcept;

} // namespace RC

#if defined(RC_THREAD_CHECKS)
#define RC_BIND_THREAD(checker) (checker).Bind()
#define RC_CHECK_THREAD(checker)                                                                                       \
    ((checker).IsCurrent() ? static_cast<void>(0) : ::RC::RCThreadCheckFailed(__FILE__, __LINE__))
#define RC_CHECK_EITHER_THREAD(first, second)                                                                          \
    ((first).IsCurrent() || (second).IsCurrent() ? static_cast<void>(0) : ::RC::RCThreadCheckFailed(__FILE__, __LINE__))
#define RC_CHECK_SEQUENCE(checker) ::RC::RCSequenceChecker::Scope rcSequenceScope_(checker, __FILE__, __LINE__)
#else
#define RC_BIND_THREAD(checker) static_cast<void>(0)
#define RC_CHECK_THREAD(checker) static_cast<void>(0)
#define RC_CHECK_EITHER_THREAD(first, second) static_cast<void>(0)
#define RC_CHECK_SEQUENCE(checker) static_cast<void>(0)
#endif
