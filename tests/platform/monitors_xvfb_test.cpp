// The DMX monitor under Xvfb with openbox: a drag along the grid, and a resize.
#include <gtest/gtest.h>

#include <string>

#include "XvfbFrameTest.h"
// The DMX frames have slots of their own: not Qt's keyword.
#undef slots
#include "devices/monitors/CMonWin.h"
#include "framework/CPicturePane.h"
#include "records/NsqPrefKinds.h"
#include "records/RecordKinds.h"
#include "tests/devices/MonTestUtil.h"

// libdbus (the X11 plugin's session bus) keeps a buffer for the process's life.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}

namespace {

class MonXvfb : public XvfbSuite {
protected:
    void SetUp() override {
        XvfbSuite::SetUp();
        if (IsSkipped()) return;
        RegisterAllRecordKinds();
        CKvsMonPrefRec::Create();
    }
    void TearDown() override { CKvsMonPrefRec::Dispose(); }
    static std::string Id(CMonWin& win) {
        return std::to_string(AsMWindow(win.GetNativeWindow())->winId());
    }
    static LPoint ScreenPointOf(CMonWin& win, u32 ch) {
        const LRect c = win.Window()->GetContentScreenRect();
        const LPoint p = MonChannelPoint(win.Grid(), ch, 30);
        return LPoint{c.left + p.x, c.top + p.y};
    }
};

TEST_F(MonXvfb, ADragAlongTheGridSelectsChannelsAndAResizeRearrangesIt) {
    CMonWin win(gApp);
    win.ShowWindow();
    win.SetWindowBounds(LRect(40, 60, 640, 360));
    auto* native = AsMWindow(win.GetNativeWindow());
    if (!RunUntil([&] { return native->isActiveWindow(); }, 1000))
        gX->Xdotool("windowactivate " + Id(win));
    ASSERT_TRUE(RunUntil([&] { return native->isActiveWindow() && native->ActiveForMs() > 150; }));
    RunUntil([] { return false; }, 200);

    const LPoint from = ScreenPointOf(win, 10);
    gX->Xdotool("mousemove " + std::to_string(from.x) + " " + std::to_string(from.y) +
                " mousedown 1");
    ASSERT_TRUE(RunUntil([&] { return win.SelectedChannel() == 10; }, 2000));
    EXPECT_TRUE(win.Opener()->IsOpen()) << "the first click opens the strip";
    for (u32 ch : {14u, 25u, 40u}) {
        const LPoint to = ScreenPointOf(win, ch);
        gX->Xdotool("mousemove " + std::to_string(to.x) + " " + std::to_string(to.y));
        EXPECT_TRUE(RunUntil([&] { return win.SelectedChannel() == ch; }, 2000)) << ch;
    }
    gX->Xdotool("mouseup 1");
    RunUntil([] { return !(QApplication::mouseButtons() & Qt::LeftButton); }, 1000);
    const i32 v = win.Detail()->fList->GetVisibleColsFull();
    EXPECT_EQ(win.Detail()->fList->First().col, CMonChList::ScrollStart(40, v));
    gX->Screenshot(KEVO_BINARY_DIR "/xvfb_monwin_drag.png");

    const struct {
        int w, h;
        i32 cols;
    } kRows[] = {{1250, 300, 8}, {300, 700, 2}};
    for (const auto& r : kRows) {
        gX->Xdotool("windowsize " + Id(win) + " " + std::to_string(r.w) + " " +
                    std::to_string(r.h));
        EXPECT_TRUE(RunUntil([&] { return win.Grid()->Cols() == r.cols; }, 3000))
            << r.w << "x" << r.h << " gave " << win.Grid()->Cols();
        RunUntil([] { return false; }, 300);
        EXPECT_EQ(win.Grid()->Rows(), (r.cols + 7) / r.cols);
        const LRect c = win.Window()->GetContentScreenRect();
        EXPECT_GE(c.Width(), r.cols * win.Grid()->CellWidth()) << "the window holds the grid";
    }
    gX->Screenshot(KEVO_BINARY_DIR "/xvfb_monwin_resized.png");
}

}  // namespace
