// Linked into every test program of the ThreadSanitizer build (tests/CMakeLists.txt), nowhere
// else.
//
// QProcess (Qt 6.4) starts its child with glibc's clone(CLONE_VM | CLONE_VFORK): the child
// runs in the parent's memory until it execs. ThreadSanitizer intercepts clone() and, in the
// child, does its after-fork bookkeeping, which then lands in the parent: with more than one
// thread running (QtTest's watchdog always is) it marks the parent's other threads dead, turns
// off race detection for the calling thread and makes the next thread start abort with
// "starting new threads after multi-threaded fork is not supported". Newer Qt detects the
// sanitizer and forks instead; for 6.4 this definition takes clone() before the sanitizer's
// interceptor does and hands the call straight to glibc, as an uninstrumented program would.

#include <cstdarg>
#include <sys/types.h>

extern "C" int __clone(int (*fn)(void *), void *stack, int flags, void *arg, ...);

extern "C" int clone(int (*fn)(void *), void *stack, int flags, void *arg, ...)
{
    // The optional arguments (parent tid, TLS, child tid) are read only for the flags that
    // use them; passing all three on is what glibc's own callers do.
    va_list rest;
    va_start(rest, arg);
    auto *parentTid = va_arg(rest, pid_t *);
    auto *tls = va_arg(rest, void *);
    auto *childTid = va_arg(rest, pid_t *);
    va_end(rest);
    return __clone(fn, stack, flags, arg, parentTid, tls, childTid);
}
