// The scene list: retiming, pastes and drags in order, meters, play state,
// plays, and what a paste of many scenes costs the list.
#include <functional>
#include <limits>

#include "editors/CKvsScnList.h"
#include "records/ScrapTypeNames.h"
#include "tests/editors/SeqEditFixture.h"

namespace {

constexpr i32 kMin = std::numeric_limits<i32>::min();
constexpr i32 kMax = std::numeric_limits<i32>::max();

// Counts the regions the list is asked to draw again: a row refreshed on its
// own is one.
class CountingList : public CKvsScnList {
public:
    using CKvsScnList::CKvsScnList;
    void InvalidateRgn(const LRgn& region) override {
        ++fVisits;
        CKvsScnList::InvalidateRgn(region);
    }
    i32 fVisits = 0;
};

struct Stage : SeqEditStage {
    Stage() { fList.SetBounds(LRect(0, 0, 380, 290)); }
    // Sequence id with scenes (name, time); the list shows the last one made.
    CRecord* Seq(u32 id, std::vector<std::pair<const char*, i32>> scenes) {
        CRecord* seq = AddSeq(id, "S");
        for (auto& [name, t] : scenes) {
            CRecord* sc = NewKind(kFamKvt, kKindScen);
            sc->SetString(nullptr, ScenF::snnm, LString(name));
            sc->SetI32(nullptr, ScenF::sntm, t);
            seq->InsertItem(nullptr, SqncF::scns, seq->GetListCount(SqncF::scns), sc);
        }
        return seq;
    }
    std::string Scenes(const CRecord* seq) { return Names(seq, SqncF::scns, ScenF::snnm); }
    bool Sorted(const CRecord* seq) {
        for (u32 i = 1; i < seq->GetListCount(SqncF::scns); ++i)
            if (seq->GetListItem(SqncF::scns, i - 1)->GetI32(ScenF::sntm) >
                seq->GetListItem(SqncF::scns, i)->GetI32(ScenF::sntm))
                return false;
        return true;
    }
    CKvsScnCell* Cell(i32 row) {
        auto* c = static_cast<CKvsScnCell*>(fList.GetCellFrame(LCell{0, row}, false));
        fList.BindCell(c, LCell{0, row});
        return c;
    }
    void Command(const char* cmd) { SendCommand(&fList, cmd); }
    CRecord* Dvss() { return fDevice.fState.Root(); }
    CountingList fList{&fWin, &fDevice, Settings(), nullptr};
};

TEST(SceneList, RetimedSceneMovesAndKeepsTheFocus) {
    Stage s;
    CRecord* seq = s.Seq(
        1, {{"A", 0}, {"B", 60000}, {"C", 120000}, {"D", 180000}, {"E", 240000}, {"F", 360000}});
    s.fList.SetSequence(seq);
    CKvsScnCell* cell = s.Cell(1);
    ASSERT_NE(cell, nullptr);
    cell->fTime.SetTime(300000, 1000);
    LHandler::Send(CNumVol_Fix, &cell->fTime, cell);
    EXPECT_EQ(s.Scenes(seq), "A,C,D,E,B,F");
    EXPECT_EQ(seq->GetListItem(SqncF::scns, 4)->GetI32(ScenF::sntm), 300000);
    const LCellSlot& edit = s.fList.EditSlot();
    EXPECT_EQ(edit.cell.row, 4);
    ASSERT_NE(edit.frame, nullptr);
    EXPECT_EQ(edit.frame->Focus(), &static_cast<CKvsScnCell*>(edit.frame)->fTime);
    EXPECT_LE(s.fList.First().row, 4);
    EXPECT_TRUE(s.fUndo.Undo());
    EXPECT_EQ(s.Scenes(seq), "A,B,C,D,E,F");
}

TEST(SceneList, PastesKeepNamesUniqueAndTimesInOrder) {
    struct Case {
        const char* what;
        bool withSeq;
        LRgn sel;
        std::string after;
        i32 lo, hi;  // the pasted scene's time
    } cases[] = {
        {"row 1", true, LRgn(LRect(0, 1, 1, 2)), "Intro,Intro_2,Outro", 10000, 20000},
        {"appended", true, LRgn(), "Intro,Outro,Intro_2", 20000, kMax},
        {"no sequence", false, LRgn(), "Intro,Outro", 0, 0},
    };
    for (const Case& c : cases) {
        Stage s;
        CRecord* seq = s.Seq(1, {{"Intro", 10000}, {"Outro", 20000}});
        s.fList.SetSequence(seq);
        s.fList.SelectCell(LCell{0, 0});
        s.Command(LStdCmd_Copy);
        if (!c.withSeq) s.fList.SetSequence(nullptr);
        s.fList.SetSelection(c.sel);
        s.Command(LStdCmd_Paste);
        EXPECT_EQ(s.Scenes(seq), c.after) << c.what;
        EXPECT_TRUE(s.Sorted(seq)) << c.what;
        if (!c.withSeq) continue;
        const u32 at = c.sel.IsEmpty() ? 2 : 1;
        const i32 t = seq->GetListItem(SqncF::scns, at)->GetI32(ScenF::sntm);
        EXPECT_GE(t, c.lo) << c.what;
        EXPECT_LE(t, c.hi) << c.what;
        EXPECT_TRUE(s.fList.Selection() == LRgn(LRect(0, i32(at), 1, i32(at) + 1))) << c.what;
    }
}

TEST(SceneList, DragsWithinTheListStaySorted) {
    Stage s;
    CRecord* seq = s.Seq(1, {{"A", 0}, {"B", 10}, {"C", 20}, {"D", 30}, {"E", 40}});
    s.fList.SetSequence(seq);
    s.fList.SetSelection(LRgn(LRect(0, 0, 1, 2)));
    const i32 h = s.fList.CellHeight();
    EXPECT_EQ(s.DragInList(&s.fList, s.fList.DragHelper(), h / 2, 3 * h + 1), 1u);
    EXPECT_EQ(s.Scenes(seq), "C,A,B,D,E");
    EXPECT_TRUE(s.Sorted(seq));
    EXPECT_EQ(s.fList.Rows(), 5);
}

TEST(SceneList, DropWithoutASequenceIsRefused) {
    Stage s;
    CRecord* seq = s.Seq(1, {{"A", 0}});
    CRecClipStream strm;
    strm.Write(seq->GetListItem(SqncF::scns, 0));
    LScrapData* d = strm.Detach(ScrapTypeOf(kScrapScene));
    const u32 before = s.DropFromOutside(d, 50, 5);
    s.fList.SetSequence(seq);
    EXPECT_EQ(before * 10 + s.DropFromOutside(d, 50, 5), 3u);
    EXPECT_EQ(s.Scenes(seq), "A_2,A");
    d->Release();
}

TEST(SceneList, Meters) {
    struct Case {
        const char* what;
        std::vector<i32> times;
        bool clip;
        i32 sttm, entm;
        std::vector<i64> durations;
    } cases[] = {
        {"no clip", {0, 1000}, false, 0, 0, {1000, 600000}},
        {"clip", {0, 1000}, true, 500, 4500, {1000, 4000}},
        {"empty clip", {0}, true, 4500, 4500, {600000}},
        {"extremes", {kMin, kMax}, true, kMin, kMax, {i64(kMax) - kMin, i64(kMax) - kMin}},
    };
    for (const Case& c : cases) {
        Stage s;
        std::vector<std::pair<const char*, i32>> scenes;
        for (i32 t : c.times) scenes.push_back({"", t});
        CRecord* seq = s.Seq(1, scenes);
        CRecord* last = seq->GetListItem(SqncF::scns, u32(c.times.size() - 1));
        if (c.clip) {
            last->GetChild(ScenF::ctdr)->SetI32(nullptr, SnctF::sttm, c.sttm);
            last->GetChild(ScenF::ctdr)->SetI32(nullptr, SnctF::entm, c.entm);
        } else {
            last->RemoveChild(nullptr, ScenF::ctdr);
        }
        s.fList.SetSequence(seq);
        for (u32 i = 0; i < c.durations.size(); ++i) {
            EXPECT_EQ(s.fList.SceneDuration(i), c.durations[i]) << c.what << " " << i;
            EXPECT_EQ(s.Cell(i32(i))->fMeter.Max(), i32(std::min<i64>(c.durations[i], kMax)))
                << c.what;
        }
    }
}

TEST(SceneList, PlayStateAndMarker) {
    Stage s;
    s.Seq(1, {{"x", 0}});
    CRecord* seq =
        s.Seq(2, {{"A", 0}, {"B", 1000}, {"C", 2000}, {"D", 3000}, {"E", 4000}, {"F", 5000}});
    s.fList.SetSequence(seq);
    struct Case {
        const char* what;
        u32 mode;
        u32 sqid;
        i32 sqtm;
        const char* crsn;
        const char* cras;
        i32 timeRow, curRow;
        i64 left;  // marker of the current row
    } cases[] = {
        {"other sequence", 0, 1, 1500, "", "", -1, -1, 0},
        {"B..C", 0, 2, 1500, "/sqcs/1/scns/1", "", 2, 1, 500},
        {"at C", 0, 2, 2000, "/sqcs/1/scns/2", "", 2, 2, 1000},
        {"past the last", 0, 2, 9000, "/sqcs/1/scns/5", "", 6, 5, 600000 - 4000},
        {"row 5", 0, 2, 0, "/sqcs/1/scns/5", "", 0, 5, 600000},
        {"mode 1", 1, 2, 0, "", "/sqcs/1/scns/5", 0, -1, 0},
        {"elsewhere", 0, 2, 0, "/sqcs/0/scns/0", "", 0, -1, 0},
        {"no such path", 0, 2, 0, "/sqcs/9/scns/0", "", 0, -1, 0},
    };
    for (const Case& c : cases) {
        s.fList.SetMode(c.mode);
        s.Dvss()->SetString(nullptr, DvssF::crsn, LString(c.crsn));
        s.Dvss()->SetString(nullptr, DvssF::cras, LString(c.cras));
        s.Dvss()->SetU32(nullptr, DvssF::sqid, c.sqid);
        s.Dvss()->SetI32(nullptr, DvssF::sqtm, c.sqtm);
        EXPECT_EQ(s.fList.TimeRow(), c.timeRow) << c.what;
        EXPECT_EQ(s.fList.CurrentRow(), c.curRow) << c.what;
        if (c.curRow >= 0) {
            EXPECT_EQ(s.fList.TimeLeft(u32(c.curRow)), c.left) << c.what;
            CKvsScnCell* cell = s.Cell(c.curRow);
            EXPECT_EQ(cell->fMeter.Point(), i32(c.left)) << c.what;
            EXPECT_EQ(cell->fMark.State() & 1, 1u) << c.what;
        }
        if (c.timeRow >= 0 && c.mode == 0) {
            const LRect line = s.fList.TimeLineRect();
            const LRect cell = s.fList.GetCellRect(LCell{0, std::min(c.timeRow, 5)});
            EXPECT_EQ(line.top + 1, c.timeRow > 5 ? cell.bottom : cell.top) << c.what;
        }
    }
}

TEST(SceneList, Plays) {
    struct Case {
        const char* what;
        const char* crsn;  // the device's current scene
        i32 row;
        i32 point;  // -1: the play button
        std::vector<std::string> log;
    } cases[] = {
        {"outside", "", 2, -1, {"plsn=/sqcs/0/scns/2", "pltm=2000"}},
        {"inside", "/sqcs/0/scns/0", 2, -1, {"pltm=2000"}},
        {"meter", "/sqcs/0/scns/0", 1, 250, {"pltm=1250"}},
        {"meter, clamped", "/sqcs/0/scns/0", 3, 9, {"pltm=2147483647"}},
    };
    for (const Case& c : cases) {
        Stage s;
        CRecord* seq = s.Seq(2, {{"A", 0}, {"B", 1000}, {"C", 2000}, {"D", kMax - 5}});
        s.fList.SetSequence(seq);
        s.Dvss()->SetString(nullptr, DvssF::crsn, LString(c.crsn));
        s.fDevice.fLog.clear();
        for (int i = 0; i < 2; ++i) {
            CKvsScnCell* cell = s.Cell(c.row);
            if (c.point >= 0) {
                cell->fMeter.SetPoint(c.point);
                LHandler::Send(CThresholdMeter_Point, &cell->fMeter, cell);
            } else {
                LHandler::Send(CStateButton_Push, &cell->fPlay, cell);
            }
        }
        std::vector<std::string> twice = c.log;
        twice.insert(twice.end(), c.log.begin(), c.log.end());
        EXPECT_EQ(s.fDevice.fLog, twice) << c.what;
        EXPECT_EQ(s.fDevice.fCmd.Root()->GetI32(DvcmF::pltm), -1) << c.what;
        EXPECT_EQ(s.fDevice.fCmd.Root()->GetString(DvcmF::plsn), "") << c.what;
        EXPECT_FALSE(s.fUndo.CanUndo()) << c.what;
    }
}

TEST(SceneList, APasteAtRow1AndItsUndoAndRedoCostTheListAlikeAtAnyLength) {
    // 100 scenes pasted at row 1 of 300 and of 1,200, the device playing a
    // scene of the sequence.
    i32 visits[2][3];
    for (i32 i = 0; i < 2; ++i) {
        Stage s;
        std::vector<std::pair<const char*, i32>> scenes(i ? 1200 : 300, {"Cue", 0});
        for (size_t k = 0; k < scenes.size(); ++k) scenes[k].second = i32(k) * 1000;
        CRecord* seq = s.Seq(1, scenes);
        s.fList.SetSequence(seq);
        s.Dvss()->SetString(nullptr, DvssF::crsn, LString("/sqcs/0/scns/4"));
        s.fList.SetSelection(LRgn(LRect(0, 0, 1, 100)));
        s.Command(LStdCmd_Copy);
        s.fList.SelectCell(LCell{0, 1});
        const u32 n = u32(scenes.size());
        const std::function<bool()> steps[3] = {
            [&] {
                s.Command(LStdCmd_Paste);
                return true;
            },
            [&] { return s.fUndo.Undo(); },
            [&] { return s.fUndo.Redo(); },
        };
        for (i32 k = 0; k < 3; ++k) {
            s.fList.fVisits = 0;
            ASSERT_TRUE(steps[k]()) << k;
            visits[i][k] = s.fList.fVisits;
            const u32 rows = k == 1 ? n : n + 100;
            EXPECT_EQ(u32(s.fList.Rows()), rows) << k;
            EXPECT_EQ(seq->GetListCount(SqncF::scns), rows) << k;
            // The device names its scene by row: the mark stays on row 4.
            EXPECT_EQ(s.fList.CurrentRow(), 4) << k;
        }
        EXPECT_TRUE(s.Sorted(seq));
    }
    for (i32 k = 0; k < 3; ++k) EXPECT_EQ(visits[0][k], visits[1][k]) << k;
}

}  // namespace
