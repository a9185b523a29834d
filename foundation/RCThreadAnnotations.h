#pragma once

// Thread-safety annotations, checked by clang's -Wthread-safety in the
// suite's syntax-only pass for the same target and empty under GCC.
// A field shared between threads names what guards it; a function that
// expects its caller to hold a lock says so.
#if defined(__clang__)
#define RC_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define RC_THREAD_ANNOTATION(x)
#endif

#define RC_CAPABILITY(name) RC_THREAD_ANNOTATION(capability(name))
#define RC_SCOPED_CAPABILITY RC_THREAD_ANNOTATION(scoped_lockable)
#define RC_GUARDED_BY(lock) RC_THREAD_ANNOTATION(guarded_by(lock))
#define RC_PT_GUARDED_BY(lock) RC_THREAD_ANNOTATION(pt_guarded_by(lock))
#define RC_ACQUIRED_AFTER(...) RC_THREAD_ANNOTATION(acquired_after(__VA_ARGS__))
#define RC_ACQUIRED_BEFORE(...) RC_THREAD_ANNOTATION(acquired_before(__VA_ARGS__))
#define RC_REQUIRES(...) RC_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define RC_EXCLUDES(...) RC_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define RC_ACQUIRE(...) RC_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RC_TRY_ACQUIRE(...) RC_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
#define RC_RELEASE(...) RC_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define RC_RETURN_CAPABILITY(x) RC_THREAD_ANNOTATION(lock_returned(x))
// For the few places whose safety the analysis cannot follow (a lock taken
// through a pointer that may be null); each use says why in a comment.
#define RC_NO_THREAD_SAFETY_ANALYSIS RC_THREAD_ANNOTATION(no_thread_safety_analysis)
