#pragma once
// Threads: the one place threads are started, recursive mutexes and conditions,
// the event flag that hands work between threads, the job pool, scheduling
// priorities, a byte ring, a pool of recycled objects and the system record.

#include <pthread.h>

#include <atomic>

#include "base/LList.h"

// Scheduling policies as callers name them; mapped to the native ones on use.
enum : i32 {
    kSchedPolicyOther = 1,
    kSchedPolicyRoundRobin = 2,
    kSchedPolicyFifo = 4,
};

using LThreadFn = void (*)(void* arg);

// Filled by StartThreadRelPriority; running is set when the thread was created.
struct LThread {
    void* arg = nullptr;
    LThreadFn fn = nullptr;
    pthread_t handle{};
    u8 running = 0;
};

// Starts fn(arg) on a new thread whose priority is the caller's plus delta, clamped
// into the policy's range; delta 3 asks for round-robin at its highest priority.
// When the system refuses the scheduling the thread starts with the caller's.
// Answers running.
bool StartThreadRelPriority(LThread* thread, void* arg, LThreadFn fn, i32 delta);
int ThreadCreate(pthread_t* handle, const pthread_attr_t* attr, void* (*entry)(void*), void* arg);
// Joins the thread. Threads are never cancelled: the owner tells its thread to
// leave (a stop flag, an empty job) before stopping it.
void ThreadStop(LThread* thread);

// Every mutex of the system is recursive.
void InitRecursiveMutex(pthread_mutex_t* mutex);
void InitCond(pthread_cond_t* cond);
void CondWait(pthread_cond_t* cond, pthread_mutex_t* mutex);

class LMutexLock {
public:
    explicit LMutexLock(pthread_mutex_t* m) : fMutex(m) { pthread_mutex_lock(fMutex); }
    ~LMutexLock() { pthread_mutex_unlock(fMutex); }
    LMutexLock(const LMutexLock&) = delete;
    LMutexLock& operator=(const LMutexLock&) = delete;

private:
    pthread_mutex_t* fMutex;
};

// Reset mode 0: the flag clears itself when a waiter wakes; 1: it stays set.
class LEventFlag {
public:
    explicit LEventFlag(u8 resetMode = 0);
    ~LEventFlag();
    LEventFlag(const LEventFlag&) = delete;
    LEventFlag& operator=(const LEventFlag&) = delete;

    void Set();
    void Wait();
    void Reset();

private:
    pthread_cond_t fCond;
    u8 fSignalled = 0;
    u8 fResetMode;
    pthread_mutex_t fMutex;
};

// Applies policy (kSchedPolicy...) and priority, clamped into the policy's range, to
// the calling thread. A change the system refuses for want of privilege counts as
// done; false for an unknown policy or another failure.
bool SetThreadPriority(i32 policy, i32 priority);
// Back to the ordinary policy at the default priority.
void SetThreadDefaultPriority();

class CThreadPool;

// One per pool thread; runs one job at a time.
class CPoolWorker : public LLink {
public:
    explicit CPoolWorker(CThreadPool* pool) : fPool(pool) {}

private:
    static void Loop(void* worker);

    CThreadPool* fPool;
    LEventFlag fFlag{0};
    LThread fThread;
    void* fArg = nullptr;
    LThreadFn fFn = nullptr;
    friend class CThreadPool;
};

class CThreadPool {
public:
    CThreadPool();
    virtual ~CThreadPool();
    CThreadPool(const CThreadPool&) = delete;
    CThreadPool& operator=(const CThreadPool&) = delete;

    // The process-wide pool.
    static CThreadPool& Global();

    // Runs fn(arg) on the most recently idle worker, or on a new one. Null, and the
    // job not run, when no worker thread could be started or the pool is closing.
    CPoolWorker* RunJob(void* arg, LThreadFn fn);

    // Workers waiting for a job (for tests and diagnostics).
    u32 IdleCount();

protected:
    // Starts the worker's thread; answers whether it runs.
    virtual bool StartWorker(CPoolWorker* worker);

private:
    bool BackToIdle(CPoolWorker* worker);
    static void DestroyWorker(CPoolWorker* worker);

    pthread_mutex_t fMutex;
    LList fIdle;
    u32 fBusy = 0;
    bool fClosing = false;
    friend class CPoolWorker;
};

// A ring of 2^bits bytes over caller-owned storage. Positions run freely and are
// masked on use; the writer keeps the fill below the size.
struct CByteRing {
    u32 mask = 0;
    u32 readPos = 0;
    u32 writePos = 0;
    u8* storage = nullptr;

    void Init(void* storage, u32 bits);
    void Write(const void* data, u32 length);
    // The one or two spans holding the next n bytes from the read position.
    void GetReadSpans(u32 n, const u8** p1, u32* len1, const u8** p2, u32* len2) const;
};

class CObjPool;

// A reference-counted object that goes back to its pool when its count falls to 0.
class CPooledObj : public LLink {
public:
    CPooledObj() = default;
    ~CPooledObj() override = default;

    void Retain() { fUseCount.fetch_add(1, std::memory_order_relaxed); }
    virtual void Release();
    i32 UseCount() const { return fUseCount.load(std::memory_order_relaxed); }
    CObjPool* Pool() const { return fPool; }

private:
    std::atomic<i32> fUseCount{1};
    CObjPool* fPool = nullptr;
    friend class CObjPool;
};

// Its count is the owner's reference plus one per object handed out; the pool is
// deleted when the owner has released it and every object has come back.
class CObjPool {
public:
    CObjPool();
    virtual ~CObjPool();
    CObjPool(const CObjPool&) = delete;
    CObjPool& operator=(const CObjPool&) = delete;

    // Null when a new object was needed and could not be made.
    CPooledObj* Acquire();
    // The owner drops its reference.
    void Release();
    i32 Count() const { return fCount.load(std::memory_order_relaxed); }
    u32 FreeCount();

protected:
    virtual void DeleteSelf() { delete this; }
    virtual CPooledObj* Create() = 0;

private:
    void Return(CPooledObj* obj);

    std::atomic<i32> fCount{1};
    pthread_mutex_t fMutex;
    LList fFree;
    friend class CPooledObj;
};

// What is known of the system, filled once at start-up before other threads run.
struct SystemInfo {
    u32 major = 0;          // 'sys1'
    u32 minor = 0;          // 'sys2'
    u32 bugfix = 0;         // 'sys3'
    u32 version = 0;        // packed: see PackSystemVersion
    char machine[65] = {};  // 'sysa': the hardware name
    u8 hasColorDrawing = 0;
    u8 hasQuickTime = 0;

    static void Query(SystemInfo* info);
};
extern SystemInfo gSystemInfo;

// (m / 10) << 12 | (m mod 10) << 8 | min(n, 9) << 4 | min(b, 9): 10.7.5 gives 0x1075.
u32 PackSystemVersion(u32 major, u32 minor, u32 bugfix);
