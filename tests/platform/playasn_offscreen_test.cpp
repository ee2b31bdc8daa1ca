// The play-button assignment and layouts windows offscreen (playasn_*.png in the build folder).
#include <gtest/gtest.h>

#include <QScrollBar>

#include "ControlFixture.h"
#include "QtDrawFixture.h"
#include "PaneInput.h"
#include "ShellFixture.h"
#include "editors/CBtnLabelLayout.h"
#include "editors/CKvsPlayAsnWin.h"
#include "editors/PlayHooks.h"
#include "framework/CUndoQ.h"
#include "platform/qt/QtControls.h"
#include "records/AppPrefsDoc.h"
#include "records/NsqPrefKinds.h"
#include "records/PlayGrid.h"
#include "records/PrefNodes.h"
#include "records/ShowKinds.h"
#include "tests/editors/FakePlayDevice.h"

namespace {

QImage Shot(LFrame& f, const char* name) {
    f.ShowWindow();
    // Drawn once whatever the show queued has run.
    LoopDrained();
    const QImage image = AsMWindow(f.GetNativeWindow())->grab().toImage();
    EXPECT_TRUE(image.save(QStringLiteral(KEVO_BINARY_DIR "/playasn_") + name + ".png")) << name;
    EXPECT_EQ(CutPanes(f), "") << name;
    EXPECT_EQ(RowFieldsAtEverySize(f, kLabels), "") << name;
    return image;
}

TEST(PlayAsnOffscreen, ParametersGridAndLayouts) {
    ShellEnv env("offscreen");
    QtControlServices controls;
    RegisterAllRecordKinds();
    CRecordDoc prefs(NewKind(kFamKvs, kKindPref));
    SetAppPrefsDoc(&prefs);
    CRecord* ctlr = prefs.Root()->GetChild(PrefF::ctlr)->GetChild(PrctF::prms);
    NodeSet(ctlr, nullptr, "btnplc", LString("0 0 0 0"));
    CUndoQ undo(gApp, 1u << 20);
    FakePlayDevice device;
    CRecordDoc seqs(NewKind(kFamKvt, kKindSqst));
    CRecordDoc play(NewKind(kFamKvt, kKindPlys));
    CRecord* s = NewKind(kFamKvt, kKindSqnc);
    s->SetU32(nullptr, SqncF::sqid, 7);
    s->SetString(nullptr, SqncF::sqnm, LString("Opening"));
    seqs.Root()->InsertItem(nullptr, SqstF::sqcs, 0, s);
    CRecord* p = play.Root();
    {
        CKvsPlayAsnWin win(&undo, nullptr, &device, seqs.Root(), p);
        EXPECT_GT(win.GetWindowBounds().Width(), 0);  // "0 0 0 0" left alone
        EXPECT_FALSE(win.fPrm.IsShown());             // nothing selected
        for (auto [field, value] : {std::pair{&win.fCols, 8.f}, {&win.fRows, 0.f}}) {
            field->SetValue(value);
            win.HandleMessage(LMessage{CNumVol_Fix, field, &win});
        }
        EXPECT_EQ(p->GetU32(PlysF::btcs) * 10 + p->GetU32(PlysF::btrs), 81u);
        EXPECT_EQ(win.fList.Cols() * 10 + win.fList.Rows(), 81);
        win.fList.SelectCell(LCell{1, 0});
        win.ShowSelectedCell();
        win.fPrm.ChooseSequence(7);
        CRecord* cell = PlaySetGetCell(p, 1, 0);
        ASSERT_TRUE(cell);
        EXPECT_EQ(cell->GetString(PlclF::bttl), LString("Opening"));
        cell->SetString(nullptr, PlclF::bttl, LString("Mine"));
        win.fPrm.ChooseSequence(7);
        EXPECT_EQ(cell->GetString(PlclF::bttl), LString("Mine"));
        EXPECT_FALSE(win.fPrm.fOffset.IsShown());
        cell->SetU8(nullptr, PlclF::symd, 1);
        win.fPrm.fOffset.SetTime(1500, 1000);
        win.fPrm.HandleMessage(LMessage{CNumVol_Fix, &win.fPrm.fOffset, &win.fPrm});
        EXPECT_EQ(cell->GetI32(PlclF::syof), 1500);
        win.fPrm.HandleMessage(LMessage{CKvsSeqSlot_Delete, &win.fPrm.fSlot, &win.fPrm});
        EXPECT_EQ(cell->GetU32(PlclF::sqid), 0u);
        EXPECT_TRUE(cell->GetString(PlclF::bttl).IsEmpty());
        undo.Undo();
        EXPECT_EQ(cell->GetString(PlclF::bttl), LString("Mine"));

        EXPECT_EQ(StoreBtnLayout(p, &undo, -1, nullptr), 0u);
        p->GetListItem(PlysF::blys, 0)->SetString(nullptr, BtlyF::name, LString("Big"));
        p->SetU32(nullptr, PlysF::btcs, 2);
        EXPECT_EQ(StoreBtnLayout(p, &undo, -1, nullptr), 1u);
        EXPECT_EQ(StoreBtnLayout(p, &undo, 0, nullptr), 0u);
        EXPECT_EQ(p->GetListCount(PlysF::blys), 2u);
        EXPECT_EQ(p->GetListItem(PlysF::blys, 0)->GetString(BtlyF::name), LString("Big"));
        EXPECT_EQ(p->GetListItem(PlysF::blys, 0)->GetU32(BtlyF::btcs), 2u);
        PlayHooks().newLabelRenderer = NewBtnLabelRenderer;
        win.SetLabelFont(LString("DejaVu Sans Bold"));
        LString face;
        NodeGetText(&face, prefs.Root()->GetChild(PrefF::misc), "btnfont", "");
        EXPECT_EQ(face, LString("DejaVu Sans Bold"));
        for (const CRecord* r : {p, p->GetListItem(PlysF::blys, 0), p->GetListItem(PlysF::blys, 1)})
            EXPECT_EQ(r->GetChild(r == p ? u8(PlysF::uifs) : u8(BtlyF::uifs))
                          ->GetChild(KvuiF::fnts)
                          ->GetListCount(UfnsF::fnts),
                      1u);
        PlayHooks().newLabelRenderer = nullptr;
        EXPECT_GT(Shot(win, "window").width(), 400);
        EXPECT_TRUE(win.fPrm.IsShown());
        win.HandleMessage(LMessage{LStdCtl_Selected, &win.fLayoutsBtn, &win});
        ASSERT_TRUE(win.LayoutsWindow());
        EXPECT_EQ(win.LayoutsWindow()->fList.Rows(), 2);
        EXPECT_GT(Shot(*win.LayoutsWindow(), "layouts").height(), 100);
    }
    SetAppPrefsDoc(nullptr);
}

// A new show: the window opens on one empty button, which is seen and takes a
// title typed into the parameters whole.
TEST(PlayAsnOffscreen, AFreshGridShowsItsButtonAndTakesAWholeTitle) {
    ShellEnv env("offscreen");
    QtControlServices controls;
    RegisterAllRecordKinds();
    CRecordDoc prefs(NewKind(kFamKvs, kKindPref));
    SetAppPrefsDoc(&prefs);
    CUndoQ undo(gApp, 1u << 20);
    FakePlayDevice device;
    CRecordDoc seqs(NewKind(kFamKvt, kKindSqst));
    CRecordDoc play(NewKind(kFamKvt, kKindPlys));
    {
        CKvsPlayAsnWin win(&undo, nullptr, &device, seqs.Root(), play.Root());
        const QImage fresh = Shot(win, "fresh");
        EXPECT_EQ(win.fList.Cols() * 10 + win.fList.Rows(), 11);
        const LRect cell = win.fList.GetCellRect(LCell{0, 0});
        {
            // The empty button's place is outlined, away from the pane's border.
            const u64 tl = win.fList.GetTopLeftIn(nullptr);
            MWindow* native = AsMWindow(win.GetNativeWindow());
            const QPoint mid =
                native->View()->mapTo(native, QPoint(0, 0)) +
                QPoint(i32(LPane::UnpackX(tl)) + cell.Width() / 2, i32(LPane::UnpackY(tl)) + 4);
            EXPECT_NE(fresh.pixelColor(mid), fresh.pixelColor(mid + QPoint(0, 8)));
        }
        EXPECT_GT(cell.Width(), 20);
        EXPECT_GT(cell.Height(), 20);
        // Every button fits whatever the grid: no bar offers a scroll.
        for (auto [cols, rows] : {std::pair{1.f, 1.f}, {3.f, 2.f}, {1.f, 1.f}}) {
            win.fCols.SetValue(cols);
            win.fRows.SetValue(rows);
            for (CNumVol* f : {&win.fCols, &win.fRows}) win.HandleMessage({CNumVol_Fix, f, &win});
            LoopDrained();
            for (LScrollBar* bar : {win.fNavi.HBar(), win.fNavi.VBar()}) {
                auto* w = static_cast<QScrollBar*>(WidgetOf(bar));
                EXPECT_TRUE(!w->isEnabled() && w->minimum() == w->maximum()) << cols << rows;
            }
        }
        // The empty button chosen, its title typed: the first key makes the cell.
        win.fList.SelectCell(LCell{0, 0});
        ASSERT_TRUE(win.fPrm.IsShown());
        EXPECT_EQ(PlaySetGetCell(play.Root(), 0, 0), nullptr);
        win.fPrm.fTitle.RequestFocus();
        LoopDrained();
        Type("Go");
        const CRecord* made = PlaySetGetCell(play.Root(), 0, 0);
        ASSERT_NE(made, nullptr);
        EXPECT_EQ(made->GetString(PlclF::bttl), LString("Go"));
        win.HideWindow();
    }
    SetAppPrefsDoc(nullptr);
}

}  // namespace
