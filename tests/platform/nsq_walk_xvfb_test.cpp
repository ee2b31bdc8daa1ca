// The NSQ play edit as a user meets it, under a real X server with a window
// manager (Xvfb, openbox, xdotool), against a simulated device in play format 2
// inside namespaces of the test's own (root only): a sequence and its tracks
// named, an audio and a DMX scene added from the track's context menu, every
// field of the audio scene's parameters typed and ended a different way,
// scenes selected, deleted by key and by menu, undone and redone, tracks
// copied and pasted, the scene times moved in their dialog, the sequence
// played from the ruler with the now-position running across the time line,
// the view zoomed and scrolled by the wheel with the ruler and the scenes kept
// inside their panes.
// What reaches the device is read back from its log. Screenshots go to the
// build folder (walk_nsq_<name>.png). One child process per run.
#include <QApplication>
#include <QImage>
#include <QMenu>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "NsqWalkParts.h"
#include "PlayEditWalk.h"
#include "editors/nsq/CKvsNPosInd.h"
#include "editors/nsq/CKvsPlay2Frm.h"
#include "editors/nsq/CNSqSceneFrames.h"
#include "editors/nsq/CNSqTrkEditF.h"
#include "editors/nsq/CNSqTrkViewF.h"
#include "editors/nsq/CNSqUScnF.h"
#include "editors/nsq/CNSqUTrkList.h"
#include "editors/CKvsSeqList.h"
#include "platform/qt/QtColors.h"
#include "records/NsqPrefKinds.h"
#include "records/ShowKinds.h"

// Qt's drag on X11 wakes the session bus, whose library keeps a block for the process.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}

using namespace testtftp;

