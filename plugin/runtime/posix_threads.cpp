// The POSIX thread functions that the statically linked C++ runtime calls (the unwinder's
// registry of frame tables, exception handling's per-thread data through emulated TLS, its
// emergency pool, guarded static initialization, std::mutex), built on Win32 slim locks and one
// TLS slot. The module links these instead of the compiler's thread library, winpthreads (see
// -no-pthread in plugin/CMakeLists.txt), which is made to last as long as the process: the first
// call on a thread gives the thread a record holding a duplicate of its handle and an event,
// keys and conditions make semaphores, and the library takes a TLS slot; none of it is freed
// when a module that links the library statically is unloaded. Every load and unload of the
// plug-in lost two to four handles and a TLS slot that way, and once the process's TLS slots
// ran out (about a thousand loads) the library's abort() ended the host.
//
// What is here is what the runtime calls; a newer runtime that calls more fails to link, with
// an undefined reference naming the function to add. The types and initializer values are
// winpthreads' own (pthread.h), which the runtime was compiled against.

#include "plugin/runtime/posix_threads.h"

#include <windows.h>

#include <pthread.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <type_traits>

// What these functions assume of the runtime's thread types, as its code and data were compiled
// with them: a new toolchain whose pthread.h differs fails to build here rather than misread a
// lock at run time.
// A mutex or condition is one word: 0 (never initialized), one of the three initializer values
// (statically initialized, not yet used), or the Lock made for it.
static_assert(std::is_same_v<pthread_mutex_t, intptr_t> && std::is_same_v<pthread_cond_t, intptr_t>);
static_assert(PTHREAD_MUTEX_INITIALIZER == -1 && PTHREAD_COND_INITIALIZER == -1 &&
              PTHREAD_ERRORCHECK_MUTEX_INITIALIZER == -2 && PTHREAD_RECURSIVE_MUTEX_INITIALIZER == -3);
static_assert(GENERIC_NORMAL_INITIALIZER == -1 && GENERIC_ERRORCHECK_INITIALIZER == -2 &&
              GENERIC_RECURSIVE_INITIALIZER == -3);
// A mutex attribute holds the type in its two low bits.
static_assert(std::is_same_v<pthread_mutexattr_t, unsigned> && PTHREAD_MUTEX_NORMAL == 0 &&
              PTHREAD_MUTEX_ERRORCHECK == 1 && PTHREAD_MUTEX_RECURSIVE == 2);
// A once flag is a long that starts at 0; a key is an index.
static_assert(std::is_same_v<pthread_once_t, long> && PTHREAD_ONCE_INIT == 0);
static_assert(std::is_same_v<pthread_key_t, unsigned>);

