// How long the scene list takes to follow a playing device while it scrolls,
// to re-sort after a time change, and how long a paste of 500 sequences into
// a list of 1,000 takes. The figures are printed; the bounds only catch a list
// that has become quadratic.
#include <chrono>
#include <cstdio>
#include <set>

#include "editors/CKvsScnList.h"
#include "editors/CKvsSeqList.h"
#include "framework/LMenu.h"
#include "records/LRecPath.h"
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
        sc->SetString(nullptr, ScenF::snnm, LString(std::to_string(i).c_str()));
        sc->SetI32(nullptr, ScenF::sntm, i * 1000);
        seq->InsertItem(nullptr, SqncF::scns, u32(i), sc);
    }
    CKvsScnList list(&s.fWin, &s.fDevice, s.Settings(), nullptr);
    list.SetBounds(LRect(0, 0, 400, 300));
    list.SetSequence(seq);
    CRecord* dvss = s.fDevice.fState.Root();
    dvss->SetU32(nullptr, DvssF::sqid, 1);
    FakeGraphics g;
    // One poll: the device's time and scene, the list scrolled to it and drawn.
    const i32 polls = 1000;
    size_t drawn = 0;
    auto t0 = std::chrono::steady_clock::now();
    for (i32 p = 0; p < polls; ++p) {
        const i32 t = p * 997;
        dvss->SetI32(nullptr, DvssF::sqtm, t);
        dvss->SetString(nullptr, DvssF::crsn,
                        LString(("/sqcs/0/scns/" + std::to_string(t / 1000)).c_str()));
        list.SetScrollPos(LCell{0, std::max(0, t / 1000 - 3)});
        // Every visible row stamped, as a window update draws them.
        LDrawCtx ctx(&g);
        list.Draw(ctx);
        const i32 first = list.First().row;
        for (i32 r = first; r < first + list.GetVisibleRowsCeil() && r < 1000; ++r)
            list.DrawCell(ctx, LCell{0, r}, list.GetCellRect(LCell{0, r}));
        drawn += g.fCalls.size();
        g.Clear();
    }
    const double pollMs = MsSince(t0) / polls;
    EXPECT_EQ(list.CurrentRow(), (polls - 1) * 997 / 1000);
    EXPECT_GT(drawn, size_t(polls) * 10);
    // Re-sorting: the first scene moved to the end, again and again.
    const i32 changes = 200;
    t0 = std::chrono::steady_clock::now();
    for (i32 k = 0; k < changes; ++k) {
        list.SetScrollPos(LCell{0, 0});
        auto* cell = static_cast<CKvsScnCell*>(list.GetCellFrame(LCell{0, 0}, false));
        ASSERT_NE(cell, nullptr);
        cell->fTime.SetTime(2000000 + k * 1000, 1000);
        LHandler::Send(CNumVol_Fix, &cell->fTime, cell);
    }
    const double sortMs = MsSince(t0) / changes;
    for (u32 i = 1; i < 1000; ++i)
        ASSERT_LE(seq->GetListItem(SqncF::scns, i - 1)->GetI32(ScenF::sntm),
                  seq->GetListItem(SqncF::scns, i)->GetI32(ScenF::sntm));
    std::printf("1,000 scenes: %.3f ms per poll (play state, scroll, draw); %.3f ms per re-sort\n",
                pollMs, sortMs);
    EXPECT_LT(pollMs, 50.0);
    EXPECT_LT(sortMs, 50.0);
}

TEST(SeqSpeed, FiveHundredCopiesPastedIntoAThousand) {
    SeqEditStage s;
    for (u32 i = 0; i < 1000; ++i) s.AddSeq(i + 1, ("Seq " + std::to_string(i)).c_str());
    CKvsSeqList list(&s.fWin, &s.fDevice, s.Settings(), nullptr);
    list.SetBounds(LRect(0, 0, 400, 300));
    CRecClipStream strm;
    for (int i = 0; i < 500; ++i) strm.Write(s.Settings()->GetListItem(SqstF::sqcs, 7));
    s.fClip.Put(strm.Detach(ScrapTypeOf(kScrapSequence)));
    LMenuItem item(nullptr);
    item.SetCommand(LStdCmd_Paste);
    const auto t0 = std::chrono::steady_clock::now();
    LHandler::Send(LMenuItem_Selected, &item, &list);
    const double ms = MsSince(t0);
    CRecord* st = s.Settings();
    ASSERT_EQ(st->GetListCount(SqstF::sqcs), 1500u);
    EXPECT_EQ(list.Rows(), 1500);
    std::set<u32> ids;
    std::set<std::string> names;
    for (u32 i = 0; i < 1500; ++i) {
        ids.insert(st->GetListItem(SqstF::sqcs, i)->GetU32(SqncF::sqid));
        names.insert(st->GetListItem(SqstF::sqcs, i)->GetString(SqncF::sqnm).CStr());
    }
    EXPECT_EQ(ids.size(), 1500u);
    EXPECT_EQ(names.size(), 1500u);
    EXPECT_EQ(names.count("Seq 7_501"), 1u);
    std::printf("500 copies pasted into 1,000 sequences: %.1f ms\n", ms);
    EXPECT_LT(ms, 20000.0);
}

}  // namespace
