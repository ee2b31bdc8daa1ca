// The editor lists of a control window as a user meets them, under a real X
// server with a window manager (Xvfb, openbox, xdotool) against a simulated
// device in namespaces of the test's own (root only): names of several
// characters typed into the sequence, scene, schedule and aux-play rows and
// the title of a new play button, each edit ended another way; a schedule
// period's date parts, reached by click and by Tab; rows chosen with Shift and
// Control; Cut, Copy, Paste, Delete, Undo and Redo from the menus and their
// keys. The device's log is read back: every name written once, whole, to the
// device meant. Screenshots: lists_<name>.png in the build folder. One
// QApplication per process: the walk runs in a child.
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "ProgramQuiet.h"
#include "WalkSetup.h"
#include "XvfbHarness.h"
#include "XvfbWalk.h"
#include "base/Clock.h"
#include "devices/CKvsApp.h"
#include "devices/CKvsDevCtl.h"
#include "devices/CKvsDevCtlWin.h"
#include "devices/CKvsDevDoc.h"
#include "devices/CKvsDevWin.h"
#include "devices/recordings/CDrcCmdHandler.h"
#include "devlink/CDevRequestQueue.h"
#include "editors/CAxPlyTrgList.h"
#include "editors/CKvsAxPlyWin.h"
#include "editors/CKvsPlayAsnWin.h"
#include "editors/CKvsPlayFrm.h"
#include "editors/CKvsSchEditFrm.h"
#include "editors/CKvsSchList.h"
#include "editors/CKvsSchWin.h"
#include "editors/CKvsScnEdF.h"
#include "editors/CKvsScnList.h"
#include "editors/CKvsSeqList.h"
#include "editors/CSchPrdList.h"
#include "editors/PlayHooks.h"
#include "platform/qt/QtMenus.h"
#include "platform/qt/QtWindows.h"
#include "records/NsqPrefKinds.h"
#include "records/LRecPath.h"
#include "records/PlayGrid.h"
#include "records/Schedule.h"
#include "records/Sequences.h"
#include "records/ShowKinds.h"
#include "tests/devlink/NetnsHarness.h"
#include "tests/platform/AppLaunch.h"
#include "tools/testkit/SimDeviceProcess.h"

using namespace testtftp;

namespace {

constexpr u32 kSerial = 305;
// A name with an accented capital and letters below the line, typed for real.
constexpr const char* kSecond = "\xC3\x84pfel_gjy";

QPoint Center(LPane* pane) {
    return ScreenPoint(pane, LPoint{pane->Bounds().Width() / 2, pane->Bounds().Height() / 2});
}

// A row of a list: x from its left, or from the right of what is seen of it
// when negative (where the rows keep their name fields).
QPoint Row(LListPane* list, i32 row, i32 x) {
    const i32 w = std::min(list->CellWidth(), list->Bounds().Width());
    return ScreenPoint(
        list, LPoint{x >= 0 ? x : w + x, row * list->CellHeight() + list->CellHeight() / 2});
}

std::string Rows(const LListPane* list) {
    std::string out;
    LSelIter it;
    it.Init(list->Selection(), false, false);
    while (it.Next()) out += std::to_string(it.Cell().row) + " ";
    return out;
}

// The shared driver: each click back once the program has taken it.
class User : public MenuDriver {
public:
    explicit User(const XvfbHarness& x) : MenuDriver(x) { fClicksTaken = true; }
    void Click(QPoint p, const std::string& mods = "", int count = 1) {
        MenuDriver::Click(p, count, mods);
    }
    bool Choose(QWidget* w, const QString& title, const QString& prefix) {
        return ChooseSettled(w, title, prefix);
    }
    void Shot(const std::string& name) {
        LoopDrained();
        fX.Screenshot(std::string(KEVO_BINARY_DIR) + "/lists_" + name + ".png");
    }
};

// Nothing under way between the program and the device: no transfer at the
// device and nothing the program's channels still have to send.
bool Quiet(SimDeviceProcess& sim, CKvsDevCtl* ctl) {
    return ProgramQuiet(ctl) && SimDeviceProcess::Field(sim.Cmd("xfers"), "active") == "0";
}

// The values written to a field of the device's channels, in order, by the
// field's whole path (one path a row).
std::vector<std::pair<std::string, std::string>> Written(SimDeviceProcess& sim,
                                                         const std::string& field) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const std::string& line : sim.Log()) {
        if (line.rfind("chan ", 0) != 0 || line.find("op=write") == std::string::npos) continue;
        const std::string path = SimDeviceProcess::Field(line, "path");
        if (SimDeviceProcess::Field(line, "dev") != std::to_string(kSerial)) continue;
        if (path.size() > field.size() &&
            path.substr(path.size() - field.size() - 1) == "/" + field)
            out.emplace_back(path, SimDeviceProcess::Field(line, "value"));
    }
    return out;
}

