// The play edit's fields and windows as a user meets them, under a real X
// server with a window manager (Xvfb, openbox, xdotool), against a simulated
// device in namespaces of the test's own (root only): numbers typed into the
// scene parameters and the auto play's delay and ended every way, Tab through
// the scene editor, the sequence dragged onto the auto play, background music
// and PWDW slots and played from there, the master fader's source chosen and
// typed, Undo in the universe addresses (its own steps alone) and in the speed
// calculator's field (the field's own text), the schedule's period range, the
// view switched with a field being edited, the windows' bars and places; with
// large fonts on a small screen, the view scrolled to the clip's fields by its
// bars and by Tab. What reaches the
// device is read back from its log. Screenshots go to the build folder
// (walk_<name>.png). One child process per run: one QApplication per process.
#include <QApplication>
#include <QComboBox>
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
#include "editors/CKvsScnPrmF.h"
#include "editors/CKvsSeqDlgs.h"
#include "editors/CKvsSeqList.h"
#include "editors/CKvsSeqWins.h"
#include "editors/CKvsUvadList.h"
#include "editors/CSchPrdList.h"
#include "editors/CUvadWin.h"
#include "records/CRecordDoc.h"
#include "records/DeviceKinds.h"
#include "records/LRecPath.h"
#include "records/ShowKinds.h"

// Qt's drag on X11 wakes the session bus, whose library keeps a block for the process.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}

using namespace testtftp;

namespace {

// The window a menu item of the control window opens, once it is on screen,
// and its frame: waited for as a person waits before using it.
template <class F>
void OpenFrame(Walk& w, MWindow* ctl, const QString& menu, const QString& item,
               const QString& title, MWindow*& win, F*& frame) {
    ASSERT_TRUE(w.Choose(ctl, menu, item));
    win = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (win = WindowTitled(title)) != nullptr; }, 5000));
    frame = FrameOf<F>(win);
    ASSERT_NE(frame, nullptr);
    WaitShown(win);
}

// The play settings' "+" makes a sequence, the scene editor's "+" its scenes.
// Where the view scrolls (scroll not null), each button is paged to first.
void AddSequence(Walk& w, CKvsPlayFrm* frame, LScrollFrame* scroll, u32 sceneCount, CRecord*& seqs,
                 CKvsScnEdF*& scenes, CRecord*& seq) {
    seqs = frame->SeqSettings();
    if (scroll) PageTo(w, *scroll, &frame->PlusButton());
    w.Click(PaneAt(&frame->PlusButton()));
    ASSERT_TRUE(WaitUntil([&] { return seqs->GetListCount(SqstF::sqcs) == 1; }, 3000));
    scenes = frame->SceneEdit();
    ASSERT_TRUE(WaitUntil([&] { return scenes->IsShown(); }, 3000));
    seq = seqs->GetListItem(SqstF::sqcs, 0);
    if (scroll) PageTo(w, *scroll, &scenes->PlusButton());
    for (u32 n = 1; n <= sceneCount; ++n) {
        w.Click(PaneAt(&scenes->PlusButton()));
        ASSERT_TRUE(WaitUntil([&] { return seq->GetListCount(SqncF::scns) == n; }, 3000));
    }
    w.AwaitQuiet(sceneCount == 1 ? "the scene added" : "the scenes added");
}

// The first scene chosen in a view that scrolls: its row paged to, clicked.
void ChooseFirstScene(Walk& w, LScrollFrame& scroll, CKvsScnEdF* scenes, CRecord* seq) {
    const LRect row0 = scenes->List()->GetCellRect(LCell{0, 0});
    PageTo(w, scroll, scenes->List(), LRect(row0.left, row0.top, row0.left + 40, row0.bottom));
    w.Click(RowAt(scenes->List(), 0));
    ASSERT_TRUE(WaitUntil(
        [&] { return scenes->SelectedScene() == seq->GetListItem(SqncF::scns, 0); }, 3000));
    LoopDrained();
}

