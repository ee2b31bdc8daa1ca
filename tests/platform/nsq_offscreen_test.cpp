// The NSQ track editor in a real window (offscreen): scenes of every kind, a
// narrow pair with its markers, a selection and the now line, saved as PNGs
// under <build>/nsq/ and checked where the colours must lie.
#include <gtest/gtest.h>

#include <QDir>

#include "QtDrawFixture.h"
#include "ShellFixture.h"
#include "editors/nsq/CNSqSceneFrames.h"
#include "editors/nsq/CNSqTrkEditF.h"
#include "editors/nsq/CNSqUScnF.h"
#include "editors/nsq/CNSqTimeScale.h"
#include "framework/CUndoQ.h"
#include "platform/qt/QtControls.h"
#include "records/NsqPrefKinds.h"
#include "records/NsqSets.h"
#include "records/ShowKinds.h"
#include "tests/editors/FakePlayDevice.h"

namespace {

struct Win : LFrame {
    Win(LHandler* parent, i32 w, i32 h)
        : LFrame(parent, nullptr, LPaneOpt::Window(kWindowOrdinary, 6)) {
        fWindow->SetContentRect(LRect(100, 100, 100 + w, 100 + h));
        SetBounds(LRect(0, 0, w, h));
    }
};

TEST(NsqOffscreen, TracksScenesSelectionAndNowLine) {
    ShellEnv env("offscreen");
    QtControlServices controls;
    RegisterAllRecordKinds();
    QDir().mkpath(KEVO_BINARY_DIR "/nsq");
    CUndoQ undo(gApp, 1u << 20);
    FakePlayDevice device;
    CRecordDoc seqDoc(NewSeqSettingsRecord());
    CRecord* set = seqDoc.Root()->GetChild(SqstF::nsqs);
    NSqSetNewSeq(set, nullptr, 0);
    NSqSetNewSeq(set, nullptr, 1);
    CRecord* seq = set->GetListItem(SsetF::seqs, 1);
    set->GetListItem(SsetF::seqs, 0)->SetString(nullptr, SseqF::name, LString("Pre-show"));
    const char* files[] = {"", "storm.drc", "thunder.wav", "clouds.mp4"};
    const u32 kinds[] = {kKindPseq, kKindPdmx, kKindPaud, kKindPvid};
    for (u32 t = 0; t < 4; ++t) {
        CRecord* trk = set->GetListItem(SsetF::seqs, 1);
        NSqSeqAddTrack(trk, nullptr, t);
        CRecord* track = seq->GetListItem(SseqF::trks, t);
        track->SetString(nullptr, StrkF::name, LString(("Track " + std::to_string(t + 1)).c_str()));
        for (u32 k = 0; k < 2; ++k) {
            const u32 at = NSqTrkAddScene(track, nullptr, 5000 + k * 40000 + t * 7000, kinds[t]);
            CRecord* p = track->GetListItem(StrkF::scns, at)->GetChild(SscnF::prms);
            if (kinds[t] == kKindPseq)
                p->SetU32(nullptr, PseqF::sqid,
                          set->GetListItem(SsetF::seqs, 0)->GetU32(SseqF::sqid));
            else
                p->SetString(nullptr, PdmxF::file, LString(files[t])),
                    p->SetU32(nullptr, PdmxF::rngt, 20000);
        }
    }
    // A pair 3 pixels apart (at 0.2 s per pixel).
    NSqTrkAddScene(seq->GetListItem(SseqF::trks, 2), nullptr, 70000, kKindPaud);
    NSqTrkAddScene(seq->GetListItem(SseqF::trks, 2), nullptr, 70600, kKindPaud);

    CNSqDevCtx ctx(set, &device);
    CNSqTimeScale scale(&ctx);
    scale.SetScale(0.2f);
    Win win(&undo, 640, 200);
    CNSqTrkEditF edit(&win, &scale, nullptr);
    edit.SetBounds(LRect(0, 0, 640, 200));
    edit.SetSequence(seq);
    scale.Selection().SetSelected(1, 0, true);
    device.fState.Root()->SetU32(nullptr, DvssF::sqid, seq->GetU32(SseqF::sqid));
    ctx.Status()->SetU32(nullptr, NsqStatF::time, 30000);
    win.ShowWindow();
    QCoreApplication::processEvents();
    QWidget* top = AsMWindow(win.GetNativeWindow());
    const QImage shot = top->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_TRUE(shot.save(QStringLiteral(KEVO_BINARY_DIR "/nsq/track_editor.png")));
    EXPECT_EQ(CutPanes(win), "");
    const i32 dy = shot.height() - 200;
    const LRect area = edit.List().SceneArea();
    const u64 at = edit.List().GetTopLeftIn(&win);
    const i32 ox = i32(LPane::UnpackX(at)) - edit.List().Bounds().left;
    const i32 oy = i32(LPane::UnpackY(at)) - edit.List().Bounds().top + dy;
    // Somewhere within 3 pixels of x on the row's middle line.
    auto near = [&](i32 x, u32 row, auto is) {
        const LRect r = edit.List().GetCellRect(LCell{0, i32(row)});
        for (i32 d = -3; d <= 3; ++d)
            if (is(shot.pixel(ox + x + d, oy + (r.top + r.bottom) / 2))) return true;
        return false;
    };
    // The now line at 30 s crosses every row; the narrow pair has its markers.
    for (u32 row = 0; row < 4; ++row)
        EXPECT_TRUE(near(scale.TimeToPos(30) + area.left, row, [](QRgb p) {
            return qGreen(p) == 255 && qRed(p) == 0;
        })) << row;
    EXPECT_TRUE(near(scale.TimeToPos(70.6) + area.left, 2,
                     [](QRgb p) { return qRed(p) == 255 && qGreen(p) == 0; }));

    // Scrolled to a time off the grid, with scenes begun left of the view:
    // the ruler's first line and label and the scenes' boxes reach left of
    // their panes. What lies left of the ruler (the zoom slider) and the
    // name column must look as they did at the start of the day.
    const u64 sw = edit.Swipe().GetTopLeftIn(&win);
    const LRect ruler(0, i32(LPane::UnpackY(sw)) + dy, i32(LPane::UnpackX(sw)),
                      i32(LPane::UnpackY(sw)) + dy + edit.Swipe().Bounds().Height());
    const LRect names(ox + edit.List().Bounds().left, oy + area.top, ox + area.left,
                      oy + area.bottom);
    for (const double at : {41.3, 27.0}) {
        scale.SetViewTime(at, 10);
        QCoreApplication::processEvents();
        const QImage moved = top->grab().toImage().convertToFormat(QImage::Format_RGB32);
        EXPECT_TRUE(moved.save(QStringLiteral(KEVO_BINARY_DIR "/nsq/track_editor_%1.png").arg(at)));
        for (const LRect& r : {ruler, names}) {
            i32 changed = 0;
            for (i32 y = r.top; y < r.bottom; ++y)
                for (i32 x = r.left; x < r.right; ++x)
                    changed += moved.pixel(x, y) != shot.pixel(x, y);
            EXPECT_EQ(changed, 0) << at << " s, left of x " << r.right;
        }
    }
}

TEST(NsqOffscreen, ParameterFrames) {
    ShellEnv env("offscreen");
    QtControlServices controls;
    RegisterAllRecordKinds();
    QDir().mkpath(KEVO_BINARY_DIR "/nsq");
    CUndoQ undo(gApp, 1u << 20);
    FakePlayDevice device;
    CRecordDoc seqDoc(NewSeqSettingsRecord());
    CRecord* set = seqDoc.Root()->GetChild(SqstF::nsqs);
    for (u32 i = 0; i < 3; ++i) NSqSetNewSeq(set, nullptr, i);
    CRecord* seq = set->GetListItem(SsetF::seqs, 0);
    NSqSeqAddTrack(seq, nullptr, 0);
    CRecord* track = seq->GetListItem(SseqF::trks, 0);
    CNSqDevCtx ctx(set, &device);
    for (u32 kind : {kKindPdmx, kKindPaud, kKindPseq}) {
        const u32 at = NSqTrkAddScene(track, nullptr, 1000 + kind % 1000, kind);
        CRecord* scene = track->GetListItem(StrkF::scns, at);
        CRecord* p = scene->GetChild(SscnF::prms);
        if (kind == kKindPseq) {
            p->SetU32(nullptr, PseqF::sqid, set->GetListItem(SsetF::seqs, 2)->GetU32(SseqF::sqid));
        } else {
            p->SetString(nullptr, PdmxF::file, LString("show.drc"));
            p->SetU32(nullptr, PdmxF::rngt, 12500);
            p->SetU32(nullptr, PdmxF::volm, 128);
        }
        Win win(&undo, 560, 90);
        CNSqUScnPrmF prm(&win, &ctx);
        prm.SetBounds(LRect(0, 0, 560, 90));
        prm.SetScene(scene);
        ASSERT_TRUE(prm.Shown()) << kind;
        win.ShowWindow();
        QCoreApplication::processEvents();
        const QImage shot = AsMWindow(win.GetNativeWindow())->grab().toImage();
        const char* name = kind == kKindPdmx ? "dmx" : kind == kKindPaud ? "audio" : "sequence";
        EXPECT_TRUE(shot.save(QStringLiteral(KEVO_BINARY_DIR "/nsq/prm_") + name + ".png"));
        EXPECT_EQ(CutPanes(win), "");
        if (kind == kKindPseq)
            EXPECT_STREQ(static_cast<CNSqTSpecPup*>(prm.Shown())->Slot().GetText().CStr(), "(3)");
        else
            EXPECT_FLOAT_EQ(static_cast<CNSqClipPrmF*>(prm.Shown())->Volume().GetValue(), 50);
    }

    // The scene frame's step buttons show their arrows, dimmed while there is
    // no scene to step to: the first scene has none before it, the last none after.
    CNSqTimeScale scale(&ctx);
    const u32 last = track->GetListCount(StrkF::scns) - 1;
    for (const u32 at : {0u, last}) {
        // (As tall as its time field, which holds every glyph of its font.)
        Win win(&undo, 300, 48);
        CNSqUScnF frame(&win, &scale);
        frame.SetBounds(LRect(0, 0, 300, 48));
        frame.SetScene(track->GetListItem(StrkF::scns, at));
        win.ShowWindow();
        QCoreApplication::processEvents();
        const QImage shot = AsMWindow(win.GetNativeWindow())
                                ->grab()
                                .toImage()
                                .convertToFormat(QImage::Format_RGB32);
        EXPECT_TRUE(shot.save(QStringLiteral(KEVO_BINARY_DIR "/nsq/scene_frame_%1.png").arg(at)));
        EXPECT_EQ(CutPanes(win), "");
        const i32 dy = shot.height() - 48;
        for (CColorBtn* b : {&frame.Prev(), &frame.Next()}) {
            EXPECT_EQ(b->IsUsable(), b == &frame.Prev() ? at > 0 : at < last) << at;
            const u64 tl = b->GetTopLeftIn(&win);
            const i32 x0 = i32(LPane::UnpackX(tl)), y0 = i32(LPane::UnpackY(tl)) + dy;
            i32 ink = 0;
            for (i32 y = y0 + 3; y < y0 + b->Bounds().Height() - 3; ++y)
                for (i32 x = x0 + 3; x < x0 + b->Bounds().Width() - 3; ++x)
                    ink += qGray(shot.pixel(x, y)) < 170;
            EXPECT_GE(ink, 4) << "the caption of a button of scene " << at;
        }
    }
}

}  // namespace
