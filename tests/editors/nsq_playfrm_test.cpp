// The NSQ play frame on the headless fakes: the sequence list drives the
// sequence frame and the track editor, the scene selection drives the scene
// frames, stepping to a scene brings it into view, and showing or hiding the
// frame is told to its parent.
#include <algorithm>
#include <string>
#include <vector>

#include "editors/CKvsSeqList.h"
#include "editors/nsq/CKvsPlay2Frm.h"
#include "editors/nsq/CNSqSceneFrames.h"
#include "editors/nsq/CNSqTimeScale.h"
#include "editors/nsq/CNSqTrkEditF.h"
#include "editors/nsq/CNSqUScnF.h"
#include "records/NsqSets.h"
#include "tests/editors/SeqEditFixture.h"

namespace {

struct Parent : LHandler {
    LMessage HandleMessage(const LMessage& msg) override {
        heard.emplace_back(msg.name);
        return LMessage();
    }
    std::vector<std::string> heard;
};

struct Play2 : SeqEditStage {
    Play2() {
        fWin.SetBounds(LRect(0, 0, 1000, 700));
        CRecord* set = Settings()->GetChild(SqstF::nsqs);
        fSeqs[0] = AddNsq(1, "One");
        fSeqs[1] = AddNsq(2, "Two");
        NSqSeqAddTrack(fSeqs[1], nullptr, 0);
        NSqSeqAddTrack(fSeqs[1], nullptr, 1);
        NSqTrkAddScene(Track(0), nullptr, 1000, kKindPaud);
        NSqTrkAddScene(Track(1), nullptr, 3600000, kKindPaud);
        fCtx = std::make_unique<CNSqDevCtx>(set, &fDevice);
        fScale = std::make_unique<CNSqTimeScale>(fCtx.get());
        fScale->SetScale(1.0f);
        fFrm = std::make_unique<CKvsPlay2Frm>(&fParent, &fWin, nullptr, fScale.get(), Settings(),
                                              nullptr);
        fFrm->SetBounds(LRect(0, 0, 1000, 700));
    }
    ~Play2() { fFrm.reset(); }
    CRecord* Track(u32 t) { return fSeqs[1]->GetListItem(SseqF::trks, t); }
    CRecord* Scene(u32 t) { return Track(t)->GetListItem(StrkF::scns, 0); }
    void SelectRow(i32 row) {
        if (row < 0)
            fFrm->List()->SelectNone();
        else
            fFrm->List()->SelectCell(LCell{0, row});
    }
    bool ScenesShown() { return fFrm->SceneFrame()->IsShown() && fFrm->ScenePrm()->IsShown(); }

    Parent fParent;
    CRecord* fSeqs[2];
    std::unique_ptr<CNSqDevCtx> fCtx;
    std::unique_ptr<CNSqTimeScale> fScale;
    std::unique_ptr<CKvsPlay2Frm> fFrm;
};

}  // namespace

TEST(NsqPlayFrame, SequenceListDrivesTheEditors) {
    Play2 s;
    struct Case {
        i32 row;
        i32 seq;  // -1: none
    } cases[] = {{1, 1}, {0, 0}, {-1, -1}, {1, 1}};
    for (const Case& c : cases) {
        s.SelectRow(c.row);
        CRecord* want = c.seq < 0 ? nullptr : s.fSeqs[c.seq];
        EXPECT_EQ(s.fFrm->GetSelectedNsqSeq(), want) << c.row;
        EXPECT_EQ(s.fFrm->SeqPrm()->Sequence(), want) << c.row;
        EXPECT_EQ(s.fFrm->TrackEdit()->Sequence(), want) << c.row;
        EXPECT_EQ(s.fScale->Selection().Sequence(), want) << c.row;
    }
    EXPECT_NE(std::find(s.fParent.heard.begin(), s.fParent.heard.end(), CKvsPlay2Frm_Seq),
              s.fParent.heard.end());
}