// The universe addresses window, a row added with its "+" and a count of 4
// typed into it (not yet ended). The device's log is cleared before the "+".
struct UvadRow {
    MWindow* win = nullptr;
    CUvadWin* uv = nullptr;
    CRecord* table = nullptr;
    u32 rows = 0;  // before the "+"
    CKvsUvadCell* cell = nullptr;
};
// paged: the window scrolls (large fonts), the button and field paged to first.
void AddUvadRow(PlayEdit& p, bool paged, UvadRow& r) {
    Walk& w = p.w;
    ASSERT_NO_FATAL_FAILURE(
        OpenFrame(w, p.ctl, "Device", "Universe Addresses", "Universe Addresses", r.win, r.uv));
    w.Activate(r.win);
    r.table = p.dev->Settings()->GetChild(DvstF::uvas);
    r.rows = r.table->GetListCount(UvasF::uvas);
    p.sim.Cmd("log clear");
    if (paged) PageTo(w, r.uv->Scroll(), &r.uv->PlusButton());
    w.Click(PaneAt(&r.uv->PlusButton()));
    ASSERT_TRUE(WaitUntil([&] { return r.table->GetListCount(UvasF::uvas) == r.rows + 1; }, 3000));
    r.cell = static_cast<CKvsUvadCell*>(r.uv->List()->GetCellFrame(LCell{0, i32(r.rows)}, false));
    ASSERT_NE(r.cell, nullptr);
    if (paged) PageTo(w, r.uv->Scroll(), &r.cell->fCount);
    w.TypeNumber(&r.cell->fCount, "4");
}

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
        CRecord* seqs = nullptr;
        CKvsScnEdF* scenes = nullptr;
        CRecord* seq = nullptr;
        ASSERT_NO_FATAL_FAILURE(AddSequence(w, frame, nullptr, 2, seqs, scenes, seq));
        auto selectScene = [&](i32 row) {
            w.Click(RowAt(scenes->List(), row));
            WaitUntil(
                [&] { return scenes->SelectedScene() == seq->GetListItem(SqncF::scns, u32(row)); },
                3000);
            LoopDrained();
        };
        // Play pressed twice in its window: the sequence's path sent once a press.
        auto playTwice = [&](MWindow* win, CStateButton* play, const std::string& path) {
            w.Activate(win);
            sim.Cmd("log clear");
            for (size_t n = 1; n <= 2; ++n) {
                w.Click(PaneAt(play));
                EXPECT_EQ(w.WaitWritten("plsn", n), std::vector<std::string>(n, path));
            }
            EXPECT_EQ(w.WrittenElsewhere("plsn"), 0u);
        };
        // The sequence's row dragged onto a window's slot: its id sent once.
        auto dragSequenceTo = [&](LPane* slot, const char* tag) {
            PointerDrag drag(x, RowAt(frame->List(), 0), PaneAt(slot, 40));
            ASSERT_TRUE(WaitUntil([&] { return drag.Done(); }, 30000));
            EXPECT_TRUE(drag.Ok()) << drag.Failure();
            const std::string id = std::to_string(seq->GetU32(SqncF::sqid));
            EXPECT_EQ(w.WaitWritten(tag, 1), std::vector<std::string>{id});
        };
        selectScene(0);
        ASSERT_EQ(scenes->SelectedScene(), seq->GetListItem(SqncF::scns, 0));
        w.Shot("scene_editor");

        // ---- the scene parameters: each edit stored once, range applied,
        // however it ends.
        CKvsScnPrmF::CContent* fp = &scenes->Params()->Fields();
        sim.Cmd("log clear");
        const FieldEdit edits[] = {
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
        for (const FieldEdit& e : edits) {
            SCOPED_TRACE(e.what);
            const size_t before = w.TypeAndEnd(e);
            // Ended once: Return again, or the focus leaving, writes nothing more.
            w.Key("Return");
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
                EXPECT_TRUE(WaitUntil([&] { return order[i]->Engine() != nullptr; }, 2000))
                    << "Tab " << i;
            }
        }

        // ---- Auto Play: typed digits, Return and Tab; also after the control
        // window had the keyboard in between.
        MWindow* autoWin = nullptr;
        CKvsAutoWin* autoPlay = nullptr;
        ASSERT_NO_FATAL_FAILURE(
            OpenFrame(w, ctl, "Play", "Auto Play", "Auto Play", autoWin, autoPlay));
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
        EXPECT_TRUE(w.WaitActive(ctl));
        w.TypeNumber(&autoPlay->fDelay, "7");
        w.Shot("autoplay_again");
        w.Key("Tab");
        EXPECT_EQ(w.WaitWritten("staf", 2), (std::vector<std::string>{"25", "7"}));
        w.TypeNumber(&autoPlay->fDelay, "1200");
        w.Key("Return");
        EXPECT_EQ(w.WaitWritten("staf", 3), (std::vector<std::string>{"25", "7", "999"}));
        // Its sequence dragged from the list, then played now: once a press.
        const std::string seqPath = [&] {
            LTextStream path;
            EXPECT_TRUE(LRecPath::Append(seqs, seq, kRecSelf, kRecNoIndex, path));
            return std::string(path.ToString().CStr());
        }();
        w.Activate(ctl);
        ASSERT_NO_FATAL_FAILURE(dragSequenceTo(&autoPlay->fSeq, "sqid"));
        playTwice(autoWin, &autoPlay->fPlayNow, seqPath);
        autoPlay->HideWindow();

        // ---- Background music: stays above its control window, takes the
        // sequence dragged from the sequence list.
        MWindow* bgmWin = nullptr;
        CKvsBgmWin* bgm = nullptr;
        ASSERT_NO_FATAL_FAILURE(
            OpenFrame(w, ctl, "Play", "Background Music", "Background", bgmWin, bgm));
        EXPECT_EQ(BarTitles(bgmWin), "KEVOruneSet File Edit Network Window Help");
        w.Click(PaneAt(&screen->Window().fFree));
        EXPECT_TRUE(w.WaitActive(ctl));
        auto above = [&] {
            const std::vector<u64> stack = x.Stacking();
            auto at = [&](QWidget* q) {
                return std::find(stack.begin(), stack.end(), u64(q->winId())) - stack.begin();
            };
            return at(bgmWin) > at(ctl);
        };
        EXPECT_TRUE(above()) << "the background music window went behind its control window";
        sim.Cmd("log clear");
        ASSERT_NO_FATAL_FAILURE(dragSequenceTo(&bgm->fSeq, "bgmq"));
        w.Shot("bgm");
        bgm->HideWindow();

        // ---- PWDW: the sequence dragged onto its slot, then played now.
        MWindow* pwdWin = nullptr;
        CKvsPwdWin* pwd = nullptr;
        ASSERT_NO_FATAL_FAILURE(OpenFrame(w, ctl, "Play", "PWDW", "PWDW", pwdWin, pwd));
        EXPECT_TRUE(ctl->frameGeometry().contains(pwdWin->frameGeometry().center()));
        // The drag starts in the control window, made active first.
        w.Activate(ctl);
        sim.Cmd("log clear");
        ASSERT_NO_FATAL_FAILURE(dragSequenceTo(&pwd->fSeq, "pwdw"));
        playTwice(pwdWin, &pwd->fPlayNow, seqPath);
        w.Shot("pwdw");
        pwd->HideWindow();

        // ---- The master fader: the source chosen in its kind pop-up with the
        // pointer and with keys, the address and channel typed; confirmed by
        // Return and by a click, or cancelled. Each value reaches 1201 once.
        {
            auto fader = [&](const std::function<void(CKvsMstFdrDlg*)>& act) {
                ModalScript script({{0, [&](LFrame* d) {
                                         auto* dlg = dynamic_cast<CKvsMstFdrDlg*>(d);
                                         ASSERT_NE(dlg, nullptr);
                                         act(dlg);
                                     }}});
                ASSERT_TRUE(w.Choose(ctl, "Play", "Master Fader"));
                EXPECT_TRUE(WaitUntil([&] { return script.Done(); }, 30000));
                EXPECT_TRUE(script.Seen());
            };
            auto kinds = [&](CKvsMstFdrDlg* dlg) {
                return Walk::PopupAt(PaneAt(&dlg->fSource.fKind));
            };
            // Chosen with keys: the list opened by a click, moved on, Return.
            auto kindByKeys = [&](CKvsMstFdrDlg* dlg, const std::string& keys) {
                ASSERT_TRUE(w.OpenPopup(kinds(dlg)));
                w.Key(keys + " Return");
                WaitUntil([&] { return !kinds(dlg)->view()->isVisible(); }, 3000);
            };
            using V = std::vector<std::string>;
            sim.Cmd("log clear");
            // Art-Net by the pointer, the check box clicked, Return.
            fader([&](CKvsMstFdrDlg* dlg) {
                // Over its control window.
                EXPECT_TRUE(ctl->frameGeometry().contains(
                    static_cast<QWidget*>(dlg->Window()->Native())->frameGeometry().center()));
                w.Shot("masterfader");
                w.ChoosePopupEntry(kinds(dlg), CExtCtlF::kArtNet);
                EXPECT_TRUE(WaitUntil([&] { return dlg->fSource.fArtNet.IsShown(); }, 2000));
                w.TypeNumber(&dlg->fSource.fArtNet.fNet, "12");
                w.TypeNumber(&dlg->fSource.fArtNet.fSub, "11");
                w.TypeNumber(&dlg->fSource.fArtNet.fUni, "14");
                w.TypeNumber(&dlg->fSource.fChannel, "137");
                w.Click(PaneAt(&dlg->fSaveLevel, 6));
                EXPECT_TRUE(WaitUntil([&] { return dlg->fSaveLevel.GetState() != 0; }, 2000));
                w.Shot("masterfader_artnet");
                w.Key("Return");
            });
            EXPECT_EQ(w.WaitWritten("mfct", 1), V{"1"});
            // net 12, sub-net 11, universe 14
            EXPECT_EQ(w.WaitWritten("anun", 1), V{std::to_string((12 << 8) | (11 << 4) | 14)});
            EXPECT_EQ(w.WaitWritten("chmf", 1), V{"137"});
            EXPECT_EQ(w.WaitWritten("svmf", 1), V{"1"});
            // sACN with keys from Art-Net, a universe past Art-Net's, OK clicked.
            fader([&](CKvsMstFdrDlg* dlg) {
                EXPECT_EQ(dlg->fSource.GetKind(), u32(CExtCtlF::kArtNet));
                kindByKeys(dlg, "Down");
                EXPECT_TRUE(WaitUntil([&] { return dlg->fSource.fSacn.IsShown(); }, 2000));
                w.TypeNumber(&dlg->fSource.fSacn.fUni, "300");
                w.TypeNumber(&dlg->fSource.fChannel, "512");
                w.Click(PaneAt(&dlg->fSoundToo, 6));
                EXPECT_TRUE(WaitUntil([&] { return dlg->fSoundToo.GetState() != 0; }, 2000));
                w.Click(PaneAt(&dlg->fOk));
            });
            EXPECT_EQ(w.WaitWritten("mfct", 2), (V{"1", "3"}));
            EXPECT_EQ(w.WaitWritten("anun", 2), (V{"3262", "299"}));
            EXPECT_EQ(w.WaitWritten("chmf", 2), (V{"137", "512"}));
            EXPECT_EQ(w.WaitWritten("msmt", 1), V{"1"});
            // DMX with keys, a channel, Return.
            fader([&](CKvsMstFdrDlg* dlg) {
                EXPECT_EQ(dlg->fSource.GetKind(), u32(CExtCtlF::kSacn));
                kindByKeys(dlg, "Down");
                EXPECT_EQ(dlg->fSource.GetKind(), u32(CExtCtlF::kDmx));
                w.TypeNumber(&dlg->fSource.fChannel, "24");
                w.Key("Return");
            });
            EXPECT_EQ(w.WaitWritten("mfct", 3), (V{"1", "3", "2"}));
            EXPECT_EQ(w.WaitWritten("chmf", 3), (V{"137", "512", "24"}));
            // Cancelled: nothing of what was chosen and typed is sent.
            fader([&](CKvsMstFdrDlg* dlg) {
                w.ChoosePopupEntry(kinds(dlg), CExtCtlF::kArtNet);
                w.TypeNumber(&dlg->fSource.fChannel, "77");
                w.Click(PaneAt(&dlg->fCancel));
            });
            w.WaitDeviceIdle();
            EXPECT_EQ(w.Written("mfct").size(), 3u);
            EXPECT_EQ(w.Written("anun").size(), 2u);
            EXPECT_EQ(w.Written("chmf").size(), 3u);
            EXPECT_EQ(w.Written("svmf").size() + w.Written("msmt").size(), 2u);
            for (const char* tag : {"mfct", "anun", "chmf", "svmf", "msmt"})
                EXPECT_EQ(w.WrittenElsewhere(tag), 0u) << tag;
            // Undo in a field of the dialog takes back the field's last change,
            // the cut, not everything typed since it opened; OK sends what it shows.
            fader([&](CKvsMstFdrDlg* dlg) {
                w.ChoosePopupEntry(kinds(dlg), CExtCtlF::kArtNet);
                EXPECT_TRUE(WaitUntil([&] { return dlg->fSource.fArtNet.IsShown(); }, 2000));
                LEditText& net = dlg->fSource.fArtNet.fNet;
                auto shown = [&] { return std::string(net.GetText().CStr()); };
                w.TypeNumber(&net, "3");
                w.Key("ctrl+a");
                w.Key("ctrl+x");
                EXPECT_TRUE(WaitUntil([&] { return shown().empty(); }, 2000)) << shown();
                w.Key("ctrl+z");
                EXPECT_TRUE(WaitUntil([&] { return shown() == "3"; }, 2000)) << shown();
                w.Click(PaneAt(&dlg->fOk));
            });
            // net 3; sub-net and universe as the sACN universe 300 left them.
            EXPECT_EQ(w.WaitWritten("anun", 3),
                      (V{"3262", "299", std::to_string((3 << 8) | 0x2B)}));
            w.WaitDeviceIdle();
            EXPECT_EQ(w.Written("anun").size(), 3u);
            EXPECT_EQ(w.Written("mfct").size(), 4u);
        }

        // Writes to 1201 other than of its universe addresses: none may come
        // of an Undo in a window that is not the play edit's.
        auto playWrites = [&] {
            w.WaitDeviceIdle();
            size_t n = 0;
            for (const std::string& line : sim.Log())
                if (line.rfind("chan ", 0) == 0 && line.find("op=write") != std::string::npos &&
                    SimDeviceProcess::Field(line, "path").find("uvas") == std::string::npos)
                    ++n;
            return n;
        };

        // ---- Universe Addresses, whose history is its own: "+", a count of
        // 4, then Ctrl+Z four times takes back those two steps and nothing of
        // the play edit's below (the scene parameters typed above).
        {
            UvadRow r;
            ASSERT_NO_FATAL_FAILURE(AddUvadRow(p, false, r));
            MWindow* uvWin = r.win;
            CRecord* table = r.table;
            const u32 rows = r.rows;
            w.Key("Return");
            EXPECT_EQ(w.WaitWritten("flws", 1), std::vector<std::string>{"3"});
            EXPECT_TRUE(w.Enabled(uvWin, "Edit", "Undo"));
            w.Key("ctrl+z");
            EXPECT_EQ(w.WaitWritten("flws", 2), (std::vector<std::string>{"3", "0"}));
            w.Key("ctrl+z");
            EXPECT_TRUE(WaitUntil([&] { return table->GetListCount(UvasF::uvas) == rows; }, 3000));
            w.AwaitQuiet("the row taken back");
            w.Key("ctrl+z");
            w.Key("ctrl+z");
            EXPECT_EQ(playWrites(), 0u) << "an Undo in the universe window reached the play edit";
            EXPECT_EQ(table->GetListCount(UvasF::uvas), rows);
            EXPECT_FALSE(w.Enabled(uvWin, "Edit", "Undo"));
            w.Shot("uvad_undo");
            r.uv->HideWindow();
        }

        // ---- The speed calculator's difference field: each change of its
        // text taken back by Ctrl+Z and made again by Ctrl+Shift+Z, nothing
        // stored meanwhile and nothing sent to the device.
        {
            MWindow* spd = nullptr;
            CKvsSpdCalcDlg* calc = nullptr;
            ASSERT_NO_FATAL_FAILURE(OpenFrame(w, ctl, "KEVOruneSet", "Speed Calculator",
                                              "Speed Calculator", spd, calc));
            w.Activate(spd);
            sim.Cmd("log clear");
            LEditText& diff = calc->fDiff;
            auto shown = [&] { return std::string(diff.GetText().CStr()); };
            auto await = [&](const std::string& want) {
                EXPECT_TRUE(WaitUntil([&] { return shown() == want; }, 2000))
                    << "shows " << shown() << ", not " << want;
            };
            const struct {
                const char* what;
                const char* keys;  // null: typed
                const char* before;
                const char* after;
            } rows[] = {
                {"typed", nullptr, "0.0", "4"},
                {"cut", "ctrl+x", "4.0", ""},
                {"pasted", "ctrl+v", "0.0", "4.0"},
                {"deleted", "Delete", "4.0", ""},
            };
            for (const auto& r : rows) {
                SCOPED_TRACE(r.what);
                await(r.before);
                // Focused anew: all of its text selected.
                w.Click(PaneAt(&diff));
                EXPECT_TRUE(WaitUntil([&] { return diff.Engine() != nullptr; }, 2000));
                w.Key("ctrl+a");
                if (r.keys)
                    w.Key(r.keys);
                else
                    w.Type("4");
                await(r.after);
                w.Key("ctrl+z");
                await(r.before);
                w.Key("ctrl+shift+z");
                await(r.after);
                // Left: the text is the value.
                w.Key("Tab");
                EXPECT_TRUE(WaitUntil([&] { return diff.Engine() == nullptr; }, 2000));
            }
            await("0.0");
            EXPECT_FALSE(w.Enabled(spd, "Edit", "Undo"));
            EXPECT_EQ(playWrites(), 0u);
            w.Shot("speedcalc_undo");
            calc->HideWindow();
        }

        // ---- The schedule window: one bar; a period's range laid out at once.
        ASSERT_TRUE(w.Choose(ctl, "Play", "Use Schedule"));
        MWindow* schWin = nullptr;
        ASSERT_TRUE(
            WaitUntil([&] { return (schWin = WindowTitled("Schedule")) != nullptr; }, 5000));
        auto* sch = FrameOf<CKvsSchWin>(schWin);
        ASSERT_NE(sch, nullptr);
        w.Activate(schWin);
        EXPECT_EQ(BarTitles(schWin), "KEVOruneSet File Edit Network Schedule Window Help");
        w.Click(PaneAt(&sch->EditFrame()->fAdd));
        ASSERT_TRUE(WaitUntil([&] { return sch->EditFrame()->fList->Count() == 1; }, 3000));
        w.AwaitQuiet("the event added");
        w.Click(PaneAt(sch->EditFrame()->fAddPeriod));
        CSchPrdList* periods = sch->EditFrame()->fPeriods;
        ASSERT_TRUE(WaitUntil([&] { return periods->Rows() == 1; }, 3000));
        w.AwaitQuiet("the period added");
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
            EXPECT_TRUE(WaitUntil([&] { return whites() > 2 * before; }, 2000))
                << "the row still shows the fields of its old range: " << before << " " << whites();
        }
        w.Shot("schedule");

        // ---- Aux Play: no wider than it needs.
        ASSERT_TRUE(w.Choose(ctl, "Play", "Aux Play"));
        MWindow* auxWin = nullptr;
        ASSERT_TRUE(
            WaitUntil([&] { return (auxWin = WindowTitled("Aux Play")) != nullptr; }, 5000));
        WaitShown(auxWin);
        EXPECT_LE(auxWin->frameGeometry().width(), 1000);
        EXPECT_EQ(BarTitles(auxWin), "KEVOruneSet File Edit Network Window Help");
        w.Shot("auxplay");

        auxWin->Owner()->GetFrame()->HideWindow();

        // ---- Typed, then the view switched by the user: stored once before the
        // play settings go; then back to them.
        {
            w.Activate(ctl);
            selectScene(0);
            sim.Cmd("log clear");
            w.TypeNumber(&fp->fFade, "6");
            AlertGuard guard("switching the view");
            QComboBox* view = Walk::PopupAt(PaneAt(&screen->Window().fView));
            w.ChoosePopupEntry(view, 0);
            EXPECT_TRUE(WaitUntil([&] { return screen->PlayView() == nullptr; }, 15000));
            EXPECT_EQ(w.WaitWritten("fdtm", 1), std::vector<std::string>{"6000"});
            w.Shot("other_view");
            w.ChoosePopupEntry(view, 1);
            ASSERT_TRUE(WaitUntil([&] { return screen->PlayView() != nullptr; }, 15000));
            auto* play = dynamic_cast<CDrcCmdHandler*>(screen->PlayView());
            ASSERT_NE(play, nullptr);
            frame = play->Frame();
            ASSERT_TRUE(WaitUntil([&] { return frame->IsShown(); }, 5000));
            EXPECT_EQ(w.Written("fdtm").size(), 1u);
        }

        // ---- Typed, then the control window closed: stored before it goes.
        {
            seqs = frame->SeqSettings();
            ASSERT_EQ(seqs->GetListCount(SqstF::sqcs), 1u);
            seq = seqs->GetListItem(SqstF::sqcs, 0);
            w.Activate(ctl);
            w.Click(RowAt(frame->List(), 0));
            scenes = frame->SceneEdit();
            ASSERT_TRUE(WaitUntil([&] { return scenes->IsShown(); }, 3000));
            fp = &scenes->Params()->Fields();
            selectScene(0);
            sim.Cmd("log clear");
            w.TypeNumber(&fp->fFade, "4");
            AlertGuard guard("closing the control window");
            ASSERT_TRUE(w.Choose(ctl, "File", "Close"));
            EXPECT_TRUE(WaitUntil([&] { return !ctl->isVisible(); }, 10000));
            EXPECT_EQ(w.WaitWritten("fdtm", 1), std::vector<std::string>{"4000"});
        }

        EXPECT_EQ(gWarnings, std::vector<std::string>());
    });
}

