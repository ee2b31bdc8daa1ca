// Figures: the scene list following a playing device while it scrolls, its
// re-sort after a time change, and 500 sequences pasted into 1,000. The bounds
// only catch a list that has become quadratic.
#include <chrono>
#include <cstdio>

#include "editors/CKvsScnList.h"
#include "editors/CKvsSeqList.h"
#include "framework/LMenu.h"
#include "records/ScrapTypeNames.h"
#include "tests/editors/SeqEditFixture.h"

namespace {

double MsSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

TEST(SeqSpeed, SceneListFollowsThePlayAndResorts) {
    SeqEditStage s;
    CRecord* seq = s.AddSeq(1, "Long");
    for (i32 i = 0; i < 1000; ++i) {
        CRecord* sc = NewKind(kFamKvt, kKindScen);
        sc->SetI32(nullptr, ScenF::sntm, i * 1000);
        seq->InsertItem(nullptr, SqncF::scns, u32(i), sc);
    }
    CKvsScnList list(&s.fWin, &s.fDevice, s.Settings(), nullptr);
    list.SetBounds(LRect(0, 0, 400, 300));
    list.SetSequence(seq);
    CRecord* dvss = s.fDevice.fState.Root();
    dvss->SetU32(nullptr, DvssF::sqid, 1);
    FakeGraphics g;
    // Each poll: the device's time and scene, the list scrolled there and its rows stamped.
    auto t0 = std::chrono::steady_clock::now();
    for (i32 p = 0; p < 1000; ++p) {
        const i32 t = p * 997;
        dvss->SetI32(nullptr, DvssF::sqtm, t);
        dvss->SetString(nullptr, DvssF::crsn,
                        LString(("/sqcs/0/scns/" + std::to_string(t / 1000)).c_str()));
        list.SetScrollPos(LCell{0, std::max(0, t / 1000 - 3)});
        LDrawCtx ctx(&g);
        list.Draw(ctx);
        for (i32 r = list.First().row; r < list.First().row + list.GetVisibleRowsCeil(); ++r)
            list.DrawCell(ctx, LCell{0, r}, list.GetCellRect(LCell{0, r}));
        g.Clear();
    }
    const double pollMs = MsSince(t0) / 1000;
    EXPECT_EQ(list.CurrentRow(), 999 * 997 / 1000);
    // The first scene retimed to the end, 200 times.
    t0 = std::chrono::steady_clock::now();
    for (i32 k = 0; k < 200; ++k) {
        list.SetScrollPos(LCell{0, 0});
        auto* cell = static_cast<CKvsScnCell*>(list.GetCellFrame(LCell{0, 0}, false));
        cell->fTime.SetTime(2000000 + k * 1000, 1000);
        LHandler::Send(CNumVol_Fix, &cell->fTime, cell);
    }
    const double sortMs = MsSince(t0) / 200;
    EXPECT_EQ(seq->GetListItem(SqncF::scns, 999)->GetI32(ScenF::sntm), 2000000 + 199 * 1000);
    std::printf("1,000 scenes: %.3f ms per poll, %.3f ms per re-sort\n", pollMs, sortMs);
    EXPECT_LT(pollMs + sortMs, 100.0);
}

TEST(SeqSpeed, FiveHundredCopiesPastedIntoAThousand) {
    SeqEditStage s;
    for (u32 i = 0; i < 1000; ++i) s.AddSeq(i + 1, ("Seq " + std::to_string(i)).c_str());
    CKvsSeqList list(&s.fWin, &s.fDevice, s.Settings(), nullptr);
    CRecClipStream strm;
    for (int i = 0; i < 500; ++i) strm.Write(s.Settings()->GetListItem(SqstF::sqcs, 7));
    s.fClip.Put(strm.Detach(ScrapTypeOf(kScrapSequence)));
    LMenuItem item(nullptr);
    item.SetCommand(LStdCmd_Paste);
    const auto t0 = std::chrono::steady_clock::now();
    LHandler::Send(LMenuItem_Selected, &item, &list);
    const double ms = MsSince(t0);
    EXPECT_EQ(list.Rows(), 1500);
    EXPECT_EQ(s.Settings()->GetListItem(SqstF::sqcs, 1499)->GetString(SqncF::sqnm), "Seq 7_501");
    EXPECT_NE(FindSequenceById(s.Settings(), 1001), nullptr);  // fresh ids after the last
    std::printf("500 copies pasted into 1,000 sequences: %.1f ms\n", ms);
    EXPECT_LT(ms, 20000.0);
}

}  // namespace