TEST(NsqPlayFrame, SceneSelectionShowsTheSceneFrames) {
    Play2 s;
    s.SelectRow(1);
    CNSqScnSel& sel = s.fScale->Selection();
    EXPECT_FALSE(s.ScenesShown());
    sel.SelectOnly(1, 0);
    EXPECT_TRUE(s.ScenesShown());
    EXPECT_EQ(s.fFrm->SceneFrame()->Scene(), s.Scene(1));
    EXPECT_EQ(s.fFrm->ScenePrm()->Scene(), s.Scene(1));
    // The scene's track goes away: its frames with it.
    s.fSeqs[1]->RemoveItem(nullptr, SseqF::trks, 1);
    EXPECT_FALSE(s.ScenesShown());
    EXPECT_EQ(s.fFrm->SceneFrame()->Scene(), nullptr);
    sel.SelectOnly(0, 0);
    EXPECT_TRUE(s.ScenesShown());
    sel.DeselectAll();
    EXPECT_FALSE(s.ScenesShown());
    // Another sequence drops the scene.
    sel.SelectOnly(0, 0);
    s.SelectRow(0);
    EXPECT_FALSE(s.ScenesShown());
}

TEST(NsqPlayFrame, BringingASceneIntoView) {
    Play2 s;
    s.SelectRow(1);
    const i32 w = s.fFrm->TrackEdit()->List().SceneArea().Width();
    ASSERT_GT(w, 100);
    struct Case {
        u32 track;
        double view;
        double after;
    } cases[] = {
        {0, 0, 0},                                            // at 1 s: already in view
        {1, 0, 3600.0 - (w / 4)},                             // an hour in: a quarter from the left
        {1, 3600 - 10, 3600 - 10},                            // in view
        {0, 3600, 0},                                         // before the view: not below 0
        {1, 3600.0 - (w - 5) + 0.5, 3600.0 - (w - 5) + 0.5},  // just before the last 5 pixels
        {1, 3600.0 - (w - 5), 3600.0 - (w / 4)},              // inside them: scrolls
    };
    for (const Case& c : cases) {
        s.fScale->SetViewTime(c.view, w * s.fScale->Scale());
        s.fScale->Selection().SelectOnly(c.track, 0);
        LHandler::Send(CNSqUScnF_BringScn, s.fFrm->SceneFrame(), s.fFrm.get());
        EXPECT_DOUBLE_EQ(s.fScale->ViewTime(), c.after) << c.track << " " << c.view;
    }
}

TEST(NsqPlayFrame, VisibilityIsToldToTheParent) {
    Play2 s;
    for (u32 op : {LPane::kOpHide, LPane::kOpShow}) {
        s.fParent.heard.clear();
        s.fFrm->SetState(op);
        EXPECT_EQ(s.fParent.heard, (std::vector<std::string>{CKvsPlay2Frm_Vis})) << op;
    }
}

// A clip's fields ended without a change (Return, Tab, the focus leaving) give
// back the milliseconds they were shown, late in the day and at odd values too.
TEST(NsqPlayFrame, ClipFieldsEndedUnchangedKeepTheirMilliseconds) {
    Play2 s;
    s.SelectRow(1);
    s.fScale->Selection().SelectOnly(1, 0);
    auto* clip = dynamic_cast<CNSqClipPrmF*>(s.fFrm->ScenePrm()->Shown());
    ASSERT_NE(clip, nullptr);
    CRecord* m = s.Scene(1)->GetChild(SscnF::prms);
    struct Case {
        u8 field;
        u32 value;
        CNumVol* vol;
    } cases[] = {
        {PdmxF::rngf, 1234, &clip->From()},     {PdmxF::rngt, 86399999, &clip->To()},
        {PdmxF::rngf, 43210987, &clip->From()}, {PdmxF::fdtm, 2300, &clip->Fade()},
        {PdmxF::fdtm, 9900, &clip->Fade()},
    };
    for (const Case& c : cases) {
        m->SetU32(nullptr, c.field, c.value);
        LHandler::Send(CNumVol_Fix, c.vol, clip);
        EXPECT_EQ(m->GetU32(c.field), c.value) << int(c.field);
    }
    // The scene's own time likewise, in its frame.
    CRecord* scene = s.Scene(1);
    NSqTrkSetSceneTime(s.Track(1), nullptr, 0, 86399990);
    LHandler::Send(CNumVol_Fix, &s.fFrm->SceneFrame()->Time(), s.fFrm->SceneFrame());
    EXPECT_EQ(scene->GetU32(SscnF::time), 86399990u);
}
