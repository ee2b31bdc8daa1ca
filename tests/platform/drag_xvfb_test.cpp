// Real drags under Xvfb with openbox, the mouse moved by xdotool while
// QDrag::exec runs: a move onto a pane of ours, and a drag dropped nowhere.
// Skipped where Xvfb, openbox or xdotool is missing.
#include <gtest/gtest.h>

#include <QWindow>

#include "ShellFixture.h"
#include "XvfbHarness.h"
#include "base/LScrap.h"
#include "framework/LDropPane.h"
#include "platform/qt/QtDrag.h"

// Qt's drag on X11 wakes the session bus, whose library keeps a block for the process.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}

namespace {

XvfbHarness* gX;
ShellEnv* gEnv;

// Takes drags with its operation; keeps the data it was dropped.
class Target : public LPane {
public:
    Target(LFrame* frame, LRect r) : LPane(frame, frame), fReg(this) { SetBounds(r); }
    LMessage HandleMessage(const LMessage& msg) override {
        if (msg.Is(LDrop_Sense)) {
            LDrop::From(msg)->TrackTarget(this);
            LDrop::From(msg)->SetOperation(fOp);
            return LMessage();
        }
        if (msg.Is(LDrop_Drop)) {
            CDropDataReader reader(LDrop::From(msg)->Source());
            const void* p;
            u32 n;
            if (reader.GetData(LScrapType{LString("x.y.scene"), 0}, 0, &p, &n))
                fDropped.assign(static_cast<const char*>(p), n);
            return LMessage();
        }
        if (msg.Is(LDrop_Enter) || msg.Is(LDrop_Drag) || msg.Is(LDrop_Leave)) return LMessage();
        return LPane::HandleMessage(msg);
    }
    i32 fOp = 2;
    std::string fDropped;
    LDropRegistration fReg;
};

class DragXvfb : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gX = new XvfbHarness;
        if (gX->Ok()) gEnv = new ShellEnv("xcb");
    }
    static void TearDownTestSuite() {
        delete gEnv;
        delete gX;
    }
    void SetUp() override {
        if (!gX->Ok()) GTEST_SKIP() << "no Xvfb, openbox or xdotool";
    }
};

TEST_F(DragXvfb, MoveOntoAPaneAndDropNowhere) {
    RecFrame frame(kWindowOrdinary, 6);
    frame.GetWindow()->SetContentRect(LRect(100, 100, 500, 400));
    frame.ShowWindow();
    ASSERT_TRUE(RunUntil([&] { return frame.Native()->isVisible(); }));
    RunUntil([] { return false; }, 300);
    Target target(&frame, LRect(200, 0, 380, 200));
    const LRect c = frame.GetWindow()->GetContentScreenRect();
    LScrapData data;
    data.AddItem(LScrapType{LString("x.y.scene"), 0}, "scene", 5, 0);
    const struct {
        int toX, toY;
        u32 performed;
        const char* dropped;
    } cases[] = {{c.left + 300, c.top + 100, kDragMove, "scene"}, {5, 5, 0, ""}};
    for (const auto& k : cases) {
        target.fDropped.clear();
        const int x = c.left + 40, y = c.top + 40;
        gX->Xdotool("mousemove " + std::to_string(x) + " " + std::to_string(y) + " mousedown 1");
        RunUntil([] { return false; }, 200);
        const std::string to = std::to_string(k.toX) + " " + std::to_string(k.toY);
        gX->XdotoolAsync("sleep 0.3 mousemove " + std::to_string(x + 30) + " " + std::to_string(y) +
                         " sleep 0.2 mousemove " + to +
                         " sleep 0.3 mousemove_relative 2 2 sleep 0.3 mouseup 1");
        LDragStart start;
        start.window = frame.GetWindow()->Native();
        start.data = &data;
        start.mouse = LPoint{x, y};
        EXPECT_EQ(DragServices().RunDrag(start), k.performed) << k.toX;
        EXPECT_EQ(target.fDropped, k.dropped);
        RunUntil([] { return false; }, 200);
    }
}

}  // namespace
