// The play edit's fields and windows as a user meets them, under a real X
// server with a window manager (Xvfb, openbox, xdotool), against a simulated
// device in namespaces of the test's own (root only): numbers typed into the
// scene parameters and the auto play's delay and ended every way, Tab through
// the scene editor, the sequence dragged onto the background music, the
// schedule's period range, the windows' bars and places. What reaches the
// device is read back from its log. Screenshots go to the build folder
// (walk_<name>.png). One child process per run: one QApplication per process.
#include <QApplication>
#include <QImage>
#include <QWidget>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PlayEditWalk.h"
#include "editors/CExtCtlF.h"
#include "editors/CKvsSchEditFrm.h"
#include "editors/CKvsSchList.h"
#include "editors/CKvsSchWin.h"
#include "editors/CKvsScnEdF.h"
#include "editors/CKvsScnList.h"
#include "editors/CKvsScnMonF.h"
#include "editors/CKvsScnPrmF.h"
#include "editors/CKvsSeqList.h"
#include "editors/CKvsSeqWins.h"
#include "editors/CSchPrdList.h"
#include "records/CRecordDoc.h"
#include "records/LRecPath.h"
#include "records/ShowKinds.h"

// Qt's drag on X11 wakes the session bus, whose library keeps a block for the process.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}

using namespace testtftp;

