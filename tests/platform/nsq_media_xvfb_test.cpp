// The lengths of a device's files in the NSQ play edit, as a user meets them
// under a real X server with a window manager (Xvfb, openbox, xdotool), against
// a simulated device in play format 2 inside namespaces of the test's own (root
// only): the device is asked once for each of its files; an audio and a DMX
// scene given those files from their file pop-ups are drawn as long as the
// files last, and the position indicator shows the file's duration; the
// sequence played from the ruler shows its play time beside the sequence list,
// and another sequence made current shows none. With a second device's editor
// open beside it (opened already in its play settings, and switched to by its
// view pop-up), each keeps to its own device's files, each file is asked for
// once, and the saved preferences hold what each device answered. Screenshots
// go to the build folder (walk_nsqmedia_<name>.png). One child process per run.
#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QMenu>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "NsqWalkParts.h"
#include "PlayEditWalk.h"
#include "ProgramQuiet.h"
#include "devices/AppPrefStore.h"
#include "devlink/MedInfoReq.h"
#include "editors/nsq/CKvsNPosInd.h"
#include "editors/CKvsSeqList.h"
#include "editors/nsq/CKvsPlay2Frm.h"
#include "editors/nsq/CNSqSceneFrames.h"
#include "editors/nsq/CNSqTrkEditF.h"
#include "editors/nsq/CNSqTrkViewF.h"
#include "editors/nsq/CNSqUTrkList.h"
#include "records/DeviceKinds.h"
#include "records/MediaIndex.h"
#include "records/NsqSets.h"
#include "records/PrefNodes.h"
#include "records/NsqPrefKinds.h"
#include "records/ShowKinds.h"

// Qt's drag on X11 wakes the session bus, whose library keeps a block for the process.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}

using namespace testtftp;

