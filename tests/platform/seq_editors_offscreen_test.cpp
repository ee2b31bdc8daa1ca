// The sequence and scene editors in real windows (offscreen): both sequence
// lists, the scene list with its play mark, time line and meters, a slot and
// the wrap question, saved as PNGs under <build>/seqedit/ and checked for the
// time line's colour where it must lie and for names drawn whole.
#include <gtest/gtest.h>

#include <QDir>

#include <string>

#include <QLineEdit>

#include "ControlFixture.h"
#include "QtDrawFixture.h"
#include "ShellFixture.h"
#include "editors/CKvsScnList.h"
#include "editors/CKvsSeqList.h"
#include "editors/CKvsSeqSlot.h"
#include "framework/CHeaderFrame.h"
#include "framework/CUndoQ.h"
#include "platform/qt/QtControls.h"
#include "platform/qt/QtFonts.h"
#include "records/NsqPrefKinds.h"
#include "records/ShowKinds.h"
#include "tests/editors/FakePlayDevice.h"
#include "records/ShowOps.h"

namespace {

struct Win : LFrame {
    Win(LHandler* parent, i32 w, i32 h)
        : LFrame(parent, nullptr, LPaneOpt::Window(kWindowOrdinary, 6)) {
        fWindow->SetContentRect(LRect(100, 100, 100 + w, 100 + h));
        SetBounds(LRect(0, 0, w, h));
    }
};

QImage Shot(LFrame& f, const char* name) {
    QCoreApplication::processEvents();
    QWidget* top = AsMWindow(f.GetNativeWindow());
    const QImage image = top->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_TRUE(image.save(QStringLiteral(KEVO_BINARY_DIR "/seqedit/") + name + ".png")) << name;
    EXPECT_EQ(CutPanes(f), "") << name;
    return image;
}

// The first and last rows holding ink (dark) in a rectangle of an image.
std::pair<int, int> InkRows(const QImage& image, const QRect& r) {
    int top = -1, bottom = -1;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (qGray(image.pixel(x, y)) < 128) top = top < 0 ? y : top, bottom = y;
    return {top, bottom};
}

struct Env : ShellEnv {
    Env() : ShellEnv("offscreen") {
        RegisterAllRecordKinds();
        RegisterPrefNodeKinds();
        QDir().mkpath(KEVO_BINARY_DIR "/seqedit");
    }
    QtControlServices controls;
};

CRecord* AddSeq(CRecord* st, u32 id, const char* name) {
    CRecord* s = NewKind(kFamKvt, kKindSqnc);
    s->SetU32(nullptr, SqncF::sqid, id);
    s->SetString(nullptr, SqncF::sqnm, LString(name));
    st->InsertItem(nullptr, SqstF::sqcs, st->GetListCount(SqstF::sqcs), s);
    return s;
}

// Capitals with marks above and letters reaching below the line.
const char kName[] = "\xC3\x84\xC3\x96\xC3\x85\xC3\x89_gjpqy";

TEST(SeqEditorsOffscreen, ListsSceneListSlotAndQuestion) {
    Env env;
    CUndoQ undo(gApp, 1u << 20);
    FakePlayDevice device;
    CRecordDoc seqDoc(NewSeqSettingsRecord());
    CRecord* st = seqDoc.Root();
    const char* names[] = {kName, "Walk-in", "Act 1", "Interval", "Act 2", "Bows"};
    for (u32 i = 0; i < 6; ++i) AddSeq(st, 10 + i, names[i]);
    CRecord* set = st->GetChild(SqstF::nsqs);
    for (u32 i = 0; i < 3; ++i) {
        CRecord* s = NewKind(FourCC("YNST"), kKindSseq);
        s->SetU32(nullptr, SseqF::sqid, 40 + i);
        s->SetString(nullptr, SseqF::name,
                     LString(i == 0   ? "Timeline A"
                             : i == 1 ? "Timeline B"
                                      : "Foyer"));
        set->InsertItem(nullptr, SsetF::seqs, i, s);
    }
    CRecord* dvss = device.fState.Root();
    dvss->SetU32(nullptr, DvssF::sqid, 12);
    // DMX triggers: the buttons show start addresses.
    st->GetChild(SqstF::sntg)->SetU8(nullptr, SntgF::tgmd, 1);

    // Both sequence lists under their headers.
    Win lists(&undo, 360, 330);
    CHeaderFrameV header(&lists, 0, 0, 1);
    header.SetBounds(LRect(0, 0, 360, 20));
    CKvsSeqList seqs(&lists, &device, st, &header);
    seqs.SetBounds(LRect(0, 20, 360, 200));
    CHeaderFrameV header2(&lists, 0, 0, 1);
    header2.SetBounds(LRect(0, 210, 360, 230));
    CKvsNSqSeqList nsqs(&lists, &device, st, &header2);
    nsqs.SetBounds(LRect(0, 230, 360, 330));
    seqs.SelectCell(LCell{0, 3});
    lists.ShowWindow();
    const QImage listShot = Shot(lists, "seq_lists");
    EXPECT_EQ(listShot.width(), 360);
    EXPECT_GT(seqs.CellHeight(), 10);

    // A scene list of "Act 1" while the device plays it, between scenes 1 and 2.
    CRecord* act = st->GetListItem(SqstF::sqcs, 2);
    const char* scenes[] = {"Preset", "House out", "Lights up", "Storm", "Calm", "Blackout"};
    for (u32 i = 0; i < 6; ++i) {
        CRecord* sc = NewKind(kFamKvt, kKindScen);
        sc->SetString(nullptr, ScenF::snnm, LString(scenes[i]));
        sc->SetI32(nullptr, ScenF::sntm, i32(i) * 15000);
        act->InsertItem(nullptr, SqncF::scns, i, sc);
    }
    Win scnWin(&undo, 420, 260);
    CKvsScnList scn(&scnWin, &device, st, nullptr);
    scn.SetBounds(LRect(0, 0, 420, 260));
    scn.SetSequence(act);
    dvss->SetString(nullptr, DvssF::crsn, LString("/sqcs/2/scns/1"));
    dvss->SetI32(nullptr, DvssF::sqtm, 20000);
    EXPECT_EQ(scn.CurrentRow(), 1);
    EXPECT_EQ(scn.TimeRow(), 2);
    scnWin.ShowWindow();
    const QImage scnShot = Shot(scnWin, "scene_list");
    // The line lies on the top edge of row 2, in the play colour.
    const LRect line = scn.TimeLineRect();
    // (The shot holds the menu bar above the content.)
    const QRgb px = scnShot.pixel(200, line.top + 1 + scnShot.height() - 260);
    EXPECT_EQ(qRed(px), 0);
    EXPECT_EQ(qGreen(px), 191);
    EXPECT_EQ(qBlue(px), 0);

    // A slot showing a sequence, and the wrap question.
    Win slotWin(&undo, 220, 40);
    CKvsSeqSlotEx slot(&slotWin, &slotWin, &device, st);
    slot.SetBounds(LRect(10, 10, 210, 30));
    slot.SetSequence(st, 10);
    slotWin.ShowWindow();
    Shot(slotWin, "seq_slot");

    // A name drawn by a text pane (the slot) or a field (a list row's, which
    // was stamped last anywhere) shows as many rows as a native field, and the
    // field's where its native field shows them once it takes the keys.
    LListCell* stamp = seqs.GetProtoCell();
    LEditText& rowName = static_cast<CKvsSeqCell*>(stamp)->fName;
    LRect firstName = rowName.FrameRect();
    firstName.Offset(0, seqs.GetCellRect(LCell{0, 0}).top - stamp->Bounds().top);
    QLineEdit edit(QString::fromUtf8(kName));
    edit.setFrame(false);
    edit.setAlignment(Qt::AlignTop);
    edit.setFont(static_cast<QtNativeFont*>(rowName.Font().GetNativeFont())->Font());
    const auto whole = InkRows(edit.grab().toImage(), edit.rect());
    const std::tuple<LFrame*, LPane*, LRect> kPanes[] = {
        {&lists, &rowName, firstName}, {&slotWin, &slot.Text(), slot.Text().Bounds()}};
    for (auto [win, pane, r] : kPanes) {
        LDrawEnv env;
        pane->GetDrawEnv(&env);
        r.Offset(env.fOriginX, env.fOriginY);
        MWindow* native = AsMWindow(win->GetNativeWindow());
        const QPoint at(r.left + 20, r.top + 5);
        const QRect rows = QRect(r.left, r.top, r.Width(), r.Height())
                               .translated(native->View()->mapTo(native, QPoint()));
        const auto drawn = InkRows(native->grab().toImage(), rows);
        EXPECT_EQ(drawn.second - drawn.first, whole.second - whole.first) << at.y();
        if (pane != &rowName) continue;
        // In front long enough for a click to reach the field.
        native->activateWindow();
        RunUntil([&] { return native->isActiveWindow() && native->ActiveForMs() > 150; });
        ClickWidget(native->View(), at);
        ASSERT_TRUE(native->focusWidget() && native->focusWidget()->geometry().contains(at));
        EXPECT_EQ(drawn, InkRows(native->grab().toImage(), rows));
    }
    CKvsSeqWrapDlg dlg(&undo, LString("Act 1"));
    dlg.ShowWindow();
    const QImage dlgShot = Shot(dlg, "seq_wrap_dlg");
    EXPECT_GT(dlgShot.width(), 200);
}

}  // namespace