namespace {

// The walk; in the child process, inside the application's namespace.
void WalkEditors(const XvfbHarness& x, NetnsHarness& net, const TempDir& dir) {
    WithPlayEdit(x, net, dir, [&](PlayEdit& p) {
        Walk& w = p.w;
        SimDeviceProcess& sim = p.sim;
        MWindow* ctl = p.ctl;
        CKvsDevCtlScreen* screen = p.screen;
        CKvsPlayFrm* frame = p.frame;
        EXPECT_EQ(BarTitles(ctl), "KEVOruneSet File Edit Network Device Play Window Help");

        // A sequence with two scenes.
        CRecord* seqs = frame->SeqSettings();
        w.Click(PaneAt(&frame->PlusButton()));
        ASSERT_TRUE(RunUntil([&] { return seqs->GetListCount(SqstF::sqcs) == 1; }, 3000));
        CKvsScnEdF* scenes = frame->SceneEdit();
        ASSERT_TRUE(RunUntil([&] { return scenes->IsShown(); }, 3000));
        CRecord* seq = seqs->GetListItem(SqstF::sqcs, 0);
        for (u32 n = 1; n <= 2; ++n) {
            w.Click(PaneAt(&scenes->PlusButton()));
            ASSERT_TRUE(RunUntil([&] { return seq->GetListCount(SqncF::scns) == n; }, 3000));
        }
        Settle(500);
        auto selectScene = [&](i32 row) {
            w.Click(RowAt(scenes->List(), row));
            RunUntil(
                [&] { return scenes->SelectedScene() == seq->GetListItem(SqncF::scns, u32(row)); },
                3000);
            Settle(300);
        };
        selectScene(0);
        ASSERT_EQ(scenes->SelectedScene(), seq->GetListItem(SqncF::scns, 0));
        w.Shot("scene_editor");

        // ---- the scene parameters: each edit stored once, range applied,
        // however it ends.
        CKvsScnPrmF::CContent* fp = &scenes->Params()->Fields();
        sim.Cmd("log clear");
        struct Edit {
            const char* what;
            CNumVol* field;
            const char* text;
            const char* tag;
            const char* value;  // as the device holds it
            std::function<void()> end;
        };
        const Edit edits[] = {
            {"fade, Return", &fp->fFade, "2.5", "fdtm", "2500", [&] { w.Key("Return"); }},
            {"level, Tab", &fp->fVol, "75", "volm", "192", [&] { w.Key("Tab"); }},
            {"rate, a click elsewhere", &fp->fRate, "1.5", "rate", "1.015",
             [&] { w.Click(PaneAt(&fp->fFadeCap)); }},
            {"level above the range, Return", &fp->fVol, "150", "volm", "256",
             [&] { w.Key("Return"); }},
            {"fade above the range, Tab", &fp->fFade, "12", "fdtm", "10000", [&] { w.Key("Tab"); }},
            {"rate, Return", &fp->fRate, "-2", "rate", "0.98", [&] { w.Key("Return"); }},
            {"fade, another row", &fp->fFade, "3", "fdtm", "3000", [&] { selectScene(1); }},
        };
        for (const Edit& e : edits) {
            SCOPED_TRACE(e.what);
            const size_t before = w.Written(e.tag).size();
            w.TypeNumber(e.field, e.text);
            Settle(200);
            e.end();
            const std::vector<std::string> got = w.WaitWritten(e.tag, before + 1);
            EXPECT_EQ(got.size(), before + 1);
            if (got.size() > before) {
                EXPECT_EQ(got.back(), e.value);
            }
            // Ended once: Return again, or the focus leaving, writes nothing more.
            w.Key("Return");
            Settle(300);
            EXPECT_EQ(w.Written(e.tag).size(), before + 1);
        }
        selectScene(0);
        w.Shot("scene_params");

        // ---- Tab through the scene editor in reading order: the clip's
        // fields, then back to the first.
        {
            std::vector<LEditText*> order = {&fp->fStart, &fp->fEnd, &fp->fFade, &fp->fVol,
                                             &fp->fRate};
            w.TypeNumber(&fp->fStart, "00:00:01.00");
            w.Key("Escape");
            for (size_t i = 1; i < order.size(); ++i) {
                w.Key("Tab");
                EXPECT_TRUE(RunUntil([&] { return order[i]->Engine() != nullptr; }, 2000))
                    << "Tab " << i;
            }
        }

        // ---- Auto Play: typed digits, Return and Tab; also after the control
        // window had the keyboard in between.
        ASSERT_TRUE(w.Choose(ctl, "Play", "Auto Play"));
        MWindow* autoWin = nullptr;
        ASSERT_TRUE(
            RunUntil([&] { return (autoWin = WindowTitled("Auto Play")) != nullptr; }, 5000));
        auto* autoPlay = FrameOf<CKvsAutoWin>(autoWin);
        ASSERT_NE(autoPlay, nullptr);
        Settle(500);
        EXPECT_EQ(BarTitles(autoWin), "KEVOruneSet File Edit Network Window Help");
        // Opened over its control window, not in a corner of the screen.
        EXPECT_TRUE(ctl->frameGeometry().contains(autoWin->frameGeometry().center()));
        w.Shot("autoplay");
        sim.Cmd("log clear");
        w.TypeNumber(&autoPlay->fDelay, "25");
        w.Key("Return");
        EXPECT_EQ(w.WaitWritten("staf", 1), std::vector<std::string>{"25"});
        // The control window takes the keyboard in between.
        w.Click(PaneAt(&screen->Window().fFree));
        RunUntil([&] { return ctl->isActiveWindow(); }, 2000);
        Settle(400);
        w.TypeNumber(&autoPlay->fDelay, "7");
        w.Shot("autoplay_again");
        w.Key("Tab");
        EXPECT_EQ(w.WaitWritten("staf", 2), (std::vector<std::string>{"25", "7"}));
        w.TypeNumber(&autoPlay->fDelay, "1200");
        w.Key("Return");
        EXPECT_EQ(w.WaitWritten("staf", 3), (std::vector<std::string>{"25", "7", "999"}));
        autoPlay->HideWindow();

        // ---- Background music: stays above its control window, takes the
        // sequence dragged from the sequence list.
        ASSERT_TRUE(w.Choose(ctl, "Play", "Background Music"));
        MWindow* bgmWin = nullptr;
        ASSERT_TRUE(
            RunUntil([&] { return (bgmWin = WindowTitled("Background")) != nullptr; }, 5000));
        auto* bgm = FrameOf<CKvsBgmWin>(bgmWin);
        ASSERT_NE(bgm, nullptr);
        Settle(500);
        EXPECT_EQ(BarTitles(bgmWin), "KEVOruneSet File Edit Network Window Help");
        w.Click(PaneAt(&screen->Window().fFree));
        RunUntil([&] { return ctl->isActiveWindow(); }, 3000);
        Settle(600);
        auto above = [&] {
            const std::vector<u64> stack = x.Stacking();
            auto at = [&](QWidget* q) {
                return std::find(stack.begin(), stack.end(), u64(q->winId())) - stack.begin();
            };
            return at(bgmWin) > at(ctl);
        };
        EXPECT_TRUE(above()) << "the background music window went behind its control window";
        sim.Cmd("log clear");
        {
            PointerDrag drag(x, RowAt(frame->List(), 0), PaneAt(&bgm->fSeq, 40));
            ASSERT_TRUE(RunUntil([&] { return drag.Done(); }, 30000));
            EXPECT_TRUE(drag.Ok()) << drag.Failure();
            const std::string id = std::to_string(seq->GetU32(SqncF::sqid));
            EXPECT_EQ(w.WaitWritten("bgmq", 1), std::vector<std::string>{id});
        }
        w.Shot("bgm");
        bgm->HideWindow();

        // ---- PWDW: the sequence dragged onto its slot, then played now.
        ASSERT_TRUE(w.Choose(ctl, "Play", "PWDW"));
        MWindow* pwdWin = nullptr;
        ASSERT_TRUE(RunUntil([&] { return (pwdWin = WindowTitled("PWDW")) != nullptr; }, 5000));
        auto* pwd = FrameOf<CKvsPwdWin>(pwdWin);
        ASSERT_NE(pwd, nullptr);
        Settle(500);
        EXPECT_TRUE(ctl->frameGeometry().contains(pwdWin->frameGeometry().center()));
        // The drag starts in the control window, made active first.
        w.Click(PaneAt(&screen->Window().fFree));
        RunUntil([&] { return ctl->isActiveWindow(); }, 3000);
        Settle(600);
        sim.Cmd("log clear");
        {
            PointerDrag drag(x, RowAt(frame->List(), 0), PaneAt(&pwd->fSeq, 40));
            ASSERT_TRUE(RunUntil([&] { return drag.Done(); }, 30000));
            EXPECT_TRUE(drag.Ok()) << drag.Failure();
            const std::string id = std::to_string(seq->GetU32(SqncF::sqid));
            EXPECT_EQ(w.WaitWritten("pwdw", 1), std::vector<std::string>{id});
        }
        x.Xdotool("windowactivate " + std::to_string(pwdWin->winId()));
        RunUntil([&] { return pwdWin->isActiveWindow(); }, 3000);
        Settle(300);
        w.Click(PaneAt(&pwd->fPlayNow));
        EXPECT_EQ(w.WaitWritten("plsn", 1).size(), 1u);
        w.Shot("pwdw");
        pwd->HideWindow();

        // ---- The master fader: a source chosen in its dialog, confirmed with Return.
        {
            sim.Cmd("log clear");
            ModalScript script({
                {400,
                 [&](LFrame* d) {
                     auto* dlg = dynamic_cast<CKvsMstFdrDlg*>(d);
                     ASSERT_NE(dlg, nullptr);
                     w.Shot("masterfader");
                     // The source chosen as its pop-up would (kind 1, Art-Net).
                     dlg->fSource.SetKind(CExtCtlF::kArtNet);
                 }},
                {400, [&](LFrame*) { w.Key("Return"); }},
            });
            ASSERT_TRUE(w.Choose(ctl, "Play", "Master Fader"));
            EXPECT_TRUE(RunUntil([&] { return script.Done(); }, 8000));
            EXPECT_TRUE(script.Seen());
            EXPECT_EQ(w.WaitWritten("mfct", 1), std::vector<std::string>{"1"});
        }

        // ---- The scene trigger dialog opens from its menu item; cancelled, it
        // writes nothing.
        {
            sim.Cmd("log clear");
            ModalScript script({
                {500,
                 [&](LFrame*) {
                     w.Shot("scenetrigger");
                     w.Key("Escape");
                 }},
            });
            ASSERT_TRUE(w.Choose(ctl, "Play", "Scene Trigger"));
            EXPECT_TRUE(RunUntil([&] { return script.Done(); }, 8000));
            EXPECT_TRUE(script.Seen());
            EXPECT_EQ(w.Written("sntg").size() + w.Written("tgmk").size(), 0u);
        }

        // ---- The scene monitor: its universes shown from the menu; the device
        // playing the selected scene makes the monitor active.
        {
            ASSERT_TRUE(w.Choose(ctl, "Play", "Show Scene Monitor"));
            EXPECT_TRUE(RunUntil([&] { return scenes->UniversePane()->IsShown(); }, 3000));
            LTextStream path;
            ASSERT_TRUE(LRecPath::Append(seqs, seq->GetListItem(SqncF::scns, 0), kRecSelf,
                                         kRecNoIndex, path));
            const std::string set = sim.Cmd("chan-set serno=1201 path=/.cmd/udkvtstat/crsn value=" +
                                            std::string(path.ToString().CStr()));
            EXPECT_EQ(set.rfind("ok", 0), 0u) << set;
            EXPECT_TRUE(RunUntil([&] { return scenes->SceneActive(); }, 15000))
                << path.ToString().CStr();
            w.Shot("scene_monitor");
            ASSERT_TRUE(w.Choose(ctl, "Play", "Show Scene Monitor"));
        }

        // ---- The schedule window: one bar; a period's range laid out at once.
        ASSERT_TRUE(w.Choose(ctl, "Play", "Use Schedule"));
        MWindow* schWin = nullptr;
        ASSERT_TRUE(RunUntil([&] { return (schWin = WindowTitled("Schedule")) != nullptr; }, 5000));
        auto* sch = FrameOf<CKvsSchWin>(schWin);
        ASSERT_NE(sch, nullptr);
        x.Xdotool("windowactivate " + std::to_string(schWin->winId()));
        RunUntil([&] { return schWin->isActiveWindow(); }, 3000);
        Settle(500);
        EXPECT_EQ(BarTitles(schWin), "KEVOruneSet File Edit Network Schedule Window Help");
        w.Click(PaneAt(&sch->EditFrame()->fAdd));
        ASSERT_TRUE(RunUntil([&] { return sch->EditFrame()->fList->Count() == 1; }, 3000));
        Settle(300);
        w.Click(PaneAt(sch->EditFrame()->fAddPeriod));
        CSchPrdList* periods = sch->EditFrame()->fPeriods;
        ASSERT_TRUE(RunUntil([&] { return periods->Rows() == 1; }, 3000));
        Settle(500);
        {
            // The row as drawn: the white of the fields shown in it.
            auto* cell = static_cast<CSchPrdCell*>(periods->GetProtoCell());
            const LRect r = periods->GetCellRect(LCell{0, 0});
            const QPoint at = RowAt(periods, 0, 0) - QPoint(0, r.Height() / 2);
            auto whites = [&] {
                const QImage shot = schWin->grab().toImage();
                const QPoint o = schWin->mapFromGlobal(at);
                int n = 0;
                for (int y = o.y(); y < o.y() + r.Height(); ++y)
                    for (int x0 = o.x(); x0 < o.x() + r.Width(); ++x0)
                        n += qGray(shot.pixel(x0, y)) > 250 ? 1 : 0;
                return n;
            };
            // The year's selector: the first item over the start group.
            const LRect range = cell->fRange.Bounds();
            const LRect year = cell->fStart.fYear.Bounds();
            const QPoint rangeAt(at.x() + cell->fStart.Bounds().left + (year.left + year.right) / 2,
                                 at.y() + (range.top + range.bottom) / 2);
            const int before = whites();
            sim.Cmd("log clear");
            w.Click(rangeAt);
            EXPECT_EQ(w.WaitWritten("rang", 1), std::vector<std::string>{"6"});
            EXPECT_TRUE(RunUntil([&] { return whites() > 2 * before; }, 2000))
                << "the row still shows the fields of its old range: " << before << " " << whites();
        }
        w.Shot("schedule");

        // ---- Aux Play: no wider than it needs.
        ASSERT_TRUE(w.Choose(ctl, "Play", "Aux Play"));
        MWindow* auxWin = nullptr;
        ASSERT_TRUE(RunUntil([&] { return (auxWin = WindowTitled("Aux Play")) != nullptr; }, 5000));
        Settle(500);
        EXPECT_LE(auxWin->frameGeometry().width(), 1000);
        EXPECT_EQ(BarTitles(auxWin), "KEVOruneSet File Edit Network Window Help");
        w.Shot("auxplay");

        auxWin->Owner()->GetFrame()->HideWindow();

        // ---- Typed, then the control window closed: stored before it goes.
        {
            x.Xdotool("windowactivate " + std::to_string(ctl->winId()));
            RunUntil([&] { return ctl->isActiveWindow(); }, 3000);
            selectScene(0);
            sim.Cmd("log clear");
            w.TypeNumber(&fp->fFade, "4");
            Settle(200);
            ASSERT_TRUE(w.Choose(ctl, "File", "Close"));
            EXPECT_TRUE(RunUntil([&] { return !ctl->isVisible(); }, 10000));
            EXPECT_EQ(w.WaitWritten("fdtm", 1), std::vector<std::string>{"4000"});
        }

        EXPECT_EQ(gWarnings, std::vector<std::string>());
    });
}

// Run by hand (--gtest_also_run_disabled_tests): under a loaded machine the X
// server now and then drops a key that xdotool sent (no key event reaches the
// application at all), and the PWDW play press, the master fader's Return and
// a modal wait at times still fail or hang; until that is understood the walk
// would make the suite fail at random.
TEST(EditorsWalk, DISABLED_FieldsAndWindowsOfThePlayEdit) {
    if (!NetnsHarness::IsRoot()) GTEST_SKIP() << "needs root to build network namespaces";
    XvfbHarness x("1600x1000x24");
    if (!x.Ok()) GTEST_SKIP() << "needs Xvfb, openbox and xdotool";
    NetnsHarness net;
    ASSERT_EQ(net.Setup("walk"), "");
    TempDir dir;
    InChildProcess([&] { WalkEditors(x, net, dir); });
}

}  // namespace
