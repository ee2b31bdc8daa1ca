#pragma once
// Counts the messages that come up (a message dialog shown) and answers each
// one once it has settled, from a timer that also runs inside the message's
// own modal loop, the way asked: a key ("key Return"), "ok" for a click on its
// OK button, "close" for the window manager's close. A message that keeps
// coming back is a trap a user could only kill the program to leave: past six
// the child ends.
#include <QPointer>
#include <QRect>
#include <QTimer>

#include <cstdio>
#include <string>
#include <unistd.h>
#include <utility>

#include "XvfbHarness.h"
#include "XvfbWalk.h"
#include "base/Clock.h"
#include "framework/LFrame.h"
#include "framework/StdDialogs.h"
#include "platform/qt/QtWindows.h"

// A click on the close box of a window's title bar (openbox: at its right end).
inline std::string CloseBox(QWidget* window) {
    const QRect f = window->frameGeometry();
    return "mousemove " + std::to_string(f.right() - 10) + " " + std::to_string(f.top() + 8) +
           " click 1";
}

class MessageWatch {
public:
    explicit MessageWatch(const XvfbHarness& x, std::string answer = "key Return")
        : fX(x), fAnswer(std::move(answer)) {
        QObject::connect(&fTimer, &QTimer::timeout, [this] { Step(); });
        fTimer.start(20);
    }
    int Shown() const { return fShown; }
    bool Open() const { return fOpen; }
    // The text of the last message.
    std::string Text() const { return fText; }
    // Answers the message did not take.
    int Unheard() const { return fUnheard; }
    // Where the last message was when it was answered.
    QRect Frame() const { return fFrame; }
    // A screenshot of the next message, before it is answered.
    void ShootNext(std::string png) { fShot = std::move(png); }
    void SetAnswer(std::string answer) { fAnswer = std::move(answer); }

private:
    void Step() {
        CSimpleMessageDialog* message = nullptr;
        MWindow* window = nullptr;
        for (MWindow* w : ShownWindows()) {
            LFrame* f = w->Owner() ? w->Owner()->GetFrame() : nullptr;
            if (auto* m = dynamic_cast<CSimpleMessageDialog*>(f)) message = m, window = w;
        }
        if (!message) {
            fOpen = false;
            return;
        }
        // Another message window, even one that came up between two looks.
        if (!fOpen || fWindow.data() != window) {
            fOpen = true;
            fWindow = window;
            ++fShown;
            fAt = LTickMs();
            fAnswered = false;
            fText = message->fMessage.GetText().CStr();
            if (fShown > 6) {
                std::fprintf(stderr, "the message keeps coming back\n");
                std::fflush(nullptr);
                _exit(3);
            }
        }
        // A message that did not hear the first answer is answered again: the
        // test never stays inside its modal loop.
        if (fAnswered && LTickMs() - fAt > 2500) fAnswered = false, fAt = LTickMs(), ++fUnheard;
        if (fAnswered || LTickMs() - fAt < 400) return;
        fAnswered = true;
        fFrame = window->frameGeometry();
        if (!fShot.empty()) fX.Screenshot(std::exchange(fShot, std::string()));
        if (fAnswer == "ok") {
            fX.XdotoolAsync(Where(PaneCenter(&message->fOk)) + " click 1");
        } else if (fAnswer == "close") {
            fX.XdotoolAsync(CloseBox(window));
        } else {
            fX.XdotoolAsync(fAnswer);
        }
    }

    const XvfbHarness& fX;
    std::string fAnswer;
    QTimer fTimer;
    QPointer<MWindow> fWindow;
    QRect fFrame;
    std::string fShot, fText;
    int fShown = 0, fUnheard = 0;
    bool fOpen = false, fAnswered = false;
    u32 fAt = 0;
};
