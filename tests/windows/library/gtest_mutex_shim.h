// GoogleTest's Windows port needs std::mutex and std::condition_variable,
// which mingw-w64's win32-thread libstdc++ (GCC 12) lacks: stand-ins over SRW
// locks, force-included only where the toolchain lacks them (CMakeLists.txt).
#pragma once

#include <mutex>

#ifndef _GLIBCXX_HAS_GTHREADS
#include <winsock2.h>
#include <windows.h>

namespace std {

class mutex {
public:
    mutex() = default;
    mutex(const mutex&) = delete;
    mutex& operator=(const mutex&) = delete;
    void lock() { AcquireSRWLockExclusive(&lock_); }
    bool try_lock() { return TryAcquireSRWLockExclusive(&lock_) != 0; }
    void unlock() { ReleaseSRWLockExclusive(&lock_); }
    SRWLOCK* native_handle() { return &lock_; }

private:
    SRWLOCK lock_ = SRWLOCK_INIT;
};

class condition_variable {
public:
    condition_variable() = default;
    condition_variable(const condition_variable&) = delete;
    condition_variable& operator=(const condition_variable&) = delete;
    void notify_one() { WakeConditionVariable(&condition_); }
    void notify_all() { WakeAllConditionVariable(&condition_); }
    template <class Predicate>
    void wait(unique_lock<mutex>& lock, Predicate ready) {
        while (!ready()) SleepConditionVariableSRW(&condition_, lock.mutex()->native_handle(), INFINITE, 0);
    }

private:
    CONDITION_VARIABLE condition_ = CONDITION_VARIABLE_INIT;
};

}  // namespace std
#endif
