// The NSQ track editor under Xvfb with the real mouse (xdotool): a rubber band
// across two tracks, Ctrl-clicks that add and take away, and two selected
// scenes dragged later in time (moved, one undo step).
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>
#include <string>

#include <QImage>

#include "XvfbFrameTest.h"
#include "editors/nsq/CNSqKinds.h"
#include "editors/nsq/CNSqScnSel.h"
#include "editors/nsq/CNSqTimeScale.h"
#include "editors/nsq/CNSqTrkEditF.h"
#include "framework/CUndoQ.h"
#include "records/NsqPrefKinds.h"
#include "records/NsqSets.h"
#include "records/ShowKinds.h"
#include "tests/editors/FakePlayDevice.h"

// Qt's drag on X11 wakes the session bus, whose library keeps a block for the process.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}

namespace {

constexpr i32 kW = 700, kH = 240;

// Three tracks: DMX clips of 8 s at 10 s and 40 s on tracks 0 and 1, one at
// 20 s on track 2; 0.2 s per pixel.
struct Stage {
    Stage() {
        RegisterAllRecordKinds();
        CRecord* set = fSeqDoc.Root()->GetChild(SqstF::nsqs);
        NSqSetNewSeq(set, nullptr, 0);
        fSeq = set->GetListItem(SsetF::seqs, 0);
        const u32 times[3][2] = {{10000, 40000}, {10000, 40000}, {20000, 0}};
        for (u32 t = 0; t < 3; ++t) {
            NSqSeqAddTrack(fSeq, nullptr, t);
            CRecord* track = fSeq->GetListItem(SseqF::trks, t);
            for (u32 k = 0; k < 2 && times[t][k]; ++k) {
                const u32 at = NSqTrkAddScene(track, nullptr, times[t][k], kKindPdmx);
                CRecord* p = track->GetListItem(StrkF::scns, at)->GetChild(SscnF::prms);
                p->SetString(nullptr, PdmxF::file, LString("look.drc"));
                p->SetU32(nullptr, PdmxF::rngt, 8000);
            }
        }
        fScale.SetScale(0.2f);
        fWin.GetWindow()->SetContentRect(LRect(100, 100, 100 + kW, 100 + kH));
        fWin.SetBounds(LRect(0, 0, kW, kH));
        fEdit.SetBounds(LRect(0, 0, kW, kH));
        fEdit.SetSequence(fSeq);
    }
    // Where on the screen the time (seconds) lies on a track's middle line.
    std::string At(double seconds, u32 row) {
        const LRect c = fWin.GetWindow()->GetContentScreenRect();
        CNSqUTrkList& list = fEdit.List();
        const u64 at = list.GetTopLeftIn(&fWin);
        const i32 ox = i32(LPane::UnpackX(at)) - list.Bounds().left;
        const i32 oy = i32(LPane::UnpackY(at)) - list.Bounds().top;
        const LRect r = list.GetCellRect(LCell{0, i32(row)});
        const i32 x = c.left + ox + list.SceneArea().left + fScale.TimeToPos(seconds);
        const i32 y = c.top + oy + (r.top + r.bottom) / 2;
        return std::to_string(x) + " " + std::to_string(y);
    }
    // The same place in a picture of the window (which has its menu bar above
    // the content), dy pixels from the row's middle.
    QPoint Local(double seconds, u32 row, i32 dy) {
        CNSqUTrkList& list = fEdit.List();
        const u64 at = list.GetTopLeftIn(&fWin);
        const i32 bar = fWin.Native()->height() - kH;
        const LRect r = list.GetCellRect(LCell{0, i32(row)});
        return QPoint(i32(LPane::UnpackX(at)) - list.Bounds().left + list.SceneArea().left +
                          fScale.TimeToPos(seconds),
                      i32(LPane::UnpackY(at)) - list.Bounds().top + bar + (r.top + r.bottom) / 2 + dy);
    }
    // The selected scenes as "track.scene", in track and scene order.
    std::string Selected() {
        std::set<std::pair<u32, u32>> at;
        CNSqScnSel& sel = fScale.Selection();
        for (u32 i = 0; i < sel.Count(); ++i) {
            u32 t, s;
            sel.GetAt(i, &t, &s);
            at.insert({t, s});
        }
        std::string out;
        for (const auto& [t, s] : at)
            out += (out.empty() ? "" : " ") + std::to_string(t) + "." + std::to_string(s);
        return out;
    }
    u32 TimeOf(u32 track, u32 scene) {
        return fSeq->GetListItem(SseqF::trks, track)->GetListItem(StrkF::scns, scene)->GetU32(
            SscnF::time);
    }
    u32 SceneCount(u32 track) {
        return fSeq->GetListItem(SseqF::trks, track)->GetListCount(StrkF::scns);
    }

    struct Win : LFrame {
        explicit Win(LHandler* parent)
            : LFrame(parent, nullptr, LPaneOpt::Window(kWindowOrdinary, 6)) {}
        LWindow* GetWindow() const { return fWindow; }
        MWindow* Native() const { return AsMWindow(fWindow->Native()); }
    };

