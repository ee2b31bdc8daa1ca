// The NSQ track list on the headless fakes: clicks on scenes, the rubber band,
// scenes added from the context menu, the Delete command and track names.
#include <set>

#include "editors/nsq/CNSqTimeScale.h"
#include "editors/nsq/CNSqUScnF.h"
#include "editors/nsq/CNSqUTrkList.h"
#include "framework/LMenu.h"
#include "records/NsqSets.h"
#include "tests/editors/SeqEditFixture.h"

namespace {

struct Tracks : SeqEditStage {
    Tracks() {
        CRecord* set = Settings()->GetChild(SqstF::nsqs);
        fSeq = AddNsq(3, "Main");
        for (u32 t = 0; t < 3; ++t) NSqSeqAddTrack(fSeq, nullptr, t);
        NSqTrkAddScene(Track(0), nullptr, 1000, kKindPaud);
        NSqTrkAddScene(Track(0), nullptr, 60000, kKindPaud);
        NSqTrkAddScene(Track(1), nullptr, 10000, kKindPaud);
        fCtx = std::make_unique<CNSqDevCtx>(set, &fDevice);
        fScale = std::make_unique<CNSqTimeScale>(fCtx.get());
        fScale->SetScale(0.1f);
        fList = std::make_unique<CNSqUTrkList>(&fWin, fScale.get(), nullptr);
        fList->SetBounds(LRect(0, 0, 400, 300));
        fScale->Selection().SetSequence(fSeq);
        fList->SetSequence(fSeq);
    }
    CRecord* Track(u32 t) { return fSeq->GetListItem(SseqF::trks, t); }
    // A point of row r at time t (seconds).
    LPoint At(u32 r, double t) {
        const LRect c = fList->GetCellRect(LCell{0, i32(r)});
        return SeqEditStage::At(fList->SceneArea().left + fScale->TimeToPos(t),
                                (c.top + c.bottom) / 2);
    }
    void Click(u32 r, double t, u32 mods = 0) {
        fMouse.fPos = At(r, t);
        fMouse.fModifiers = mods;
        auto* cell = static_cast<CNSqUTrkCell*>(fList->GetCellFrame(LCell{0, i32(r)}, false));
        LHandler::Send(LMouse_Click, &fMouse, &cell->fTrack);
    }
    // In track order (the selection keeps no order of its own).
    std::string Selected() {
        std::set<std::string> got;
        CNSqScnSel& sel = fScale->Selection();
        for (u32 i = 0; i < sel.Count(); ++i) {
            u32 t, s;
            sel.GetAt(i, &t, &s);
            got.insert(std::to_string(t) + "." + std::to_string(s) + " ");
        }
        std::string out;
        for (const std::string& g : got) out += g;
        return out;
    }
    CRecord* fSeq;
    std::unique_ptr<CNSqDevCtx> fCtx;
    std::unique_ptr<CNSqTimeScale> fScale;
    std::unique_ptr<CNSqUTrkList> fList;
};

void Command(LHandler* to, const char* cmd) {
    LMenuItem item(nullptr);
    item.SetCommand(cmd);
    LHandler::Send(LMenuItem_Selected, &item, to);
}

}  // namespace

TEST(NsqTracks, ClicksAndBand) {
    Tracks s;
    // 16 pixels are 1.6 s: a scene without length is hit that far.
    struct Case {
        u32 row;
        double t;
        u32 mods;
        const char* selected;
        bool banding;
    } cases[] = {
        {0, 2.5, 0, "0.0 ", false},                 // inside the 16 pixels
        {1, 10.5, kModCommand, "0.0 1.0 ", false},  // Ctrl adds
        {1, 10.5, kModCommand, "0.0 ", false},      // and takes away
        {0, 1.2, 0, "0.0 ", false},                 // plain on a selected one: kept
        {1, 10.5, kModCommand, "0.0 1.0 ", false},  //
        {1, 10.2, 0, "0.0 1.0 ", false},            // kept with the others, to be dragged
        {0, 60.5, 0, "0.1 ", false},                // plain on another: that one alone
        {0, 2.7, 0, "", true},                      // past the 16 pixels: a band starts
    };
    for (const Case& c : cases) {
        s.Click(c.row, c.t, c.mods);
        EXPECT_EQ(s.Selected(), c.selected) << c.t;
        EXPECT_EQ(s.fList->IsBanding(), c.banding) << c.t;
    }
    // The band over rows 0 and 1 from 5 s to 65 s takes the scenes it meets.
    s.fMouse.fPos = s.At(1, 65);
    s.fMouse.fPos.y += 10;
    LHandler::Send(LMouse_Move, &s.fMouse, s.fList.get());
    EXPECT_EQ(s.fScale->Selection().Count(), 2u);
    LHandler::Send(LMouse_Release, &s.fMouse, s.fList.get());
    EXPECT_FALSE(s.fList->IsBanding());
}

