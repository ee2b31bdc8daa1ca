// The schedule window and its test window in real windows (offscreen), saved
// as PNGs under <build>/schedule/: three events, the device's one marked, the
// selected event with periods of ranges 3 and 6.
#include <gtest/gtest.h>

#include <QDir>

#include "QtDrawFixture.h"
#include "ShellFixture.h"
#include "editors/CKvsSchEditFrm.h"
#include "editors/CKvsSchList.h"
#include "editors/CKvsSchWin.h"
#include "framework/CUndoQ.h"
#include "platform/qt/QtControls.h"
#include "records/NsqPrefKinds.h"
#include "records/Schedule.h"
#include "records/ShowKinds.h"
#include "records/ShowOps.h"
#include "tests/editors/FakePlayDevice.h"

namespace {

QImage Shot(LFrame& f, const char* name) {
    QCoreApplication::processEvents();
    const QImage image = AsMWindow(f.GetNativeWindow())->grab().toImage();
    EXPECT_EQ(CutPanes(f), "") << name;
    EXPECT_EQ(RowFieldsAtEverySize(f, kLabels), "") << name;
    EXPECT_TRUE(image.save(QStringLiteral(KEVO_BINARY_DIR "/schedule/") + name + ".png"));
    return image;
}

TEST(ScheduleOffscreen, WindowAndTestWindow) {
    ShellEnv env(LargeOffscreen().c_str());
    QtControlServices controls;
    RegisterAllRecordKinds();
    RegisterPrefNodeKinds();
    QDir().mkpath(KEVO_BINARY_DIR "/schedule");
    CUndoQ undo(gApp, 1u << 20);
    FakePlayDevice device;
    CRecordDoc seqDoc(NewSeqSettingsRecord());
    CRecord* st = seqDoc.Root();
    CRecord* sched = st->GetChild(SqstF::schd);
    for (u32 i = 0; i < 3; ++i) {
        const LString name(i == 0 ? "Morning" : i == 1 ? "Noon" : "Night");
        CRecord* s = NewKind(kFamKvt, kKindSqnc);
        s->SetU32(nullptr, SqncF::sqid, 20 + i);
        s->SetString(nullptr, SqncF::sqnm, name);
        st->InsertItem(nullptr, SqstF::sqcs, i, s);
        InsertNewScheduleEvent(sched, nullptr, i);
        sched->GetListItem(SchdF::flts, i)->SetString(nullptr, ScevF::name, name);
        sched->GetListItem(SchdF::flts, i)
            ->GetChild(ScevF::axud)
            ->SetU32(nullptr, ScexF::sqid, 20 + i);
    }
    CRecord* ev = sched->GetListItem(SchdF::flts, 1);
    ev->SetString(nullptr, ScevF::fcpw, LString("1-5"));
    ev->GetChild(ScevF::axud)->SetU32(nullptr, ScexF::tmdr, 3725);
    for (u8 rang : {3, 6}) {
        CRecord* p = ev->GetListItem(ScevF::prds, u32(SchEventAddPeriod(ev, nullptr)));
        p->SetU8(nullptr, ScepF::rang, rang);
        for (u32 part = 0; part < kSchPartCount; ++part)
            SchPeriodSetTimePart(p, nullptr, ScepF::endp, part, part == kSchYear ? 2027 : 2 + part);
    }
    device.fState.Root()->SetU32(nullptr, DvssF::scen, 2);

    CKvsSchWin win(&undo, nullptr, &device, st);
    CKvsSchList& list = *win.EditFrame()->fList;
    list.SelectCell(LCell{0, 1});
    win.ShowWindow();
    // A hidden offscreen window reports a stale size to the placement pass,
    // which then overshoots; the shown window takes its layout size exactly.
    win.RelayoutExact();
    const QImage shot = Shot(win, "schedule_window");
    EXPECT_TRUE(shot.width() > 500 && shot.width() < 1000 && list.Current() == 2);

    win.OpenTestWindow();
    win.TestWindow()->RelayoutExact();
    EXPECT_GT(Shot(*win.TestWindow(), "schedule_test_window").width(), 200);
}

}  // namespace
