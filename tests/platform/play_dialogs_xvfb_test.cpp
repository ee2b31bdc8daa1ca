// The play edit's scene trigger dialog, scene monitor and Aux Play window as a
// user meets them, under a real X server with a window manager (Xvfb, openbox,
// xdotool), against a simulated device in namespaces of the test's own (root
// only): every field of the dialog typed into and each run of it ended another
// way, the monitor's play button pressed while the device plays, aux plays and
// their triggers named, set and edited with the Edit menu and its keys. What
// reaches the device is read back from its log. Screenshots go to the build
// folder (walk_<name>.png). One child process per run: one QApplication per
// process.
#include <QAbstractItemView>
#include <QApplication>
#include <QMenuBar>
#include <QWidget>

#include <gtest/gtest.h>

#include <csignal>
#include <execinfo.h>

#include <map>
#include <string>
#include <vector>

#include "PlayEditWalk.h"
#include "editors/CKvsAxPlyWin.h"
#include "editors/CKvsLargeDlg.h"
#include "editors/CKvsScnEdF.h"
#include "editors/CKvsScnList.h"
#include "editors/CKvsScnMonF.h"
#include "editors/CKvsScnPrmF.h"
#include "editors/PlayHooks.h"
#include "framework/LListNavi.h"
#include "records/LRecPath.h"
#include "records/ShowKinds.h"

// Qt's drag on X11 wakes the session bus, whose library keeps a block for the process.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}

using namespace testtftp;

