#pragma once
// A test window whose frame logs what its panes send (consuming fTake's
// names), presses on a control's widget, the control services beside the shell.
#include <QMouseEvent>

#include <set>
#include <string>

#include "ShellFixture.h"
#include "framework/LStdCtl.h"
#include "platform/qt/QtControls.h"

class CtlFrame : public LFrame {
public:
    CtlFrame() : LFrame(gApp, nullptr, LPaneOpt::Window(kWindowOrdinary, 6)) {
        fWindow->SetContentRect(LRect(100, 100, 500, 400));
    }
    MWindow* Native() const { return AsMWindow(fWindow->Native()); }
    // Shown and active (activate() where a window manager keeps the focus).
    template <class F>
    void Front(F activate) {
        ShowWindow();
        if (!RunUntil([&] { return Native()->isActiveWindow(); }, 1000)) activate();
        RunUntil([&] { return Native()->isActiveWindow() && Native()->ActiveForMs() > 150; });
    }
    LMessage HandleMessage(const LMessage& msg) override {
        const std::string name = msg.name ? msg.name : "";
        bool logged = false;
        for (const char* p : {"LStdC", "LPopupList_", "LScrollBar_", "CSlider_", "LEditText_Down"})
            logged = logged || name.rfind(p, 0) == 0;
        if (!logged || msg.source == fWindow || msg.source == this)
            return LFrame::HandleMessage(msg);
        fLog += (fLog.empty() ? "" : " ") + name;
        if (name == "CSlider_Change")
            fSlid.push_back(static_cast<CSlider*>(msg.source)->GetValue());
        return fTake.count(name) ? LMessage() : LMessage::CopyRetarget(msg, msg.source);
    }
    std::string Take() { return std::exchange(fLog, std::string()); }
    std::string fLog;
    std::set<std::string> fTake;
    // What a slider read as its value when it reported a change.
    std::vector<i32> fSlid;
};

inline QWidget* WidgetOf(LStdCtl* pane) {
    return static_cast<QtNativeControl*>(pane->Native())->Widget();
}

inline void SendMouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButton button,
                      Qt::MouseButtons buttons) {
    QMouseEvent e(type, QPointF(at), QPointF(w->mapTo(w->window(), at)),
                  QPointF(w->mapToGlobal(at)), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &e);
}

inline void ClickWidget(QWidget* w, QPoint at, Qt::MouseButton button = Qt::LeftButton) {
    SendMouse(w, QEvent::MouseButtonPress, at, button, button);
    SendMouse(w, QEvent::MouseButtonRelease, at, button, Qt::NoButton);
}

struct ControlEnv : ShellEnv {
    explicit ControlEnv(const char* platform) : ShellEnv(platform) {}
    QtControlServices controls;
};
