// Run-loop services on the Qt event loop of the main thread.

#include "platform/RunLoop.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <climits>

#include "platform/Services.h"

// The main run loop is the thread of the application object; it is known once
// the application object exists.
class LRunLoopHolder {
public:
    QThread* Thread() {
        while (!QCoreApplication::instance()) SleepMs(1);
        return QCoreApplication::instance()->thread();
    }
    bool Known() const { return QCoreApplication::instance() != nullptr; }
};

LRunLoopHolder* MainRunLoopWakeSource() {
    static LRunLoopHolder holder;
    return &holder;
}

class LRunLoopTimer::Impl : public QObject {
public:
    Impl(void* context, LRunLoopFn callback) : fContext(context), fCallback(callback) {
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

namespace {

// Runs fn on obj's thread: at once when already there, else queued (a QTimer
// cannot be started or stopped from another thread).
template <class F>
void OnObjectThread(QObject* obj, F fn) {
    if (QThread::currentThread() == obj->thread())
        fn();
    else
        QMetaObject::invokeMethod(obj, fn, Qt::QueuedConnection);
}

}  // namespace

LRunLoopTimer::LRunLoopTimer(LRunLoopHolder* holder, void* context, LRunLoopFn callback)
    : fImpl(new Impl(context, callback)) {
    if (holder && holder->Known()) {
        QThread* target = holder->Thread();
        if (fImpl->thread() != target) fImpl->moveToThread(target);
        fImpl->fPlaced = true;
    }
}

LRunLoopTimer::~LRunLoopTimer() {
    if (QThread::currentThread() == fImpl->thread())
        delete fImpl;
    else
        fImpl->deleteLater();
}

void LRunLoopTimer::StartMs(const u32* ms) {
    if (!fImpl->fPlaced) {
        QThread* target = MainRunLoopWakeSource()->Thread();
        if (fImpl->thread() != target && QThread::currentThread() == fImpl->thread())
            fImpl->moveToThread(target);
        fImpl->fPlaced = true;
    }
    const u32 v = *ms;
    Impl* impl = fImpl;
    OnObjectThread(impl, [impl, v] { impl->Arm(v); });
}

void LRunLoopTimer::Disarm() {
    Impl* impl = fImpl;
    OnObjectThread(impl, [impl] { impl->Stop(); });
}

namespace {

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

}  // namespace

CRunLoopSrc* CRunLoopSrc::New(void* context, LRunLoopFn callback) {
    return new QtRunLoopSrc(context, callback);
}

void RunLoopRunOnce(u32 maxWaitMs) {
    QTimer wake;
    wake.setSingleShot(true);
    wake.start(int(maxWaitMs > u32(INT_MAX) ? u32(INT_MAX) : maxWaitMs));
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}
