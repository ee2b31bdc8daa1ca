// Under Xvfb: sequences copied in one process and pasted in another (this
// program as a child), and a real drag from the sequence list onto a slot,
// moved by xdotool.
#include <gtest/gtest.h>

#include <QProcess>

#include <cstdio>
#include <string>

#include "XvfbKeys.h"
#include "ShellFixture.h"
#include "XvfbHarness.h"
#include "editors/CKvsSeqList.h"
#include "editors/CKvsSeqSlot.h"
#include "framework/CUndoQ.h"
#include "framework/LMenu.h"
#include "platform/qt/QtControls.h"
#include "records/ShowKinds.h"
#include "tests/editors/FakePlayDevice.h"
#include "records/ShowOps.h"

// Qt's drag on X11 wakes the session bus, whose library keeps a block for the process.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}

namespace {

// The window: the undo queue above it, the ids its slot reports.
struct Stage {
    Stage() {
        RegisterAllRecordKinds();
        RegisterPrefNodeKinds();
        const char* names[] = {"Show", "Encore", "Walk-out"};
        for (u32 i = 0; i < 3; ++i) {
            CRecord* s = NewKind(kFamKvt, kKindSqnc);
            s->SetU32(nullptr, SqncF::sqid, 21 + i);
            s->SetString(nullptr, SqncF::sqnm, LString(names[i]));
            fSeqDoc.Root()->InsertItem(nullptr, SqstF::sqcs, i, s);
        }
        fFrame.GetWindow()->SetContentRect(LRect(100, 100, 500, 400));
        fList.SetBounds(LRect(0, 0, 400, 200));
        fSlot.SetBounds(LRect(20, 250, 300, 280));
    }
    std::string Names() {
        std::string out;
        CRecord* st = fSeqDoc.Root();
        for (u32 i = 0; i < st->GetListCount(SqstF::sqcs); ++i)
            out += std::string(i ? "," : "") +
                   st->GetListItem(SqstF::sqcs, i)->GetString(SqncF::sqnm).CStr();
        return out;
    }
    void Command(const char* cmd) {
        LMenuItem item(nullptr);
        item.SetCommand(cmd);
        LHandler::Send(LMenuItem_Selected, &item, &fList);
    }
    QtControlServices fControls;
    CUndoQ fUndo{gApp, 1u << 20};
    struct Frame : LFrame {
        Frame(Stage& s, LHandler* parent)
            : LFrame(parent, nullptr, LPaneOpt::Window(kWindowOrdinary, 6)), fStage(s) {}
        LMessage HandleMessage(const LMessage& msg) override {
            if (msg.Is(CKvsSeqSlotEx_Seq)) {
                fStage.fIds.push_back(static_cast<CKvsSeqSlotEx*>(msg.source)->ChosenId());
                return LMessage();
            }
            return LFrame::HandleMessage(msg);
        }
        LWindow* GetWindow() const { return fWindow; }
        MWindow* Native() const { return AsMWindow(fWindow->Native()); }
        Stage& fStage;
    } fFrame{*this, &fUndo};
    CRecordDoc fSeqDoc{NewSeqSettingsRecord()};
    FakePlayDevice fDevice;
    CKvsSeqList fList{&fFrame, &fDevice, fSeqDoc.Root(), nullptr};
    CKvsSeqSlotEx fSlot{&fFrame, &fFrame, &fDevice, fSeqDoc.Root()};
    std::vector<u32> fIds;
};

XvfbHarness* gX;
ShellEnv* gEnv;

class SeqXvfb : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (getenv("KV_SEQ_CHILD")) return;
        gX = new XvfbHarness;
        if (gX->Ok()) gEnv = new ShellEnv("xcb");
    }
    static void TearDownTestSuite() { delete gEnv, delete gX; }
    void SetUp() override {
        if (!gX || !gX->Ok()) GTEST_SKIP() << "no Xvfb, openbox or xdotool";
    }
};

TEST_F(SeqXvfb, SequencesPastedInAnotherProcess) {
    Stage s;
    s.fFrame.ShowWindow();
    s.fList.SetSelection(LRgn(LRect(0, 0, 1, 2)));
    s.Command(LStdCmd_Copy);
    QProcess child;
    qputenv("KV_SEQ_CHILD", "paste");
    child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=SeqChild.*"});
    qunsetenv("KV_SEQ_CHILD");
    ASSERT_TRUE(WaitUntil([&] { return child.state() == QProcess::NotRunning; }, 15000));
    const QByteArray out = child.readAllStandardOutput();
    // The other process has its own "Show" already: the copy is renamed.
    // Pasted before row 1, in their order.
    EXPECT_TRUE(out.contains("<Show,Show_2,Encore_2,Encore,Walk-out>")) << out.toStdString();
}

TEST(SeqChild, Paste) {
    if (!getenv("KV_SEQ_CHILD")) GTEST_SKIP() << "run by SequencesPastedInAnotherProcess";
    ShellEnv env("xcb");
    Stage s;
    s.fList.SelectCell(LCell{0, 1});
    s.Command(LStdCmd_Paste);
    std::printf("<%s>\n", s.Names().c_str());
}

TEST_F(SeqXvfb, RealDragFromTheListOntoASlot) {
    Stage s;
    s.fFrame.ShowWindow();
    MWindow* w = s.fFrame.Native();
    if (!WaitUntil([&] { return w->isActiveWindow(); }, 1000))
        gX->Xdotool("windowactivate " + std::to_string(w->winId()));
    ASSERT_TRUE(WaitUntil([&] { return w->isActiveWindow() && w->ActiveForMs() > 150; }));
    const LRect c = s.fFrame.GetWindow()->GetContentScreenRect();
    const i32 h = s.fList.CellHeight();
    ASSERT_GT(h, 10);
    // A press held on row 1 (Encore) becomes a drag; it ends on the slot.
    // Left of the play mark: the row itself, not one of its controls.
    const int x = c.left + 4, y = c.top + h + h / 2;
    gX->Xdotool("mousemove " + std::to_string(x) + " " + std::to_string(y) + " mousedown 1");
    gX->XdotoolAsync("sleep 0.6 mousemove " + std::to_string(x + 10) + " " +
                     std::to_string(y + 10) + " sleep 0.3 mousemove " +
                     std::to_string(c.left + 150) + " " + std::to_string(c.top + 265) +
                     " sleep 0.3 mousemove_relative 2 2 sleep 0.3 mouseup 1");
    EXPECT_TRUE(WaitUntil([&] { return !s.fIds.empty(); }, 8000));
    EXPECT_EQ(s.fIds, std::vector<u32>{22});
    // The list is unchanged: a drag onto a slot copies nothing into it.
    EXPECT_EQ(s.Names(), "Show,Encore,Walk-out");
    Await("the pointer let go", [] { return !(QGuiApplication::mouseButtons() & Qt::LeftButton); });
}

}  // namespace
