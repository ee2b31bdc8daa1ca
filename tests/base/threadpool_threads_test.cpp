#include <gtest/gtest.h>

#include <sched.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "base/Threads.h"
#include "base/Clock.h"

namespace {

// Waits up to two seconds for cond.
template <class F>
bool Eventually(F cond) {
    for (int i = 0; i < 400; ++i) {
        if (cond()) return true;
        SleepMs(5);
    }
    return cond();
}

struct Probe {
    std::atomic<int> runs{0};
    std::atomic<pthread_t> thread{};
    std::atomic<int> policy{-1};
    std::atomic<int> priority{-1};
    LEventFlag started{1};
    LEventFlag release{1};
    bool block = false;
};

void RecordJob(void* p) {
    Probe* probe = static_cast<Probe*>(p);
    int policy = -1;
    sched_param param{};
    pthread_getschedparam(pthread_self(), &policy, &param);
    probe->policy = policy;
    probe->priority = param.sched_priority;
    probe->thread = pthread_self();
    probe->started.Set();
    if (probe->block) probe->release.Wait();
    probe->runs++;
}

// Leaves the thread at another scheduling: round-robin when allowed, else batch.
void RaisePriorityJob(void* p) {
    SetThreadPriority(kSchedPolicyRoundRobin, 1);
    int policy = -1;
    sched_param param{};
    pthread_getschedparam(pthread_self(), &policy, &param);
    if (policy != SCHED_RR) {
        param.sched_priority = 0;
        pthread_setschedparam(pthread_self(), SCHED_BATCH, &param);
        pthread_getschedparam(pthread_self(), &policy, &param);
    }
    static_cast<Probe*>(p)->policy = policy;
    static_cast<Probe*>(p)->runs++;
}

class FailingPool : public CThreadPool {
protected:
    bool StartWorker(CPoolWorker*) override { return false; }
};

}  // namespace

TEST(ThreadPool, JobsInARowReuseOneWorker) {
    CThreadPool pool;
    Probe a, b;
    CPoolWorker* w1 = pool.RunJob(&a, RecordJob);
    ASSERT_NE(w1, nullptr);
    ASSERT_TRUE(Eventually([&] { return pool.IdleCount() == 1; }));
    EXPECT_EQ(a.runs, 1);

    CPoolWorker* w2 = pool.RunJob(&b, RecordJob);
    EXPECT_EQ(w2, w1);
    ASSERT_TRUE(Eventually([&] { return pool.IdleCount() == 1; }));
    EXPECT_EQ(b.runs, 1);
    EXPECT_TRUE(pthread_equal(a.thread.load(), b.thread.load()));
}

TEST(ThreadPool, JobsAtOnceGetTheirOwnWorkers) {
    CThreadPool pool;
    Probe a, b;
    a.block = b.block = true;
    CPoolWorker* w1 = pool.RunJob(&a, RecordJob);
    a.started.Wait();
    CPoolWorker* w2 = pool.RunJob(&b, RecordJob);
    b.started.Wait();
    ASSERT_NE(w1, nullptr);
    ASSERT_NE(w2, nullptr);
    EXPECT_NE(w1, w2);
    EXPECT_FALSE(pthread_equal(a.thread.load(), b.thread.load()));
    EXPECT_EQ(pool.IdleCount(), 0u);
    a.release.Set();
    b.release.Set();
    ASSERT_TRUE(Eventually([&] { return pool.IdleCount() == 2; }));

    // The most recently idle worker is taken first.
    Probe c;
    CPoolWorker* w3 = pool.RunJob(&c, RecordJob);
    EXPECT_TRUE(w3 == w1 || w3 == w2);
    ASSERT_TRUE(Eventually([&] { return pool.IdleCount() == 2; }));
    EXPECT_EQ(c.runs, 1);
}

TEST(ThreadPool, SchedulingDoesNotLeakToTheNextJob) {
    CThreadPool pool;
    Probe raise, next;
    CPoolWorker* w1 = pool.RunJob(&raise, RaisePriorityJob);
    ASSERT_TRUE(Eventually([&] { return pool.IdleCount() == 1; }));
    ASSERT_NE(raise.policy.load(), SCHED_OTHER);

    CPoolWorker* w2 = pool.RunJob(&next, RecordJob);
    EXPECT_EQ(w2, w1);
    ASSERT_TRUE(Eventually([&] { return next.runs == 1; }));
    EXPECT_EQ(next.policy.load(), SCHED_OTHER);
    EXPECT_EQ(next.priority.load(), 0);
}

