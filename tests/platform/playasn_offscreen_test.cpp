// The play-button assignment window and its layouts window drawn offscreen,
// saved as playasn_*.png in the build folder for a look.
#include <gtest/gtest.h>

#include "ShellFixture.h"
#include "editors/CKvsPlayAsnWin.h"
#include "framework/CUndoQ.h"
#include "platform/qt/QtControls.h"
#include "records/PlayGrid.h"
#include "records/ShowKinds.h"
#include "tests/editors/FakePlayDevice.h"

namespace {

QImage Shot(LFrame& f, const char* name) {
    f.ShowWindow();
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    const QImage image = AsMWindow(f.GetNativeWindow())->grab().toImage();
    EXPECT_TRUE(image.save(QStringLiteral(KEVO_BINARY_DIR "/playasn_") + name + ".png")) << name;
    return image;
}

TEST(PlayAsnOffscreen, WindowsWithAGridAndLayouts) {
    ShellEnv env("offscreen");
    QtControlServices controls;
    RegisterAllRecordKinds();
    CUndoQ undo(gApp, 1u << 20);
    FakePlayDevice device;
    CRecordDoc seqs(NewKind(kFamKvt, kKindSqst));
    CRecordDoc play(NewKind(kFamKvt, kKindPlys));
    CRecord* s = NewKind(kFamKvt, kKindSqnc);
    s->SetU32(nullptr, SqncF::sqid, 7);
    s->SetString(nullptr, SqncF::sqnm, LString("Opening"));
    seqs.Root()->InsertItem(nullptr, SqstF::sqcs, 0, s);
    CRecord* p = play.Root();
    p->SetU32(nullptr, PlysF::btcs, 3);
    p->SetU32(nullptr, PlysF::btrs, 2);
    const char* titles[] = {"Opening", "Act 1", "", "Finale"};
    for (u32 i = 0; i < 4; ++i) {
        CRecord* c = PlaySetGetOrAddCell(p, nullptr, i % 3, i / 3);
        c->SetU32(nullptr, PlclF::sqid, i == 2 ? 0 : 7);
        c->SetString(nullptr, PlclF::bttl, LString(titles[i]));
    }
    {
        CKvsPlayAsnWin win(&undo, nullptr, &device, seqs.Root(), p);
        win.fList.SelectCell(LCell{0, 0});
        win.ShowSelectedCell();
        const QImage shot = Shot(win, "window");
        EXPECT_GT(shot.width(), 400);
        EXPECT_TRUE(win.fPrm.IsShown());
        EXPECT_STREQ(win.fPrm.fTitle.GetText().CStr(), "Opening");
        StoreBtnLayout(p, &undo, -1, nullptr);
        win.HandleMessage(LMessage{LStdCtl_Selected, &win.fLayoutsBtn, &win});
        ASSERT_TRUE(win.LayoutsWindow());
        EXPECT_GT(Shot(*win.LayoutsWindow(), "layouts").height(), 100);
        EXPECT_EQ(win.LayoutsWindow()->fList.Rows(), 1);
    }
}

}  // namespace