// "Lists and fields" at 24 pt on a 1280 x 800 screen: the play settings no
// longer fit the window, which scrolls them. The user pages with the bars to
// the clip's fields and types there, and Tab brings each field into sight.
// Undo takes the window's own edits back; a check box clicked between edits
// and the view replaced with an edit open lose nothing. Each value reaches
// 1201 once.
void WalkLargeFonts(const XvfbHarness& x, NetnsHarness& net, const TempDir& dir) {
    WithPlayEdit(x, net, dir, [&](PlayEdit& p) {
        Walk& w = p.w;
        CKvsPlayFrm* frame = p.frame;
        LScrollFrame& scroll = p.screen->Window().fScroll;
        EXPECT_FALSE(scroll.HBar().IsShown() || scroll.VBar().IsShown());
        SetSlotSize(1, 24.0f);
        auto pageTo = [&](LPane* pane, LRect part = LRect()) { PageTo(w, scroll, pane, part); };

        // A sequence with two scenes, the first chosen.
        CRecord* seqs = nullptr;
        CKvsScnEdF* scenes = nullptr;
        CRecord* seq = nullptr;
        ASSERT_NO_FATAL_FAILURE(AddSequence(w, frame, &scroll, 2, seqs, scenes, seq));
        ASSERT_NO_FATAL_FAILURE(ChooseFirstScene(w, scroll, scenes, seq));
        // Larger than the window at this size: the bars show.
        EXPECT_TRUE(scroll.HBar().IsShown() || scroll.VBar().IsShown());
        w.Shot("large_fonts");

        CKvsScnPrmF::CContent* fp = &scenes->Params()->Fields();
        p.sim.Cmd("log clear");
        // Paged to by the bars, typed, ended by Return and by Tab.
        const FieldEdit edits[] = {
            {"fade, Return", &fp->fFade, "2.5", "fdtm", "2500", [&] { w.Key("Return"); }},
            {"level, Tab", &fp->fVol, "75", "volm", "192", [&] { w.Key("Tab"); }},
        };
        for (const FieldEdit& e : edits) {
            SCOPED_TRACE(e.what);
            pageTo(e.field);
            w.TypeAndEnd(e);
        }
        w.Shot("large_fonts_fields");
        using V = std::vector<std::string>;
        // Undo in this window takes its own edits back, the last first.
        w.Key("ctrl+z");
        EXPECT_EQ(w.WaitWritten("volm", 2), (V{"192", "256"}));
        w.Key("ctrl+z");
        EXPECT_EQ(w.WaitWritten("fdtm", 2), (V{"2500", "0"}));
        EXPECT_TRUE(WaitUntil([&] { return fp->fVol.GetText() == LString("100"); }, 2000));
        // Paged back to the sequences, then Tab from the start time through
        // the clip: each field that takes the keys is brought into sight.
        pageTo(&fp->fStart);
        w.TypeNumber(&fp->fStart, "00:00:01.00");
        w.Key("Escape");
        pageTo(&frame->PlusButton());
        for (LEditText* f : std::vector<LEditText*>{&fp->fEnd, &fp->fFade, &fp->fVol, &fp->fRate}) {
            w.Key("Tab");
            EXPECT_TRUE(WaitUntil([&] { return f->Engine() != nullptr; }, 2000));
            EXPECT_TRUE(WaitUntil([&] { return SeenWhole(f); }, 2000));
        }
        w.Key("Escape");
        // A check box clicked after typing, then back into a field: the
        // number typed there arrives whole, though the view is replaced
        // (the view pop-up) while its edit is open.
        pageTo(&scenes->Repeat());
        w.Click(PaneAt(&scenes->Repeat(), 6));
        EXPECT_EQ(w.WaitWritten("rept", 1), V{"1"});
        pageTo(&fp->fFade);
        w.TypeNumber(&fp->fFade, "3.5");
        // The device files, chosen in the view pop-up, fit the window: no bar.
        w.Click(PaneAt(&p.screen->Window().fView));
        ASSERT_TRUE(Await("the view pop-up open",
                          [] { return QApplication::activePopupWidget() != nullptr; }));
        w.Key("Up Return");
        ASSERT_TRUE(WaitUntil([&] { return p.screen->FilesView() != nullptr; }, 10000));
        LoopDrained();
        EXPECT_FALSE(scroll.HBar().IsShown() || scroll.VBar().IsShown());
        w.Shot("large_fonts_files");
        EXPECT_EQ(w.WaitWritten("fdtm", 3), (V{"2500", "0", "3500"}));
        EXPECT_EQ(w.Written("volm"), (V{"192", "256"}));
        EXPECT_EQ(w.Written("rept"), V{"1"});
        for (const char* tag : {"fdtm", "volm", "rept"})
            EXPECT_EQ(w.WrittenElsewhere(tag), 0u) << tag;
        EXPECT_EQ(gWarnings, std::vector<std::string>());
    });
}

