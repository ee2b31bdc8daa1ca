// Run-loop services on the Qt event loop of the main thread: the default loop of
// every program that links them (the registry is services/RunLoop.cpp).

#include "services/RunLoop.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <climits>

#include "services/Services.h"

// The main run loop is the thread of the application object; it is known once
// the application object exists. Null once the loop is closing without one: the
// application has ended (or never started) and nobody will serve the timer.
class LRunLoopHolder {
public:
    QThread* Thread() {
        for (;;) {
            if (QCoreApplication* app = QCoreApplication::instance()) return app->thread();
            if (MainRunLoopIsClosing()) return nullptr;
            SleepMs(1);
        }
    }
    bool Known() const { return QCoreApplication::instance() != nullptr; }
};

namespace {

LRunLoopHolder sMainHolder;

// Runs fn on obj's thread: at once when already there, else queued (a QTimer
// cannot be started or stopped from another thread).
template <class F>
void OnObjectThread(QObject* obj, F fn) {
    if (QThread::currentThread() == obj->thread())
        fn();
    else
        QMetaObject::invokeMethod(obj, fn, Qt::QueuedConnection);
}

class QtTimerCore : public QObject {
public:
    QtTimerCore(void* context, LRunLoopFn callback) : fContext(context), fCallback(callback) {
        fTimer = new QTimer(this);
        fTimer->setSingleShot(true);
        fTimer->setTimerType(Qt::PreciseTimer);
        QObject::connect(fTimer, &QTimer::timeout, this, [this] { fCallback(fContext); });
    }
    void Arm(u32 ms) { fTimer->start(int(ms > u32(INT_MAX) ? u32(INT_MAX) : ms)); }
    void Stop() { fTimer->stop(); }

    bool fPlaced = false;

private:
    QTimer* fTimer;
    void* fContext;
    LRunLoopFn fCallback;
};

class QtTimer final : public LRunLoopTimer::Impl {
public:
    QtTimer(LRunLoopHolder* holder, void* context, LRunLoopFn callback)
        : fCore(new QtTimerCore(context, callback)) {
        if (holder && holder->Known()) {
            if (QThread* target = holder->Thread()) {
                if (fCore->thread() != target) fCore->moveToThread(target);
                fCore->fPlaced = true;
            }
        }
    }
    ~QtTimer() override {
        if (QThread::currentThread() == fCore->thread())
            delete fCore;
        else
            fCore->deleteLater();
    }
    void StartMs(u32 ms) override {
        if (!fCore->fPlaced) {
            QThread* target = sMainHolder.Thread();
            if (!target) return;
            if (fCore->thread() != target && QThread::currentThread() == fCore->thread())
                fCore->moveToThread(target);
            fCore->fPlaced = true;
        }
        QtTimerCore* core = fCore;
        OnObjectThread(core, [core, ms] { core->Arm(ms); });
    }
    void Disarm() override {
        QtTimerCore* core = fCore;
        OnObjectThread(core, [core] { core->Stop(); });
    }

private:
    QtTimerCore* fCore;
};

class QtRunLoopSrc final : public QObject, public CRunLoopSrc {
public:
    QtRunLoopSrc(void* context, LRunLoopFn callback) : fContext(context), fCallback(callback) {}

    void Signal() override {
        if (fSignalled.exchange(true)) return;
        QMetaObject::invokeMethod(
            this,
            [this] {
                fSignalled.store(false);
                fCallback(fContext);
            },
            Qt::QueuedConnection);
    }

private:
    void* fContext;
    LRunLoopFn fCallback;
    std::atomic<bool> fSignalled{false};
};

class QtRunLoop final : public LRunLoopServices {
public:
    LRunLoopHolder* MainWakeSource() override { return &sMainHolder; }
    LRunLoopTimer::Impl* NewTimer(LRunLoopHolder* holder, void* context,
                                  LRunLoopFn callback) override {
        return new QtTimer(holder, context, callback);
    }
    CRunLoopSrc* NewSource(void* context, LRunLoopFn callback) override {
        return new QtRunLoopSrc(context, callback);
    }
    void RunOnce(u32 maxWaitMs) override {
        QTimer wake;
        wake.setSingleShot(true);
        wake.start(int(maxWaitMs > u32(INT_MAX) ? u32(INT_MAX) : maxWaitMs));
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    void MakeMain() override {
        static int argc = 1;
        static char name[] = "kevorune";
        static char* argv[] = {name, nullptr};
        if (QCoreApplication::instance()) return;
        new QCoreApplication(argc, argv);
        qAddPostRoutine(MainRunLoopClosing);
    }
};

QtRunLoop sQtLoop;

// Nothing calls into this file by name: the loop puts itself in as the default
// before main runs, which is why the library is linked whole.
struct QtRunLoopDefault {
    QtRunLoopDefault() { SetPlatformRunLoopServices(&sQtLoop); }
} sQtLoopDefault;

}  // namespace
