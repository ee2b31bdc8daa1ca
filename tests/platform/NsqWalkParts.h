#pragma once
// What the NSQ editor's walks share: choosing from a pop-up menu that the walk's
// own action opened, and where a time of a track row lies on the screen.

#include <QApplication>
#include <QImage>
#include <QMenu>
#include <QTimer>

#include "XvfbHarness.h"
#include "XvfbWalk.h"
#include "editors/nsq/CNSqTimeScale.h"
#include "editors/nsq/CNSqUTrkList.h"

namespace nsqwalk {

// Chooses the item of the pop-up menu that an action of the walk opens: the
// menu runs a loop of its own, so the choice is made from a timer.
class PopupChoice {
public:
    PopupChoice(const XvfbHarness& x, QString prefix) : fX(x), fPrefix(std::move(prefix)) {
        QObject::connect(&fTimer, &QTimer::timeout, [this] { Tick(); });
        fTimer.start(40);
    }
    bool Done() const { return fDone; }

private:
    void Tick() {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (fDone || !menu || !menu->isVisible()) return;
        if (++fSeen < 4) return;  // shown and placed for a few ticks first
        for (QAction* a : menu->actions()) {
            if (!a->text().remove('&').startsWith(fPrefix) || !a->isEnabled()) continue;
            fX.XdotoolAsync(Where(menu->mapToGlobal(menu->actionGeometry(a).center())) +
                            " click 1");
            fDone = true;
            fTimer.stop();
            return;
        }
    }
    const XvfbHarness& fX;
    QString fPrefix;
    QTimer fTimer;
    int fSeen = 0;
    bool fDone = false;
};

// Where a time (seconds) of a track row lies on the screen.
inline QPoint TrackAt(CNSqUTrkList& list, CNSqTimeScale& scale, u32 row, double seconds) {
    const LRect r = list.GetCellRect(LCell{0, i32(row)});
    return ScreenPoint(
        &list, LPoint{list.SceneArea().left - list.Bounds().left + scale.TimeToPos(seconds) + 1,
                      r.top - list.Bounds().top + r.Height() / 2});
}

// xdotool's command (words apart by blanks) with the program's loop running
// until it is done: a drag's steps or a run of wheel notches at a person's pace.
inline void XdotoolRunning(const XvfbHarness& x, const std::string& command) {
    std::vector<std::string> args;
    for (size_t at = 0; at < command.size();) {
        const size_t end = std::min(command.find(' ', at), command.size());
        if (end > at) args.push_back(command.substr(at, end - at));
        at = end + 1;
    }
    const pid_t pid = x.XdotoolStart(args);
    WaitUntil([&] { return XvfbHarness::Finished(pid); }, 20000);
    LoopDrained();
}

// The pixels of r (screen coordinates) that differ between two screenshots:
// all of them, or only those that took one of the colours given.
inline int ChangedPixels(const QImage& before, const QImage& after, const QRect& r,
                         std::initializer_list<QRgb> into = {}) {
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QRgb a = after.pixel(x, y) & 0xFFFFFF;
            if (a == (before.pixel(x, y) & 0xFFFFFF)) continue;
            bool counts = into.size() == 0;
            for (QRgb c : into) counts = counts || a == (c & 0xFFFFFF);
            n += counts;
        }
    return n;
}

}  // namespace nsqwalk
