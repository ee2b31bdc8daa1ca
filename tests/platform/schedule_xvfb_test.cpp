// The schedule window under Xvfb with real keys and clicks: typing into a
// condition field, clicking week days, dragging row 0 below row 2.
#include <gtest/gtest.h>

#include <string>

#include "XvfbFrameTest.h"
#include "editors/CKvsSchEditFrm.h"
#include "editors/CKvsSchList.h"
#include "editors/CKvsSchWin.h"
#include "framework/CUndoQ.h"
#include "records/NsqPrefKinds.h"
#include "records/Schedule.h"
#include "records/ShowKinds.h"
#include "records/ShowOps.h"
#include "tests/editors/FakePlayDevice.h"

// Qt's drag on X11 wakes the session bus, whose library keeps a block for the process.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}

namespace {

struct SchFrame {
    SchFrame() {
        RegisterAllRecordKinds();
        for (u32 i = 0; i < 3; ++i) {
            InsertNewScheduleEvent(Sched(), nullptr, i);
            Sched()
                ->GetListItem(SchdF::flts, i)
                ->SetString(nullptr, ScevF::name, LString(("E" + std::to_string(i)).c_str()));
        }
        win = std::make_unique<CKvsSchWin>(&undo, nullptr, &device, doc.Root());
        win->EditFrame()->fList->SelectCell(LCell{0, 0});
    }
    CRecord* Sched() { return doc.Root()->GetChild(SqstF::schd); }
    MWindow* Native() const { return AsMWindow(win->GetNativeWindow()); }
    template <class F>
    void Front(F activate) {
        win->ShowWindow();
        win->RelayoutExact();
        if (!WaitUntil([&] { return Native()->isActiveWindow(); }, 1000)) activate();
        WaitUntil([&] { return Native()->isActiveWindow() && Native()->ActiveForMs() > 150; });
    }
    // The screen point at (dx, dy) inside a pane.
    std::string At(LPane* p, i32 dx, i32 dy) {
        const u64 tl = p->GetTopLeftIn(nullptr);
        const LRect c = win->Window()->GetContentScreenRect();
        return std::to_string(c.left + i32(LPane::UnpackX(tl)) + dx) + " " +
               std::to_string(c.top + i32(LPane::UnpackY(tl)) + dy);
    }
    std::string Names() {
        std::string s;
        for (u32 i = 0; i < 3; ++i) s += Sched()->GetListItem(SchdF::flts, i)->GetString(0).CStr();
        return s;
    }
    CUndoQ undo{gApp, 1u << 20};
    CRecordDoc doc{NewSeqSettingsRecord()};
    FakePlayDevice device;
    std::unique_ptr<CKvsSchWin> win;
};

using ScheduleXvfb = XvfbFrameTest<SchFrame>;

TEST_F(ScheduleXvfb, ConditionKeysAndWeekDays) {
    CKvsSchPrmFrm& prm = *frame->win->EditFrame()->fPrm;
    CRecord* ev = frame->Sched()->GetListItem(SchdF::flts, 0);
    gX->Xdotool("mousemove " + frame->At(&prm.fHour, 5, 5) + " click 1");
    TypePaced("22-23|0");
    EXPECT_TRUE(WaitUntil([&] { return ev->GetString(ScevF::fcph) == LString("22-23|0"); }, 3000))
        << ev->GetString(ScevF::fcph).CStr();
    for (i32 day : {0, 2}) {
        LPane* cell = prm.fWeek.GetCellFrame(LCell{day, 0}, false);
        const u64 seen = InputSeen::Instance().Releases();
        gX->Xdotool("mousemove " + frame->At(cell, cell->Bounds().Width() / 2, 5) + " click 1");
        Await("the day's click taken", [&] { return InputSeen::Instance().Releases() > seen; });
    }
    EXPECT_TRUE(WaitUntil([&] { return ev->GetString(ScevF::fcpw) == LString("1,3,"); }, 3000))
        << ev->GetString(ScevF::fcpw).CStr();
}

TEST_F(ScheduleXvfb, RowZeroDraggedBelowRowTwo) {
    CKvsSchList& list = *frame->win->EditFrame()->fList;
    const i32 h = list.CellHeight();
    ASSERT_GT(h, 10);
    const std::string from = frame->At(&list, 3, h / 2);
    const std::string to = frame->At(&list, 3, 3 * h - 2);
    gX->Xdotool("mousemove " + from + " mousedown 1");
    gX->XdotoolAsync("sleep 0.6 mousemove_relative 0 8 sleep 0.3 mousemove " + to +
                     " sleep 0.3 mousemove_relative 0 1 sleep 0.3 mouseup 1");
    EXPECT_TRUE(WaitUntil([&] { return frame->Names() == "E1E2E0"; }, 8000)) << frame->Names();
    EXPECT_TRUE(frame->undo.Undo() && frame->Names() == "E0E1E2");
    Await("the pointer let go", [] { return !(QGuiApplication::mouseButtons() & Qt::LeftButton); });
}

}  // namespace