namespace {

// A click on the close box of a window's title bar (openbox: at its right end).
std::string CloseBox(QWidget* window) {
    const QRect f = window->frameGeometry();
    return Where(QPoint(f.right() - 10, f.top() + 8)) + " click 1";
}

using Values = std::map<std::string, std::vector<std::string>>;

// The values of these fields written to device 1201, by field (a path ending
// in /TAG), from one look at its log.
Values WrittenOf(Walk& w, const std::vector<std::string>& tags) {
    Values out;
    for (const std::string& line : w.sim.Log()) {
        if (line.rfind("chan ", 0) != 0 || line.find("op=write") == std::string::npos ||
            SimDeviceProcess::Field(line, "dev") != "1201")
            continue;
        const std::string path = SimDeviceProcess::Field(line, "path");
        const std::string tag = path.substr(path.rfind('/') + 1);
        if (std::find(tags.begin(), tags.end(), tag) != tags.end())
            out[tag].push_back(SimDeviceProcess::Field(line, "value"));
    }
    // A name is stored on every change: typed at a person's pace, it reaches
    // the device as what was typed so far at each key. Such a run counts as
    // the one name it grew into.
    if (auto names = out.find("name"); names != out.end()) {
        std::vector<std::string>& v = names->second;
        std::vector<std::string> whole;
        for (size_t i = 0; i < v.size(); ++i)
            if (i + 1 == v.size() || v[i + 1].size() <= v[i].size() ||
                v[i + 1].compare(0, v[i].size(), v[i]) != 0)
                whole.push_back(v[i]);
        v = whole;
    }
    return out;
}

// The values written once they are the ones expected (the device's channel
// may still be busy with the writes before), or what came instead.
Values WaitValues(Walk& w, const std::vector<std::string>& tags, const Values& expected) {
    Values got;
    RunUntilEvery(
        [&] {
            got = WrittenOf(w, tags);
            return got == expected;
        },
        8000);
    // Nothing more comes after.
    w.AwaitQuiet("the expected writes");
    return WrittenOf(w, tags);
}

// One field's values, from one look at the log.
std::vector<std::string> Sent(Walk& w, const std::string& tag) {
    return WrittenOf(w, {tag})[tag];
}

std::vector<std::string> WaitSent(Walk& w, const std::string& tag, size_t count) {
    RunUntilEvery([&] { return Sent(w, tag).size() >= count; }, 8000);
    w.AwaitQuiet("the writes of " + tag);
    return Sent(w, tag);
}

const std::vector<std::string> kTriggerTags = {"tgmd", "anuv", "bsch", "mdch", "mdct",
                                               "mdnt", "sgch", "tgmk", "extg"};

std::string Text(LEditText& f) {
    return std::string(f.GetText().CStr());
}

// A pop-up opened with the pointer and the item chosen with the arrow keys
// and Return, as a user does in a long list.
void ChooseByKeys(Walk& w, LPopupList& pop, i32 item) {
    w.Click(PaneAt(&pop, 20));
    Await("the pop-up open", [] {
        QWidget* popup = QApplication::activePopupWidget();
        return popup && popup->isVisible();
    });
    LoopDrained();
    const i32 from = std::max(pop.GetSelected(), 0);
    std::string keys;
    for (i32 i = from; i < item; ++i) keys += " Down";
    for (i32 i = item; i < from; ++i) keys += " Up";
    keys += " Return";
    w.Key(keys.substr(1));
    WaitUntil([&] { return pop.GetSelected() == item; }, 3000);
    EXPECT_EQ(pop.GetSelected(), item);
    Await("the pop-up closed", [] { return QApplication::activePopupWidget() == nullptr; });
}

// A pop-up opened with the pointer and the item clicked in its list.
void ChooseByPointer(Walk& w, LPopupList& pop, i32 item) {
    w.Click(PaneAt(&pop, 20));
    QAbstractItemView* view = nullptr;
    WaitUntil(
        [&] {
            QWidget* popup = QApplication::activePopupWidget();
            view = popup ? popup->findChild<QAbstractItemView*>() : nullptr;
            return view && view->isVisible();
        },
        3000);
    ASSERT_NE(view, nullptr);
    LoopDrained();
    const QRect r = view->visualRect(view->model()->index(item, 0));
    w.Click(view->viewport()->mapToGlobal(r.center()));
    WaitUntil([&] { return pop.GetSelected() == item; }, 3000);
    EXPECT_EQ(pop.GetSelected(), item);
    Await("the pop-up closed", [] { return QApplication::activePopupWidget() == nullptr; });
}

// ---------------------------------------------------------------- scene triggers

// One run of the dialog from the Play menu: the steps act on it; then what the
// device was sent, for the trigger's fields and the two options.
Values SceneTriggerRun(PlayEdit& p, const char* shot, const Values& expected,
                       const std::function<void(CKvsLargeDlg&, MWindow*)>& act) {
    Walk& w = p.w;
    p.sim.Cmd("log clear");
    ModalScript script({
        {400,
         [&](LFrame* d) {
             auto* dlg = dynamic_cast<CKvsLargeDlg*>(d);
             ASSERT_NE(dlg, nullptr);
             MWindow* win = AsMWindow(dlg->GetNativeWindow());
             act(*dlg, win);
             if (shot) w.Shot(shot);
         }},
    });
    EXPECT_TRUE(w.Choose(p.ctl, "Play", "Scene Trigger"));
    EXPECT_TRUE(WaitUntil([&] { return script.Done(); }, 30000)) << "the dialog stayed open";
    EXPECT_TRUE(script.Seen());
    return WaitValues(w, kTriggerTags, expected);
}

void WalkSceneTriggers(PlayEdit& p) {
    Walk& w = p.w;
    CRecord* seqs = p.frame->SeqSettings();
    const CRecord* sntg = seqs->GetChild(SqstF::sntg);

    // Art-Net with a channel range: each field ended another way, the last
    // one by Return, which stores it and accepts the dialog.
    const Values artnet =
        Values{{"tgmd", {"1"}},   {"anuv", {std::to_string(12 * 256 + 3 * 16 + 14)}},
               {"sgch", {"1"}},   {"bsch", {"300"}},
               {"tgmk", {"250"}}, {"extg", {"1"}}};
    Values got = SceneTriggerRun(p, nullptr, artnet, [&](CKvsLargeDlg& d, MWindow* win) {
        EXPECT_TRUE(
            QApplication::primaryScreen()->availableGeometry().contains(win->frameGeometry()));
        // Over the control window it was chosen in.
        EXPECT_TRUE(p.ctl->frameGeometry().contains(win->frameGeometry().center()));
        ChooseByKeys(w, d.fSource, 1);
        ASSERT_TRUE(WaitUntil([&] { return d.fArtNet.fNet.IsShown(); }, 2000));
        w.TypeNumber(&d.fArtNet.fNet, "12");
        w.Key("Tab");
        EXPECT_TRUE(WaitUntil([&] { return d.fArtNet.fSub.Engine() != nullptr; }, 2000))
            << "Tab leaves the net for the sub-net";
        w.Type("3");
        w.Click(PaneAt(&d.fSourceLabel));
        w.TypeNumber(&d.fArtNet.fUni, "14");
        // Ended by a click on the pop-up beside it.
        ChooseByPointer(w, d.fChanMode, 1);
        w.TypeNumber(&d.fFirst, "300");
        w.Key("Tab");
        w.Click(PaneAt(&d.fExternal, 6));
        WaitUntil([&] { return d.fExternal.GetState() == 1; }, 2000);
        w.TypeNumber(&d.fNumber, "250");
        w.Shot("scenetrigger_artnet");
        w.Key("Return");
    });
    EXPECT_EQ(got, artnet);

    // sACN, over its range; the last field typed and the dialog accepted by a
    // click on OK; the check box cleared. It opens with what was stored.
    const Values sacn =
        Values{{"tgmd", {"14"}}, {"anuv", {"32767"}}, {"bsch", {"7"}}, {"extg", {"0"}}};
    got = SceneTriggerRun(p, nullptr, sacn, [&](CKvsLargeDlg& d, MWindow*) {
        EXPECT_EQ(Text(d.fArtNet.fNet) + " " + Text(d.fArtNet.fSub) + " " + Text(d.fArtNet.fUni) +
                      " " + Text(d.fFirst) + " " + Text(d.fNumber),
                  "12 3 14 300 250");
        EXPECT_EQ(d.fChanMode.GetSelected(), 1);
        ChooseByKeys(w, d.fSource, 14);
        ASSERT_TRUE(WaitUntil([&] { return d.fSacn.fUni.IsShown(); }, 2000));
        EXPECT_FALSE(d.fArtNet.fNet.IsShown());
        w.TypeNumber(&d.fSacn.fUni, "40000");
        w.Key("Tab");
        WaitUntil([&] { return Text(d.fSacn.fUni) == "32768"; }, 2000);
        EXPECT_EQ(Text(d.fSacn.fUni), "32768");
        w.Click(PaneAt(&d.fExternal, 6));
        WaitUntil([&] { return d.fExternal.GetState() == 0; }, 2000);
        w.TypeNumber(&d.fFirst, "7");
        w.Shot("scenetrigger_sacn");
        w.Click(PaneAt(&d.fOk));
    });
    EXPECT_EQ(got, sacn);

    // A MIDI note typed by name, taken and accepted by Return; the dialog
    // after shows it by its name.
    const Values note = Values{{"tgmd", {"10"}}, {"mdch", {"15"}}, {"mdnt", {"63"}}};
    got = SceneTriggerRun(p, nullptr, note, [&](CKvsLargeDlg& d, MWindow*) {
        EXPECT_EQ(Text(d.fSacn.fUni), "32768");
        ChooseByKeys(w, d.fSource, 10);
        ASSERT_TRUE(WaitUntil([&] { return d.fNote.IsShown(); }, 2000));
        EXPECT_FALSE(d.fCtl.IsShown());
        w.TypeNumber(&d.fMidiCh, "16");
        w.Key("Tab");
        w.TypeNumber(&d.fNote, "d#4");
        w.Shot("scenetrigger_note");
        w.Key("Return");
    });
    EXPECT_EQ(got, note);

    // A MIDI controller: its fields ended by a click elsewhere and by Tab,
    // one over its range; OK clicked.
    const Values controller = Values{{"tgmd", {"7"}}, {"mdch", {"2"}}, {"mdct", {"127"}}};
    got = SceneTriggerRun(p, nullptr, controller, [&](CKvsLargeDlg& d, MWindow*) {
        EXPECT_EQ(Text(d.fNote), "D#4");
        EXPECT_EQ(Text(d.fMidiCh), "16");
        ChooseByKeys(w, d.fSource, 7);
        ASSERT_TRUE(WaitUntil([&] { return d.fCtl.IsShown(); }, 2000));
        EXPECT_FALSE(d.fNote.IsShown());
        w.TypeNumber(&d.fMidiCh, "3");
        w.Click(PaneAt(&d.fSourceLabel));
        w.TypeNumber(&d.fCtl, "200");
        w.Key("Tab");
        WaitUntil([&] { return Text(d.fCtl) == "127"; }, 2000);
        EXPECT_EQ(Text(d.fCtl), "127");
        w.Click(PaneAt(&d.fOk));
    });
    EXPECT_EQ(got, controller);
    EXPECT_EQ(sntg->GetU8(SntgF::mdnt), 63);

    // Cancel, Escape and the close box, each after typing: nothing written.
    const std::vector<std::pair<const char*, std::function<void(CKvsLargeDlg&, MWindow*)>>> drop = {
        {"Cancel", [&](CKvsLargeDlg& d, MWindow*) { w.Click(PaneAt(&d.fCancel)); }},
        {"Escape", [&](CKvsLargeDlg&, MWindow*) { w.Key("Escape"); }},
        {"close box", [&](CKvsLargeDlg&, MWindow* win) { p.w.x.Xdotool(CloseBox(win)); }}};
    for (const auto& way : drop) {
        SCOPED_TRACE(way.first);
        const auto& close = way.second;
        got = SceneTriggerRun(p, nullptr, Values(), [&](CKvsLargeDlg& d, MWindow* win) {
            ChooseByKeys(w, d.fSource, 6);
            w.TypeNumber(&d.fNumber, "99");
            w.Click(PaneAt(&d.fExternal, 6));
            close(d, win);
        });
        EXPECT_EQ(got, Values());
    }
    EXPECT_EQ(sntg->GetU8(SntgF::tgmd), 7);
    EXPECT_EQ(seqs->GetU32(SqstF::tgmk), 250u);
}

// ---------------------------------------------------------------- scene monitor

void WalkSceneMonitor(PlayEdit& p) {
    Walk& w = p.w;
    SimDeviceProcess& sim = p.sim;
    CKvsPlayFrm* frame = p.frame;
    CRecord* seqs = frame->SeqSettings();
    // The control window in front again after the dialogs: a click on a window
    // behind only brings it forward.
    w.x.Xdotool("windowactivate " + std::to_string(p.ctl->winId()));
    EXPECT_TRUE(w.WaitActive(p.ctl));
    w.Click(PaneAt(&frame->PlusButton()));
    ASSERT_TRUE(WaitUntil([&] { return seqs->GetListCount(SqstF::sqcs) == 1; }, 3000));
    CKvsScnEdF* scenes = frame->SceneEdit();
    ASSERT_TRUE(WaitUntil([&] { return scenes->IsShown(); }, 3000));
    CRecord* seq = seqs->GetListItem(SqstF::sqcs, 0);
    for (u32 n = seq->GetListCount(SqncF::scns) + 1; n <= 2; ++n) {
        w.Click(PaneAt(&scenes->PlusButton()));
        ASSERT_TRUE(WaitUntil([&] { return seq->GetListCount(SqncF::scns) == n; }, 3000));
    }
    w.AwaitQuiet("the scenes added");
    auto selectScene = [&](i32 row) {
        w.Click(RowAt(scenes->List(), row));
        EXPECT_TRUE(WaitUntil(
            [&] { return scenes->SelectedScene() == seq->GetListItem(SqncF::scns, u32(row)); },
            3000))
            << "scene " << row;
        LoopDrained();
    };
    auto pathOf = [&](u32 row) {
        LTextStream path;
        EXPECT_TRUE(LRecPath::Append(seqs, seq->GetListItem(SqncF::scns, row), kRecSelf,
                                     kRecNoIndex, path));
        return std::string(path.ToString().CStr());
    };

    // Reached from the menu: the monitor with the scene universes.
    ASSERT_TRUE(w.Choose(p.ctl, "Play", "Show Scene Monitor"));
    EXPECT_TRUE(WaitUntil([&] { return scenes->UniversePane()->IsShown(); }, 3000));
    CKvsScnMonF* mon = scenes->Monitor();
    w.Shot("scene_monitor_shown");
    selectScene(0);
    // The device plays scene 0 of a sequence a minute long.
    EXPECT_EQ(sim.Cmd("chan-set serno=1201 path=/.cmd/udseqstat/sqet value=60000").rfind("ok", 0),
              0u);
    EXPECT_EQ(
        sim.Cmd("chan-set serno=1201 path=/.cmd/udkvtstat/crsn value=" + pathOf(0)).rfind("ok", 0),
        0u);
    ASSERT_TRUE(WaitUntil([&] { return scenes->SceneActive(); }, 15000))
        << pathOf(0) << " / " << p.play->Device()->StateDoc()->Root()->GetString(DvssF::crsn).CStr()
        << " / " << sim.Cmd("chan-get serno=1201 path=/.cmd/udkvtstat/crsn") << " selected "
        << (scenes->SelectedScene() == seq->GetListItem(SqncF::scns, 0)) << " mode "
        << scenes->Mode() << " shown " << scenes->SceneFrame().IsShown();
    EXPECT_TRUE(WaitUntil([&] { return Text(mon->Length()) == "00:01:00.00"; }, 5000))
        << Text(mon->Length());

    // The list has the focus: play sends the scene's time plus the bar's, once a press.
    EXPECT_EQ(scenes->FocusSide(), 1u);
    sim.Cmd("log clear");
    const std::string sntm = std::to_string(seq->GetListItem(SqncF::scns, 0)->GetI32(ScenF::sntm));
    w.Click(PaneAt(&mon->PlayButton()));
    EXPECT_EQ(WaitSent(w, "pltm", 1), std::vector<std::string>{sntm});
    // The device plays on: the monitor follows its position.
    EXPECT_TRUE(WaitUntil([&] { return mon->Bar().GetValue() >= 2; }, 10000))
        << "the monitor stands at " << Text(mon->Position());
    EXPECT_NE(Text(mon->Position()), "00:00:00.00");
    w.Shot("scene_monitor_playing");
    const i32 at = mon->Bar().GetValue();
    w.Click(PaneAt(&mon->PlayButton()));
    std::vector<std::string> got = WaitSent(w, "pltm", 2);
    ASSERT_EQ(got.size(), 2u);
    const i32 sent = std::atoi(got[1].c_str());
    EXPECT_TRUE(sent == (at * 1000) || sent == (at + 1) * 1000) << got[1] << " at " << at;

    // The parameters have the focus: play sends "play the current scene".
    w.Click(PaneAt(&scenes->Params()->Fields().fFade));
    EXPECT_TRUE(WaitUntil([&] { return scenes->FocusSide() == 0; }, 2000));
    EXPECT_EQ(std::string(mon->Arrow().CStr()), "\xE2\x96\xB3");
    w.Click(PaneAt(&mon->PlayButton()));
    EXPECT_EQ(WaitSent(w, "plcr", 1), std::vector<std::string>{"1"})
        << "focus side " << scenes->FocusSide() << ", " << Sent(w, "pltm").size() << " times pltm";
    EXPECT_EQ(Sent(w, "pltm").size(), 2u);

    // The device goes on to scene 1: scene 0's monitor empties, scene 1's follows.
    sim.Cmd("chan-set serno=1201 path=/.cmd/udkvtstat/crsn value=" + pathOf(1));
    EXPECT_TRUE(WaitUntil([&] { return !scenes->SceneActive(); }, 15000));
    EXPECT_TRUE(WaitUntil([&] { return Text(mon->Position()).empty(); }, 3000));
    selectScene(1);
    EXPECT_TRUE(WaitUntil([&] { return scenes->SceneActive(); }, 3000));
    EXPECT_TRUE(WaitUntil([&] { return mon->Bar().GetValue() >= 2; }, 5000));
    if (::testing::Test::HasFailure())
        for (const std::string& line : sim.Log())
            if (line.find("udkvtstat") == std::string::npos)
                std::fprintf(stderr, "dev: %s\n", line.c_str());
    ASSERT_TRUE(w.Choose(p.ctl, "Play", "Show Scene Monitor"));
    // Nothing was played twice.
    EXPECT_EQ(Sent(w, "plcr").size(), 1u);
}

// ---------------------------------------------------------------- aux play

void WalkAuxPlay(PlayEdit& p) {
    Walk& w = p.w;
    SimDeviceProcess& sim = p.sim;
    CRecord* seqs = p.frame->SeqSettings();
    const CRecord* axps = seqs->GetChild(SqstF::axps);
    ASSERT_TRUE(w.Choose(p.ctl, "Play", "Aux Play"));
    MWindow* win = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (win = WindowTitled("Aux Play")) != nullptr; }, 5000));
    auto* aux = FrameOf<CKvsAxPlyWin>(win);
    ASSERT_NE(aux, nullptr);
    WaitShown(win);
    // Without aux plays: the list alone, the bar whole.
    EXPECT_EQ(BarTitles(win), "KEVOruneSet File Edit Network Window Help");
    EXPECT_LE(win->frameGeometry().width(), 440);
    EXPECT_FALSE(aux->EditorShown());
    w.Shot("auxplay_empty");

    // Two aux plays, named; each name ended another way.
    sim.Cmd("log clear");
    w.Click(PaneAt(aux->fAdd));
    ASSERT_TRUE(WaitUntil([&] { return axps->GetListCount(AplsF::plys) == 1; }, 3000));
    w.AwaitQuiet("the aux play added");
    w.Type("Doors");
    w.Key("Return");
    EXPECT_TRUE(WaitUntil([&] { return aux->EditorShown(); }, 3000));
    // The window widened for the triggers, still on the screen.
    EXPECT_TRUE(WaitUntil([&] { return win->frameGeometry().width() > 600; }, 3000));
    EXPECT_TRUE(QApplication::primaryScreen()->availableGeometry().contains(win->frameGeometry()));
    w.Click(PaneAt(aux->fAdd));
    ASSERT_TRUE(WaitUntil([&] { return axps->GetListCount(AplsF::plys) == 2; }, 3000));
    w.AwaitQuiet("the aux play added");
    w.Type("Stage");
    w.Key("Tab");
    auto axName = [&](u32 i) {
        return std::string(axps->GetListItem(AplsF::plys, i)->GetString(AplyF::name).CStr());
    };
    EXPECT_TRUE(WaitUntil([&] { return axName(1) == "Stage"; }, 3000));
    EXPECT_EQ(axName(0), "Doors");
    {
        std::vector<std::string> names = WaitSent(w, "name", 2);
        EXPECT_EQ(names.back(), "Stage");
        EXPECT_NE(std::find(names.begin(), names.end(), "Doors"), names.end());
    }

    // Triggers of the first aux play.
    w.Click(RowAt(aux->fList, 0, 4));
    WaitUntil([&] { return aux->fList->SelectedRow() == 0; }, 3000);
    LoopDrained();
    CAxPlyTrgList* trgs = aux->fTrgList;
    CRecord* doors = axps->GetListItem(AplsF::plys, 0);
    ASSERT_EQ(trgs->AuxPlay(), doors);
    auto cell = [&](i32 row) {
        return static_cast<CAxPlyTrgCell*>(trgs->GetCellFrame(LCell{0, row}, false));
    };
    auto addTrigger = [&](const char* name, i32 kind) {
        const u32 n = doors->GetListCount(AplyF::trgs);
        w.Click(PaneAt(aux->fAddTrg));
        ASSERT_TRUE(WaitUntil([&] { return doors->GetListCount(AplyF::trgs) == n + 1; }, 3000));
        w.AwaitQuiet("the trigger added");
        w.Type(name);
        w.Key("Tab");
        ASSERT_NE(cell(i32(n)), nullptr);
        ChooseByKeys(w, cell(i32(n))->fKind, kind);
    };
    sim.Cmd("log clear");
    // Art-Net with a channel range: net, sub-net, universe, channel and count,
    // ended by Tab, Return and a click elsewhere; the count over its range.
    addTrigger("Cue1", 2);
    {
        CTrgSubFrame& art = cell(0)->Frame(TrgFrame::kArtNet);
        ASSERT_TRUE(WaitUntil([&] { return art.IsShown(); }, 2000));
        w.TypeNumber(art.fFields[0], "1");
        w.Key("Tab");
        w.TypeNumber(art.fFields[1], "2");
        w.Key("Return");
        w.TypeNumber(art.fFields[2], "3");
        w.Click(PaneAt(&art.Label(0)));
        w.TypeNumber(art.fFields[3], "300");
        w.Key("Tab");
        w.TypeNumber(art.fFields[4], "600");
        w.Key("Return");
        w.Shot("auxplay_artnet");
    }
    {
        const Values want{{"name", {"Cue1"}}, {"tgmd", {"1"}},
                          {"sgch", {"1"}},    {"anuv", {"256", "288", "291"}},
                          {"bsch", {"300"}},  {"valu", {"1", "255"}}};
        EXPECT_EQ(WaitValues(w, {"name", "tgmd", "sgch", "anuv", "bsch", "valu"}, want), want);
    }

    // A MIDI note, typed by name both ways.
    sim.Cmd("log clear");
    addTrigger("Cue2", 12);
    {
        CTrgSubFrame& note = cell(1)->Frame(TrgFrame::kMidiNote);
        ASSERT_TRUE(WaitUntil([&] { return note.IsShown(); }, 2000));
        w.TypeNumber(note.fFields[0], "16");
        w.Key("Tab");
        w.TypeNumber(note.fFields[1], "D#4");
        w.Key("Return");
        EXPECT_TRUE(WaitUntil([&] { return Text(*note.fFields[1]) == "D#4"; }, 2000));
        w.TypeNumber(note.fFields[1], "b#4");
        w.Key("Tab");
        EXPECT_TRUE(WaitUntil([&] { return Text(*note.fFields[1]) == "C 5"; }, 2000))
            << Text(*note.fFields[1]);
    }
    {
        const Values want{
            {"name", {"Cue2"}}, {"tgmd", {"10"}}, {"mdch", {"15"}}, {"mdnt", {"63", "72"}}};
        EXPECT_EQ(WaitValues(w, {"name", "tgmd", "mdch", "mdnt"}, want), want);
    }

    // A key: the last letter or digit typed stays.
    sim.Cmd("log clear");
    addTrigger("Cue3", 7);
    {
        CTrgSubFrame& key = cell(2)->Frame(TrgFrame::kKey);
        ASSERT_TRUE(WaitUntil([&] { return key.IsShown(); }, 2000));
        w.Click(PaneAt(key.fFields[0]));
        w.Type("a7");
        EXPECT_TRUE(WaitUntil([&] { return Text(*key.fFields[0]) == "7"; }, 2000));
        // A letter is stored upper-case, and shown so once the edit ends:
        // while it is typed, the field keeps what was typed.
        w.Type("q");
        EXPECT_TRUE(WaitUntil([&] { return Text(*key.fFields[0]) == "q"; }, 2000))
            << Text(*key.fFields[0]);
        w.Key("Tab");
        EXPECT_TRUE(WaitUntil([&] { return Text(*key.fFields[0]) == "Q"; }, 2000))
            << Text(*key.fFields[0]);
    }
    {
        const CRecord* t = doors->GetListItem(AplyF::trgs, 2);
        EXPECT_EQ(t->GetI32(AptgF::valu), 'Q');
        EXPECT_EQ(t->GetChild(AptgF::sntg)->GetU8(SntgF::tgmd), 4);
        // Each key once as it was typed, the kind with it.
        const Values want{
            {"name", {"Cue3"}}, {"tgmd", {"3", "4", "3", "4"}}, {"valu", {"65", "55", "81"}}};
        EXPECT_EQ(WaitValues(w, {"name", "tgmd", "valu"}, want), want);
    }
    w.Shot("auxplay_triggers");

    // The Edit menu and its keys on the trigger list.
    auto count = [&] { return doors->GetListCount(AplyF::trgs); };
    auto clickTrigger = [&](i32 row) {
        w.Click(RowAt(trgs, row, 2));
        EXPECT_TRUE(WaitUntil([&] { return trgs->Selection().ContainsPoint(0, row); }, 2000))
            << "trigger row " << row;
        LoopDrained();
    };
    clickTrigger(0);
    EXPECT_TRUE(w.Choose(win, "Edit", "Copy"));
    EXPECT_TRUE(w.Choose(win, "Edit", "Paste"));
    EXPECT_TRUE(WaitUntil([&] { return count() == 4; }, 3000));
    // The copy is the selection.
    {
        LSelIter it;
        it.Init(trgs->Selection(), true, false);
        ASSERT_TRUE(it.Next());
        const CRecord* t = doors->GetListItem(AplyF::trgs, u32(it.Cell().row));
        EXPECT_STREQ(t->GetString(AptgF::name).CStr(), "Cue1");
        EXPECT_EQ(t->GetChild(AptgF::sntg)->GetU32(SntgF::anuv), 291u);
    }
    clickTrigger(1);
    w.Key("Delete");
    EXPECT_TRUE(WaitUntil([&] { return count() == 3; }, 3000));
    w.Key("ctrl+z");
    EXPECT_TRUE(WaitUntil([&] { return count() == 4; }, 3000));
    clickTrigger(1);
    w.Key("ctrl+x");
    EXPECT_TRUE(WaitUntil([&] { return count() == 3; }, 3000));
    clickTrigger(0);
    w.Key("ctrl+v");
    EXPECT_TRUE(WaitUntil([&] { return count() == 4; }, 3000));
    EXPECT_TRUE(w.Choose(win, "Edit", "Undo"));
    EXPECT_TRUE(WaitUntil([&] { return count() == 3; }, 3000));
    clickTrigger(2);
    EXPECT_TRUE(w.Choose(win, "Edit", "Delete"));
    EXPECT_TRUE(WaitUntil([&] { return count() == 2; }, 3000));
    clickTrigger(1);
    EXPECT_TRUE(w.Choose(win, "Edit", "Cut"));
    EXPECT_TRUE(WaitUntil([&] { return count() == 1; }, 3000));
    EXPECT_STREQ(doors->GetListItem(AplyF::trgs, 0)->GetString(AptgF::name).CStr(), "Cue1");

    // The Edit menu and its keys on the aux-play list.
    auto plays = [&] { return axps->GetListCount(AplsF::plys); };
    auto clickPlay = [&](i32 row) {
        w.Click(RowAt(aux->fList, row, 2));
        EXPECT_TRUE(WaitUntil([&] { return aux->fList->SelectedRow() == row; }, 2000))
            << "aux play row " << row;
        LoopDrained();
    };
    clickPlay(0);
    w.Key("ctrl+c");
    w.Key("ctrl+v");
    EXPECT_TRUE(WaitUntil([&] { return plays() == 3; }, 3000));
    // The copy, with its trigger, is the selection.
    {
        const i32 at = aux->fList->SelectedRow();
        ASSERT_TRUE(at >= 0 && at <= 2) << at;
        EXPECT_EQ(axName(u32(at)), "Doors");
        EXPECT_EQ(axps->GetListItem(AplsF::plys, u32(at))->GetListCount(AplyF::trgs), 1u);
    }
    clickPlay(1);
    EXPECT_TRUE(w.Choose(win, "Edit", "Cut"));
    EXPECT_TRUE(WaitUntil([&] { return plays() == 2; }, 3000));
    clickPlay(1);
    w.Key("Delete");
    EXPECT_TRUE(WaitUntil([&] { return plays() == 1; }, 3000));
    w.Key("ctrl+z");
    EXPECT_TRUE(WaitUntil([&] { return plays() == 2; }, 3000));
    EXPECT_TRUE(w.Choose(win, "Edit", "Undo"));
    EXPECT_TRUE(WaitUntil([&] { return plays() == 3; }, 3000));
    w.Shot("auxplay_lists");
    // What the device holds now: the lists as the window shows them.
    WaitUntil([&] { return !Sent(w, "trgs").empty() && Sent(w, "plys").back() == "3"; }, 8000);
    const std::vector<std::string> counts = Sent(w, "plys");
    ASSERT_FALSE(counts.empty());
    EXPECT_EQ(counts.back(), "3");
    const std::vector<std::string> tcounts = Sent(w, "trgs");
    ASSERT_FALSE(tcounts.empty());
    EXPECT_EQ(tcounts.back(), "1");

    // No aux play selected: narrow again.
    aux->fList->SetSelection(LRgn());
    LHandler::Send(LListPane_SelChange, aux->fList, aux);
    EXPECT_TRUE(WaitUntil([&] { return win->frameGeometry().width() <= 440; }, 3000));
    aux->HideWindow();
}

