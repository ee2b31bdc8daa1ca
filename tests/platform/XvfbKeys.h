#pragma once
// Keys as a person types them on the X server: one at a time, about 100 ms
// apart, each sent by an xdotool of its own that runs beside the program, the
// program's loop running all the while; every key known to have reached the
// program before the next is sent. Also the waits the walks share: on a
// condition, failing loudly with what was awaited.
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "ShellFixture.h"
#include "WalkWatch.h"
#include "XvfbHarness.h"
#include "base/Clock.h"

// The key and button releases the program has taken from the X server, each
// counted once (where it reaches its QWindow, before the widget it goes on to):
// input sent is known to have arrived once these have moved on by as much.
// Counts from its first use, which needs the application.
class InputSeen : public QObject {
public:
    static InputSeen& Instance() {
        static InputSeen* seen = [] {
            auto* s = new InputSeen;
            qApp->installEventFilter(s);
            return s;
        }();
        return *seen;
    }
    u64 Keys() const { return fKeys; }
    // Key presses: a key that closes its window (Return in a pop-up that rebuilds
    // the window behind it) may leave its release nowhere to go.
    u64 Presses() const { return fPresses; }
    u64 Releases() const { return fReleases; }

protected:
    bool eventFilter(QObject* o, QEvent* e) override {
        if (o->isWidgetType() || !qobject_cast<QWindow*>(o)) return false;
        if (e->type() == QEvent::KeyPress || e->type() == QEvent::KeyRelease) {
            const int k = static_cast<QKeyEvent*>(e)->key();
            if (k != Qt::Key_Shift && k != Qt::Key_Control && k != Qt::Key_Alt &&
                k != Qt::Key_Meta && !static_cast<QKeyEvent*>(e)->isAutoRepeat())
                ++(e->type() == QEvent::KeyPress ? fPresses : fKeys);
        } else if (e->type() == QEvent::MouseButtonRelease) {
            ++fReleases;
        }
        return false;
    }

private:
    u64 fKeys = 0, fPresses = 0, fReleases = 0;
};

// The number of milliseconds between two looks of the waits below that ask
// another process (a simulated device, the X server): each look costs that
// process a turn, and a wait that asks in every turn of the loop takes the
// machine from the program it waits for.
constexpr u32 kLookMs = 25;

// Runs the loop until pred holds, for at most ms: pred is looked at after
// whatever the loop handled, and every tickMs besides. The thread sleeps in
// the loop's wait meanwhile, not in a spin of it: on a machine shared by many
// walks, a spinning wait takes the time the program it waits for needs.
inline bool WaitUntil(const std::function<bool()>& pred, u32 ms = 3000, u32 tickMs = 10) {
    QTimer tick;
    tick.start(int(tickMs));
    for (const u32 start = LTickMs();;) {
        if (pred()) return true;
        if (LTickMs() - start >= ms) return pred();
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

// Runs the loop until pred holds, looking at most every everyMs.
inline bool RunUntilEvery(const std::function<bool()>& pred, u32 ms, u32 everyMs = kLookMs) {
    u32 last = LTickMs() - everyMs;
    bool held = false;
    WaitUntil(
        [&] {
            if (held) return true;
            if (LTickMs() - last < everyMs) return false;
            last = LTickMs();
            return held = pred();
        },
        ms, everyMs);
    return held;
}

// Runs the loop until pred holds (looked at every everyMs at most); on
// time-out the test fails, naming what it waited for.
inline bool Await(const std::string& what, const std::function<bool()>& pred, u32 ms = 5000,
                  u32 everyMs = 0) {
    walkwatch::Note("awaiting " + what);
    if (everyMs ? RunUntilEvery(pred, ms, everyMs) : WaitUntil(pred, ms)) return true;
    ADD_FAILURE() << "gave up after " << ms << " ms waiting for " << what;
    return false;
}

class PacedKeys {
public:
    // The gap between two keys of a person typing at an even pace.
    static constexpr u32 kGapMs = 100;

    explicit PacedKeys(const XvfbHarness& x) : fX(x) {}

    // reach: whether a key sent now goes where it is meant (checked before each).
    // Each key ("ctrl+a", "Return") of a space-separated list pressed and
    // released apart.
    bool Keys(const std::string& keys, const std::function<bool()>& reach = nullptr) {
        bool ok = true;
        size_t at = 0;
        while (at < keys.size()) {
            const size_t end = std::min(keys.find(' ', at), keys.size());
            const std::string k = keys.substr(at, end - at);
            if (!k.empty())
                ok = Send({"keydown", k, "sleep", "0.02", "keyup", k}, "key " + k, reach) && ok;
            at = end + 1;
        }
        return ok;
    }
    // Each character of the text (UTF-8) typed apart.
    bool Text(const std::string& text, const std::function<bool()>& reach = nullptr) {
        bool ok = true;
        for (size_t at = 0; at < text.size();) {
            size_t n = 1;
            while (at + n < text.size() && (u8(text[at + n]) & 0xC0) == 0x80) ++n;
            const std::string c = text.substr(at, n);
            ok = Send({"type", "--delay", "20", "--", c}, "'" + c + "' of '" + text + "'", reach) &&
                 ok;
            at += n;
        }
        return ok;
    }

private:
    // One key: sent at the pace, with the loop running until xdotool is done
    // and the program has taken the key's release.
    bool Send(const std::vector<std::string>& args, const std::string& what,
              const std::function<bool()>& reach) {
        // A person's pace, with the program running meanwhile: a time, not a
        // state of the program, is what is waited for.
        WaitUntil([&] { return LTickMs() - fLast >= kGapMs; }, kGapMs + 50);
        if (reach && !RunUntilEvery(reach, 3000))
            ADD_FAILURE() << "the X focus is not on the active window for " << what;
        InputSeen& seen = InputSeen::Instance();
        const u64 before = seen.Keys(), pressed = seen.Presses();
        fLast = LTickMs();
        const pid_t pid = fX.XdotoolStart(args);
        const bool sent = WaitUntil([&] { return XvfbHarness::Finished(pid); }, 5000);
        // Taken once its release is; its press alone when the release finds no
        // window left to go to.
        bool taken = WaitUntil([&] { return seen.Keys() > before; }, 3000);
        if (!taken) taken = seen.Presses() > pressed;
        if (!sent || !taken) ADD_FAILURE() << what << " did not reach the program";
        return sent && taken;
    }

    const XvfbHarness& fX;
    u32 fLast = 0;
};
