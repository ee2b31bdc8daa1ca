// Framework fields under Xvfb with openbox: a held number field repeats at the
// server's rate, and a dead key composes again once an ASCII-only field is left.
// Skipped without Xvfb, openbox or xdotool.
#include <gtest/gtest.h>

#include <QLineEdit>

#include "XvfbFrameTest.h"
#include "framework/CNumVol.h"

// libdbus (the X11 plugin's session bus) keeps a buffer for the process's life.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}

namespace {

// Keeps the ms of every "CNumVol_Move" and the value of every "CNumVol_Fix".
struct MoveFrame : CtlFrame {
    LMessage HandleMessage(const LMessage& msg) override {
        if (msg.Is(CNumVol_Move)) fMoves.push_back(LTickMs());
        if (msg.Is(CNumVol_Fix)) fFixes.push_back(static_cast<CNumVol*>(msg.source)->GetValue());
        return CtlFrame::HandleMessage(msg);
    }
    std::vector<u32> fMoves;
    std::vector<f64> fFixes;
};

class XvfbFields : public XvfbFrameTest<MoveFrame> {
protected:
    // Real mouse at the right end of a pane, "click 1" or a held button.
    void Mouse(LPane* pane, const std::string& action) {
        const LRect b = pane->Bounds();
        const QPoint at =
            frame->Native()->View()->mapToGlobal(QPoint(b.right - 4, (b.top + b.bottom) / 2));
        gX->Xdotool("mousemove " + std::to_string(at.x()) + " " + std::to_string(at.y()) + " " +
                    action);
    }
};

TEST_F(XvfbFields, HeldNumberFieldRepeatsAtTheServersRate) {
    ASSERT_EQ(gX->Run("xset r rate 500 20 && echo ok"), "ok\n");
    CNumVol vol(frame.get());
    vol.SetBounds(LRect(20, 20, 160, 42));
    vol.SetRange(0, 1000, 1);
    Mouse(&vol, "click 1");
    ASSERT_TRUE(WaitUntil([&] { return vol.Engine() != nullptr; }));
    WaitUntil([] { return !QApplication::mouseButtons(); }, 500);
    Mouse(&vol, "mousedown 1");
    WaitUntil([&] { return frame->fMoves.size() >= 6; }, 3000);
    gX->Xdotool("mouseup 1");
    ASSERT_GE(frame->fMoves.size(), 6u);
    const std::vector<u32>& t = frame->fMoves;  // the first from the press itself
    // A timer never fires early, but a loaded machine (sanitizers, a parallel run)
    // can make it late: the bounds above are generous, the ones below are not.
    EXPECT_GE(t[1] - t[0], 490u);
    EXPECT_LE(t[1] - t[0], 1000u);
    EXPECT_GE(f64(t[5] - t[1]) / 4, 45.0);
    EXPECT_LE(f64(t[5] - t[1]) / 4, 150.0);
}

TEST_F(XvfbFields, PlainFieldAfterAnAsciiFieldStillComposes) {
    if (!gX->SetKeymap("-layout us -variant intl", "dead_acute"))
        GTEST_SKIP() << "no setxkbmap";
    LAsciiEdit ascii(frame.get());
    LEditText plain(frame.get());
    ascii.SetBounds(LRect(10, 10, 200, 32));
    plain.SetBounds(LRect(10, 50, 200, 72));
    const std::pair<LEditText*, std::string> kTyped[] = {
        {&ascii, "e"}, {&plain, "\xC3\xA9"}, {&ascii, "ee"}};
    for (const auto& typed : kTyped) {
        LEditText* field = typed.first;
        Mouse(field, "click 1");
        ASSERT_TRUE(WaitUntil([&] { return field->Engine() && QApplication::focusWidget(); }));
        gX->Xdotool("key dead_acute e");
        WaitUntil([&] { return std::string(field->GetText().View()) == typed.second; }, 2000);
        EXPECT_EQ(std::string(field->GetText().View()), typed.second);
    }
    gX->SetKeymap("-layout us");
}

// The only field of its window: Tab has nowhere to go and still ends the edit,
// once; after another window had the keyboard, typed digits reach the field
// again and Return ends that edit.
TEST_F(XvfbFields, LoneNumberFieldEndsOnTabAndTypesAfterReactivation) {
    CNumVol vol(frame.get());
    vol.SetBounds(LRect(20, 20, 160, 42));
    vol.SetRange(0, 999, 1);
    vol.SetValue(10);
    const LRect b = vol.Bounds();
    const QPoint at =
        frame->Native()->View()->mapToGlobal(QPoint(b.left + 8, (b.top + b.bottom) / 2));
    gX->Xdotool("mousemove " + std::to_string(at.x()) + " " + std::to_string(at.y()) + " click 1");
    ASSERT_TRUE(WaitUntil([&] { return vol.Engine() && QApplication::focusWidget(); }));
    KeysPaced("ctrl+a BackSpace");
    TypePaced("42");
    ASSERT_TRUE(WaitUntil([&] { return std::string(vol.GetText().View()) == "42"; }, 2000));
    KeysPaced("Tab");
    EXPECT_TRUE(WaitUntil([&] { return !frame->fFixes.empty(); }, 2000));
    KeysPaced("Tab");
    LoopDrained();
    EXPECT_EQ(frame->fFixes, std::vector<f64>{42});

    // Another window takes the keyboard, then this one again.
    CtlFrame other;
    other.Front([&] { gX->Xdotool("windowactivate " + std::to_string(other.Native()->winId())); });
    ASSERT_TRUE(Activate(other.Native()));
    ASSERT_TRUE(Activate(frame->Native()));
    KeysPaced("ctrl+a BackSpace");
    TypePaced("7");
    EXPECT_TRUE(WaitUntil([&] { return std::string(vol.GetText().View()) == "7"; }, 2000))
        << vol.GetText().View();
    KeysPaced("Return");
    EXPECT_TRUE(WaitUntil([&] { return frame->fFixes.size() == 2; }, 2000));
    EXPECT_EQ(frame->fFixes, (std::vector<f64>{42, 7}));
}

}  // namespace