namespace {

// The program as the walk finds it: the control window of 1201, a device in
// the NSQ format, showing its NSQ play edit.
struct NsqEdit {
    Walk& w;
    SimDeviceProcess& sim;
    MWindow* ctl = nullptr;
    CKvsDevCtlScreen* screen = nullptr;
    CNSqTrkViewF* view = nullptr;
    CKvsPlay2Frm* frame = nullptr;
};

// The play edit of 1201 in the NSQ format.
void WithNsqEdit(const XvfbHarness& x, NetnsHarness& net, const TempDir& dir,
                 const std::function<void(NsqEdit&)>& body) {
    WithPlayEdit(
        x, net, dir,
        [&](PlayEdit& e) {
            NsqEdit p{e.w, e.sim, e.ctl, e.screen};
            p.view = dynamic_cast<CNSqTrkViewF*>(p.screen->PlayView());
            ASSERT_NE(p.view, nullptr) << "a device in format 2 opened another play edit";
            p.frame = p.view->Frame();
            ASSERT_NE(p.frame, nullptr);
            ASSERT_TRUE(WaitUntil([&] { return p.frame->IsShown(); }, 5000));
            LoopDrained();
            body(p);
        },
        2);
}

using nsqwalk::PopupChoice;
using nsqwalk::TrackAt;

// A track's name typed into its row's field (clicked first) and ended by
// Return; the track holds it.
void NameTrack(Walk& w, CNSqUTrkCell* cell, CRecord* track, const std::string& name) {
    w.Click(PaneAt(&cell->fName));
    Await("the name field taking keys", [&] { return cell->fName.Engine() != nullptr; });
    w.Type(name);
    w.Key("Return");
    EXPECT_TRUE(WaitUntil(
        [&] { return std::string(track->GetString(StrkF::name).CStr()) == name; }, 3000))
        << track->GetString(StrkF::name).CStr();
}

// The x of the now line in a picture of the scene area, -1 without one.
int NowLineX(CNSqUTrkList& list) {
    auto* win =
        dynamic_cast<QWidget*>(AsMWindow(LWindow::FindByNative(list.GetNativeWindow())->Native()));
    if (!win) return -1;
    const QImage shot = win->grab().toImage();
    const QPoint tl = win->mapFromGlobal(ScreenPoint(&list, LPoint{0, 0}));
    const LRect area = list.SceneArea();
    const int y = tl.y() + list.Bounds().Height() - 3;
    for (int x = area.left - list.Bounds().left; x < area.right - list.Bounds().left; ++x) {
        const QRgb c = shot.pixel(tl.x() + x, y);
        if (qGreen(c) == 255 && qRed(c) < 40 && qBlue(c) < 40) return x;
    }
    return -1;
}

// How long a value may take to reach the device: the edit's writes queue behind
// the device's other requests.
constexpr u32 kDeviceMs = 8000;

// Where the keys go, for a failure's message.
std::string KeysGoTo(LPane* any) {
    LWindow* lw = LWindow::FindByNative(any->GetNativeWindow());
    LPane* f = lw && lw->GetFrame() ? lw->GetFrame()->FindFocusable() : nullptr;
    QWidget* qf = QApplication::focusWidget();
    return std::string("focus ") + (f ? typeid(*f).name() : "none") + ", Qt focus " +
           (qf ? qf->metaObject()->className() : "none");
}

bool FitsTheScreen(QWidget* w) {
    return w && w->frameGeometry().width() <= 1280 && w->frameGeometry().height() <= 800;
}

void WalkNsq(const XvfbHarness& x, NetnsHarness& net, const TempDir& dir) {
    // A walk that hangs in a modal loop fails rather than waits for the test's time-out.
    alarm(420);
    WithNsqEdit(x, net, dir, [&](NsqEdit& p) {
        Walk& w = p.w;
        SimDeviceProcess& sim = p.sim;
        MWindow* ctl = p.ctl;
        ASSERT_TRUE(w.WaitActive(ctl));
        CKvsPlay2Frm* frame = p.frame;
        CNSqTrkEditF* edit = frame->TrackEdit();
        CNSqUTrkList& list = edit->List();
        CNSqTimeScale& scale = p.view->Scale();
        CNSqScnSel& sel = scale.Selection();
        EXPECT_EQ(BarTitles(ctl), "KEVOruneSet File Edit Network Device Play Window Help");
        EXPECT_TRUE(FitsTheScreen(ctl))
            << ctl->frameGeometry().width() << " x " << ctl->frameGeometry().height();
        sim.Cmd("log clear");

        std::fprintf(stderr, "walk: %u ms, A sequence, named; two tracks, the first\n",
                     unsigned(LTickMs()));

        // ---- A sequence, named; two tracks, the first named.
        CRecord* set = p.view->SeqSettings()->GetChild(SqstF::nsqs);
        w.Click(PaneAt(&frame->PlusButton()));
        ASSERT_TRUE(WaitUntil([&] { return set->GetListCount(SsetF::seqs) == 1; }, 3000));
        CRecord* seq = set->GetListItem(SsetF::seqs, 0);
        ASSERT_TRUE(WaitUntil([&] { return edit->Sequence() == seq; }, 3000));
        w.AwaitQuiet("the sequence added");
        {
            auto* cell = static_cast<CKvsSeqCell*>(frame->List()->GetCellFrame(LCell{0, 0}, false));
            ASSERT_NE(cell, nullptr);
            w.Click(PaneAt(&cell->fName));
            Await("the name field taking keys", [&] { return cell->fName.Engine() != nullptr; });
            w.Type("Evening");
            w.Key("Tab");
            w.ExpectTyped("name", 0, "Evening", kDeviceMs);
            EXPECT_STREQ(seq->GetString(SseqF::name).CStr(), "Evening");
        }
        for (u32 n = 1; n <= 2; ++n) {
            w.Click(PaneAt(&edit->Plus()));
            ASSERT_TRUE(WaitUntil([&] { return seq->GetListCount(SseqF::trks) == n; }, 3000));
        }
        w.AwaitQuiet("the tracks added");
        // The zoom all the way in (0.01 s a pixel): a second is 100 pixels.
        // The zoom slider's knob (in the middle at 1 s a pixel) dragged to its left end.
        {
            const QPoint knob = PaneAt(&edit->Slider(), edit->Slider().Bounds().Width() / 2);
            const QPoint end = PaneAt(&edit->Slider(), 0) - QPoint(20, 0);
            x.XdotoolAsync(Where(knob) + " mousedown 1 sleep 0.3 " + Where(knob - QPoint(10, 0)) +
                           " sleep 0.2 " + Where(end) + " sleep 0.3 mouseup 1");
        }
        ASSERT_TRUE(WaitUntil([&] { return scale.Scale() < 0.02f; }, 3000)) << scale.Scale();
        Await("the zoom's drag ended",
              [] { return !(QGuiApplication::mouseButtons() & Qt::LeftButton); });
        LoopDrained();
        {
            auto* cell = static_cast<CNSqUTrkCell*>(list.GetCellFrame(LCell{0, 0}, false));
            ASSERT_NE(cell, nullptr);
            NameTrack(w, cell, seq->GetListItem(SseqF::trks, 0), "Lights");
        }
        w.Shot("nsq_tracks");

        std::fprintf(stderr, "walk: %u ms, An audio scene on the first track at 2 s\n",
                     unsigned(LTickMs()));

        // ---- An audio scene on the first track at 2 s, a DMX scene on the
        // second at 5 s, each from the track's context menu.
        auto addScene = [&](u32 row, double at, const char* item, u32 kind) {
            CRecord* track = seq->GetListItem(SseqF::trks, row);
            const u32 before = track->GetListCount(StrkF::scns);
            PopupChoice choice(x, item);
            w.Click(TrackAt(list, scale, row, at), 1, "");
            x.Xdotool("click 3");
            EXPECT_TRUE(WaitUntil([&] { return choice.Done(); }, 5000)) << item;
            EXPECT_TRUE(
                WaitUntil([&] { return track->GetListCount(StrkF::scns) == before + 1; }, 5000))
                << item;
            w.AwaitQuiet("the scene added");
            const CRecord* scene = track->GetListItem(StrkF::scns, before);
            ASSERT_NE(scene, nullptr);
            EXPECT_EQ(scene->GetChild(SscnF::prms)->Kind(), kind);
            EXPECT_NEAR(double(scene->GetU32(SscnF::time)), at * 1000.0, 30.0);
        };
        addScene(0, 2.0, "Add Audio", kKindPaud);
        addScene(1, 5.0, "Add DMX", kKindPdmx);
        ASSERT_EQ(seq->GetListItem(SseqF::trks, 0)->GetListCount(StrkF::scns), 1u);
        ASSERT_EQ(seq->GetListItem(SseqF::trks, 1)->GetListCount(StrkF::scns), 1u);
        CRecord* audio = seq->GetListItem(SseqF::trks, 0)->GetListItem(StrkF::scns, 0);
        CRecord* audioPrms = audio->GetChild(SscnF::prms);
        // A plain click toggles the scene after deselecting the others: a user
        // who wants one scene alone clears the selection first with a click
        // on the empty time line (a rubber band of nothing).
        auto selectAt = [&](u32 row, double at, const std::string& mods = "") {
            if (mods.empty()) {
                w.Click(TrackAt(list, scale, 1, 0.3));
                WaitUntil([&] { return sel.Count() == 0; }, 2000);
            }
            w.Click(TrackAt(list, scale, row, at), 1, mods);
            LoopDrained();
        };

        std::fprintf(stderr, "walk: %u ms, The audio scene's parameters, each edit \n",
                     unsigned(LTickMs()));

        // ---- The audio scene's parameters, each edit ended another way.
        selectAt(0, 2.05);
        ASSERT_TRUE(WaitUntil([&] { return frame->ScenePrm()->Scene() == audio; }, 3000));
        auto* aud = dynamic_cast<CNSqClipPrmF*>(frame->ScenePrm()->Shown());
        ASSERT_NE(aud, nullptr);
        EXPECT_FALSE(aud->IsDmx());
        LoopDrained();
        w.Shot("nsq_audio_scene");
        const FieldEdit edits[] = {
            {"range from, Return", &aud->From(), "00:00:01.50", "rngf", "1500",
             [&] { w.Key("Return"); }},
            {"range to, Tab", &aud->To(), "00:00:09.25", "rngt", "9250", [&] { w.Key("Tab"); }},
            {"fade, a click elsewhere", &aud->Fade(), "2.5", "fdtm", "2500",
             [&] { w.Click(PaneAt(frame->SceneFrame())); }},
            {"volume, Return", &aud->Volume(), "75", "volm", "192", [&] { w.Key("Return"); }},
            {"volume above the range, another scene selected", &aud->Volume(), "150", "volm", "256",
             [&] { selectAt(1, 5.05); }},
            {"volume, Tab", &aud->Volume(), "40", "volm", "102", [&] { w.Key("Tab"); }},
        };
        for (const FieldEdit& e : edits) {
            SCOPED_TRACE(e.what);
            if (frame->ScenePrm()->Scene() != audio) {
                selectAt(0, 2.05);
                WaitUntil([&] { return frame->ScenePrm()->Scene() == audio; }, 3000);
            }
            w.TypeAndEnd(e, kDeviceMs, [&] { return KeysGoTo(e.field); });
        }
        // Loop, a click on its check.
        selectAt(0, 2.05);
        ASSERT_TRUE(WaitUntil([&] { return frame->ScenePrm()->Scene() == audio; }, 3000));
        w.Click(PaneAt(&aud->Loop()));
        EXPECT_EQ(w.WaitWritten("loop", 1, kDeviceMs), std::vector<std::string>{"1"});
        EXPECT_EQ(audioPrms->GetU32(PdmxF::rngf), 1500u);
        EXPECT_EQ(audioPrms->GetU32(PdmxF::rngt), 9250u);
        EXPECT_EQ(audioPrms->GetU32(PdmxF::fdtm), 2500u);
        EXPECT_EQ(audioPrms->GetU32(PdmxF::volm), 102u);
        w.Shot("nsq_audio_params");

        std::fprintf(stderr, "walk: %u ms, Scenes: a click and a Ctrl-click select \n",
                     unsigned(LTickMs()));

        // ---- Scenes: a click and a Ctrl-click select both; Cut, Copy and
        // Paste stay off while scenes are selected, Delete is there.
        selectAt(0, 2.05);
        selectAt(1, 5.05, "ctrl");
        EXPECT_TRUE(WaitUntil([&] { return sel.Count() == 2; }, 2000)) << sel.Count();
        EXPECT_TRUE(w.Enabled(ctl, "Edit", "Delete"));
        EXPECT_FALSE(w.Enabled(ctl, "Edit", "Copy"));
        EXPECT_FALSE(w.Enabled(ctl, "Edit", "Paste"));
        CRecord* t0 = seq->GetListItem(SseqF::trks, 0);
        CRecord* t1 = seq->GetListItem(SseqF::trks, 1);
        auto scenes = [&] { return t0->GetListCount(StrkF::scns) + t1->GetListCount(StrkF::scns); };
        // The bar keeps the keyboard after a menu closed with Escape; a second
        // Escape gives it back to the window, as a user would press it.
        w.Key("Escape");
        // By key, then undone by key and redone from the menu.
        w.Key("Delete");
        EXPECT_TRUE(WaitUntil([&] { return scenes() == 0; }, 3000)) << scenes();
        w.Key("ctrl+z");
        EXPECT_TRUE(WaitUntil([&] { return scenes() == 2; }, 3000)) << scenes();
        ASSERT_TRUE(w.Choose(ctl, "Edit", "Redo"));
        EXPECT_TRUE(WaitUntil([&] { return scenes() == 0; }, 3000)) << scenes();
        ASSERT_TRUE(w.Choose(ctl, "Edit", "Undo"));
        EXPECT_TRUE(WaitUntil([&] { return scenes() == 2; }, 3000)) << scenes();
        // The DMX scene alone, deleted from the menu, back with Undo.
        selectAt(1, 5.05);
        EXPECT_TRUE(WaitUntil([&] { return sel.Count() == 1; }, 2000));
        ASSERT_TRUE(w.Choose(ctl, "Edit", "Delete"));
        EXPECT_TRUE(WaitUntil([&] { return t1->GetListCount(StrkF::scns) == 0; }, 3000));
        w.Key("ctrl+z");
        EXPECT_TRUE(WaitUntil([&] { return t1->GetListCount(StrkF::scns) == 1; }, 3000));
        // The undone scene is the one the user typed into.
        audio = t0->GetListItem(StrkF::scns, 0);
        audioPrms = audio->GetChild(SscnF::prms);
        EXPECT_EQ(audioPrms->GetU32(PdmxF::volm), 102u);
        // A letter typed into the first track's name, then the DMX scene
        // clicked: the keys are the time line's, whatever field had them.
        for (const char* key : {"Delete", "BackSpace"}) {
            auto* cell = static_cast<CNSqUTrkCell*>(list.GetCellFrame(LCell{0, 0}, false));
            ASSERT_NE(cell, nullptr);
            const size_t names = w.Written("name").size(), writes = w.Written("scns").size();
            const std::string letter(1, key[0]);
            w.TypeNumber(&cell->fName, letter);
            EXPECT_EQ(w.WaitWritten("name", names + 1, kDeviceMs).back(), letter);
            w.Click(TrackAt(list, scale, 1, 5.05));
            w.Key(key);
            EXPECT_TRUE(WaitUntil([&] { return t1->GetListCount(StrkF::scns) == 0; }, 3000))
                << key << ": " << KeysGoTo(&list);
            EXPECT_EQ(w.WaitWritten("scns", writes + 1, kDeviceMs).size(), writes + 1) << key;
            w.Key("ctrl+z");
            EXPECT_TRUE(WaitUntil([&] { return t1->GetListCount(StrkF::scns) == 1; }, 3000));
        }

        std::fprintf(stderr, "walk: %u ms, Scene times moved in their dialog: the a\n",
                     unsigned(LTickMs()));

        // ---- Scene times moved in their dialog: the audio scene to 3 s.
        {
            selectAt(0, 2.05);
            EXPECT_TRUE(WaitUntil([&] { return sel.Count() == 1; }, 2000));
            ModalScript script({
                {400, [&](LFrame*) { w.Shot("nsq_movetime"); }},
                {100,
                 [&](LFrame*) {
                     w.Key("ctrl+a BackSpace");
                     w.Type("00:00:03.00");
                 }},
                // Confirmed with its Move button (Return in the time field
                // stores the time and leaves the dialog open here).
                {300,
                 [&](LFrame* d) {
                     auto* dlg = dynamic_cast<LModalFrame*>(d);
                     ASSERT_TRUE(dlg && dlg->DefaultButton());
                     w.Click(PaneAt(dlg->DefaultButton()));
                 }},
            });
            ASSERT_TRUE(w.Choose(ctl, "Play", "Move Scene Times"));
            EXPECT_TRUE(WaitUntil([&] { return script.Done(); }, 10000));
            EXPECT_TRUE(script.Seen());
            EXPECT_TRUE(WaitUntil([&] { return audio->GetU32(SscnF::time) == 3000; }, 3000))
                << audio->GetU32(SscnF::time);
        }

        std::fprintf(stderr, "walk: %u ms, The DMX scene dragged onto the first tra\n",
                     unsigned(LTickMs()));

        // ---- The DMX scene dragged onto the first track (its scrap moved,
        // one undo step), then put back with Undo.
        {
            selectAt(1, 5.05);
            EXPECT_TRUE(WaitUntil([&] { return sel.Count() == 1; }, 2000));
            PointerDrag drag(x, TrackAt(list, scale, 1, 5.05), TrackAt(list, scale, 0, 7.0));
            WaitUntil([&] { return drag.Done(); }, 30000);
            EXPECT_TRUE(drag.Ok()) << drag.Failure();
            EXPECT_TRUE(WaitUntil(
                [&] {
                    return t0->GetListCount(StrkF::scns) == 2 && t1->GetListCount(StrkF::scns) == 0;
                },
                3000));
            if (t0->GetListCount(StrkF::scns) == 2) {
                EXPECT_NEAR(double(t0->GetListItem(StrkF::scns, 1)->GetU32(SscnF::time)), 6950.0,
                            30.0);
                EXPECT_EQ(t0->GetListItem(StrkF::scns, 1)->GetChild(SscnF::prms)->Kind(),
                          kKindPdmx);
            }
            w.Shot("nsq_dragged");
            w.Key("ctrl+z");
            EXPECT_TRUE(WaitUntil(
                [&] {
                    return t0->GetListCount(StrkF::scns) == 1 && t1->GetListCount(StrkF::scns) == 1;
                },
                3000));
        }

        // ---- The same scene dragged with Control held: copied, the original
        // left where it was; Undo takes the copy away.
        {
            selectAt(1, 5.05);
            EXPECT_TRUE(WaitUntil([&] { return sel.Count() == 1; }, 2000));
            PointerDrag drag(x, TrackAt(list, scale, 1, 5.05), TrackAt(list, scale, 0, 7.0),
                             nullptr, 5000, "ctrl");
            WaitUntil([&] { return drag.Done(); }, 30000);
            EXPECT_TRUE(drag.Ok()) << drag.Failure();
            EXPECT_TRUE(WaitUntil(
                [&] {
                    return t0->GetListCount(StrkF::scns) == 2 && t1->GetListCount(StrkF::scns) == 1;
                },
                3000))
                << t0->GetListCount(StrkF::scns) << " " << t1->GetListCount(StrkF::scns);
            if (t0->GetListCount(StrkF::scns) == 2) {
                EXPECT_EQ(t0->GetListItem(StrkF::scns, 1)->GetChild(SscnF::prms)->Kind(),
                          kKindPdmx);
            }
            w.Key("ctrl+z");
            EXPECT_TRUE(WaitUntil(
                [&] {
                    return t0->GetListCount(StrkF::scns) == 1 && t1->GetListCount(StrkF::scns) == 1;
                },
                3000));
        }

        std::fprintf(stderr, "walk: %u ms, Tracks: a row selected, copied and paste\n",
                     unsigned(LTickMs()));

        // ---- Tracks: a row selected, copied and pasted by key.
        {
            const LRect r = list.GetCellRect(LCell{0, 1});
            w.Click(ScreenPoint(&list, LPoint{2, r.top - list.Bounds().top + 2}));
            EXPECT_TRUE(WaitUntil([&] { return !list.Selection().IsEmpty(); }, 2000));
            EXPECT_TRUE(w.Enabled(ctl, "Edit", "Copy"));
            w.Key("ctrl+c");
            w.Key("ctrl+v");
            EXPECT_TRUE(WaitUntil([&] { return seq->GetListCount(SseqF::trks) == 3; }, 3000))
                << seq->GetListCount(SseqF::trks);
            ASSERT_TRUE(w.Choose(ctl, "Edit", "Undo"));
            EXPECT_TRUE(WaitUntil([&] { return seq->GetListCount(SseqF::trks) == 2; }, 3000));
        }

        std::fprintf(stderr, "walk: %u ms, Played from the ruler's double click at \n",
                     unsigned(LTickMs()));

        // ---- Played from the ruler's double click at 1 s: the device plays the
        // sequence; the now line runs across the time line, the audio
        // scene's indicator follows.
        {
            const LRect swipe = edit->Swipe().Bounds();
            const i32 at = scale.TimeToPos(1.0);
            w.Click(ScreenPoint(&edit->Swipe(), LPoint{at, swipe.Height() / 2}), 2);
            // The line where the device is, drawn at its time: seen soon after
            // the start (1 s is 100 pixels in), then again 0.6 s on.
            u32 first = 0, later = 0;
            ASSERT_TRUE(WaitUntil(
                [&] {
                    return p.view->ShownIsPlaying() && list.NowTime(&first) && first >= 1000 &&
                           first < 6000;
                },
                kDeviceMs))
                << first;
            // The line drawn for the time last heard.
            LoopDrained();
            list.NowTime(&first);
            const int x0 = NowLineX(list);
            EXPECT_NEAR(
                x0, list.SceneArea().left - list.Bounds().left + scale.TimeToPos(first / 1000.0),
                3);
            ASSERT_TRUE(
                WaitUntil([&] { return list.NowTime(&later) && later >= first + 600; }, 8000))
                << first << " " << later;
            LoopDrained();
            list.NowTime(&later);
            const int x1 = NowLineX(list);
            EXPECT_GT(x1, x0 + 40) << "the now line did not move: " << x0 << " -> " << x1;
            EXPECT_NEAR(
                x1, list.SceneArea().left - list.Bounds().left + scale.TimeToPos(later / 1000.0),
                3);
            // The device was told once which sequence to play, and from where.
            EXPECT_EQ(w.WaitWritten("plsn", 1, kDeviceMs).size(), 1u);
            const std::vector<std::string> from = w.WaitWritten("pltm", 1, kDeviceMs);
            ASSERT_EQ(from.size(), 1u);
            EXPECT_NEAR(std::stod(from[0]), 1000.0, 30.0);
            // Inside the audio scene (3 s, from 1.5 s): the indicator shows a time.
            selectAt(0, 3.05);
            WaitUntil([&] { return list.NowTime(&later) && later > 3500; }, 8000);
            EXPECT_TRUE(WaitUntil(
                [&] {
                    return std::string(aud->Indicator().Position().GetText().CStr()) != "--:--:--";
                },
                5000))
                << aud->Indicator().Position().GetText().CStr();
            w.Shot("nsq_playing");
            w.Click(PaneAt(&frame->StopButton()));
            EXPECT_EQ(w.WaitWritten("stps", 1, kDeviceMs), std::vector<std::string>{"1"});
            EXPECT_TRUE(WaitUntil([&] { return !p.view->ShownIsPlaying(); }, 8000));
        }

        std::fprintf(stderr, "walk: %u ms, Zoomed out, scrolled by the wheel: the r\n",
                     unsigned(LTickMs()));

        // ---- Zoomed out to about 0.07 s a pixel and scrolled by the
        // horizontal wheel: the ruler's first line and label, begun left of its
        // pane, stay off the zoom slider. Scrolled on past 40 s, another
        // sequence added and the first chosen again: the looping audio scene,
        // begun at 3 s, stays off the track names, then and after the way back.
        {
            using nsqwalk::ChangedPixels;
            // The zoom slider's knob dragged right by dx pixels, in steps.
            auto zoomBy = [&](int dx) {
                const LRect k = edit->Slider().Native()->KnobRect();
                const LRect c =
                    LWindow::FindByNative(edit->GetNativeWindow())->GetContentScreenRect();
                const QPoint knob(c.left + (k.left + k.right) / 2, c.top + (k.top + k.bottom) / 2);
                const double before = scale.Scale();
                nsqwalk::XdotoolRunning(x, Where(knob) + " mousedown 1 sleep 0.2");
                for (int at = 4; at < dx; at += 4)
                    nsqwalk::XdotoolRunning(x, Where(knob + QPoint(at, 0)) + " sleep 0.05");
                nsqwalk::XdotoolRunning(x, Where(knob + QPoint(dx, 0)) + " sleep 0.2 mouseup 1");
                WaitUntil([&] { return scale.Scale() != before; }, 2000);
            };
            // From its left end to about -115 (of -200 to 200).
            {
                const i32 knobW = edit->Slider().Native()->KnobRect().Width();
                zoomBy(85 * (edit->Slider().Bounds().Width() - knobW) / 400);
            }
            ASSERT_TRUE(scale.Scale() > 0.05 && scale.Scale() < 0.1) << scale.Scale();
            // The pointer rests on the time line for the wheel, where every
            // shot of this step sees it.
            const LRect area = list.SceneArea();
            const QPoint rest = ScreenPoint(
                &list, LPoint{area.left - list.Bounds().left + area.Width() / 2,
                              list.GetCellRect(LCell{0, 1}).bottom - list.Bounds().top + 8});
            nsqwalk::XdotoolRunning(x, Where(rest) + " sleep 0.2");
            const QImage start = w.Picture("nsq_zoomed");
            const QPoint rl = ScreenPoint(&edit->Swipe(), LPoint{0, 0});
            const QRect leftOfRuler(
                QPoint(ScreenPoint(edit, LPoint{0, 0}).x(), rl.y()),
                QPoint(rl.x() - 1, rl.y() + edit->Swipe().Bounds().Height() - 1));
            const QPoint lt = ScreenPoint(&list, LPoint{0, 0});
            const QRect names(lt, QPoint(lt.x() + area.left - list.Bounds().left - 1,
                                         lt.y() + list.Bounds().Height() - 1));
            // What a track draws: its background, the scene frames, the
            // selected scene's fill.
            LPenRef selected;
            MakePenById(&selected, 3);
            const QColor sel3 = QtPenColor(selected.Get());
            const auto sceneColours = {qRgb(192, 192, 192), qRgb(192, 128, 192), qRgb(192, 192, 64),
                                       sel3.rgb()};
            // One notch: the view starts off the grid. Then a little further
            // out: the slider and the ruler are painted together, and the
            // ruler's first line and label lie left of its pane.
            nsqwalk::XdotoolRunning(x, "click 7");
            ASSERT_TRUE(WaitUntil([&] { return scale.ViewTime() > 0; }, 3000));
            zoomBy(3);
            ASSERT_LT(scale.Scale(), 0.12);
            EXPECT_NE(std::fmod(scale.ViewTime(), scale.Grid()), 0.0) << scale.ViewTime();
            nsqwalk::XdotoolRunning(x, Where(rest) + " sleep 0.2");
            // The ruler's line and labels are black; nothing there was.
            EXPECT_EQ(
                ChangedPixels(start, w.Picture("nsq_ruler_scrolled"), leftOfRuler, {qRgb(0, 0, 0)}),
                0)
                << "the ruler drew over the zoom slider at " << scale.ViewTime() << " s";
            // On past 40 s, a notch at a time.
            for (int i = 0; i < 60 && scale.ViewTime() < 40; ++i)
                nsqwalk::XdotoolRunning(x, Where(rest) + " click 7 sleep 0.1");
            ASSERT_GE(scale.ViewTime(), 40.0);
            w.Click(PaneAt(&frame->PlusButton()));
            ASSERT_TRUE(WaitUntil([&] { return set->GetListCount(SsetF::seqs) == 2; }, 3000));
            ASSERT_TRUE(WaitUntil([&] { return edit->Sequence() != seq; }, 3000));
            w.AwaitQuiet("the second sequence added");
            {
                auto* cell =
                    static_cast<CKvsSeqCell*>(frame->List()->GetCellFrame(LCell{0, 0}, false));
                ASSERT_NE(cell, nullptr);
                w.Click(PaneCenter(&cell->fMark));
            }
            ASSERT_TRUE(WaitUntil([&] { return edit->Sequence() == seq; }, 3000));
            EXPECT_EQ(ChangedPixels(start, w.Picture("nsq_back_to_first"), names, sceneColours), 0)
                << "scenes drawn over the track names at " << scale.ViewTime() << " s";
            for (int i = 0; i < 80 && scale.ViewTime() > 0; ++i)
                nsqwalk::XdotoolRunning(x, Where(rest) + " click 6 sleep 0.1");
            ASSERT_EQ(scale.ViewTime(), 0.0);
            EXPECT_EQ(ChangedPixels(start, w.Picture("nsq_scrolled_back"), names, sceneColours), 0)
                << "scenes left over the track names";
        }

        std::fprintf(stderr, "walk: %u ms, Typed into the fade, then the control wi\n",
                     unsigned(LTickMs()));

        // ---- Typed into the fade, then the control window closed: stored
        // before it goes.
        {
            selectAt(0, 3.05);
            ASSERT_TRUE(WaitUntil([&] { return frame->ScenePrm()->Scene() == audio; }, 3000));
            const size_t before = w.Written("fdtm").size();
            w.TypeNumber(&aud->Fade(), "7.5");
            ASSERT_TRUE(w.Choose(ctl, "File", "Close"));
            EXPECT_TRUE(WaitUntil([&] { return !ctl->isVisible(); }, 10000));
            const std::vector<std::string> got = w.WaitWritten("fdtm", before + 1, kDeviceMs);
            EXPECT_EQ(got.size(), before + 1);
            if (got.size() > before) {
                EXPECT_EQ(got.back(), "7500");
            }
        }

        {
            FILE* f =
                std::fopen((std::string(KEVO_BINARY_DIR) + "/walk_nsq_device.log").c_str(), "w");
            for (const std::string& line : sim.Log()) std::fprintf(f, "%s\n", line.c_str());
            std::fclose(f);
        }
        // Nothing of this edit went to the other device.
        for (const std::string& line : sim.Log())
            EXPECT_EQ(line.find("dev=305 op=write"), std::string::npos) << line;
        EXPECT_EQ(gWarnings, std::vector<std::string>());
    });
}

// "Small labels" at 24 pt on a 1280 x 800 screen: the NSQ view is taller than
// the window, which scrolls it. The user pages down with the bar to the track
// editor, adds a track there and names it "Lights_gj"; every prefix reaches
// 1201 once.
void WalkNsqLargeFonts(const XvfbHarness& x, NetnsHarness& net, const TempDir& dir) {
    WithNsqEdit(x, net, dir, [&](NsqEdit& p) {
        Walk& w = p.w;
        LScrollFrame& scroll = p.screen->Window().fScroll;
        EXPECT_FALSE(scroll.HBar().IsShown() || scroll.VBar().IsShown());
        SetSlotSize(2, 24.0f);
        EXPECT_TRUE(WaitUntil([&] { return scroll.VBar().IsShown(); }, 3000));
        CKvsPlay2Frm* frame = p.frame;
        CNSqTrkEditF* edit = frame->TrackEdit();
        CRecord* set = p.view->SeqSettings()->GetChild(SqstF::nsqs);
        PageTo(w, scroll, &frame->PlusButton());
        w.Click(PaneAt(&frame->PlusButton()));
        ASSERT_TRUE(WaitUntil([&] { return set->GetListCount(SsetF::seqs) == 1; }, 3000));
        CRecord* seq = set->GetListItem(SsetF::seqs, 0);
        ASSERT_TRUE(WaitUntil([&] { return edit->Sequence() == seq; }, 3000));
        w.AwaitQuiet("the sequence added");
        PageTo(w, scroll, &edit->Plus());
        w.Click(PaneAt(&edit->Plus()));
        ASSERT_TRUE(WaitUntil([&] { return seq->GetListCount(SseqF::trks) == 1; }, 3000));
        w.AwaitQuiet("the track added");
        p.sim.Cmd("log clear");
        auto* cell = static_cast<CNSqUTrkCell*>(edit->List().GetCellFrame(LCell{0, 0}, false));
        ASSERT_NE(cell, nullptr);
        PageTo(w, scroll, &cell->fName);
        NameTrack(w, cell, seq->GetListItem(SseqF::trks, 0), "Lights_gj");
        w.ExpectTyped("name", 0, "Lights_gj", kDeviceMs);
        EXPECT_EQ(w.WrittenElsewhere("name"), 0u);
        w.Shot("nsq_large_fonts");
        EXPECT_EQ(gWarnings, std::vector<std::string>());
    });
}

TEST(NsqWalk, LargeFontsScrollTheViewToTheTracks) {
    RunPlayEditWalk("1280x800", "nsqlarge", WalkNsqLargeFonts);
}

TEST(NsqWalk, TheNsqPlayEditUnderRealInput) {
    RunPlayEditWalk("1600x1000", "nsqwalk", WalkNsq);
}

}  // namespace