// Every name typed reached the device whole and once, in a row of its own,
// after what had been typed so far at each key (a name is stored on every
// change), and nothing else was written to the field.
void ExpectNames(SimDeviceProcess& sim, CKvsDevCtl* ctl, const std::string& field,
                 std::vector<std::string> names) {
    auto lasts = [&] {
        std::vector<std::pair<std::string, std::string>> w = Written(sim, field);
        std::vector<std::string> out;
        for (size_t i = 0; i < w.size(); ++i) {
            bool later = false;
            for (size_t j = i + 1; j < w.size(); ++j) later = later || w[j].first == w[i].first;
            if (!later) out.push_back(w[i].second);
        }
        std::sort(out.begin(), out.end());
        return out;
    };
    std::sort(names.begin(), names.end());
    Await(
        "every " + field + " written whole", [&] { return lasts() == names; }, 8000, kLookMs);
    Await(
        "the device quiet after the " + field + " writes", [&] { return Quiet(sim, ctl); }, 5000,
        kLookMs);
    const std::vector<std::pair<std::string, std::string>> got = Written(sim, field);
    std::vector<std::string> paths;
    for (const auto& [path, value] : got)
        if (std::find(paths.begin(), paths.end(), path) == paths.end()) paths.push_back(path);
    EXPECT_EQ(paths.size(), names.size()) << field;
    for (const std::string& path : paths) {
        std::vector<std::string> values;
        for (const auto& [p, value] : got)
            if (p == path) values.push_back(value);
        std::string whole;
        for (const std::string& n : names)
            if (!values.empty() && values.back() == n) whole = n;
        std::string seen;
        for (const std::string& v : values) seen += " '" + v + "'";
        std::fprintf(stderr, "written %s:%s\n", path.c_str(), seen.c_str());
        EXPECT_EQ(TypedWrites(values, whole), "") << path;
    }
    EXPECT_EQ(lasts(), names) << field;
}

// The name field of a list's first row, null without one.
template <class Cell>
LEditText* NameOf(LCellListPane* list) {
    auto* c = static_cast<Cell*>(list->GetCellFrame(LCell{0, 0}, false));
    return c ? &c->fName : nullptr;
}

MWindow* WindowOf(LFrame* f) {
    return f ? AsMWindow(f->GetNativeWindow()) : nullptr;
}

// The longest the program's loop went without turning while watched: a
// timer's ticks 50 ms apart, as a tool pinging the window would see them.
class LoopGaps {
public:
    LoopGaps() {
        QObject::connect(&fTimer, &QTimer::timeout, [this] { Tick(); });
    }
    void Start() {
        fLast = LTickMs();
        fTimer.start(50);
    }
    void Stop() {
        if (!fTimer.isActive()) return;
        Tick();
        fTimer.stop();
    }
    bool Running() const { return fTimer.isActive(); }
    u32 Longest() const { return fLongest; }

private:
    void Tick() {
        const u32 now = LTickMs();
        fLongest = std::max(fLongest, now - fLast);
        fLast = now;
    }
    QTimer fTimer;
    u32 fLast = 0, fLongest = 0;
};