TEST(ThreadPool, FailureToStartAThreadIsReported) {
    FailingPool pool;
    Probe a;
    EXPECT_EQ(pool.RunJob(&a, RecordJob), nullptr);
    EXPECT_EQ(pool.RunJob(nullptr, nullptr), nullptr);
    SleepMs(20);
    EXPECT_EQ(a.runs, 0);
    EXPECT_EQ(pool.IdleCount(), 0u);
}

// Idle workers wait inside a condition wait; stopping them must neither hang nor
// leave a mutex locked (the sanitizers report either).
TEST(ThreadPool, DestroyingThePoolStopsIdleWorkers) {
    for (int round = 0; round < 20; ++round) {
        CThreadPool pool;
        Probe a, b;
        a.block = true;
        pool.RunJob(&a, RecordJob);
        a.started.Wait();
        pool.RunJob(&b, RecordJob);
        a.release.Set();
        ASSERT_TRUE(Eventually([&] { return pool.IdleCount() == 2; }));
    }
}

TEST(ThreadPool, GlobalPoolRunsJobs) {
    Probe a;
    ASSERT_NE(CThreadPool::Global().RunJob(&a, RecordJob), nullptr);
    a.started.Wait();
    ASSERT_TRUE(Eventually([&] { return a.runs == 1; }));
}

TEST(EventFlag, AutoResetWakesOnceThenBlocks) {
    LEventFlag flag(0);
    std::atomic<int> woke{0};
    std::thread waiter([&] {
        flag.Wait();
        woke++;
        flag.Wait();
        woke++;
    });
    flag.Set();
    ASSERT_TRUE(Eventually([&] { return woke == 1; }));
    SleepMs(50);
    EXPECT_EQ(woke, 1);
    flag.Set();
    waiter.join();
    EXPECT_EQ(woke, 2);
}

TEST(EventFlag, ManualResetStaysSetUntilReset) {
    LEventFlag flag(1);
    flag.Set();
    flag.Wait();
    flag.Wait();  // still set
    flag.Reset();
    std::atomic<bool> woke{false};
    std::thread waiter([&] {
        flag.Wait();
        woke = true;
    });
    SleepMs(30);
    EXPECT_FALSE(woke);
    flag.Set();
    waiter.join();
    EXPECT_TRUE(woke);
}

namespace {

struct SchedSeen {
    LThread thread;
    std::atomic<int> policy{-1};
    std::atomic<int> priority{-1};
    SchedSeen* nested = nullptr;
};

void RecordSched(void* p) {
    SchedSeen* s = static_cast<SchedSeen*>(p);
    int policy;
    sched_param param{};
    pthread_getschedparam(pthread_self(), &policy, &param);
    s->policy = policy;
    s->priority = param.sched_priority;
    if (s->nested) {
        StartThreadRelPriority(&s->nested->thread, s->nested, RecordSched, 1);
        ThreadStop(&s->nested->thread);
    }
}

}  // namespace

TEST(Threads, StartWithRelativePriority) {
    SchedSeen inner, outer;
    outer.nested = &inner;
    ASSERT_TRUE(StartThreadRelPriority(&outer.thread, &outer, RecordSched, 3));
    EXPECT_TRUE(outer.thread.running);
    ThreadStop(&outer.thread);
    EXPECT_FALSE(outer.thread.running);
    ThreadStop(&outer.thread);  // a second stop does nothing

    if (outer.policy == SCHED_RR) {
        const int max = sched_get_priority_max(SCHED_RR);
        EXPECT_EQ(outer.priority, max);
        // +1 from the top of the range stays at the top.
        EXPECT_EQ(inner.policy, SCHED_RR);
        EXPECT_EQ(inner.priority, max);
    } else {
        // Not allowed to raise: the thread still runs, at the caller's scheduling.
        EXPECT_EQ(outer.policy, SCHED_OTHER);
        EXPECT_EQ(inner.policy, SCHED_OTHER);
    }

    // From an ordinary thread +1 is clamped into the ordinary policy's range.
    SchedSeen plain;
    ASSERT_TRUE(StartThreadRelPriority(&plain.thread, &plain, RecordSched, 1));
    ThreadStop(&plain.thread);
    EXPECT_EQ(plain.policy, SCHED_OTHER);
    EXPECT_EQ(plain.priority, 0);
}

TEST(Threads, SetThreadPriorityPolicies) {
    std::thread t([] {
        EXPECT_FALSE(SetThreadPriority(3, 1));                         // no such policy
        EXPECT_TRUE(SetThreadPriority(kSchedPolicyRoundRobin, 1000));  // clamped, or refused
        SetThreadDefaultPriority();
        int policy;
        sched_param param{};
        pthread_getschedparam(pthread_self(), &policy, &param);
        EXPECT_EQ(policy, SCHED_OTHER);
        EXPECT_EQ(param.sched_priority, 0);
    });
    t.join();
}

