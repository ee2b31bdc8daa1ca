// The main run loop on Qt Core: timers started and sources signalled from
// other threads run their callbacks on the main thread; signals coalesce; a
// timer first started when the application has ended gives up.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "base/Clock.h"
#include "platform/RunLoop.h"

namespace {

struct Counter {
    std::atomic<int> calls{0};
    std::atomic<int> offMain{0};
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
    Counter timers;
    std::vector<std::unique_ptr<LRunLoopTimer>> made;
    for (int i = 0; i < 8; ++i)
        made.push_back(std::make_unique<LRunLoopTimer>(MainRunLoopWakeSource(), &timers, Count));
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) threads.emplace_back([&, i] { made[i]->StartMs(u32(i % 2)); });
    for (auto& t : threads) t.join();
    EXPECT_TRUE(RunUntil([&] { return timers.calls == 8; }));

    // 1000 signals from four threads: each callback on the main thread, and
    // fewer callbacks than signals once they pile up.
    Counter sources;
    CRunLoopSrc* src = CRunLoopSrc::New(&sources, Count);
    std::atomic<int> sent{0};
    threads.clear();
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 250; ++i, ++sent) src->Signal();
        });
    for (auto& t : threads) t.join();
    EXPECT_TRUE(RunUntil([&] { return sources.calls > 0; }));
    RunLoopRunOnce(20);
    EXPECT_LE(sources.calls, 1000);
    const int before = sources.calls;
    src->Signal();
    EXPECT_TRUE(RunUntil([&] { return sources.calls == before + 1; }));
    EXPECT_EQ(timers.offMain + sources.offMain, 0);
    delete src;

    // An event timer triggered twice before it ran runs once.
    int fired = 0;
    CEventTimer event(&fired, [](void* c, CEventTimer*) { ++*static_cast<int*>(c); });
    event.Trigger();
    event.Trigger();
    EXPECT_TRUE(RunUntil([&] { return fired == 1; }));
    RunLoopRunOnce(20);
    EXPECT_EQ(fired, 1);
}

TEST(RunLoopThreads, StartAtExitReturns) {
    // The application object has gone (the test above made it; Qt deletes it
    // with its post routines only at exit): a fresh process state is what a
    // reactor thread sees at exit, so ask with none.
    delete QCoreApplication::instance();
    MainRunLoopClosing();
    Counter c;
    std::thread worker([&] {
        LRunLoopTimer timer(MainRunLoopWakeSource(), &c, Count);
        timer.StartMs(0u);
    });
    worker.join();
    EXPECT_EQ(c.calls, 0);
}

}  // namespace

// Qt Core is not built with ThreadSanitizer: its queue of posted events locks
// with futexes the sanitizer cannot see, so its own memory moves between
// threads unseen. Our code stays checked.
extern "C" const char* __tsan_default_suppressions() {
    return "called_from_lib:libQt6Core.so.6\n";
}
