#include "base/Threads.h"

#include <sched.h>
#include <sys/utsname.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

// Answers -1 for a policy this system does not know.
int NativePolicy(i32 policy) {
    switch (policy) {
        case kSchedPolicyOther:
            return SCHED_OTHER;
        case kSchedPolicyRoundRobin:
            return SCHED_RR;
        case kSchedPolicyFifo:
            return SCHED_FIFO;
        default:
            return -1;
    }
}

// A bound the system cannot tell (negative) is ignored.
int ClampPriority(int nativePolicy, int priority) {
    const int lo = sched_get_priority_min(nativePolicy);
    const int hi = sched_get_priority_max(nativePolicy);
    if (hi >= 0 && priority > hi) priority = hi;
    if (lo >= 0 && priority < lo) priority = lo;
    return priority;
}

void* ThreadEntry(void* p) {
    LThread* t = static_cast<LThread*>(p);
    t->fn(t->arg);
    return nullptr;
}

}  // namespace

int ThreadCreate(pthread_t* handle, const pthread_attr_t* attr, void* (*entry)(void*), void* arg) {
    // No native framework here needs switching to a multithreaded mode first.
    return pthread_create(handle, attr, entry, arg);
}

bool StartThreadRelPriority(LThread* thread, void* arg, LThreadFn fn, i32 delta) {
    thread->arg = arg;
    thread->fn = fn;
    thread->running = 0;

    int policy = SCHED_OTHER;
    sched_param param{};
    pthread_getschedparam(pthread_self(), &policy, &param);
    int priority;
    if (delta == 3) {
        policy = SCHED_RR;
        priority = sched_get_priority_max(SCHED_RR);
    } else {
        priority = param.sched_priority + delta;
    }
    param.sched_priority = ClampPriority(policy, priority);

    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) return false;
    pthread_attr_setinheritsched(&attr, PTHREAD_EXPLICIT_SCHED);
    pthread_attr_setschedpolicy(&attr, policy);
    pthread_attr_setschedparam(&attr, &param);
    int err = ThreadCreate(&thread->handle, &attr, ThreadEntry, thread);
    if (err == EPERM) {
        // Not allowed to raise the scheduling: run with the caller's.
        pthread_attr_setinheritsched(&attr, PTHREAD_INHERIT_SCHED);
        err = ThreadCreate(&thread->handle, &attr, ThreadEntry, thread);
    }
    pthread_attr_destroy(&attr);
    thread->running = err == 0 ? 1 : 0;
    return thread->running != 0;
}

void ThreadStop(LThread* thread) {
    if (!thread->running) return;
    thread->running = 0;
    pthread_join(thread->handle, nullptr);
}

void InitRecursiveMutex(pthread_mutex_t* mutex) {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(mutex, &attr);
    pthread_mutexattr_destroy(&attr);
}

void InitCond(pthread_cond_t* cond) {
    pthread_cond_init(cond, nullptr);
}

void CondWait(pthread_cond_t* cond, pthread_mutex_t* mutex) {
    while (pthread_cond_wait(cond, mutex) == EINTR) {
    }
}

// ---- LEventFlag

LEventFlag::LEventFlag(u8 resetMode) : fResetMode(resetMode) {
    InitCond(&fCond);
    InitRecursiveMutex(&fMutex);
}

LEventFlag::~LEventFlag() {
    pthread_cond_destroy(&fCond);
    pthread_mutex_destroy(&fMutex);
}

void LEventFlag::Set() {
    LMutexLock lock(&fMutex);
    fSignalled = 1;
    pthread_cond_broadcast(&fCond);
}

void LEventFlag::Wait() {
    LMutexLock lock(&fMutex);
    while (!fSignalled) CondWait(&fCond, &fMutex);
    fSignalled = fResetMode;
}

void LEventFlag::Reset() {
    LMutexLock lock(&fMutex);
    fSignalled = 0;
}

// ---- Scheduling

bool SetThreadPriority(i32 policy, i32 priority) {
    const int native = NativePolicy(policy);
    if (native < 0) return false;
    sched_param param{};
    param.sched_priority = ClampPriority(native, priority);
    const int err = pthread_setschedparam(pthread_self(), native, &param);
    return err == 0 || err == EPERM;
}

void SetThreadDefaultPriority() {
    static std::atomic<int> sDefaultPriority{-1};
    int priority = sDefaultPriority.load(std::memory_order_relaxed);
    if (priority < 0) {
        pthread_attr_t attr;
        sched_param param{};
        if (pthread_attr_init(&attr) == 0) {
            pthread_attr_getschedparam(&attr, &param);
            pthread_attr_destroy(&attr);
        }
        priority = param.sched_priority < 0 ? 0 : param.sched_priority;
        sDefaultPriority.store(priority, std::memory_order_relaxed);
    }
    SetThreadPriority(kSchedPolicyOther, priority);
}

// ---- Thread pool

void CPoolWorker::Loop(void* p) {
    CPoolWorker* w = static_cast<CPoolWorker*>(p);
    for (;;) {
        w->fFlag.Wait();
        // The flag's mutex orders these after RunJob's writes.
        const LThreadFn fn = w->fFn;
        if (!fn) return;
        fn(w->fArg);
        w->fFn = nullptr;
        w->fArg = nullptr;
        // The job may have changed this thread's scheduling.
        SetThreadDefaultPriority();
        if (!w->fPool->BackToIdle(w)) {
            // The pool closed while the job ran: nobody is left to join this thread.
            pthread_detach(pthread_self());
            delete w;
            return;
        }
    }
}

CThreadPool::CThreadPool() {
    InitRecursiveMutex(&fMutex);
}

