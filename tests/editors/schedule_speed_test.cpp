// Figures: a condition keystroke in test mode to the recomputed mark over 200
// events of two periods each, and a 1,000-event schedule window opened and a
// page scrolled. The bounds only catch a window that has become quadratic.
#include <chrono>
#include <cstdio>

#include "editors/CKvsSchEditFrm.h"
#include "editors/CKvsSchList.h"
#include "editors/CKvsSchWin.h"
#include "records/Schedule.h"
#include "tests/editors/SeqEditFixture.h"

namespace {

double MsSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

void AddEvents(CRecord* sched, u32 n, u32 periods) {
    for (u32 i = 0; i < n; ++i) {
        InsertNewScheduleEvent(sched, nullptr, i);
        CRecord* ev = sched->GetListItem(SchdF::flts, i);
        ev->SetString(nullptr, ScevF::fcph, LString(std::to_string(i % 24).c_str()));
        for (u32 p = 0; p < periods; ++p) {
            CRecord* pr = ev->GetListItem(ScevF::prds, u32(SchEventAddPeriod(ev, nullptr)));
            pr->SetU8(nullptr, ScepF::rang, 5);  // months 1-6 and 7-12
            for (u8 f : {ScepF::strt, ScepF::endp})
                SchPeriodSetTimePart(pr, nullptr, f, kSchMonth, (f == ScepF::strt ? 1 : 6) + p * 6);
        }
    }
}

TEST(ScheduleSpeed, KeystrokeToMarkAndAThousandEvents) {
    SeqEditStage s;
    AddEvents(s.Settings()->GetChild(SqstF::schd), 200, 2);
    CKvsSchWin win(&s.fUndo, nullptr, &s.fDevice, s.Settings());
    CKvsSchEditFrm& e = *win.EditFrame();
    const CalDateTime when{2024, 3, 9, 6, 22, 30, 0};
    e.fList->SetTestTime(&when);
    e.fList->SelectCell(LCell{0, 199});
    auto t0 = std::chrono::steady_clock::now();
    for (int k = 0; k < 100; ++k) {
        e.fPrm->fHour.SetText(LString(k % 2 ? "22" : "21"));
        LHandler::Send(LEditText_Change, &e.fPrm->fHour, e.fPrm);
    }
    const double keyMs = MsSince(t0) / 100;
    EXPECT_EQ(e.fList->Current(), 22);  // the first event of hour 22

    SeqEditStage big;
    AddEvents(big.Settings()->GetChild(SqstF::schd), 1000, 0);
    t0 = std::chrono::steady_clock::now();
    CKvsSchWin bigWin(&big.fUndo, nullptr, &big.fDevice, big.Settings());
    CKvsSchList& list = *bigWin.EditFrame()->fList;
    list.SetBounds(LRect(0, 0, 600, 400));
    FakeGraphics g;
    LDrawCtx ctx(&g);
    list.Draw(ctx);
    const double openMs = MsSince(t0);
    t0 = std::chrono::steady_clock::now();
    list.SetScrollPos(LCell{0, list.GetVisibleRowsCeil()});
    list.Draw(ctx);
    for (i32 r = list.First().row; r < list.First().row + list.GetVisibleRowsCeil(); ++r)
        list.DrawCell(ctx, LCell{0, r}, list.GetCellRect(LCell{0, r}));
    const double pageMs = MsSince(t0);
    EXPECT_GT(list.First().row, 0);
    std::printf(
        "200 events, test mode: %.3f ms per keystroke; 1,000 events: opened %.1f ms, "
        "page scrolled %.2f ms\n",
        keyMs, openMs, pageMs);
    EXPECT_LT(keyMs + openMs + pageMs, 5000.0);
}

}  // namespace