TEST(ByteRing, WritesWrapAndReadSpansSplit) {
    u8 store[2048];
    std::memset(store, 0, sizeof store);
    CByteRing ring;
    ring.Init(store, 11);
    EXPECT_EQ(ring.mask, 2047u);
    std::vector<u8> first(2000, 1), second(100);
    for (u32 i = 0; i < 100; ++i) second[i] = u8(i + 10);
    ring.Write(first.data(), 2000);
    ring.readPos = 2000;
    ring.Write(second.data(), 100);
    EXPECT_EQ(ring.writePos, 2100u);
    EXPECT_EQ(store[2000], 10);
    EXPECT_EQ(store[2047], 57);
    EXPECT_EQ(store[0], 58);
    EXPECT_EQ(store[51], 109);
    EXPECT_EQ(store[52], 1);

    const u8 *p1, *p2;
    u32 n1, n2;
    ring.GetReadSpans(100, &p1, &n1, &p2, &n2);
    EXPECT_EQ(p1, store + 2000);
    EXPECT_EQ(n1, 48u);
    EXPECT_EQ(p2, store);
    EXPECT_EQ(n2, 52u);
    ring.GetReadSpans(40, &p1, &n1, &p2, &n2);
    EXPECT_EQ(n1, 40u);
    EXPECT_EQ(p2, nullptr);
    EXPECT_EQ(n2, 0u);
    EXPECT_EQ(ring.readPos, 2000u);
}

namespace {

struct Counted : CPooledObj {
    static std::atomic<int> alive;
    Counted() { alive++; }
    ~Counted() override { alive--; }
};
std::atomic<int> Counted::alive{0};

class CountedPool : public CObjPool {
public:
    explicit CountedPool(std::atomic<bool>* deleted) : fDeleted(deleted) {}

protected:
    CPooledObj* Create() override { return new Counted; }
    void DeleteSelf() override {
        *fDeleted = true;
        delete this;
    }

private:
    std::atomic<bool>* fDeleted;
};

}  // namespace

TEST(ObjPool, RecyclesObjectsAndOutlivesItsOwner) {
    std::atomic<bool> deleted{false};
    auto* pool = new CountedPool(&deleted);
    CPooledObj* a = pool->Acquire();
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->Pool(), pool);
    EXPECT_EQ(pool->Count(), 2);
    a->Retain();
    a->Release();
    EXPECT_EQ(pool->FreeCount(), 0u);
    a->Release();
    EXPECT_EQ(pool->FreeCount(), 1u);
    EXPECT_EQ(pool->Count(), 1);
    CPooledObj* b = pool->Acquire();
    EXPECT_EQ(b, a);
    EXPECT_EQ(b->UseCount(), 1);

    pool->Release();  // the owner lets go while b is out
    EXPECT_FALSE(deleted);
    b->Release();
    EXPECT_TRUE(deleted);
    EXPECT_EQ(Counted::alive, 0);

    // An object that belongs to no pool deletes itself.
    Counted* loose = new Counted;
    loose->Release();
    EXPECT_EQ(Counted::alive, 0);
}

TEST(ObjPool, ConcurrentAcquireAndRelease) {
    std::atomic<bool> deleted{false};
    auto* pool = new CountedPool(&deleted);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([pool] {
            for (int i = 0; i < 2000; ++i) {
                CPooledObj* o = pool->Acquire();
                ASSERT_NE(o, nullptr);
                ASSERT_EQ(o->UseCount(), 1);
                o->Release();
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_LE(pool->FreeCount(), 4u);
    EXPECT_EQ(pool->Count(), 1);
    pool->Release();
    EXPECT_TRUE(deleted);
    EXPECT_EQ(Counted::alive, 0);
}

TEST(SystemInfo, PackedVersionAndQuery) {
    EXPECT_EQ(PackSystemVersion(10, 7, 5), 0x1075u);
    EXPECT_EQ(PackSystemVersion(10, 13, 2), 0x1092u);
    EXPECT_EQ(PackSystemVersion(6, 1, 0), 0x0610u);
    SystemInfo info;
    SystemInfo::Query(&info);
    EXPECT_GT(info.major, 0u);
    EXPECT_EQ(info.version, PackSystemVersion(info.major, info.minor, info.bugfix));
    EXPECT_NE(info.machine[0], 0);
}