namespace {

// The device's files and what it reports of them: without a duration set, the
// simulated device answers a file's size, so the sizes are the lengths.
const struct {
    const char* rel;
    const char* title;  // in the file pop-ups
    u32 ms;
} kFiles[] = {
    {"audiofiles/Morning.wav", "Morning", 30000},
    {"kevrecfiles/Stage.drc", "Stage", 12000},
};

using nsqwalk::PopupChoice;
using nsqwalk::TrackAt;

// The left and right edges (list x) of the frame of a colour in a track row's
// middle line, as drawn on the screen; (-1, -1) without one.
std::pair<int, int> BoxEdges(CNSqUTrkList& list, u32 row, QRgb colour) {
    auto* win =
        dynamic_cast<QWidget*>(AsMWindow(LWindow::FindByNative(list.GetNativeWindow())->Native()));
    if (!win) return {-1, -1};
    const QImage shot = win->grab().toImage();
    const QPoint tl = win->mapFromGlobal(ScreenPoint(&list, LPoint{0, 0}));
    const LRect r = list.GetCellRect(LCell{0, i32(row)});
    const int y = tl.y() + r.top - list.Bounds().top + r.Height() / 2;
    const LRect area = list.SceneArea();
    int left = -1, right = -1;
    for (int x = area.left - list.Bounds().left; x < area.right - list.Bounds().left; ++x) {
        const QRgb c = shot.pixel(tl.x() + x, y);
        if (qAbs(qRed(c) - qRed(colour)) > 6 || qAbs(qGreen(c) - qGreen(colour)) > 6 ||
            qAbs(qBlue(c) - qBlue(colour)) > 6)
            continue;
        if (left < 0) left = x;
        right = x;
    }
    return {left, right};
}

// The listings of a device's card it has answered so far.
size_t CardListings(SimDeviceProcess& sim, const char* serial = "1201") {
    size_t n = 0;
    for (const std::string& line : sim.Log())
        if (line.rfind("req ", 0) == 0 && SimDeviceProcess::Field(line, "dev") == serial &&
            SimDeviceProcess::Field(line, "op") == "RRQ" &&
            SimDeviceProcess::Field(line, "path").rfind("/.cmd/fmls/", 0) == 0)
            ++n;
    return n;
}

// The media answers in the device's log, by file.
std::map<std::string, std::vector<std::string>> MediaAnswers(SimDeviceProcess& sim,
                                                             const char* serial = "1201") {
    std::map<std::string, std::vector<std::string>> out;
    for (const std::string& line : sim.Log()) {
        if (line.rfind("media ", 0) != 0 || SimDeviceProcess::Field(line, "dev") != serial)
            continue;
        const std::string dura = SimDeviceProcess::Field(line, "dura");
        out[SimDeviceProcess::Field(line, "path")].push_back(dura.empty() ? "missing" : dura);
    }
    return out;
}

// The device's log beside the screenshots, to be read back (walk_<name>_device.log).
void SaveLog(SimDeviceProcess& sim, const std::string& name) {
    FILE* f =
        std::fopen((std::string(KEVO_BINARY_DIR) + "/walk_" + name + "_device.log").c_str(), "w");
    if (!f) return;
    for (const std::string& line : sim.Log()) std::fprintf(f, "%s\n", line.c_str());
    std::fclose(f);
}

constexpr u32 kDeviceMs = 8000;

void WalkMedia(const XvfbHarness& x, NetnsHarness& net, const TempDir& dir) {
    // A walk that hangs in a modal loop fails rather than waits for the test's time-out.
    alarm(300);
    // The card of 1201, before the device starts.
    for (const auto& f : kFiles) {
        const std::string path = dir.Path() + "/1201/sdc/" + f.rel;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << std::string(f.ms, 'k');
    }
    WithPlayEdit(
        x, net, dir,
        [&](PlayEdit& e) {
            Walk& w = e.w;
            SimDeviceProcess& sim = e.sim;
            auto* view = dynamic_cast<CNSqTrkViewF*>(e.screen->PlayView());
            ASSERT_NE(view, nullptr) << "a device in format 2 opened another play edit";
            CKvsPlay2Frm* frame = view->Frame();
            ASSERT_NE(frame, nullptr);
            ASSERT_TRUE(RunUntil([&] { return frame->IsShown(); }, 5000));
            ASSERT_TRUE(w.WaitActive(e.ctl));
            CNSqTrkEditF* edit = frame->TrackEdit();
            CNSqUTrkList& list = edit->List();
            CNSqTimeScale& scale = view->Scale();
            const CRecord* index = view->Context().MediaIndex();
            ASSERT_NE(index, nullptr);

            // ---- The device is asked for each file once; the answers reach the index.
            auto known = [&] {
                for (const auto& f : kFiles) {
                    const char* name = std::strrchr(f.rel, '/') + 1;
                    const CRecord* m = FindMediaFile(index, name);
                    if (!m || m->GetU8(MdifF::stat) != 2 || m->GetU32(MdifF::dura) != f.ms)
                        return false;
                }
                return true;
            };
            EXPECT_TRUE(RunUntil(known, kDeviceMs));
            // The file frame goes on listing the card meanwhile: nothing is asked
            // again once it has listed the card anew.
            {
                const size_t listed = CardListings(sim);
                EXPECT_TRUE(Await(
                    "the card of 1201 listed again", [&] { return CardListings(sim) > listed; },
                    15000, 100));
            }
            EXPECT_TRUE(w.AwaitQuiet("the card listed again"));
            std::map<std::string, std::vector<std::string>> want;
            for (const auto& f : kFiles)
                want[std::string("/sdc/") + f.rel] = {std::to_string(f.ms)};
            EXPECT_EQ(MediaAnswers(sim), want);

            // ---- A sequence with two tracks, the view zoomed in to about a
            // tenth of a second a pixel (the slider's knob dragged a quarter of
            // its width to the left).
            CRecord* set = view->SeqSettings()->GetChild(SqstF::nsqs);
            w.Click(PaneAt(&frame->PlusButton()));
            ASSERT_TRUE(RunUntil([&] { return set->GetListCount(SsetF::seqs) == 1; }, 3000));
            CRecord* seq = set->GetListItem(SsetF::seqs, 0);
            ASSERT_TRUE(RunUntil([&] { return edit->Sequence() == seq; }, 3000));
            for (u32 n = 1; n <= 2; ++n) {
                w.Click(PaneAt(&edit->Plus()));
                ASSERT_TRUE(RunUntil([&] { return seq->GetListCount(SseqF::trks) == n; }, 3000));
            }
            u64 releases = 0;
            {
                const i32 width = edit->Slider().Bounds().Width();
                const QPoint knob = PaneAt(&edit->Slider(), width / 2);
                const QPoint to = knob - QPoint(width / 4, 0);
                releases = InputSeen::Instance().Releases();
                x.XdotoolAsync(Where(knob) + " mousedown 1 sleep 0.3 " +
                               Where(knob - QPoint(8, 0)) + " sleep 0.2 " + Where(to) +
                               " sleep 0.3 mouseup 1");
            }
            ASSERT_TRUE(RunUntil([&] { return scale.Scale() < 0.4f; }, 3000)) << scale.Scale();
            ASSERT_TRUE(Await("the slider's knob let go", [&] {
                return InputSeen::Instance().Releases() > releases &&
                       !(QGuiApplication::mouseButtons() & Qt::LeftButton);
            }));
            LoopDrained();
            ASSERT_GT(scale.Scale(), 0.04f) << "30 s must fit the track";

            // ---- An audio scene on the first track and a DMX scene on the
            // second, each at 1 s from the track's context menu, each given
            // its file from the file pop-up.
            struct Clip {
                const char* item;
                u32 kind;
                u32 file;  // of kFiles
                QRgb colour;
                CNSqClipPrmF* frame = nullptr;
            } clips[] = {
                {"Add Audio", kKindPaud, 0, qRgb(192, 128, 192)},
                {"Add DMX", kKindPdmx, 1, qRgb(192, 192, 64)},
            };
            for (u32 row = 0; row < 2; ++row) {
                Clip& c = clips[row];
                CRecord* track = seq->GetListItem(SseqF::trks, row);
                {
                    PopupChoice choice(x, c.item);
                    w.Click(TrackAt(list, scale, row, 1.0), 1, "");
                    x.Xdotool("click 3");
                    EXPECT_TRUE(RunUntil([&] { return choice.Done(); }, 5000)) << c.item;
                }
                ASSERT_TRUE(RunUntil([&] { return track->GetListCount(StrkF::scns) == 1; }, 5000))
                    << c.item;
                const CRecord* prms = track->GetListItem(StrkF::scns, 0)->GetChild(SscnF::prms);
                ASSERT_EQ(prms->Kind(), c.kind);
                ASSERT_TRUE(RunUntil(
                    [&] {
                        return frame->ScenePrm()->Scene() == track->GetListItem(StrkF::scns, 0);
                    },
                    3000));
                c.frame = dynamic_cast<CNSqClipPrmF*>(frame->ScenePrm()->Shown());
                ASSERT_NE(c.frame, nullptr);
                ASSERT_TRUE(
                    Await(std::string("the file slot of the scene of ") + c.item + " shown", [&] {
                        return QApplication::activePopupWidget() == nullptr &&
                               c.frame->FileSlot().IsShown();
                    }));
                LoopDrained();
                {
                    PopupChoice choice(x, kFiles[c.file].title);
                    w.Click(PaneAt(&c.frame->FileSlot()));
                    EXPECT_TRUE(RunUntil([&] { return choice.Done(); }, 5000))
                        << kFiles[c.file].title;
                }
                const std::string name = std::strrchr(kFiles[c.file].rel, '/') + 1;
                ASSERT_TRUE(RunUntil(
                    [&] { return std::string(prms->GetString(PdmxF::file).CStr()) == name; }, 3000))
                    << prms->GetString(PdmxF::file).CStr();
                // The indicator: no position while the device plays nothing,
                // and the file's duration.
                const std::string dura = kFiles[c.file].ms == 30000 ? "00:00:30" : "00:00:12";
                EXPECT_TRUE(RunUntil(
                    [&] {
                        return std::string(c.frame->Indicator().Duration().GetText().CStr()) ==
                               dura;
                    },
                    3000))
                    << c.frame->Indicator().Duration().GetText().CStr();
                EXPECT_STREQ(c.frame->Indicator().Position().GetText().CStr(), "--:--:--");
                w.Shot(std::string("nsqmedia_clip_") + kFiles[c.file].title);
            }

            // ---- The boxes on the screen: as long as their files, the 30 s
            // box two and a half times the 12 s one. The scenes are drawn again
            // a while after a duration arrives.
            auto drawnLong = [&](u32 row) {
                const Clip& c = clips[row];
                const std::pair<int, int> edges = BoxEdges(list, row, c.colour);
                const int want =
                    scale.TimeToPos(1.0 + kFiles[c.file].ms / 1000.0) - scale.TimeToPos(1.0);
                return edges.first >= 0 && std::abs(edges.second - edges.first + 1 - want) <= 3;
            };
            EXPECT_TRUE(Await(
                "both scenes drawn as long as their files",
                [&] { return drawnLong(0) && drawnLong(1); }, 5000, 100));
            int widths[2] = {};
            for (u32 row = 0; row < 2; ++row) {
                const Clip& c = clips[row];
                const std::pair<int, int> edges = BoxEdges(list, row, c.colour);
                const int want =
                    scale.TimeToPos(1.0 + kFiles[c.file].ms / 1000.0) - scale.TimeToPos(1.0);
                widths[row] = edges.second - edges.first + 1;
                EXPECT_NEAR(widths[row], want, 3) << c.item << " at " << scale.Scale() << " s/px";
                EXPECT_NEAR(edges.first,
                            list.SceneArea().left - list.Bounds().left + scale.TimeToPos(1.0), 3);
            }
            EXPECT_NEAR(double(widths[0]) / std::max(1, widths[1]), 2.5, 0.1)
                << widths[0] << " " << widths[1];
            w.Shot("nsqmedia_boxes");

            // ---- Played from the ruler's double click at 2 s: the play time
            // beside the sequences runs with the device.
            QWidget* win = e.ctl;
            LTextPane& time = frame->TimeText();
            EXPECT_STREQ(time.GetText().CStr(), "--:--:--");
            const LRect swipe = edit->Swipe().Bounds();
            w.Click(ScreenPoint(&edit->Swipe(), LPoint{scale.TimeToPos(2.0), swipe.Height() / 2}),
                    2);
            const CRecord* state = e.dev->StateDoc()->Root();
            std::string first;
            ASSERT_TRUE(RunUntil(
                [&] {
                    first = time.GetText().CStr();
                    return view->ShownIsPlaying() && first.rfind("00:00:0", 0) == 0;
                },
                kDeviceMs))
                << first;
            std::string later;
            EXPECT_TRUE(RunUntil(
                [&] {
                    later = time.GetText().CStr();
                    return later != first && later.rfind("00:00:", 0) == 0;
                },
                kDeviceMs))
                << first << " -> " << later;
            EXPECT_EQ(later, std::string(NSqClockText(state->GetU32(DvssF::sqtm)).CStr()));
            w.Shot("nsqmedia_playing");
            // Inside the DMX scene on show (1 s to 13 s) its indicator runs too.
            EXPECT_TRUE(RunUntil(
                [&] {
                    return std::string(clips[1].frame->Indicator().Position().GetText().CStr()) !=
                           "--:--:--";
                },
                5000));

            // ---- Another sequence made current while the first plays: no time.
            w.Click(PaneAt(&frame->PlusButton()));
            ASSERT_TRUE(RunUntil([&] { return set->GetListCount(SsetF::seqs) == 2; }, 3000));
            EXPECT_TRUE(RunUntil(
                [&] { return view->ShownSequence() == set->GetListItem(SsetF::seqs, 1); }, 3000));
            EXPECT_TRUE(RunUntil([&] { return time.GetText() == LString("--:--:--"); }, 3000))
                << time.GetText().CStr();
            {
                // The device's time runs on meanwhile, and reaches the program.
                const u32 sqtm = state->GetU32(DvssF::sqtm);
                EXPECT_TRUE(Await(
                    "the device's play time moving on",
                    [&] { return state->GetU32(DvssF::sqtm) != sqtm; }, kDeviceMs));
                LoopDrained();
            }
            EXPECT_STREQ(time.GetText().CStr(), "--:--:--");
            EXPECT_EQ(state->GetU32(DvssF::sqid), seq->GetU32(SseqF::sqid));
            w.Shot("nsqmedia_other_sequence");
            EXPECT_LE(win->frameGeometry().width(), 1280);
            EXPECT_LE(win->frameGeometry().height(), 800);

            // ---- Stopped; nothing of this reached the other device, and each
            // file was asked for once in all.
            w.Click(PaneAt(&frame->StopButton()));
            EXPECT_EQ(w.WaitWritten("stps", 1, kDeviceMs), std::vector<std::string>{"1"});
            EXPECT_EQ(MediaAnswers(sim), want);
            SaveLog(sim, "nsqmedia");
            for (const std::string& line : sim.Log())
                EXPECT_EQ(line.find("dev=305 op=write"), std::string::npos) << line;
            EXPECT_EQ(gWarnings, std::vector<std::string>());
        },
        2);
}

// A sequence of the device's editor made with one track and its scenes
// (kind, file, start in ms), shown by a click on its row.
CRecord* ShowScenes(Walk& w, CNSqTrkViewF* view,
                    std::initializer_list<std::tuple<u32, const char*, u32>> scenes) {
    CRecord* set = view->SeqSettings()->GetChild(SqstF::nsqs);
    const u32 at = NSqSetNewSeq(set, view, set->GetListCount(SsetF::seqs));
    CRecord* seq = set->GetListItem(SsetF::seqs, at);
    NSqSeqAddTrack(seq, view, 0);
    CRecord* trk = seq->GetListItem(SseqF::trks, 0);
    for (const auto& [kind, file, ms] : scenes) {
        const u32 i = NSqTrkAddScene(trk, view, ms, kind);
        trk->GetListItem(StrkF::scns, i)
            ->GetChild(SscnF::prms)
            ->SetString(view, PdmxF::file, LString(file));
    }
    w.AwaitQuiet("the scenes made");
    w.Click(RowAt(view->Frame()->List(), i32(at), 30));
    EXPECT_TRUE(RunUntil([&] { return view->ShownSequence() == seq; }, 3000));
    LoopDrained();
    return trk;
}

// The indicator of the clip selected in an editor, "" without one.
std::string ClipDuration(CNSqTrkViewF* view) {
    auto* clip = dynamic_cast<CNSqClipPrmF*>(view->Frame()->ScenePrm()->Shown());
    return clip && clip->IsShown() ? clip->Indicator().Duration().GetText().CStr() : "";
}

// The files of each device's media index, as the preferences hold them:
// "serial: name=stat/duration ...".
std::map<u32, std::string> IndexTexts(const CRecord* prefs) {
    std::map<u32, std::string> out;
    for (u32 i = 0; prefs && i < prefs->GetListCount(PrefF::mdis); ++i) {
        const CRecord* e = prefs->GetListItem(PrefF::mdis, i);
        std::string files;
        for (u32 k = 0; k < e->GetListCount(MdisF::meds); ++k) {
            const CRecord* f = e->GetListItem(MdisF::meds, k);
            files += std::string(files.empty() ? "" : " ") + f->GetString(MdifF::name).CStr() +
                     "=" + std::to_string(f->GetU8(MdifF::stat)) + "/" +
                     std::to_string(f->GetU32(MdifF::dura));
        }
        out[e->GetU32(MdisF::sern)] = files;
    }
    return out;
}

// Two devices' editors open side by side: 1201's switched to by its view
// pop-up, then 305's opened already in its play settings while 1201's shows a
// clip; a damaged, then a refused answer of 305's file given up, its length
// kept; both windows closed while their file lists go on listing the cards;
// 305's opened again, which asks its given-up file again, and switched away
// and back by its view pop-up. Each editor keeps to its own device's media
// index, each file is asked for once however often the cards are listed, the
// grids agree however the editor was opened, and the saved preferences hold
// what each device answered.
void WalkTwoDevices(const XvfbHarness& x, NetnsHarness& net, const TempDir& dir) {
    alarm(300);
    for (const auto& f : kFiles) {
        const std::string path = dir.Path() + "/1201/sdc/" + f.rel;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << std::string(f.ms, 'k');
    }
    {
        const std::string path = dir.Path() + "/305/sdc/kevrecfiles/Dawn.drc";
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << std::string(8000, 'k');
    }
    WithPlayEdit(
        x, net, dir,
        [&](PlayEdit& e) {
            Walk& w = e.w;
            SimDeviceProcess& sim = e.sim;
            auto* first = dynamic_cast<CNSqTrkViewF*>(e.screen->PlayView());
            ASSERT_NE(first, nullptr);
            ASSERT_TRUE(RunUntil([&] { return first->Frame()->IsShown(); }, 5000));

            // ---- 1201's editor shows its DMX clip.
            CRecord* trk1 = ShowScenes(w, first, {{kKindPdmx, "Stage.drc", 1000}});
            w.Click(TrackAt(first->Frame()->TrackEdit()->List(), first->Scale(), 0, 3.0));
            EXPECT_TRUE(Await("1201's clip shown with its length", [&] {
                return ClipDuration(first) == "00:00:12";
            })) << ClipDuration(first);
            EXPECT_EQ(trk1->GetListCount(StrkF::scns), 1u);

            // ---- 305's control window, opened already in its play settings.
            ASSERT_EQ(sim.Cmd("chan-set serno=305 path=/.cmd/udseqset/sqfm value=2").rfind("ok", 0),
                      0u);
            ASSERT_EQ(sim.Cmd("chan-set serno=305 path=/.cmd/udkvtset/fnmd value=1").rfind("ok", 0),
                      0u);
            auto* devwin = static_cast<CKvsDevWin*>(e.kvs->DevDoc()->View());
            w.Activate(AsMWindow(devwin->GetNativeWindow()));
            w.Click(RowAt(devwin->fList, 0, 20));
            ASSERT_TRUE(Await("305's row chosen", [&] { return devwin->SelectedRow() == 0; }));
            w.Click(RowAt(devwin->fList, 0, 20), 2);
            CKvsDevCtl* dev2 = nullptr;
            ASSERT_TRUE(RunUntil(
                [&] {
                    dev2 = e.kvs->DevDoc()->FindController(305);
                    return dev2 && dev2->WindowShown() && dev2->Screen()->PlayView();
                },
                20000));
            auto* second = dynamic_cast<CNSqTrkViewF*>(dev2->Screen()->PlayView());
            ASSERT_NE(second, nullptr);
            ASSERT_TRUE(RunUntil([&] { return second->Frame()->IsShown(); }, 5000));
            MWindow* ctl2 = AsMWindow(dev2->Screen()->Window().GetNativeWindow());
            ASSERT_TRUE(w.WaitActive(ctl2, 5000));
            w.programIdle = [d1 = e.dev, d2 = dev2] {
                return ProgramQuiet(d1) && ProgramQuiet(d2);
            };
            w.AwaitQuiet("305's play settings read");
            // The same grid at the same scale, whichever way the editor opened.
            EXPECT_EQ(second->Scale().Scale(), first->Scale().Scale());
            EXPECT_EQ(second->Scale().Unit(), first->Scale().Unit());
            EXPECT_EQ(second->Scale().Grid(), first->Scale().Grid()) << first->Scale().Scale();

            // ---- 305's DMX clip shown, beside an audio scene of a file only 1201 has.
            CRecord* trk2 = ShowScenes(
                w, second, {{kKindPdmx, "Dawn.drc", 1000}, {kKindPaud, "Morning.wav", 60000}});
            CNSqUTrkList& list2 = second->Frame()->TrackEdit()->List();
            w.Click(TrackAt(list2, second->Scale(), 0, 3.0));
            EXPECT_TRUE(Await("305's clip shown with its length", [&] {
                return ClipDuration(second) == "00:00:08";
            })) << ClipDuration(second);
            EXPECT_EQ(trk2->GetListCount(StrkF::scns), 2u);
            // Both cards listed again meanwhile: nothing of them changed, nothing is asked.
            {
                const size_t l1 = CardListings(sim, "1201"), l2 = CardListings(sim, "305");
                EXPECT_TRUE(Await(
                    "both cards listed again",
                    [&] { return CardListings(sim, "1201") > l1 && CardListings(sim, "305") > l2; },
                    15000, 100));
            }
            EXPECT_TRUE(w.AwaitQuiet("the cards listed again"));
            EXPECT_EQ(first->Context().MediaIndex()->GetU32(MdisF::sern), 1201u);
            EXPECT_EQ(second->Context().MediaIndex()->GetU32(MdisF::sern), 305u);
            EXPECT_EQ(ClipDuration(first), "00:00:12");
            EXPECT_EQ(ClipDuration(second), "00:00:08");
            // The scene of 1201's file lasts nothing on 305: drawn at its least width.
            {
                const QRgb audio = qRgb(192, 128, 192);
                EXPECT_TRUE(Await("305's scene of another device's file drawn narrow",
                                  [&] {
                                      const auto [l, r] = BoxEdges(list2, 0, audio);
                                      return l >= 0 && r - l + 1 <= 17;
                                  }))
                    << BoxEdges(list2, 0, audio).first << " " << BoxEdges(list2, 0, audio).second;
            }
            w.Shot("nsqmedia_two_devices");

            // ---- Dawn.drc written anew while 305 damages, then refuses, its media
            // information: given up, the scene, the indicator and the saved index
            // keep the length the device gave before.
            auto savedIndex = [&] {
                e.kvs->SavePrefs();
                CRecordDoc saved(CRecord::New(CRecordSchema::Find(kFamKvs, kKindPref)));
                MAppPrefStore& store = AppPrefStore();
                CPrefNode* node = store.OpenPrefs(false);
                EXPECT_NE(node, nullptr);
                if (node) {
                    EXPECT_TRUE(ReadFromPrefNode(*node, saved.Root()));
                    store.ClosePrefs(node, false);
                }
                return IndexTexts(saved.Root());
            };
            const std::string dawnAsk = "/.cmd/medinfo///sdc/kevrecfiles/Dawn.drc";
            const CRecord* dawn = FindMediaFile(second->Context().MediaIndex(), "Dawn.drc");
            ASSERT_NE(dawn, nullptr);
            // First the record's length field one short (15 of its 16 bytes), then
            // an ERROR at every request: given up once answered, or four times refused.
            const struct {
                std::string fault, clear;
                std::function<bool()> served;
                const char* shot;
            } faults[] = {
                {"reply-damage serno=305 path=" + dawnAsk + " length=15",
                 "reply-damage serno=305 clear",
                 [&] {
                     for (const std::string& line : sim.Log())
                         if (line.rfind("damage dev=305 ", 0) == 0) return true;
                     return false;
                 },
                 "nsqmedia_damaged"},
                {"fault error code=2 dir=in path=" + dawnAsk, "fault-clear",
                 [&] {
                     std::vector<std::string> rules;
                     sim.Cmd("faults", &rules);
                     return !rules.empty() && SimDeviceProcess::Field(rules[0], "fired") == "4";
                 },
                 "nsqmedia_refused"},
            };
            for (const auto& f : faults) {
                SCOPED_TRACE(f.shot);
                ASSERT_EQ(sim.Cmd(f.fault).rfind("ok", 0), 0u) << f.fault;
                std::ofstream(dir.Path() + "/305/sdc/kevrecfiles/Dawn.drc", std::ios::binary)
                    << std::string(8000, 'k');
                EXPECT_TRUE(Await(
                    "305's file given up",
                    [&] {
                        return f.served() && dawn->GetU8(MdifF::work1) != 0 &&
                               !second->MediaRequester()->IsBusy();
                    },
                    30000, 100));
                EXPECT_EQ(ClipDuration(second), "00:00:08");
                // Its length as drawn: at this scale 8 s take no more than the least width.
                CNSqSceneInfo info;
                second->Context().DescribeScene(trk2->GetListItem(StrkF::scns, 0), &info);
                EXPECT_EQ(info.length, 8000u);
                EXPECT_EQ(savedIndex()[305], "Dawn.drc=2/8000");
                w.Shot(f.shot);
                ASSERT_EQ(sim.Cmd(f.clear).rfind("ok", 0), 0u);
            }

            // ---- Both control windows closed: their editors stay, hidden, and
            // their file lists go on listing the cards; nothing is asked again.
            for (QWidget* win : {static_cast<QWidget*>(ctl2), static_cast<QWidget*>(e.ctl)}) {
                w.Activate(win);
                const QRect f = win->frameGeometry();
                w.Click(QPoint(f.right() - 10, f.top() + 8));  // openbox's close box
                EXPECT_TRUE(RunUntil([&] { return !win->isVisible(); }, 5000))
                    << win->windowTitle().toStdString();
            }
            {
                const size_t l1 = CardListings(sim, "1201"), l2 = CardListings(sim, "305");
                EXPECT_TRUE(Await(
                    "both cards listed twice with the windows closed",
                    [&] {
                        return CardListings(sim, "1201") > l1 + 1 &&
                               CardListings(sim, "305") > l2 + 1;
                    },
                    20000, 100));
            }
            EXPECT_TRUE(w.AwaitQuiet("the cards listed with the windows closed"));

            // ---- 305's window opened again (the same editor), then switched to
            // its files and back by its view pop-up: a new editor, on the same
            // index, with the same grid.
            w.Activate(AsMWindow(devwin->GetNativeWindow()));
            w.Click(RowAt(devwin->fList, 0, 20), 2);
            ASSERT_TRUE(RunUntil([&] { return dev2->WindowShown(); }, 20000));
            EXPECT_EQ(dev2->Screen()->PlayView(), second);
            ASSERT_TRUE(w.WaitActive(ctl2, 5000));
            // The file it gave up is asked again, now that its editor is on show.
            EXPECT_TRUE(Await("305's given up file asked again by its editor shown anew", [&] {
                return MediaAnswers(sim, "305")["/sdc/kevrecfiles/Dawn.drc"].size() >= 3 &&
                       dawn->GetU8(MdifF::work1) != 0 && !second->MediaRequester()->IsBusy();
            }));
            EXPECT_EQ(FindMediaFile(second->Context().MediaIndex(), "Dawn.drc"), dawn);
            EXPECT_EQ(dawn->GetU8(MdifF::stat), 2);
            EXPECT_EQ(ClipDuration(second), "00:00:08");
            w.AwaitQuiet("305's window opened again");
            for (int view : {0, 1}) {
                CKvsDevCtlWin& win = dev2->Screen()->Window();
                w.Click(PaneAt(&win.fView));
                ASSERT_TRUE(Await("305's view pop-up open",
                                  [] { return QApplication::activePopupWidget() != nullptr; }));
                w.Key(view == 0 ? "Up Return" : "Down Return");
                ASSERT_TRUE(RunUntil(
                    [&] {
                        return (view == 1) == (dev2->Screen()->PlayView() != nullptr) &&
                               win.fView.GetSelected() == view;
                    },
                    10000));
                w.AwaitQuiet("305's view switched");
            }
            auto* again = dynamic_cast<CNSqTrkViewF*>(dev2->Screen()->PlayView());
            ASSERT_NE(again, nullptr);
            ASSERT_TRUE(RunUntil([&] { return again->Frame()->IsShown(); }, 5000));
            EXPECT_EQ(again->Context().MediaIndex()->GetU32(MdisF::sern), 305u);
            EXPECT_EQ(again->Scale().Grid(), first->Scale().Grid());
            EXPECT_EQ(again->Scale().Unit(), first->Scale().Unit());
            {
                const size_t l2 = CardListings(sim, "305");
                EXPECT_TRUE(Await(
                    "305's card listed by its new editor",
                    [&] { return CardListings(sim, "305") > l2; }, 15000, 100));
            }
            EXPECT_TRUE(w.AwaitQuiet("305's card listed"));

            // ---- Each file asked for once, of its own device; the one given up
            // asked again (and answered) when its window opened again, and not by
            // the new editor, which found it known.
            std::map<std::string, std::vector<std::string>> want1;
            for (const auto& f : kFiles)
                want1[std::string("/sdc/") + f.rel] = {std::to_string(f.ms)};
            EXPECT_EQ(MediaAnswers(sim, "1201"), want1);
            EXPECT_EQ(MediaAnswers(sim, "305"),
                      (std::map<std::string, std::vector<std::string>>{
                          {"/sdc/kevrecfiles/Dawn.drc", {"8000", "8000", "8000"}}}));

            // ---- The saved preferences, read back: each device's answers under its serial.
            const std::map<u32, std::string> kept = savedIndex();
            EXPECT_EQ(kept, (std::map<u32, std::string>{
                                {305, "Dawn.drc=2/8000"},
                                {1201, "Morning.wav=2/30000 Stage.drc=2/12000"}}));
            SaveLog(sim, "nsqmedia2");
            EXPECT_EQ(gWarnings, std::vector<std::string>());
        },
        2);
}

TEST(NsqMediaWalk, TwoDevicesEditorsKeepTheirOwnFiles) {
    RunPlayEditWalk("1600x1000", "nsqmedia2", WalkTwoDevices);
}

TEST(NsqMediaWalk, FileLengthsAndPlayTimeUnderRealInput) {
    RunPlayEditWalk("1600x1000", "nsqmedia", WalkMedia);
}

}  // namespace
