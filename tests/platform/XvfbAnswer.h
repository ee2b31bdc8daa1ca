#pragma once
// Answers the next window a program opens (a question, a name dialog, a folder
// chooser) with real keys once it has settled, from a timer that runs inside
// the window's own modal loop; a window the keys did not close is a failure,
// and is then closed, so that a walk never waits on it for good.
#include <QApplication>
#include <QMenu>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>

#include "XvfbHarness.h"
#include "base/Clock.h"

class Answer {
public:
    Answer(const XvfbHarness& x, std::string keys) : fX(x), fKeys(std::move(keys)) {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible()) fBefore.insert(w);
        QObject::connect(&fTimer, &QTimer::timeout, [this] { Step(); });
        fTimer.start(20);
    }
    bool Done() const { return fDone; }
    // The keys sent and the window they answered gone.
    bool Closed() const { return fDone && (!fAnswered || !fAnswered->isVisible()); }
    std::string Title() const { return fTitle; }

private:
    void Step() {
        if (fDone) {
            // The answered window gone: done for good.
            if (!fAnswered || !fAnswered->isVisible()) {
                fTimer.stop();
                return;
            }
            // One the keys did not close would hold the walk in its modal loop.
            if (LTickMs() - fSent > 6000) {
                ADD_FAILURE() << fTitle << " still open after " << fKeys;
                fX.XdotoolAsync("key Escape sleep 0.5 key Escape");
                fTimer.stop();
            }
            return;
        }
        QWidget* fresh = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && !fBefore.count(w) && !qobject_cast<QMenu*>(w)) fresh = w;
        if (!fresh) return;
        // Keys go to it once it is the active window, has been long enough to
        // take them as typed, and holds the X input focus.
        if (!fAt) fAt = LTickMs();
        if (QApplication::activeWindow() != fresh) {
            fActiveAt = 0;
            if (LTickMs() - fAt < 3000) return;
            // Not made active by the window manager (a window that is never
            // activated): answered all the same, as before.
        } else {
            if (!fActiveAt) fActiveAt = LTickMs();
            if (LTickMs() - fActiveAt < 150) return;
            if (std::strtoull(fX.Run("xdotool getwindowfocus").c_str(), nullptr, 10) !=
                    u64(fresh->winId()) &&
                LTickMs() - fAt < 3000)
                return;
        }
        fTitle = fresh->windowTitle().toStdString();
        // A window of the program fits the screen.
        const QRect area = QApplication::primaryScreen()->availableGeometry();
        EXPECT_TRUE(area.contains(fresh->frameGeometry())) << fTitle;
        fAnswered = fresh;
        fX.XdotoolAsync(fKeys);
        fDone = true;
        fSent = LTickMs();
    }
    const XvfbHarness& fX;
    std::string fKeys;
    std::set<QWidget*> fBefore;
    QTimer fTimer;
    QPointer<QWidget> fAnswered;
    u32 fAt = 0, fActiveAt = 0, fSent = 0;
    bool fDone = false;
    std::string fTitle;
};