namespace starwright::plugin::runtime {
namespace {

// A mutex, or a condition variable (which uses `changed` alone), made on first use from the
// initializer value in the runtime's pthread_mutex_t or pthread_cond_t.
struct Lock {
    SRWLOCK lock;
    CONDITION_VARIABLE changed;
    intptr_t kind;  // the initializer it was made from: its mutex type
    DWORD owner;    // the thread holding it, and how many times (recursive mutexes)
    unsigned depth;
    Lock* next;
    Lock* previous;
};

// Per thread, the values of the keys; the TLS slot points at them.
constexpr unsigned kMaxKeys = 8;
struct KeyValues {
    void* value[kMaxKeys];
    KeyValues* next;
    KeyValues* previous;
};

// Guards the lists and the key table; a slim lock needs neither making nor freeing.
SRWLOCK g_guard = SRWLOCK_INIT;
Lock* g_locks = nullptr;
KeyValues* g_threads = nullptr;
void (*g_destructors[kMaxKeys])(void*) = {};
unsigned g_keys = 0;
DWORD g_slot = TLS_OUT_OF_INDEXES;

class Guarded {
public:
    Guarded() { AcquireSRWLockExclusive(&g_guard); }
    ~Guarded() { ReleaseSRWLockExclusive(&g_guard); }
    Guarded(const Guarded&) = delete;
    Guarded& operator=(const Guarded&) = delete;
};

template <class T>
void Link(T*& head, T* item) {
    item->previous = nullptr;
    item->next = head;
    if (head) head->previous = item;
    head = item;
}

template <class T>
void Unlink(T*& head, T* item) {
    (item->previous ? item->previous->next : head) = item->next;
    if (item->next) item->next->previous = item->previous;
}

bool IsInitializer(intptr_t value) {
    return value == GENERIC_NORMAL_INITIALIZER || value == GENERIC_ERRORCHECK_INITIALIZER ||
           value == GENERIC_RECURSIVE_INITIALIZER;
}

void Forget(Lock* lock) {
    {
        Guarded guard;
        Unlink(g_locks, lock);
    }
    std::free(lock);
}

// The lock behind a handle, made when the handle still holds its initializer. Null for a handle
// never initialized (0), or when memory runs out.
Lock* LockOf(intptr_t* handle) {
    for (;;) {
        intptr_t value = __atomic_load_n(handle, __ATOMIC_ACQUIRE);
        if (value == 0) return nullptr;
        if (!IsInitializer(value)) return reinterpret_cast<Lock*>(value);
        auto* made = static_cast<Lock*>(std::calloc(1, sizeof(Lock)));
        if (!made) return nullptr;
        made->kind = value;
        {
            Guarded guard;
            Link(g_locks, made);
        }
        if (__atomic_compare_exchange_n(handle, &value, reinterpret_cast<intptr_t>(made), false, __ATOMIC_ACQ_REL,
                                        __ATOMIC_ACQUIRE))
            return made;
        Forget(made);  // another thread made it first
    }
}

DWORD Owner(const Lock* lock) { return __atomic_load_n(&lock->owner, __ATOMIC_RELAXED); }

void SetOwner(Lock* lock, DWORD owner, unsigned depth) {
    __atomic_store_n(&lock->owner, owner, __ATOMIC_RELAXED);
    lock->depth = depth;
}

// Runs the destructors of one thread's values, as POSIX does: a destructor may set values
// again, so a few rounds.
void DestroyValues(KeyValues* values) {
    for (int round = 0; round < 4; ++round) {
        bool ran = false;
        for (unsigned key = 0; key < kMaxKeys; ++key) {
            void* value = values->value[key];
            if (!value || !g_destructors[key]) continue;
            values->value[key] = nullptr;
            g_destructors[key](value);
            ran = true;
        }
        if (!ran) return;
    }
}

// TlsGetValue clears the thread's last error, which code around a thread_local may be about
// to read.
KeyValues* ThreadValues() {
    const DWORD slot = __atomic_load_n(&g_slot, __ATOMIC_ACQUIRE);
    if (slot == TLS_OUT_OF_INDEXES) return nullptr;
    const DWORD error = GetLastError();
    auto* values = static_cast<KeyValues*>(TlsGetValue(slot));
    SetLastError(error);
    return values;
}

}  // namespace

void EndThread() noexcept {
    KeyValues* values = ThreadValues();
    if (!values) return;
    DestroyValues(values);
    TlsSetValue(g_slot, nullptr);
    {
        Guarded guard;
        Unlink(g_threads, values);
    }
    std::free(values);
}

void ReleaseThreadState() noexcept {
    // No thread runs the module's code any more: every thread's values can go from here.
    while (g_threads) {
        KeyValues* values = g_threads;
        DestroyValues(values);
        Unlink(g_threads, values);
        std::free(values);
    }
    while (g_locks) {
        Lock* lock = g_locks;
        Unlink(g_locks, lock);
        std::free(lock);
    }
    if (g_slot != TLS_OUT_OF_INDEXES) TlsFree(g_slot);
    g_slot = TLS_OUT_OF_INDEXES;
    g_keys = 0;
}

}  // namespace starwright::plugin::runtime

using namespace starwright::plugin::runtime;

// 0 not run, 1 done (PTHREAD_ONCE_INIT and winpthreads' "done"), 2 running on some thread.
int pthread_once(pthread_once_t* once, void (*run)(void)) {
    for (;;) {
        long state = __atomic_load_n(once, __ATOMIC_ACQUIRE);
        if (state == 1) return 0;
        if (state == 0 && __atomic_compare_exchange_n(once, &state, 2, false, __ATOMIC_ACQUIRE, __ATOMIC_RELAXED)) {
            try {
                run();
            } catch (...) {
                // std::call_once: the next caller tries again.
                __atomic_store_n(once, 0, __ATOMIC_RELEASE);
                throw;
            }
            __atomic_store_n(once, 1, __ATOMIC_RELEASE);
            return 0;
        }
        Sleep(1);  // another thread is running it: rare, and only the first time
    }
}

int pthread_mutex_init(pthread_mutex_t* mutex, const pthread_mutexattr_t* attributes) {
    const unsigned type = attributes ? *attributes & 3 : PTHREAD_MUTEX_NORMAL;
    *mutex = type == PTHREAD_MUTEX_RECURSIVE    ? PTHREAD_RECURSIVE_MUTEX_INITIALIZER
             : type == PTHREAD_MUTEX_ERRORCHECK ? PTHREAD_ERRORCHECK_MUTEX_INITIALIZER
                                                : PTHREAD_MUTEX_INITIALIZER;
    return 0;
}