    CUndoQ fUndo{gApp, 1u << 20};
    FakePlayDevice fDevice;
    CRecordDoc fSeqDoc{NewSeqSettingsRecord()};
    CRecord* fSeq = nullptr;
    CNSqDevCtx fCtx{fSeqDoc.Root()->GetChild(SqstF::nsqs), &fDevice};
    CNSqTimeScale fScale{&fCtx};
    Win fWin{&fUndo};
    CNSqTrkEditF fEdit{&fWin, &fScale, nullptr};
};

class NsqXvfb : public XvfbSuite {
protected:
    void SetUp() override {
        XvfbSuite::SetUp();
        if (IsSkipped()) return;
        s = std::make_unique<Stage>();
        s->fWin.ShowWindow();
        ASSERT_TRUE(Activate(s->fWin.Native()));
    }
    void TearDown() override {
        gX->Xdotool("keyup ctrl");
        s.reset();
    }
    // The X server queues what xdotool does; the event loop then takes it in
    // order, until the condition holds.
    bool Do(const std::string& args, const std::function<bool()>& done, u32 ms = 5000) {
        gX->Xdotool(args);
        return WaitUntil(done, ms);
    }
    std::unique_ptr<Stage> s;
};

TEST_F(NsqXvfb, RubberBandAcrossTwoTracks) {
    // From empty time on track 0 to 12 s on track 1: the first scene of each.
    ASSERT_TRUE(Do("mousemove " + s->At(4, 0) + " mousedown 1 sleep 0.2 mousemove " +
                       s->At(8, 1) + " sleep 0.2 mousemove " + s->At(12, 1),
                   [&] { return s->Selected() == "0.0 1.0"; }))
        << s->Selected();
    // The band is drawn where it is, over both rows and no further: at 6 s the
    // upper part of track 1 is darker than the same place on track 2.
    LoopDrained();
    const QImage shot = s->fWin.Native()->grab().toImage();
    const QPoint in1 = s->Local(6, 1, -8), in2 = s->Local(6, 2, -8), out2 = s->Local(35, 2, -8);
    EXPECT_LT(qGray(shot.pixel(in1)), qGray(shot.pixel(in2)));
    EXPECT_EQ(shot.pixel(in2), shot.pixel(out2));
    ASSERT_TRUE(Do("mouseup 1", [&] { return !s->fEdit.List().IsBanding(); }));
    EXPECT_EQ(s->Selected(), "0.0 1.0");
    // A band over nothing but empty time leaves nothing selected.
    ASSERT_TRUE(Do("mousemove " + s->At(25, 0) + " mousedown 1 sleep 0.2 mousemove " +
                       s->At(35, 1) + " sleep 0.2 mouseup 1",
                   [&] { return s->Selected().empty() && !s->fEdit.List().IsBanding(); }))
        << s->Selected();
}

TEST_F(NsqXvfb, CtrlClickAddsAndTakesAway) {
    const struct {
        double seconds;
        u32 row;
        bool ctrl;
        const char* selected;
    } steps[] = {
        {12, 0, false, "0.0"},
        {42, 1, true, "0.0 1.1"},
        {21, 2, true, "0.0 1.1 2.0"},
        {12, 0, true, "1.1 2.0"},
        {41, 0, false, "0.1"},
    };
    for (const auto& step : steps) {
        const std::string click = "mousemove " + s->At(step.seconds, step.row) + " click 1";
        ASSERT_TRUE(Do(step.ctrl ? "keydown ctrl " + click + " keyup ctrl" : click,
                       [&] { return s->Selected() == step.selected; }))
            << step.seconds << " s, row " << step.row << ": " << s->Selected();
    }
}

TEST_F(NsqXvfb, TwoScenesDraggedLaterMoveAsOneUndoStep) {
    ASSERT_TRUE(Do("mousemove " + s->At(12, 0) + " click 1",
                   [&] { return s->Selected() == "0.0"; }));
    // Ctrl-press the scene on track 1 (adding it) and drag it 10 s later.
    const std::string from = s->At(12, 1), to = s->At(22, 1), near = s->At(14, 1);
    gX->XdotoolAsync("mousemove " + from + " keydown ctrl mousedown 1 sleep 0.6 mousemove " +
                     near + " sleep 0.3 keyup ctrl sleep 0.3 mousemove " + to +
                     " sleep 0.3 mousemove_relative 0 1 sleep 0.3 mouseup 1");
    ASSERT_TRUE(WaitUntil([&] { return s->TimeOf(0, 0) != 10000; }, 8000)) << s->Selected();
    Await("the pointer let go", [] { return !(QGuiApplication::mouseButtons() & Qt::LeftButton); });
    LoopDrained();
    // Moved, not copied: the same scenes, 10 s later within a pixel, the
    // later ones where they were.
    for (u32 t = 0; t < 2; ++t) {
        EXPECT_EQ(s->SceneCount(t), 2u) << t;
        EXPECT_NEAR(s->TimeOf(t, 0), 20000, 200) << t;
        EXPECT_EQ(s->TimeOf(t, 1), 40000u) << t;
    }
    EXPECT_EQ(s->SceneCount(2), 1u);
    ASSERT_TRUE(s->fUndo.Undo());
    for (u32 t = 0; t < 2; ++t) {
        EXPECT_EQ(s->SceneCount(t), 2u) << t;
        EXPECT_EQ(s->TimeOf(t, 0), 10000u) << t;
    }
}

}  // namespace