TEST(NsqTracks, AddDeleteAndNames) {
    Tracks s;
    s.fList->AddSceneAt(2, 86400.0, kKindPdmx);  // the day is over: nothing
    s.fList->AddSceneAt(2, 12.3456, kKindPdmx);
    EXPECT_EQ(s.Track(2)->GetListCount(StrkF::scns), 1u);
    EXPECT_EQ(s.Track(2)->GetListItem(StrkF::scns, 0)->GetU32(SscnF::time), 12345u);
    EXPECT_EQ(s.Selected(), "2.0 ");
    // Delete with scenes selected removes scenes, never tracks.
    s.fList->SelectCell(LCell{0, 0});
    EXPECT_EQ(s.Selected(), "");
    s.fScale->Selection().SetSelected(2, 0, true);
    EXPECT_TRUE(s.fList->Selection().IsEmpty());
    Command(s.fList.get(), LStdCmd_Delete);
    EXPECT_EQ(s.Track(2)->GetListCount(StrkF::scns), 0u);
    EXPECT_EQ(s.fSeq->GetListCount(SseqF::trks), 3u);
    // Without: the selected tracks go, and come back with Undo.
    s.fList->SelectCell(LCell{0, 1});
    Command(s.fList.get(), LStdCmd_Delete);
    EXPECT_EQ(s.fSeq->GetListCount(SseqF::trks), 2u);
    EXPECT_EQ(s.fList->Rows(), 2);
    ASSERT_TRUE(s.fUndo.Undo());
    EXPECT_EQ(s.fList->Rows(), 3);
    // A name typed in a row is the track's.
    auto* cell = static_cast<CNSqUTrkCell*>(s.fList->GetCellFrame(LCell{0, 1}, false));
    cell->fName.SetText(LString("Strings"));
    LHandler::Send(LEditText_Change, &cell->fName, cell);
    EXPECT_STREQ(s.Track(1)->GetString(StrkF::name).CStr(), "Strings");
}

TEST(NsqTracks, SceneFrameStepsAndSequenceLoop) {
    Tracks s;
    CNSqUScnF frame(&s.fWin, s.fScale.get());
    CRecord* first = s.Track(0)->GetListItem(StrkF::scns, 0);
    frame.SetScene(first);
    auto enabled = [](LPane& p) { return (p.State() & LPane::kEnabled) != 0; };
    EXPECT_FALSE(enabled(frame.Prev()));
    EXPECT_TRUE(enabled(frame.Next()));
    // Past its successor: the track re-sorts and the buttons follow.
    frame.Time().SetValue(70.004f);
    LHandler::Send(CNumVol_Fix, &frame.Time(), &frame);
    EXPECT_EQ(first->GetIndex(), 1u);
    EXPECT_EQ(first->GetU32(SscnF::time), 70000u);
    EXPECT_TRUE(enabled(frame.Prev()));
    EXPECT_FALSE(enabled(frame.Next()));
    frame.Step(-1);
    EXPECT_EQ(s.Selected(), "0.0 ");
    CNSqUSqPrmF seq(&s.fWin);
    seq.SetSequence(s.fSeq);
    seq.Loop().SetState(1);
    LHandler::Send(LStdCheck_Change, &seq.Loop(), &seq);
    EXPECT_EQ(s.fSeq->GetU8(SseqF::loop), 1);
}