// Every font slot at 24 pt on a small screen: the play settings, the
// universe addresses and the schedule scroll to each field. Tab from Fade
// reaches Level out of sight and brings it in; the wheel over the view
// scrolls it; Tab from a row's universe count reaches its IP address; "+"
// makes a schedule event. Each value reaches 1201 once, as typed.
void WalkSmallScreen(const XvfbHarness& x, NetnsHarness& net, const TempDir& dir) {
    WithPlayEdit(x, net, dir, [&](PlayEdit& p) {
        Walk& w = p.w;
        SimDeviceProcess& sim = p.sim;
        CKvsPlayFrm* frame = p.frame;
        LScrollFrame& scroll = p.screen->Window().fScroll;
        for (u32 slot = 0; slot < 4; ++slot) SetSlotSize(slot, 24.0f);
        auto pageTo = [&](LPane* pane, LRect part = LRect()) { PageTo(w, scroll, pane, part); };
        using V = std::vector<std::string>;

        // ---- The play settings: a sequence with a scene, the scene chosen.
        CRecord* seqs = nullptr;
        CKvsScnEdF* scenes = nullptr;
        CRecord* seq = nullptr;
        ASSERT_NO_FATAL_FAILURE(AddSequence(w, frame, &scroll, 1, seqs, scenes, seq));
        ASSERT_NO_FATAL_FAILURE(ChooseFirstScene(w, scroll, scenes, seq));
        EXPECT_TRUE(scroll.HBar().IsShown() || scroll.VBar().IsShown());
        CKvsScnPrmF::CContent* fp = &scenes->Params()->Fields();
        sim.Cmd("log clear");
        // Fade clicked with Level below the port (the bar's up arrow pages
        // back), then Tab: Level takes the keys and comes into sight.
        pageTo(&fp->fFade);
        const LRect bar = scroll.VBar().Bounds();
        const QPoint up = ScreenPoint(&scroll.VBar(), LPoint{bar.Width() / 2, 4});
        for (int i = 0; i < 40 && SeenWhole(&fp->fVol) && SeenWhole(&fp->fFade); ++i) {
            w.Click(up);
            LoopDrained();
        }
        ASSERT_TRUE(SeenWhole(&fp->fFade) && !SeenWhole(&fp->fVol));
        w.Click(PaneAt(&fp->fFade));
        ASSERT_TRUE(WaitUntil([&] { return fp->fFade.Engine() != nullptr; }, 2000));
        w.Key("Tab");
        EXPECT_TRUE(WaitUntil([&] { return fp->fVol.Engine() != nullptr; }, 2000));
        EXPECT_TRUE(WaitUntil([&] { return SeenWhole(&fp->fVol); }, 2000));
        w.Key("ctrl+a BackSpace");
        w.Type("55");
        w.Key("Return");
        EXPECT_EQ(w.WaitWritten("volm", 1), V{"141"});
        EXPECT_EQ(w.Written("fdtm"), V{});
        w.Shot("small_level");
        // The wheel over a field of the view that does not use it scrolls the view.
        pageTo(&fp->fRate);
        const i32 top = scroll.ScrollY(), left = scroll.ScrollX();
        const QPoint over = PaneAt(&fp->fRate);
        x.Xdotool("mousemove " + std::to_string(over.x()) + " " + std::to_string(over.y()) +
                  " click 4 click 4 click 4 click 5");
        EXPECT_TRUE(
            WaitUntil([&] { return scroll.ScrollY() != top || scroll.ScrollX() != left; }, 3000))
            << "the wheel over the view scrolled nothing";

        // ---- Universe Addresses: a row's count, Tab to its IP address.
        {
            UvadRow r;
            ASSERT_NO_FATAL_FAILURE(AddUvadRow(p, true, r));
            CKvsUvadCell* cell = r.cell;
            w.Key("Tab");
            EXPECT_TRUE(WaitUntil([&] { return cell->fIp.Engine() != nullptr; }, 2000))
                << "Tab from the count left the address without the keys";
            EXPECT_TRUE(WaitUntil([&] { return SeenWhole(&cell->fIp); }, 2000));
            w.Type("10.0.0.9");
            w.Key("Return");
            EXPECT_EQ(w.WaitWritten("ipad", 1), V{"10.0.0.9"});
            EXPECT_EQ(w.Written("flws"), V{"3"});
            EXPECT_EQ(r.table->GetListItem(UvasF::uvas, r.rows)->GetU32(UvadF::univ), 0u);
            w.Shot("small_uvad");
            r.uv->HideWindow();
        }

        // ---- The schedule: its list drawn, "+" makes an event.
        {
            MWindow* schWin = nullptr;
            CKvsSchWin* sch = nullptr;
            ASSERT_NO_FATAL_FAILURE(
                OpenFrame(w, p.ctl, "Play", "Use Schedule", "Schedule", schWin, sch));
            w.Activate(schWin);
            CKvsSchList* list = sch->EditFrame()->fList;
            EXPECT_GE(list->Bounds().Height(), list->CellHeight()) << "the event list not drawn";
            w.AwaitQuiet("the schedule in use");
            sim.Cmd("log clear");
            PageTo(w, sch->Scroll(), &sch->EditFrame()->fAdd);
            w.Click(PaneAt(&sch->EditFrame()->fAdd));
            ASSERT_TRUE(WaitUntil([&] { return list->Count() == 1; }, 3000));
            w.AwaitQuiet("the event added");
            size_t events = 0;
            for (const std::string& line : sim.Log())
                if (line.find("op=write") != std::string::npos &&
                    SimDeviceProcess::Field(line, "path").find("flts") != std::string::npos)
                    ++events;
            EXPECT_GT(events, 0u) << "the new event was not written";
            w.Shot("small_schedule");
        }
        EXPECT_EQ(gWarnings, std::vector<std::string>());
    });
}

TEST(EditorsWalk, SmallScreen1024LargeFonts) {
    RunPlayEditWalk("1024x768", "walksmall1", WalkSmallScreen);
}

TEST(EditorsWalk, SmallScreen800LargeFonts) {
    RunPlayEditWalk("800x600", "walksmall8", WalkSmallScreen);
}

TEST(EditorsWalk, LargeFontsScrollTheViewToTheClipsFields) {
    RunPlayEditWalk("1280x800", "walklarge", WalkLargeFonts);
}

TEST(EditorsWalk, FieldsAndWindowsOfThePlayEdit) {
    RunPlayEditWalk("1600x1000", "walk", WalkEditors);
}

}  // namespace