// Back to its initializer rather than invalid: the runtime destroys its mutexes in static
// destructors, and a later destructor may still lock one (made again, freed with the module).
int pthread_mutex_destroy(pthread_mutex_t* mutex) {
    const intptr_t value = __atomic_load_n(mutex, __ATOMIC_ACQUIRE);
    if (value == 0 || IsInitializer(value)) return 0;
    auto* lock = reinterpret_cast<Lock*>(value);
    *mutex = lock->kind;
    Forget(lock);
    return 0;
}

int pthread_mutex_lock(pthread_mutex_t* mutex) {
    Lock* lock = LockOf(mutex);
    if (!lock) return *mutex ? ENOMEM : EINVAL;
    const DWORD self = GetCurrentThreadId();
    if (lock->kind != GENERIC_NORMAL_INITIALIZER && Owner(lock) == self) {
        if (lock->kind == GENERIC_ERRORCHECK_INITIALIZER) return EDEADLK;
        ++lock->depth;
        return 0;
    }
    AcquireSRWLockExclusive(&lock->lock);
    SetOwner(lock, self, 1);
    return 0;
}

int pthread_mutex_unlock(pthread_mutex_t* mutex) {
    const intptr_t value = __atomic_load_n(mutex, __ATOMIC_ACQUIRE);
    if (value == 0 || IsInitializer(value)) return EPERM;
    auto* lock = reinterpret_cast<Lock*>(value);
    if (lock->kind != GENERIC_NORMAL_INITIALIZER) {
        if (Owner(lock) != GetCurrentThreadId()) return EPERM;
        if (--lock->depth) return 0;
    }
    SetOwner(lock, 0, 0);
    ReleaseSRWLockExclusive(&lock->lock);
    return 0;
}

int pthread_cond_wait(pthread_cond_t* condition, pthread_mutex_t* mutex) {
    Lock* waitOn = LockOf(condition);
    const intptr_t held = __atomic_load_n(mutex, __ATOMIC_ACQUIRE);
    if (!waitOn) return *condition ? ENOMEM : EINVAL;
    if (held == 0 || IsInitializer(held)) return EPERM;
    auto* lock = reinterpret_cast<Lock*>(held);
    // The caller holds the mutex; a recursive one gets its depth back with it.
    const DWORD self = GetCurrentThreadId();
    const unsigned depth = lock->depth;
    SetOwner(lock, 0, 0);
    SleepConditionVariableSRW(&waitOn->changed, &lock->lock, INFINITE, 0);
    SetOwner(lock, self, depth);
    return 0;
}

int pthread_cond_broadcast(pthread_cond_t* condition) {
    // Still its initializer: no thread has waited on it, so there is no one to wake.
    const intptr_t value = __atomic_load_n(condition, __ATOMIC_ACQUIRE);
    if (value == 0 || IsInitializer(value)) return 0;
    WakeAllConditionVariable(&reinterpret_cast<Lock*>(value)->changed);
    return 0;
}

int pthread_key_create(pthread_key_t* key, void (*destructor)(void*)) {
    Guarded guard;
    if (g_keys == kMaxKeys) return EAGAIN;
    if (g_slot == TLS_OUT_OF_INDEXES) {
        const DWORD slot = TlsAlloc();
        if (slot == TLS_OUT_OF_INDEXES) return EAGAIN;
        __atomic_store_n(&g_slot, slot, __ATOMIC_RELEASE);
    }
    g_destructors[g_keys] = destructor;
    *key = g_keys++;
    return 0;
}

void* pthread_getspecific(pthread_key_t key) {
    KeyValues* values = key < kMaxKeys ? ThreadValues() : nullptr;
    return values ? values->value[key] : nullptr;
}

int pthread_setspecific(pthread_key_t key, const void* value) {
    if (key >= kMaxKeys || __atomic_load_n(&g_slot, __ATOMIC_ACQUIRE) == TLS_OUT_OF_INDEXES) return EINVAL;
    KeyValues* values = ThreadValues();
    if (!values) {
        if (!value) return 0;
        values = static_cast<KeyValues*>(std::calloc(1, sizeof(KeyValues)));
        if (!values) return ENOMEM;
        const DWORD error = GetLastError();
        TlsSetValue(g_slot, values);
        SetLastError(error);
        Guarded guard;
        Link(g_threads, values);
    }
    values->value[key] = const_cast<void*>(value);
    return 0;
}