void Walk(const XvfbHarness& x, NetnsHarness& net, const TempDir& dir) {
    SimDeviceProcess sim(NetnsHarness::NsPath(net.DevNs()));
    ASSERT_TRUE(sim.Ok());
    ASSERT_EQ(
        sim.Cmd("add-device serno=305 addr=198.18.1.12/24 listen=any root=" + dir.Path() + "/305")
            .rfind("ok", 0),
        0u);
    // The device shows its play settings in the control window.
    sim.Cmd("chan-set serno=305 path=/.cmd/udkvtset/fnmd value=1");
    User user(x);
    ASSERT_TRUE(net.InNs(net.AppNs(), [&] {
        WalkLaunch launch(dir.Path());
        CKvsApp* kvs = launch.Launch();
        auto* devwin = static_cast<CKvsDevWin*>(kvs->DevDoc()->View());
        CKvsDevSet& set = kvs->DevDoc()->DeviceSet();
        ASSERT_TRUE(WaitUntil([&] { return set.Count() == 1 && devwin->IsShown(); }, 15000));
        ASSERT_TRUE(user.WaitActive(WindowOf(devwin), 5000)) << "the device window active";

        // The control window, opened with a double click on the device's row.
        user.Click(Row(devwin->fList, 0, 40));
        ASSERT_TRUE(Await("the device's row chosen", [&] { return devwin->SelectedRow() == 0; }));
        user.Click(Row(devwin->fList, 0, 40), "", 2);
        CKvsDevCtl* ctl = kvs->DevDoc()->FindController(kSerial);
        ASSERT_NE(ctl, nullptr);
        ASSERT_TRUE(
            WaitUntil([&] { return ctl->WindowShown() && ctl->Screen()->PlayView(); }, 20000));
        auto* view = dynamic_cast<CDrcCmdHandler*>(ctl->Screen()->PlayView());
        ASSERT_NE(view, nullptr);
        MWindow* ctlwin = WindowOf(&ctl->Screen()->Window());
        ASSERT_TRUE(user.WaitActive(ctlwin, 5000)) << "the control window active";
        ASSERT_TRUE(Await(
            "the play settings read", [&] { return Quiet(sim, ctl); }, 10000, kLookMs));
        CKvsPlayFrm* frame = view->Frame();
        CKvsSeqList* seqs = frame->List();
        CKvsScnList* scenes = frame->SceneEdit()->List();
        CRecord* settings = view->SeqSettings();

        // ---- sequences: two added with the plus button, each named.
        sim.Cmd("log clear");
        for (int i = 0; i < 2; ++i) user.Click(Center(&frame->PlusButton()));
        ASSERT_TRUE(WaitUntil([&] { return settings->GetListCount(SqstF::sqcs) == 2; }, 3000));
        Await(
            "the sequences sent", [&] { return Quiet(sim, ctl); }, 5000, kLookMs);
        user.Click(Row(seqs, 0, -30));
        user.Type("Opening");
        user.Key("Return");
        user.Click(Row(seqs, 1, -30));
        // A keyboard with the capital on a key of its own.
        EXPECT_TRUE(x.SetKeymap("-layout de", "Adiaeresis"));
        user.Type(kSecond);
        x.SetKeymap("-layout us");
        user.Key("Tab");
        auto seqName = [&](u32 i) {
            return std::string(
                settings->GetListItem(SqstF::sqcs, i)->GetString(SqncF::sqnm).CStr());
        };
        EXPECT_EQ(seqName(0), "Opening");
        EXPECT_EQ(seqName(1), kSecond);
        // (The device's log writes the bytes beyond ASCII as %XX.)
        ExpectNames(sim, ctl, "sqnm", {"Opening", "%C3%84pfel_gjy"});
        user.Shot("sequences");

        // ---- scenes of the first sequence: three added, two named.
        user.Click(Row(seqs, 0, 8));
        ASSERT_EQ(Rows(seqs), "0 ");
        CRecord* seq = settings->GetListItem(SqstF::sqcs, 0);
        for (int i = 0; i < 3; ++i) user.Click(Center(&frame->SceneEdit()->PlusButton()));
        ASSERT_TRUE(WaitUntil([&] { return seq->GetListCount(SqncF::scns) == 3; }, 3000));
        Await(
            "the scenes sent", [&] { return Quiet(sim, ctl); }, 5000, kLookMs);
        sim.Cmd("log clear");
        user.Click(Row(scenes, 0, -30));
        user.Type("Intro");
        user.Key("Return");
        user.Click(Row(scenes, 1, -30));
        user.Type("Chorus");
        // Ended by a click elsewhere: the sequence list's empty part.
        user.Click(Row(seqs, 4, 8));
        auto scnName = [&](u32 i) {
            return std::string(seq->GetListItem(SqncF::scns, i)->GetString(ScenF::snnm).CStr());
        };
        EXPECT_EQ(scnName(0), "Intro");
        EXPECT_EQ(scnName(1), "Chorus");
        ExpectNames(sim, ctl, "snnm", {"Intro", "Chorus"});
        user.Shot("scenes");

        // ---- rows chosen: Shift extends, Control adds or takes away.
        user.Click(Row(seqs, 0, 8));
        user.Click(Row(scenes, 0, 8));
        EXPECT_EQ(Rows(scenes), "0 ");
        user.Click(Row(scenes, 2, -30), "shift");
        EXPECT_EQ(Rows(scenes), "0 1 2 ");
        user.Click(Row(scenes, 1, -30), "ctrl");
        EXPECT_EQ(Rows(scenes), "0 2 ");
        user.Click(Row(scenes, 1, 8), "ctrl");
        EXPECT_EQ(Rows(scenes), "0 1 2 ");

        // ---- the Edit menu on the scene list: Copy, Paste, Delete, Undo, Redo, Cut.
        user.Click(Row(scenes, 0, 8));
        EXPECT_TRUE(user.Enabled(ctlwin, "Edit", "Delete"));
        EXPECT_TRUE(user.Choose(ctlwin, "Edit", "Copy"));
        EXPECT_TRUE(user.Choose(ctlwin, "Edit", "Paste"));
        EXPECT_TRUE(WaitUntil([&] { return seq->GetListCount(SqncF::scns) == 4; }, 3000));
        // The copy goes before the selected row, under a name of its own.
        EXPECT_EQ(scnName(0), "Intro_2");
        EXPECT_EQ(scnName(1), "Intro");
        user.Key("Delete");
        EXPECT_TRUE(WaitUntil([&] { return seq->GetListCount(SqncF::scns) == 3; }, 3000));
        user.Key("ctrl+z");
        EXPECT_TRUE(WaitUntil([&] { return seq->GetListCount(SqncF::scns) == 4; }, 3000));
        EXPECT_TRUE(user.Choose(ctlwin, "Edit", "Redo"));
        EXPECT_TRUE(WaitUntil([&] { return seq->GetListCount(SqncF::scns) == 3; }, 3000));
        // Cut by its key, pasted by its key at the end (nothing selected there).
        user.Click(Row(scenes, 1, 8));
        ASSERT_EQ(scnName(1), "Chorus");
        user.Key("ctrl+x");
        EXPECT_TRUE(WaitUntil([&] { return seq->GetListCount(SqncF::scns) == 2; }, 3000));
        user.Click(Row(scenes, 0, 8));
        user.Key("ctrl+v");
        EXPECT_TRUE(WaitUntil([&] { return seq->GetListCount(SqncF::scns) == 3; }, 3000));
        EXPECT_EQ(scnName(0), "Chorus");
        // Reordered by a drag of the row below the last one.
        {
            const QPoint from = Row(scenes, 0, 8);
            const QPoint to = Row(scenes, 3, 8) - QPoint(0, scenes->CellHeight() / 2 - 3);
            auto xy = [](QPoint p) { return std::to_string(p.x()) + " " + std::to_string(p.y()); };
            x.Xdotool("mousemove " + xy(from) + " mousedown 1");
            x.XdotoolAsync("sleep 0.6 mousemove " + xy(from + QPoint(6, 8)) +
                           " sleep 0.3 mousemove " + xy(to) +
                           " sleep 0.3 mousemove_relative 1 1 sleep 0.3 mouseup 1");
            EXPECT_TRUE(WaitUntil([&] { return scnName(2) == "Chorus"; }, 8000));
            Await(
                "the drag's move sent", [&] { return Quiet(sim, ctl); }, 5000, kLookMs);
        }
        EXPECT_EQ(seq->GetListCount(SqncF::scns), 3u);
        EXPECT_EQ(scnName(0), "Intro");

        // ---- the sequence list: Copy and Paste by the keys, Delete by the menu.
        user.Click(Row(seqs, 1, 8));
        user.Key("ctrl+c");
        user.Key("ctrl+v");
        EXPECT_TRUE(WaitUntil([&] { return settings->GetListCount(SqstF::sqcs) == 3; }, 3000));
        EXPECT_EQ(seqName(1), std::string(kSecond) + "_2");
        EXPECT_EQ(seqName(2), kSecond);
        EXPECT_TRUE(user.Choose(ctlwin, "Edit", "Delete"));
        EXPECT_TRUE(WaitUntil([&] { return settings->GetListCount(SqstF::sqcs) == 2; }, 3000));
        user.Shot("edited");
        // The device holds what the window shows.
        auto sequencesThere = [&] {
            return SimDeviceProcess::Field(sim.Cmd("chan-get serno=305 path=/.cmd/udseqset/sqcs"),
                                           "value");
        };
        Await(
            "the device holding two sequences",
            [&] { return Quiet(sim, ctl) && sequencesThere() == "2"; }, 8000, kLookMs);
        EXPECT_EQ(sequencesThere(), "2");

        // ---- a big show, 200 sequences of 50 scenes (KEVO_LISTS_SEQUENCES
        // more, by hand): every row copied and pasted at row 1 by the keys, all
        // but the last deleted from the menu, each undone and redone, the
        // device answering every step; it holds what the window shows after
        // each, and the program never stops answering for a second.
        {
            const char* asked = std::getenv("KEVO_LISTS_SEQUENCES");
            const u32 total = asked ? u32(std::max(std::atoi(asked), 3)) : 200;
            LoopGaps gaps;
            const CRecordSchema* sqnc = CRecordSchema::Find(kFamKvt, kKindSqnc);
            for (u32 i = 2; i < total; ++i) {
                CRecord* big = CRecord::New(sqnc);
                for (u32 j = 0; j < 50; ++j) {
                    InsertSceneUnique(big, nullptr, SqncF::scns, j, nullptr);
                    big->GetListItem(SqncF::scns, j)
                        ->SetString(
                            nullptr, ScenF::snnm,
                            LString(
                                ("Cue " + std::to_string(i) + "." + std::to_string(j)).c_str()));
                }
                InsertSequenceUnique(settings, nullptr, i, big);
            }
            CRecordDoc device(NewSeqSettingsRecord());
            CDevRequestQueue reader(&ctl->ChannelQueue(), device.Root(), "/.cmd/udseqset",
                                    CDevRequestQueue::NoRereadContext(), nullptr);
            const auto held = [&](u32 count, const char* what) {
                EXPECT_TRUE(
                    WaitUntil([&] { return settings->GetListCount(SqstF::sqcs) == count; }, 10000))
                    << what;
                EXPECT_TRUE(Await(
                    what,
                    [&] { return Quiet(sim, ctl) && sequencesThere() == std::to_string(count); },
                    60000, kLookMs));
                // The device's list, read whole, is the window's to the byte:
                // the test's own work, not the program's, and not watched.
                const bool watched = gaps.Running();
                gaps.Stop();
                if (watched)
                    std::fprintf(stderr, "%s: longest pause so far %u ms\n", what, gaps.Longest());
                reader.Refresh();
                EXPECT_TRUE(Await(
                    what, [&] { return !reader.IsBusy(); }, 30000, kLookMs));
                CGrowMemStrm here, there;
                LRecPath::WriteValue(settings, SqstF::sqcs, kRecNoIndex, &here);
                LRecPath::WriteValue(device.Root(), SqstF::sqcs, kRecNoIndex, &there);
                EXPECT_TRUE(here.End() == there.End() &&
                            std::equal(here.Data(), here.Data() + here.End(), there.Data()))
                    << what;
                if (watched) gaps.Start();
            };
            held(total, "the big show sent");
            gaps.Start();
            const auto rows = [](i32 top, i32 bottom) { return LRgn(LRect(0, top, 1, bottom)); };
            user.Click(Row(seqs, 0, 8));
            seqs->SetSelection(rows(0, i32(total)));
            user.Key("ctrl+c");
            user.Click(Row(seqs, 1, 8));
            user.Key("ctrl+v");
            held(2 * total, "every row pasted at row 1");
            EXPECT_EQ(seqName(0), "Opening");
            EXPECT_EQ(seqName(total + 1), kSecond);
            EXPECT_TRUE(user.Choose(ctlwin, "Edit", "Undo"));
            held(total, "the paste undone");
            EXPECT_TRUE(user.Choose(ctlwin, "Edit", "Redo"));
            held(2 * total, "the paste redone");
            seqs->SetSelection(rows(0, i32(2 * total - 1)));
            EXPECT_TRUE(user.Choose(ctlwin, "Edit", "Delete"));
            held(1, "all but the last deleted");
            EXPECT_TRUE(user.Choose(ctlwin, "Edit", "Undo"));
            held(2 * total, "the delete undone");
            EXPECT_TRUE(user.Choose(ctlwin, "Edit", "Redo"));
            held(1, "the delete redone");
            EXPECT_TRUE(user.Choose(ctlwin, "Edit", "Undo"));
            held(2 * total, "the delete undone again");
            gaps.Stop();
            std::fprintf(stderr, "%u sequences: the longest the program did not answer: %u ms\n",
                         total, gaps.Longest());
            EXPECT_LT(gaps.Longest(), 1000u * walkwatch::kSlowdown);
            user.Shot("big");
            // The paste's own step has left the edit's undo queue by now: the
            // rows pasted and added go as a script takes them.
            for (u32 i = 2 * total; i-- > 1;)
                if (i != total + 1) settings->RemoveItem(nullptr, SqstF::sqcs, i);
            held(2, "the show small again");
            EXPECT_EQ(seqName(0), "Opening");
            EXPECT_EQ(seqName(1), kSecond);
            // An Undo of a delete brings the rows back as new records: the
            // first sequence is looked up again, and shown again.
            seq = settings->GetListItem(SqstF::sqcs, 0);
            ASSERT_EQ(seq->GetListCount(SqncF::scns), 3u);
            user.Click(Row(seqs, 0, 8));
            ASSERT_EQ(Rows(seqs), "0 ");
        }

        // ---- Play Buttons: a fresh grid shows its one button, titled whole.
        sim.Cmd("log clear");
        ASSERT_TRUE(user.Choose(ctlwin, "Play", "Play Buttons"));
        LFrame* btnwin = ShownWindowOf(view, PlayWindow::kButtons);
        ASSERT_NE(btnwin, nullptr);
        auto* asn = dynamic_cast<CKvsPlayAsnWin*>(btnwin);
        ASSERT_NE(asn, nullptr);
        WaitShown(WindowOf(btnwin));
        user.Shot("buttons_fresh");
        EXPECT_EQ(asn->fList.Cols() * 10 + asn->fList.Rows(), 11);
        EXPECT_GT(asn->fList.CellWidth(), 20);
        EXPECT_GT(asn->fList.CellHeight(), 20);
        user.Click(Row(&asn->fList, 0, 40));
        ASSERT_TRUE(WaitUntil([&] { return asn->fPrm.IsShown(); }, 3000));
        user.Click(
            ScreenPoint(&asn->fPrm.fTitle, LPoint{10, asn->fPrm.fTitle.Bounds().Height() / 2}));
        user.Type("Go");
        user.Key("Return");
        const CRecord* button = PlaySetGetCell(view->PlaySettings(), 0, 0);
        ASSERT_NE(button, nullptr);
        EXPECT_STREQ(button->GetString(PlclF::bttl).CStr(), "Go");
        ExpectNames(sim, ctl, "bttl", {"Go"});
        user.Shot("buttons_titled");
        btnwin->HideWindow();
        ASSERT_TRUE(user.WaitActive(ctlwin)) << "the control window active again";

        // ---- the schedule's events, named.
        sim.Cmd("log clear");
        ASSERT_TRUE(user.Choose(ctlwin, "Play", "Use Schedule"));
        LFrame* schwin = ShownWindowOf(view, PlayWindow::kSchedule);
        ASSERT_NE(schwin, nullptr);
        auto* sch = dynamic_cast<CKvsSchWin*>(schwin);
        ASSERT_NE(sch, nullptr);
        WaitShown(WindowOf(schwin));
        CKvsSchEditFrm* edit = sch->EditFrame();
        for (int i = 0; i < 2; ++i) user.Click(Center(&edit->fAdd));
        const CRecord* schd = settings->GetChild(SqstF::schd);
        ASSERT_TRUE(WaitUntil([&] { return schd->GetListCount(SchdF::flts) == 2; }, 3000));
        Await(
            "the events sent", [&] { return Quiet(sim, ctl); }, 5000, kLookMs);
        sim.Cmd("log clear");
        // The name sits between the play button and the sequence.
        const i32 nameX =
            static_cast<CKvsSchCell*>(edit->fList->GetProtoCell())->fName.Bounds().left + 12;
        user.Click(Row(edit->fList, 0, nameX));
        user.Type("Morning");
        user.Key("Return");
        user.Click(Row(edit->fList, 1, nameX));
        user.Type("Evening");
        user.Click(Row(edit->fList, 0, 8));
        EXPECT_STREQ(schd->GetListItem(SchdF::flts, 0)->GetString(ScevF::name).CStr(), "Morning");
        EXPECT_STREQ(schd->GetListItem(SchdF::flts, 1)->GetString(ScevF::name).CStr(), "Evening");
        ExpectNames(sim, ctl, "name", {"Morning", "Evening"});
        // Its list's commands by their keys: copied, pasted, deleted, undone.
        user.Click(Row(edit->fList, 1, 8));
        user.Key("ctrl+c");
        user.Key("ctrl+v");
        EXPECT_TRUE(WaitUntil([&] { return schd->GetListCount(SchdF::flts) == 3; }, 3000));
        user.Key("Delete");
        EXPECT_TRUE(WaitUntil([&] { return schd->GetListCount(SchdF::flts) == 2; }, 3000));
        user.Key("ctrl+z");
        EXPECT_TRUE(WaitUntil([&] { return schd->GetListCount(SchdF::flts) == 3; }, 3000));
        user.Key("ctrl+shift+z");
        EXPECT_TRUE(WaitUntil([&] { return schd->GetListCount(SchdF::flts) == 2; }, 3000));
        // A period's fields, the narrow seconds first while the new period is
        // selected, then the start's reached by Tab and the end's clicked, each
        // emptied past its start before its value is typed: the period stays,
        // and each part reaches the device once.
        user.Click(Row(edit->fList, 0, 8));
        const CRecord* morning = schd->GetListItem(SchdF::flts, 0);
        user.Click(Center(edit->fAddPeriod));
        ASSERT_TRUE(WaitUntil([&] { return morning->GetListCount(ScevF::prds) == 1; }, 3000));
        Await(
            "the period sent", [&] { return Quiet(sim, ctl); }, 5000, kLookMs);
        sim.Cmd("log clear");
        auto period = [&] {
            return static_cast<CSchPrdCell*>(edit->fPeriods->GetCellFrame(LCell{0, 0}, false));
        };
        ASSERT_NE(period(), nullptr);
        const char* emptied = "BackSpace BackSpace BackSpace BackSpace BackSpace Delete Delete";
        user.Click(Center(&period()->fStart.fSecond));
        user.Key(emptied);
        user.Type("59");
        user.Key("Return");
        ASSERT_EQ(morning->GetListCount(ScevF::prds), 1u);
        // The range selector's item over the year: every part shown.
        const LRect range = period()->fRange.Bounds(), year = period()->fStart.fYear.Bounds();
        const i32 yearX =
            period()->fStart.Bounds().left - range.left + (year.left + year.right) / 2;
        user.Click(ScreenPoint(&period()->fRange, LPoint{yearX, range.Height() / 2}));
        Await(
            "every part shown and sent",
            [&] { return period()->fStart.fYear.IsShown() && Quiet(sim, ctl); }, 5000, kLookMs);
        EXPECT_EQ(Written(sim, "prds").size(), 0u) << "the period count written";
        sim.Cmd("log clear");
        user.Click(Center(&period()->fStart.fYear));
        for (const char* v : {"2031", "11", "23", "17", "45", "59"}) {
            user.Key(emptied);
            user.Type(v);
            user.Key("Tab");
        }
        for (u32 part : {kSchYear, kSchMonth, kSchDay, kSchHour, kSchMinute, kSchSecond}) {
            user.Click(Center(period()->fEnd.Field(part)));
            user.Key(emptied);
            user.Type(part == kSchYear ? "2032" : "12");
            user.Key("Return");
        }
        Await(
            "the period's parts sent", [&] { return Quiet(sim, ctl); }, 5000, kLookMs);
        EXPECT_EQ(morning->GetListCount(ScevF::prds), 1u);
        EXPECT_EQ(Written(sim, "prds").size(), 0u) << "the period count written";
        // Little-endian u32s from the second up; the weekday is no part of this range.
        const std::pair<const char*, const char*> dates[] = {
            {"strt", "3b0000002d0000001100000000000000170000000b000000ef070000"},
            {"endp", "0c0000000c0000000c000000000000000c0000000c000000f0070000"}};
        for (const auto& [group, typed] : dates) {
            const auto writes = Written(sim, group);
            EXPECT_LE(writes.size(), 6u) << group;
            EXPECT_EQ(writes.empty() ? "" : writes.back().second, typed) << group;
        }
        user.Shot("schedule");
        schwin->HideWindow();
        ASSERT_TRUE(user.WaitActive(ctlwin)) << "the control window active again";

        // ---- aux plays, named; the last name ended by closing the window.
        ASSERT_TRUE(user.Choose(ctlwin, "Play", "Aux Play"));
        LFrame* auxwin = ShownWindowOf(view, PlayWindow::kAuxPlay);
        ASSERT_NE(auxwin, nullptr);
        auto* aux = dynamic_cast<CKvsAxPlyWin*>(auxwin);
        ASSERT_NE(aux, nullptr);
        WaitShown(WindowOf(auxwin));
        for (int i = 0; i < 2; ++i) user.Click(Center(aux->fAdd));
        const CRecord* axps = settings->GetChild(SqstF::axps);
        ASSERT_TRUE(WaitUntil([&] { return axps->GetListCount(AplsF::plys) == 2; }, 3000));
        Await(
            "the aux plays sent", [&] { return Quiet(sim, ctl); }, 5000, kLookMs);
        sim.Cmd("log clear");
        user.Click(Row(aux->fList, 0, -30));
        user.Type("Aux1");
        user.Key("Tab");
        user.Click(Row(aux->fList, 1, -30));
        user.Type("Stage");
        user.Shot("auxplay");
        auxwin->HideWindow();
        ASSERT_TRUE(user.WaitActive(ctlwin)) << "the control window active again";
        auto axName = [&](u32 i) {
            return std::string(axps->GetListItem(AplsF::plys, i)->GetString(AplyF::name).CStr());
        };
        EXPECT_EQ(axName(0), "Aux1");
        EXPECT_EQ(axName(1), "Stage");
        ExpectNames(sim, ctl, "name", {"Aux1", "Stage"});
        // Its Delete key, and Undo from the control window's Edit menu.
        auxwin->ShowWindow();
        ASSERT_TRUE(
            WaitUntil([&] { return QApplication::activeWindow() == WindowOf(auxwin); }, 3000));
        ASSERT_TRUE(user.WaitActive(WindowOf(auxwin))) << "the aux play window active";
        user.Click(Row(aux->fList, 0, 8));
        EXPECT_EQ(Rows(aux->fList), "0 ");
        user.Key("Delete");
        EXPECT_TRUE(WaitUntil([&] { return axps->GetListCount(AplsF::plys) == 1; }, 3000));
        EXPECT_EQ(axName(0), "Stage");
        user.Key("ctrl+z");
        EXPECT_TRUE(WaitUntil([&] { return axps->GetListCount(AplsF::plys) == 2; }, 3000));
        auxwin->HideWindow();
        Await(
            "the undo sent", [&] { return Quiet(sim, ctl); }, 5000, kLookMs);

        // ---- the Delete keys in a field of each kind of row, in a name typed
        // and taken back past its start, and at the end of a name kept: they
        // edit the text alone, and the row stays, here and on the device.
        auto chosenAux = [&](i32 row) {
            user.Click(Row(aux->fList, row, 8));
            EXPECT_TRUE(WaitUntil([&] { return aux->fList->SelectedRow() == row; }, 3000));
        };
        CRecord* doors = axps->GetListItem(AplsF::plys, 0);
        auto trigger = [&](u32 i) {
            return static_cast<CAxPlyTrgCell*>(
                aux->fTrgList->GetCellFrame(LCell{0, i32(i)}, false));
        };
        auto showAux = [&] {
            if (!auxwin->IsShown() || QApplication::activeWindow() != WindowOf(auxwin)) {
                ASSERT_TRUE(user.Choose(ctlwin, "Play", "Aux Play"));
                WaitShown(WindowOf(auxwin));
            }
            ASSERT_TRUE(user.WaitActive(WindowOf(auxwin))) << "the aux play window active";
        };
        // Three triggers of the first aux play: named, a key, an Art-Net address.
        showAux();
        chosenAux(0);
        for (i32 item : {0, 7, 1, 9}) {
            const u32 n = doors->GetListCount(AplyF::trgs);
            user.Click(Center(aux->fAddTrg));
            ASSERT_TRUE(WaitUntil([&] { return doors->GetListCount(AplyF::trgs) == n + 1; }, 3000));
            ASSERT_TRUE(
                Await("the trigger's row", [&] { return trigger(n) && trigger(n)->IsShown(); }));
            user.Key("Tab");
            if (item == 0) continue;
            LPopupList& kind = trigger(n)->fKind;
            user.Click(Center(&kind));
            ASSERT_TRUE(Await("the kinds open", [] { return QApplication::activePopupWidget(); }));
            WaitShown(QApplication::activePopupWidget());
            std::string keys;
            for (i32 i = std::max(kind.GetSelected(), 0); i < item; ++i) keys += "Down ";
            user.Key(keys + "Return");
            EXPECT_TRUE(Await("the kind chosen", [&] { return kind.GetSelected() == item; }));
        }
        Await(
            "the triggers sent", [&] { return Quiet(sim, ctl); }, 5000, kLookMs);
        sim.Cmd("log clear");
        auto showSch = [&] {
            if (!schwin->IsShown() || QApplication::activeWindow() != WindowOf(schwin)) {
                ASSERT_TRUE(user.Choose(ctlwin, "Play", "Use Schedule"));
                WaitShown(WindowOf(schwin));
            }
            ASSERT_TRUE(user.WaitActive(WindowOf(schwin))) << "the schedule window active";
        };
        enum Win { kCtl, kSch, kAux };
        auto front = [&](Win w) {
            if (w == kSch) showSch();
            if (w == kAux) showAux();
            if (w == kCtl) {
                auxwin->HideWindow();
                schwin->HideWindow();
            }
            return w == kCtl ? ctlwin : WindowOf(w == kSch ? schwin : auxwin);
        };
        auto triggerField = [&](u32 row, TrgFrame f) -> LEditText* {
            return trigger(row) ? trigger(row)->Frame(f).fFields[0] : nullptr;
        };
        const struct {
            const char* what;
            Win window;
            std::function<LEditText*()> field;
            std::function<u32()> rows;
            const char* typed;  // typed, then deleted past its start
            const char* kept;   // typed, and a Delete at its end
        } fieldRows[] = {
            {"sequence name", kCtl, [&] { return NameOf<CKvsSeqCell>(seqs); },
             [&] { return settings->GetListCount(SqstF::sqcs); }, "Ab", "Cd"},
            {"scene name", kCtl, [&] { return NameOf<CKvsScnCell>(scenes); },
             [&] { return seq->GetListCount(SqncF::scns); }, "Ab", "Cd"},
            {"event name", kSch, [&] { return NameOf<CKvsSchCell>(edit->fList); },
             [&] { return schd->GetListCount(SchdF::flts); }, "Ab", "Cd"},
            {"aux play name", kAux, [&] { return NameOf<CKvsAxPlyCell>(aux->fList); },
             [&] { return axps->GetListCount(AplsF::plys); }, "Ab", "Cd"},
            {"trigger name", kAux, [&] { return NameOf<CAxPlyTrgCell>(aux->fTrgList); },
             [&] { return doors->GetListCount(AplyF::trgs); }, "Ab", "Cd"},
            {"trigger key", kAux, [&] { return triggerField(1, TrgFrame::kKey); },
             [&] { return doors->GetListCount(AplyF::trgs); }, "A", "C"},
            {"trigger Art-Net net", kAux, [&] { return triggerField(2, TrgFrame::kArtNet); },
             [&] { return doors->GetListCount(AplyF::trgs); }, "12", "34"},
        };
        for (const auto& f : fieldRows) {
            SCOPED_TRACE(f.what);
            ASSERT_TRUE(user.WaitActive(front(f.window)));
            LEditText* field = f.field();
            ASSERT_NE(field, nullptr);
            const u32 rows = f.rows();
            if (!field->Engine()) user.Click(Center(field));
            ASSERT_TRUE(Await("the field focused", [&] { return field->Engine() != nullptr; }));
            user.Key("ctrl+a");
            user.Type(f.typed);
            user.Key("BackSpace BackSpace BackSpace BackSpace Delete Delete");
            EXPECT_EQ(std::string(field->GetText().CStr()), "");
            user.Type(f.kept);
            user.Key("End Delete Delete");
            EXPECT_EQ(std::string(field->GetText().CStr()), f.kept);
            user.Key("Tab");
            EXPECT_EQ(f.rows(), rows);
        }
        Await(
            "the fields' edits sent", [&] { return Quiet(sim, ctl); }, 5000, kLookMs);
        // An OSC number typed over a stored one, with its sign: the field keeps
        // what is typed while the row shows the stored value again after each
        // key; a negative number stores none (-1), never the digits after the sign.
        {
            ASSERT_TRUE(user.WaitActive(front(kAux)));
            LEditText* osc = triggerField(3, TrgFrame::kOsc);
            ASSERT_NE(osc, nullptr);
            const CRecord* t = doors->GetListItem(AplyF::trgs, 3);
            if (!osc->Engine()) user.Click(Center(osc));
            ASSERT_TRUE(Await("the OSC field focused", [&] { return osc->Engine() != nullptr; }));
            for (const auto& [typed, stored] : {std::pair{"7", 7}, {"-5", -1}, {"42", 42}}) {
                user.Key("ctrl+a");
                user.Type(typed);
                EXPECT_EQ(std::string(osc->GetText().CStr()), typed);
                EXPECT_EQ(t->GetI32(AptgF::valu), stored) << typed;
            }
            user.Key("Tab");
        }
        Await(
            "the fields' edits sent", [&] { return Quiet(sim, ctl); }, 5000, kLookMs);

        // The device holds every row, and the last text of each field.
        auto there = [&](const std::string& path) {
            return SimDeviceProcess::Field(
                sim.Cmd("chan-get serno=305 path=/.cmd/udseqset/" + path), "value");
        };
        auto lastWritten = [&](const std::string& path) {
            std::string last;
            for (const std::string& line : sim.Log())
                if (line.rfind("chan ", 0) == 0 && line.find("op=write") != std::string::npos &&
                    SimDeviceProcess::Field(line, "path") == "/.cmd/udseqset/" + path)
                    last = SimDeviceProcess::Field(line, "value");
            return last;
        };
        const std::pair<const char*, const char*> held[] = {{"sqcs", "2"},
                                                            {"sqcs/0/scns", "3"},
                                                            {"schd/flts", "2"},
                                                            {"axps/plys", "2"},
                                                            {"axps/plys/0/trgs", "4"}};
        for (const auto& [path, count] : held) EXPECT_EQ(there(path), count) << path;
        for (const char* path : {"sqcs/0/sqnm", "sqcs/0/scns/0/snnm", "schd/flts/0/name",
                                 "axps/plys/0/name", "axps/plys/0/trgs/0/name"})
            EXPECT_EQ(lastWritten(path), "Cd") << path;
        EXPECT_EQ(lastWritten("axps/plys/0/trgs/1/valu"), std::to_string(int('C')));
        EXPECT_EQ(lastWritten("axps/plys/0/trgs/2/sntg/anuv"), std::to_string(34 << 8));
        // The OSC number's writes: a write still waiting when the next key
        // comes is merged into it (as on a loaded machine), and the kind's own
        // none (-1) may have gone first; never the digits after the sign.
        std::vector<std::string> osc;
        for (const auto& [path, value] : Written(sim, "valu"))
            if (path == "/.cmd/udseqset/axps/plys/0/trgs/3/valu") osc.push_back(value);
        if (!osc.empty() && osc.front() == "-1") osc.erase(osc.begin());
        std::string oscText;
        for (const std::string& v : osc) oscText += v + " ";
        EXPECT_TRUE(oscText == "7 -1 4 42 " || oscText == "7 -1 42 " || oscText == "7 4 42 " ||
                    oscText == "7 42 ")
            << oscText;
        auxwin->HideWindow();
        schwin->HideWindow();

        // Nothing went to another device, and no Qt warning.
        for (const std::string& line : sim.Log()) {
            if (line.rfind("chan ", 0) != 0) continue;
            EXPECT_EQ(SimDeviceProcess::Field(line, "dev"), std::to_string(kSerial)) << line;
        }
        EXPECT_EQ(gWarnings, std::vector<std::string>());
        view->SetCleanMark();
        QPointer<MWindow> closing(ctlwin);
        ctl->Screen()->CloseWindow();
        Await("the control window closed", [&] { return !closing || !closing->isVisible(); });
        LoopDrained();
    }));
}

TEST(ListsWalk, EveryListUnderRealInput) {
    WalkInChild("1280x800", "lists", Walk);
}

}  // namespace