// A crash of the walk's process says where it was.
void OnCrash(int sig) {
    void* frames[64];
    const int n = backtrace(frames, 64);
    backtrace_symbols_fd(frames, n, 2);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

void WalkDialogs(const XvfbHarness& x, NetnsHarness& net, const TempDir& dir) {
    std::signal(SIGSEGV, OnCrash);
    WithPlayEdit(x, net, dir, [&](PlayEdit& p) {
        const u32 start = LTickMs();
        WalkSceneTriggers(p);
        const u32 t = LTickMs();
        WalkSceneMonitor(p);
        const u32 m = LTickMs();
        WalkAuxPlay(p);
        std::fprintf(stderr, "walk: triggers %u ms, monitor %u ms, aux play %u ms\n", t - start,
                     m - t, LTickMs() - m);
        // Nothing reached the other device.
        for (const std::string& line : p.sim.Log()) {
            if (line.rfind("chan ", 0) != 0) continue;
            EXPECT_EQ(SimDeviceProcess::Field(line, "dev"), "1201") << line;
        }
        std::fprintf(stderr, "walk: %u ms\n", LTickMs() - start);
        EXPECT_EQ(gWarnings, std::vector<std::string>());
    });
}

TEST(PlayDialogsWalk, SceneTriggersSceneMonitorAndAuxPlay) {
    RunPlayEditWalk("1280x800", "pdlg", WalkDialogs);
}

}  // namespace