CThreadPool::~CThreadPool() {
    LList idle;
    bool busy;
    {
        LMutexLock lock(&fMutex);
        fClosing = true;
        while (LLink* l = fIdle.PopFront()) idle.PushBack(l);
        busy = fBusy != 0;
    }
    while (LLink* l = idle.PopFront()) DestroyWorker(static_cast<CPoolWorker*>(l));
    // A busy worker still takes the mutex once when its job ends.
    if (!busy) pthread_mutex_destroy(&fMutex);
}

CThreadPool& CThreadPool::Global() {
    // Never destroyed: a worker may still be leaving its last job (the reactor
    // stops from a static destructor) while the process exits.
    static CThreadPool* sPool = new CThreadPool;
    return *sPool;
}

bool CThreadPool::StartWorker(CPoolWorker* worker) {
    return StartThreadRelPriority(&worker->fThread, worker, CPoolWorker::Loop, 0);
}

CPoolWorker* CThreadPool::RunJob(void* arg, LThreadFn fn) {
    if (!fn) return nullptr;
    CPoolWorker* w = nullptr;
    {
        LMutexLock lock(&fMutex);
        if (fClosing) return nullptr;
        w = static_cast<CPoolWorker*>(fIdle.PopFront());
        if (w) ++fBusy;
    }
    if (!w) {
        w = new (std::nothrow) CPoolWorker(this);
        if (!w) return nullptr;
        if (!StartWorker(w)) {
            delete w;
            return nullptr;
        }
        LMutexLock lock(&fMutex);
        ++fBusy;
    }
    w->fArg = arg;
    w->fFn = fn;
    w->fFlag.Set();
    return w;
}

bool CThreadPool::BackToIdle(CPoolWorker* worker) {
    LMutexLock lock(&fMutex);
    --fBusy;
    if (fClosing) return false;
    fIdle.PushFront(worker);
    return true;
}

u32 CThreadPool::IdleCount() {
    LMutexLock lock(&fMutex);
    u32 n = 0;
    for (LLink* l = fIdle.Head(); !l->IsEnd(); l = l->Next()) ++n;
    return n;
}

void CThreadPool::DestroyWorker(CPoolWorker* worker) {
    worker->fFn = nullptr;
    worker->fFlag.Set();
    ThreadStop(&worker->fThread);
    delete worker;
}

// ---- CByteRing

void CByteRing::Init(void* store, u32 bits) {
    storage = static_cast<u8*>(store);
    mask = bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
    readPos = 0;
    writePos = 0;
}

void CByteRing::Write(const void* data, u32 length) {
    const u8* src = static_cast<const u8*>(data);
    const u32 size = mask + 1;
    while (length) {
        const u32 at = writePos & mask;
        u32 n = size - at;
        if (n > length) n = length;
        std::memcpy(storage + at, src, n);
        src += n;
        length -= n;
        writePos += n;
    }
}

void CByteRing::GetReadSpans(u32 n, const u8** p1, u32* len1, const u8** p2, u32* len2) const {
    const u32 at = readPos & mask;
    const u32 toEnd = mask - at + 1;
    *p1 = storage + at;
    if (n <= toEnd) {
        *len1 = n;
        *p2 = nullptr;
        *len2 = 0;
    } else {
        *len1 = toEnd;
        *p2 = storage;
        *len2 = n - toEnd;
    }
}

// ---- Object pool

void CPooledObj::Release() {
    if (fUseCount.fetch_sub(1, std::memory_order_acq_rel) - 1 > 0) return;
    if (!fPool) {
        delete this;
        return;
    }
    fPool->Return(this);
}

CObjPool::CObjPool() {
    InitRecursiveMutex(&fMutex);
}

CObjPool::~CObjPool() {
    while (LLink* l = fFree.PopFront()) delete static_cast<CPooledObj*>(l);
    pthread_mutex_destroy(&fMutex);
}

CPooledObj* CObjPool::Acquire() {
    CPooledObj* obj;
    {
        LMutexLock lock(&fMutex);
        obj = static_cast<CPooledObj*>(fFree.PopFront());
    }
    if (obj) {
        obj->fUseCount.fetch_add(1, std::memory_order_relaxed);
    } else {
        obj = Create();
        if (!obj) return nullptr;
    }
    obj->fPool = this;
    fCount.fetch_add(1, std::memory_order_relaxed);
    return obj;
}

void CObjPool::Return(CPooledObj* obj) {
    {
        LMutexLock lock(&fMutex);
        fFree.PushFront(obj);
    }
    Release();
}

void CObjPool::Release() {
    if (fCount.fetch_sub(1, std::memory_order_acq_rel) - 1 == 0) DeleteSelf();
}

u32 CObjPool::FreeCount() {
    LMutexLock lock(&fMutex);
    u32 n = 0;
    for (LLink* l = fFree.Head(); !l->IsEnd(); l = l->Next()) ++n;
    return n;
}

// ---- System information

SystemInfo gSystemInfo;

u32 PackSystemVersion(u32 major, u32 minor, u32 bugfix) {
    return ((major / 10) << 12) | ((major % 10) << 8) | ((minor < 9 ? minor : 9) << 4) |
           (bugfix < 9 ? bugfix : 9);
}

void SystemInfo::Query(SystemInfo* info) {
    *info = SystemInfo();
    utsname u{};
    if (uname(&u) == 0) {
        unsigned m = 0, n = 0, b = 0;
        std::sscanf(u.release, "%u.%u.%u", &m, &n, &b);
        info->major = m;
        info->minor = n;
        info->bugfix = b;
        std::snprintf(info->machine, sizeof info->machine, "%s", u.machine);
    }
    info->version = PackSystemVersion(info->major, info->minor, info->bugfix);
    // Every display this runs on draws in colour; there is no QuickTime.
    info->hasColorDrawing = 1;
    info->hasQuickTime = 0;
}
