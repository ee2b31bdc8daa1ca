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
        if (!fAt) fAt = LTickMs();
        if (LTickMs() - fAt < 500) return;
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
    u32 fAt = 0, fSent = 0;
    bool fDone = false;
    std::string fTitle;
};
