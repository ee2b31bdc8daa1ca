// The main run loop on Qt Core: timers started and sources signalled from other
// threads run their callbacks on the main thread, signals coalesce, an event
// timer triggered twice runs once, and a first start after the application
// ended gives up instead of waiting for ever.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "base/Clock.h"
#include "services/RunLoop.h"

namespace {

struct Counter {
    std::atomic<int> calls{0}, offMain{0};
};

void Count(void* c) {
    Counter* counter = static_cast<Counter*>(c);
    if (QThread::currentThread() != QCoreApplication::instance()->thread()) ++counter->offMain;
    ++counter->calls;
}

bool RunUntil(const std::function<bool()>& done) {
    for (u32 start = LTickMs(); !done() && LTickMs() - start < 5000;) RunLoopRunOnce(10);
    return done();
}

TEST(RunLoopThreads, WorkersReachTheMainThread) {
    qputenv("QT_FATAL_WARNINGS", "1");
    RunLoopMakeMain();
    Counter timers, sources;
    std::vector<LRunLoopTimer*> made;
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i)
        made.push_back(new LRunLoopTimer(MainRunLoopWakeSource(), &timers, Count));
    for (int i = 0; i < 8; ++i) threads.emplace_back([&, i] { made[i]->StartMs(u32(i % 2)); });
    CRunLoopSrc* src = CRunLoopSrc::New(&sources, Count);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 250; ++i) src->Signal();
        });
    for (auto& t : threads) t.join();
    EXPECT_TRUE(RunUntil([&] { return timers.calls == 8 && sources.calls > 0; }));
    RunLoopRunOnce(20);
    EXPECT_LE(sources.calls, 1000);
    const int before = sources.calls;
    src->Signal();
    EXPECT_TRUE(RunUntil([&] { return sources.calls == before + 1; }));
    EXPECT_EQ(timers.offMain + sources.offMain, 0);
    delete src;
    for (LRunLoopTimer* t : made) delete t;

    int fired = 0;
    CEventTimer event(&fired, [](void* c, CEventTimer*) { ++*static_cast<int*>(c); });
    event.Trigger();
    event.Trigger();
    EXPECT_TRUE(RunUntil([&] { return fired == 1; }));
    RunLoopRunOnce(20);
    EXPECT_EQ(fired, 1);
}

TEST(RunLoopThreads, StartAtExitReturns) {
    delete QCoreApplication::instance();  // what the reactor thread sees at exit
    Counter c;
    std::thread worker([&] { LRunLoopTimer(MainRunLoopWakeSource(), &c, Count).StartMs(0u); });
    worker.join();
    EXPECT_EQ(c.calls, 0);
}

}  // namespace

// Qt Core is not built with ThreadSanitizer: its posted-event queue locks with
// futexes the sanitizer cannot see. Our own code stays checked.
extern "C" const char* __tsan_default_suppressions() {
    return "called_from_lib:libQt6Core.so.6\n";
}
