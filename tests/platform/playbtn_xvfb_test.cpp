// Under Xvfb, moved by xdotool: a real click on a play button, and a real drag
// of a sequence from the sequence list onto a button cell.
#include <gtest/gtest.h>

#include "XvfbKeys.h"
#include "ShellFixture.h"
#include "XvfbHarness.h"
#include "editors/CKvsBtnList.h"
#include "editors/CKvsSeqList.h"
#include "editors/SeqDropHelpers.h"
#include "framework/CUndoQ.h"
#include "platform/qt/QtControls.h"
#include "records/PlayGrid.h"
#include "records/ShowKinds.h"
#include "records/ShowOps.h"
#include "tests/editors/FakePlayDevice.h"

// Qt's drag on X11 wakes the session bus, whose library keeps a block for the process.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}

namespace {

struct Stage : LFrame {
    explicit Stage(LHandler* parent)
        : LFrame(parent, nullptr, LPaneOpt::Window(kWindowOrdinary, 6)) {
        CRecord* s = NewKind(kFamKvt, kKindSqnc);
        s->SetU32(nullptr, SqncF::sqid, 31);
        s->SetString(nullptr, SqncF::sqnm, LString("Encore"));
        fSeqDoc.Root()->InsertItem(nullptr, SqstF::sqcs, 0, s);
        CRecord* p = fPlayDoc.Root();
        p->SetU32(nullptr, PlysF::btcs, 2);
        p->SetU32(nullptr, PlysF::btrs, 1);
        CRecord* c = PlaySetGetOrAddCell(p, nullptr, 1, 0);
        c->SetU32(nullptr, PlclF::sqid, 31);
        c->SetString(nullptr, PlclF::bttl, LString("Encore"));
        fWindow->SetContentRect(LRect(100, 100, 500, 400));
        fSeqs.SetBounds(LRect(0, 0, 400, 100));
        fButtons.SetBounds(LRect(0, 150, 400, 300));
        fDevice.fCmd.AddListener(this, OnCmd);
    }
    ~Stage() override { fDevice.fCmd.RemoveListener(this, OnCmd); }
    static void OnCmd(void* self, CRecordNote* n) {
        if (n->kind == CRecordNote::kChanged && n->field == DvcmF::plcl)
            static_cast<Stage*>(self)->fPresses.push_back(n->record->GetString(DvcmF::plcl).CStr());
    }
    LMessage HandleMessage(const LMessage& msg) override {
        if (msg.Is(CKvsBtnList_Drop)) {
            fDropped.push_back(ReadDroppedSequenceId(fButtons.GetDropData()));
            return LMessage();
        }
        return LFrame::HandleMessage(msg);
    }
    MWindow* Native() const { return AsMWindow(fWindow->Native()); }
    LRect Content() const { return fWindow->GetContentScreenRect(); }

    CRecordDoc fSeqDoc{NewSeqSettingsRecord()};
    CRecordDoc fPlayDoc{NewKind(kFamKvt, kKindPlys)};
    FakePlayDevice fDevice;
    CKvsSeqList fSeqs{this, &fDevice, fSeqDoc.Root(), nullptr};
    CKvsBtnList fButtons{this, fPlayDoc.Root(), fDevice.fCmd.Root()};
    std::vector<std::string> fPresses;
    std::vector<u32> fDropped;
};

TEST(PlayBtnXvfb, ClickAndSequenceDrag) {
    XvfbHarness x;
    if (!x.Ok()) GTEST_SKIP() << "no Xvfb, openbox or xdotool";
    ShellEnv env("xcb");
    QtControlServices controls;
    RegisterAllRecordKinds();
    CUndoQ undo(gApp, 1u << 20);
    Stage s(&undo);
    s.ShowWindow();
    MWindow* w = s.Native();
    if (!WaitUntil([&] { return w->isActiveWindow(); }, 1000))
        x.Xdotool("windowactivate " + std::to_string(w->winId()));
    ASSERT_TRUE(WaitUntil([&] { return w->isActiveWindow() && w->ActiveForMs() > 150; }));
    const LRect c = s.Content();
    auto at = [&](int px, int py) { return std::to_string(px) + " " + std::to_string(py); };
    // The button of the second cell: "1 0".
    x.Xdotool("mousemove " + at(c.left + 300, c.top + 225) + " click 1");
    EXPECT_TRUE(WaitUntil([&] { return !s.fPresses.empty(); }, 4000));
    EXPECT_EQ(s.fPresses, std::vector<std::string>{"1 0"});
    // Row 0 of the sequence list dragged onto the first (empty) cell.
    const int y = c.top + s.fSeqs.CellHeight() / 2;
    x.Xdotool("mousemove " + at(c.left + 4, y) + " mousedown 1");
    x.XdotoolAsync("sleep 0.6 mousemove " + at(c.left + 14, y + 10) + " sleep 0.3 mousemove " +
                   at(c.left + 100, c.top + 225) +
                   " sleep 0.3 mousemove_relative 2 2 sleep 0.3 mouseup 1");
    EXPECT_TRUE(WaitUntil([&] { return !s.fDropped.empty(); }, 8000));
    EXPECT_EQ(s.fDropped, std::vector<u32>{31});
    EXPECT_EQ(s.fButtons.GetSelCell(), (LCell{0, 0}));
    Await("the pointer let go", [] { return !(QGuiApplication::mouseButtons() & Qt::LeftButton); });
}

}  // namespace
