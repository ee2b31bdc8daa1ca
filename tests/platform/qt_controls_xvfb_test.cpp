// Native controls under Xvfb with openbox: real clicks on a check box, the repeat rate from xset,
// and a dead key composing in a plain field but not in an ASCII-only one. Skipped without Xvfb,
// openbox or xdotool.
#include <gtest/gtest.h>

#include "XvfbFrameTest.h"
#include "services/GraphicsServices.h"
#include "platform/qt/QtTextField.h"

// libdbus (the X11 plugin's session bus) keeps a buffer for the process's life.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}

namespace {

class XvfbControls : public XvfbFrameTest<CtlFrame> {
protected:
    // A real click in the middle of a pane's widget, once its release is seen.
    std::string RealClick(LStdCtl* pane) {
        QWidget* w = WidgetOf(pane);
        const QPoint at = w->mapToGlobal(w->rect().center());
        gX->Xdotool("mousemove " + std::to_string(at.x()) + " " + std::to_string(at.y()) +
                    " click 1");
        WaitUntil([&] { return !frame->fLog.empty(); }, 2000);
        WaitUntil([] { return !(QApplication::mouseButtons() & Qt::LeftButton); }, 500);
        QCoreApplication::processEvents();
        return frame->Take();
    }
};

TEST_F(XvfbControls, RealClicksOnACheckBox) {
    LStdCheck box(frame.get());
    box.SetBounds(LRect(20, 20, 120, 40));
    frame->fTake.insert(LStdCtl_Selected);
    EXPECT_EQ(RealClick(&box), "LStdCtl_Selected");
    EXPECT_EQ(box.GetState(), 0);
    frame->fTake.clear();
    EXPECT_EQ(RealClick(&box), "LStdCtl_Selected LStdCheck_Change");
    EXPECT_EQ(box.GetState(), 1);
}

TEST_F(XvfbControls, KeyThresholdsFollowTheServersRepeatRate) {
    for (auto [rate, initial, repeat] : {std::tuple{"500 20", 30, 3}, {"250 30", 15, 2}}) {
        ASSERT_EQ(gX->Run(std::string("xset r rate ") + rate + " && echo ok"), "ok\n");
        i32 got[2] = {};
        GraphicsServices().GetKeyThresholds(&got[0], &got[1]);
        EXPECT_EQ(got[0] * 100 + got[1], initial * 100 + repeat) << rate;
    }
}

TEST_F(XvfbControls, DeadKeyComposesOnlyWhereInputMethodsAreAllowed) {
    if (!gX->SetKeymap("-layout us -variant intl", "dead_acute"))
        GTEST_SKIP() << "no setxkbmap";
    struct Owner : LNativeFieldOwner {
        i32 FilterText(const LString&, LString*) override { return kAsTyped; }
        void FieldTextChanged() override {}
        void FieldScrolled() override {}
    } owner;
    for (auto [ascii, want] : {std::pair{true, "e"}, {false, "\xC3\xA9"}}) {
        QtTextField field(&owner, {frame->Native(), LRect(10, 10, 200, 30)});
        field.MakeFirstResponder();
        void* saved = ascii ? gEnv->controls.SelectAsciiInputSource() : nullptr;
        EXPECT_EQ(field.Widget()->inputMethodQuery(Qt::ImEnabled).toBool(), !ascii);
        ASSERT_TRUE(WaitUntil([&] { return field.Widget()->hasFocus(); }));
        gX->Xdotool("key dead_acute e");
        WaitUntil([&] { return !field.Text().IsEmpty(); }, 2000);
        EXPECT_EQ(std::string(field.Text().View()), want) << ascii;
        if (ascii) gEnv->controls.RestoreInputSource(saved);
    }
    gX->SetKeymap("-layout us");
}

}  // namespace
