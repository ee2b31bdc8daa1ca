// Every Edit command of every list in every window of the play edit, as a user
// meets them under a real X server (Xvfb, openbox, xdotool) against simulated
// devices in namespaces of the test's own (root only): with a row selected by
// a click, with a field of the row focused and with nothing focused, each
// enabled command, chosen from the menu and with its key, changes something
// the user can see (the records, the selection, the clipboard, the windows,
// the focused field) or is disabled. Also Undo with a number being typed, read
// back from the device's log, and the menu bars of the windows after a window
// is closed under its save question or rebuilt beside another device's.
// Windows are found, not named: a window that the play edit can open is swept
// once it is open, with every list it holds.
#include <QApplication>
#include <QClipboard>
#include <QCryptographicHash>
#include <QMimeData>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "PlayEditWalk.h"
#include "devices/files/CKvsFileList.h"
#include "editors/CKvsPlayAsnWin.h"
#include "editors/CKvsScnEdF.h"
#include "editors/CKvsScnList.h"
#include "editors/CKvsSeqList.h"
#include "editors/CKvsScnPrmF.h"
#include "base/CMemStrm.h"
#include "base/LHandle.h"
#include "base/Paths.h"
#include "framework/CMainLoop.h"
#include "framework/LCellListPane.h"
#include "framework/LMenu.h"
#include "framework/LStdCtl.h"
#include "records/CChunkFile.h"
#include "records/CRecordDoc.h"
#include "records/PropRecord.h"
#include "records/Sequences.h"
#include "records/ShowKinds.h"

// Qt's drag on X11 wakes the session bus, whose library keeps a block for the process.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}

using namespace testtftp;

namespace {

template <class F>
void ForEachPaneIn(LFrame* frame, const F& f) {
    for (LLink* l = frame->Children().Head(); !l->IsEnd(); l = l->Next()) {
        auto* pane = static_cast<LPane*>(l);
        f(pane);
        if (auto* sub = dynamic_cast<LFrame*>(pane)) ForEachPaneIn(sub, f);
    }
}

std::vector<LCellListPane*> ListsOf(LFrame* frame) {
    std::vector<LCellListPane*> out;
    ForEachPaneIn(frame, [&](LPane* p) {
        if (auto* list = dynamic_cast<LCellListPane*>(p); list && list->IsShown())
            out.push_back(list);
    });
    return out;
}

std::string Hash(const QByteArray& bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex().left(8).toStdString();
}

std::string RecordHash(const CRecord* r) {
    if (!r) return "-";
    LDataBuf buf;
    {
        CMemStrm s(buf);
        PropRecord::Write(&s, r);
    }
    return Hash(QByteArray(reinterpret_cast<const char*>(buf.Data()), qsizetype(buf.Capacity())));
}

LFrame* FrameOfWindow(MWindow* w) {
    return w && w->Owner() ? w->Owner()->GetFrame() : nullptr;
}

// A window brought to the front from the Window menu of the active one, as a
// user does when it lies under another; by its title bar otherwise.
void Raise(Walk& w, QWidget* win) {
    if (win->isActiveWindow() && w.KeysReachActive()) return;
    QWidget* active = QApplication::activeWindow();
    if (active && w.Choose(active, "Window", win->windowTitle()) &&
        RunUntil([&] { return win->isActiveWindow(); }, 2000) && w.WaitActive(win))
        return;
    w.Activate(win);
}

// The window the walk asks about: Edit commands and their keys.
struct Command {
    const char* item;  // the Edit menu item's title
    const char* key;   // xdotool key
    const char* command;
};
const Command kCommands[] = {
    {"Copy", "ctrl+c", LStdCmd_Copy},  {"Paste", "ctrl+v", LStdCmd_Paste},
    {"Cut", "ctrl+x", LStdCmd_Cut},    {"Undo", "ctrl+z", LStdCmd_Undo},
    {"Redo", "ctrl+shift+z", LStdCmd_Redo}, {"Delete", "Delete", LStdCmd_Delete}};

// Whether the command is enabled, validated as a key press validates it: a
// menu opened to look would leave the bar holding the keyboard.
bool EnabledForKey(const char* command) {
    CMainLoop* loop = CMainLoop::Current();
    LMenuBar* bar = LMenuBar::Current();
    if (!loop || !bar) return false;
    loop->ValidateMenus();
    return bar->FindEnabledItemByCommand(command) != nullptr;
}

struct Sweep {
    Sweep(Walk& walk, PlayEdit& edit) : w(walk), p(edit) {}
    Walk& w;
    PlayEdit& p;
    size_t windows = 0, lists = 0, tried = 0, enabled = 0;
    std::vector<std::string> dead;   // enabled commands that changed nothing
    std::vector<std::string> empty;  // lists the walk could give no row
    bool fCouldAdd = false;          // the last list's window had a button to add a row

    // What the user can see change, in one text.
    std::string Seen(MWindow* win, LCellListPane* list) {
        std::string s;
        for (MWindow* m : ShownWindows()) s += m->windowTitle().toStdString() + "|";
        s += " rows " + std::to_string(list->Rows());
        const LRect b = list->Selection().GetBounds();
        s += " sel " + std::to_string(b.top) + "-" + std::to_string(b.bottom);
        if (const QMimeData* m = QApplication::clipboard()->mimeData()) {
            for (const QString& f : m->formats())
                s += " clip " + f.toStdString() + ":" + Hash(m->data(f));
        }
        if (CKvsPlayCmd* play = p.screen->PlayView()) {
            s += " seq " + RecordHash(play->SeqSettings());
            s += " play " + RecordHash(play->PlaySettings());
        }
        s += " dev " + RecordHash(p.dev->Settings());
        LFrame* frame = FrameOfWindow(win);
        if (auto* field = dynamic_cast<LEditText*>(frame ? frame->FindFocusable() : nullptr))
            s += " field '" + std::string(field->GetText().CStr()) + "'";
        return s;
    }
    // A row that exists, added with the window's plus buttons when the list is empty.
    bool HasRow(MWindow* win, LCellListPane* list) {
        fCouldAdd = false;
        if (list->Rows() > 0) return true;
        ForEachPaneIn(FrameOfWindow(win), [&](LPane* pane) {
            auto* plus = dynamic_cast<CPlusButton*>(pane);
            if (list->Rows() == 0 && plus && plus->IsShown() && plus->IsUsable()) {
                fCouldAdd = true;
                w.Click(PaneAt(plus));
                RunUntil([&] { return list->Rows() > 0; }, 1500);
            }
        });
        // The button layouts are made from the play buttons with a button of their own.
        if (auto* lys = dynamic_cast<CKvsBtnLysWin*>(FrameOfWindow(win)); lys && !list->Rows()) {
            fCouldAdd = true;
            w.Click(PaneAt(&lys->fStore));
            RunUntil([&] { return list->Rows() > 0; }, 1500);
        }
        return list->Rows() > 0;
    }
    // The three ways a user leaves a list: a row clicked, a field of it
    // clicked, the list's empty part clicked. False when the list has no
    // such place.
    bool Reach(MWindow* win, LCellListPane* list, int state) {
        Raise(w, win);
        if (!win->isActiveWindow()) return false;
        if (!HasRow(win, list)) return false;
        const LRect r0 = list->GetCellRect(LCell{0, 0});
        if (state == 0) {
            w.Click(RowAt(list, 0));
            Settle(150);
            return true;
        }
        if (state == 1) {
            w.Click(RowAt(list, 0));
            Settle(150);
            LListCell* cell = list->GetCellFrame(LCell{0, 0}, true);
            LEditText* field = nullptr;
            if (cell)
                ForEachPaneIn(cell, [&](LPane* pane) {
                    auto* e = dynamic_cast<LEditText*>(pane);
                    if (!field && e && e->IsShown() && !e->IsStatic() && !e->IsReadOnly())
                        field = e;
                });
            if (!field) return false;
            if (!field->Engine()) w.Click(PaneAt(field));
            return RunUntil([&] { return field->Engine() != nullptr; }, 1500);
        }
        // Below the last row, when the list shows room there.
        const LRect last = list->GetCellRect(LCell{0, list->Rows() - 1});
        if (last.bottom + 6 >= list->Bounds().bottom) return false;
        const QPoint top = PaneAt(list, 4) - QPoint(0, list->Bounds().Height() / 2);
        w.Click(top + QPoint(0, last.bottom - list->Bounds().top + 4));
        (void)r0;
        Settle(150);
        return true;
    }
    void Try(MWindow* win, LCellListPane* list, int state, const Command& c, bool key) {
        ++tried;
        if (key ? !EnabledForKey(c.command) : !w.Enabled(win, "Edit", c.item)) return;
        ++enabled;
        // A copy of what is already on the clipboard would change nothing.
        if (std::string(c.item) == "Copy" || std::string(c.item) == "Cut")
            QApplication::clipboard()->setText(QStringLiteral("-"));
        const std::string before = Seen(win, list);
        if (key) {
            w.Key(c.key);
        } else {
            EXPECT_TRUE(w.Choose(win, "Edit", c.item));
        }
        const bool changed = RunUntil([&] { return Seen(win, list) != before; }, 1500);
        if (!changed) {
            static const char* const kStates[] = {"row clicked", "field focused", "list clicked"};
            LFrame* frame = FrameOfWindow(win);
            LPane* focus = frame ? frame->FindFocusable() : nullptr;
            dead.push_back(win->windowTitle().toStdString() + ": " + typeid(*list).name() + " " +
                           kStates[state] + ": " + c.item + (key ? " (key)" : " (menu)") +
                           "; focus " + (focus ? typeid(*focus).name() : "none") + "; " + before);
        }
        Settle(150);
    }
    void SweepWindow(MWindow* window) {
        QPointer<MWindow> win(window);
        ++windows;
        Raise(w, win);
        std::fprintf(stderr, "sweep: window '%s'\n", win->windowTitle().toUtf8().constData());
        w.Shot("commands_window_" + std::to_string(windows));
        const size_t count = ListsOf(FrameOfWindow(win)).size();
        for (size_t n = 0; n < count; ++n) {
            ++lists;
            for (int state = 0; state < 3; ++state) {
                for (const Command& c : kCommands) {
                    for (bool key : {false, true}) {
                        // The keys once, where a field holds the focus.
                        if (key && state != 1) continue;
                        // Looked up afresh: a command may rebuild the window.
                        if (!win || !win->isVisible()) return;
                        const std::vector<LCellListPane*> now = ListsOf(FrameOfWindow(win));
                        if (n >= now.size()) return;
                        LCellListPane* list = now[n];
                        if (!Reach(win, list, state)) {
                            // A list that a button of its window fills must be
                            // worked on; one filled by the device (its card's
                            // files) may be empty here.
                            if (state == 0 && c.item == kCommands[0].item && !key && fCouldAdd &&
                                !dynamic_cast<CKvsFileList*>(list))
                                empty.push_back(win->windowTitle().toStdString() + ": " +
                                                typeid(*list).name());
                            break;
                        }
                        Try(win, list, state, c, key);
                    }
                }
            }
        }
    }
};

// The windows the Play menu opens and that stay open beside the control window.
const char* const kOpeners[] = {"Play Buttons", "Auto Play", "PWDW", "Background Music",
                                "Aux Play", "Use Schedule"};

void SweepPlayEdit(PlayEdit& p, size_t* windows, size_t* lists, size_t* commands) {
    Walk& w = p.w;
    Sweep sweep(w, p);
    // The control window first, then every window the Play menu opens, and the
    // windows those open (the button layouts from the play buttons).
    sweep.SweepWindow(p.ctl);
    std::set<MWindow*> swept{p.ctl};
    // Until a window more is shown than before: windows open on the program's time.
    auto opened = [](size_t before) {
        RunUntil([&] { return ShownWindows().size() > before; }, 5000);
        Settle(300);
    };
    for (const char* item : kOpeners) {
        Raise(w, p.ctl);
        const size_t before = ShownWindows().size();
        if (!w.Choose(p.ctl, "Play", item)) continue;
        opened(before);
        // A choice that a busy machine lost is made once more.
        if (ShownWindows().size() == before) {
            Raise(w, p.ctl);
            if (w.Choose(p.ctl, "Play", item)) opened(before);
        }
        for (MWindow* m : ShownWindows()) {
            if (swept.count(m) || !m->Owner() || m == p.ctl) continue;
            swept.insert(m);
            // The play buttons open the button layouts from a button of their own.
            if (auto* asn = dynamic_cast<CKvsPlayAsnWin*>(FrameOfWindow(m))) {
                Raise(w, m);
                const size_t shown = ShownWindows().size();
                w.Click(PaneAt(&asn->fLayoutsBtn));
                opened(shown);
            }
        }
    }
    // The Universe Addresses of the device menu.
    Raise(w, p.ctl);
    const size_t shown = ShownWindows().size();
    if (w.Choose(p.ctl, "Device", "Universe Addresses")) opened(shown);
    // A command may take a window with it (the undo of what made it): each is
    // looked at while it is still there.
    std::vector<QPointer<MWindow>> open;
    for (MWindow* m : ShownWindows()) open.emplace_back(m);
    for (const QPointer<MWindow>& m : open)
        if (m && m->isVisible() && m->Owner() && m != p.ctl &&
            !dynamic_cast<CKvsDevWin*>(FrameOfWindow(m)) && !ListsOf(FrameOfWindow(m)).empty())
            sweep.SweepWindow(m);
    for (const std::string& d : sweep.dead) ADD_FAILURE() << "changed nothing: " << d;
    for (const std::string& e : sweep.empty) ADD_FAILURE() << "no row to work on: " << e;
    *windows += sweep.windows;
    *lists += sweep.lists;
    *commands += sweep.enabled;
    std::fprintf(stderr, "sweep: %zu windows, %zu lists, %zu commands tried, %zu enabled\n",
                 sweep.windows, sweep.lists, sweep.tried, sweep.enabled);
}

void WalkStandard(const XvfbHarness& x, NetnsHarness& net, const TempDir& dir) {
    WithPlayEdit(x, net, dir, [&](PlayEdit& p) {
        Walk& w = p.w;
        SimDeviceProcess& sim = p.sim;
        CKvsPlayFrm* frame = p.frame;

        // ---- Undo with a number being typed: the number is stored, then taken back.
        w.Click(PaneAt(&frame->PlusButton()));
        CRecord* seqs = frame->SeqSettings();
        ASSERT_TRUE(RunUntil([&] { return seqs->GetListCount(SqstF::sqcs) == 1; }, 3000));
        CKvsScnEdF* scenes = frame->SceneEdit();
        ASSERT_TRUE(RunUntil([&] { return scenes->IsShown(); }, 3000));
        CRecord* seq = seqs->GetListItem(SqstF::sqcs, 0);
        w.Click(PaneAt(&scenes->PlusButton()));
        ASSERT_TRUE(RunUntil([&] { return seq->GetListCount(SqncF::scns) == 1; }, 3000));
        Settle(400);
        w.Click(RowAt(scenes->List(), 0));
        Settle(300);
        CKvsScnPrmF::CContent* fp = &scenes->Params()->Fields();
        sim.Cmd("log clear");
        w.TypeNumber(&fp->fFade, "2.5");
        w.Key("Return");
        ASSERT_EQ(w.WaitWritten("fdtm", 1), std::vector<std::string>{"2500"});
        // The channel sends a field's value as it stands when it goes out, so
        // an edit stored and at once taken back may reach the device as the
        // value before it alone; what counts is where the device ends.
        const struct {
            const char* how;
            const char* typed;
            f64 before;  // seconds: the value Undo comes back to
        } undos[] = {{"key", "4", 2.5}, {"menu", "6", 4.0}};
        for (const auto& u : undos) {
            SCOPED_TRACE(u.how);
            const std::string was = std::to_string(i64(u.before * 1000));
            const std::string typed = std::to_string(std::stoi(u.typed) * 1000);
            w.TypeNumber(&fp->fFade, u.typed);
            const size_t sent = w.Written("fdtm").size();
            if (std::string(u.how) == "key")
                w.Key("ctrl+z");
            else
                ASSERT_TRUE(w.Choose(p.ctl, "Edit", "Undo"));
            std::vector<std::string> got = w.WaitWritten("fdtm", sent + 1);
            ASSERT_GT(got.size(), sent);
            EXPECT_EQ(got.back(), was);
            // The typed number does not stay on screen over the value taken back.
            EXPECT_TRUE(RunUntil([&] { return fp->fFade.GetValue() == u.before; }, 2000))
                << fp->fFade.GetText().CStr();
            // Nothing older was taken back: Redo brings the typed number again,
            // and Undo once more the value before it.
            ASSERT_TRUE(w.Choose(p.ctl, "Edit", "Redo"));
            got = w.WaitWritten("fdtm", got.size() + 1);
            EXPECT_EQ(got.back(), typed);
            ASSERT_TRUE(w.Choose(p.ctl, "Edit", "Undo"));
            got = w.WaitWritten("fdtm", got.size() + 1);
            EXPECT_EQ(got.back(), was);
            ASSERT_TRUE(w.Choose(p.ctl, "Edit", "Redo"));
            got = w.WaitWritten("fdtm", got.size() + 1);
            EXPECT_EQ(got.back(), typed);
            for (const std::string& v : got) EXPECT_TRUE(v == "2500" || v == "4000" || v == "6000") << v;
        }
        EXPECT_EQ(w.WrittenElsewhere("fdtm"), 0u);
        w.Shot("commands_undo");

        // ---- every list of every window.
        size_t windows = 0, lists = 0, commands = 0;
        SweepPlayEdit(p, &windows, &lists, &commands);
        EXPECT_GE(windows, 6u);
        EXPECT_GE(lists, 8u);
        EXPECT_GT(commands, 0u);
        w.Shot("commands_sweep");
        EXPECT_EQ(gWarnings, std::vector<std::string>());
    });
}

// The NSQ editor's lists (sequences, tracks) and its windows.
void WalkNsq(const XvfbHarness& x, NetnsHarness& net, const TempDir& dir) {
    WithPlayEdit(
        x, net, dir,
        [&](PlayEdit& p) {
            size_t windows = 0, lists = 0, commands = 0;
            SweepPlayEdit(p, &windows, &lists, &commands);
            EXPECT_GE(lists, 2u);
            EXPECT_GT(commands, 0u);
            p.w.Shot("commands_nsq_sweep");
            EXPECT_EQ(gWarnings, std::vector<std::string>());
        },
        2);
}

// The bars read once the windows have come and gone.
void WalkBars(const XvfbHarness& x, NetnsHarness& net, const TempDir& dir) {
    WithPlayEdit(x, net, dir, [&](PlayEdit& p) {
        Walk& w = p.w;
        auto* devwin = static_cast<CKvsDevWin*>(p.kvs->DevDoc()->View());
        MWindow* devQt = nullptr;
        for (MWindow* m : ShownWindows())
            if (FrameOfWindow(m) == devwin) devQt = m;
        ASSERT_NE(devQt, nullptr);
        const std::string devBar = "KEVOruneSet File Edit Network Device Window Help";
        const std::string ctlBar = "KEVOruneSet File Edit Network Device Play Window Help";
        const std::string editBar = "KEVOruneSet File Edit Network Window Help";

        // (b) the schedule of 1201 open, the control window of 305 open, the
        // view of 1201 switched to its files and back.
        ASSERT_TRUE(w.Choose(p.ctl, "Play", "Use Schedule"));
        MWindow* sch = nullptr;
        ASSERT_TRUE(RunUntil([&] { return (sch = WindowTitled("Schedule")) != nullptr; }, 5000));
        EXPECT_EQ(sch->windowTitle().toStdString().rfind("1201", 0), 0u);
        Raise(w, devQt);
        const LRect content = devwin->Window()->GetContentScreenRect();
        const u64 tl = devwin->fList->GetTopLeftIn(nullptr);
        const i32 rowH = std::max(1, i32(devwin->fList->CellHeight()));
        const QPoint row0(content.left + i32(LPane::UnpackX(tl)) + 20,
                          content.top + i32(LPane::UnpackY(tl)) + rowH / 2);
        w.Click(row0);
        Settle(700);
        w.Click(row0, 2);
        MWindow* other = nullptr;
        ASSERT_TRUE(
            RunUntil([&] { return (other = WindowTitled("305 -KEVOrune")) != nullptr; }, 15000));
        // Beside the first, as a user would move it: both open at one place.
        x.Xdotool("windowmove " + std::to_string(other->winId()) + " 820 420");
        Settle(800);
        w.Shot("commands_bars_two");
        for (int round = 0; round < 2; ++round) {
            for (const char* keys : {"Up Return", "Down Return"}) {
                Raise(w, p.ctl);
                w.Click(PaneAt(&p.screen->Window().fView));
                Settle(400);
                w.Key(keys);
                Settle(1500);
            }
            ASSERT_TRUE(RunUntil([&] { return p.screen->PlayView() != nullptr; }, 10000));
            for (MWindow* m : {devQt, other, p.ctl}) {
                Raise(w, m);
                Settle(300);
                EXPECT_EQ(BarTitles(m), m == devQt ? devBar : ctlBar) << "round " << round;
            }
        }

        // (a) a play-settings file opened, its sequence renamed, closed with
        // the close key and not saved.
        CRecordDoc seqs(NewSeqSettingsRecord());
        seqs.Root()->SetU8(nullptr, SqstF::sqfm, 1);
        CRecordDoc play(NewPlaySetRecord());
        LDataBuf buffer;
        CChunkFile file;
        file.OpenWrite(FourCC("YKVS"), FourCC("DPLS"), buffer);
        file.WriteRecord(seqs.Root());
        file.WriteRecord(play.Root());
        file.Close();
        const std::string path = dir.Path() + "/bars.kvplay";
        FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(buffer.Data(), 1, file.WrittenSize(), f);
        std::fclose(f);
        for (int round = 0; round < 2; ++round) {
            SCOPED_TRACE("file round " + std::to_string(round));
            LString url;
            PosixPathToFileUrl(&url, LString(path.c_str()));
            const std::vector<MWindow*> before = ShownWindows();
            p.kvs->DevDoc()->AddFileController()->OpenFile(url);
            MWindow* fileWin = nullptr;
            ASSERT_TRUE(RunUntil(
                [&] {
                    for (MWindow* m : ShownWindows())
                        if (std::find(before.begin(), before.end(), m) == before.end() &&
                            dynamic_cast<CKvsDevCtlWin*>(FrameOfWindow(m)))
                            fileWin = m;
                    return fileWin != nullptr;
                },
                10000));
            x.Xdotool("windowmove " + std::to_string(fileWin->winId()) + " 420 300");
            Settle(600);
            Raise(w, fileWin);
            EXPECT_EQ(BarTitles(fileWin), ctlBar);
            auto* fileFrame = dynamic_cast<CKvsDevCtlWin*>(FrameOfWindow(fileWin));
            ASSERT_NE(fileFrame, nullptr);
            CKvsPlayFrm* pf = nullptr;
            ForEachPaneIn(fileFrame, [&](LPane* pane) {
                if (auto* x = dynamic_cast<CKvsPlayFrm*>(pane)) pf = x;
            });
            ASSERT_NE(pf, nullptr);
            w.Click(PaneAt(&pf->PlusButton()));
            ASSERT_TRUE(RunUntil([&] { return pf->List()->Rows() > 0; }, 3000));
            // The answer to the save question: Don't Save.
            ModalScript answer({{300, [](LFrame* dlg) {
                                     if (auto* d = dynamic_cast<CSaveChangesDialog*>(dlg))
                                         LHandler::Send(LStdCtl_Selected, &d->fDontSave, d);
                                 }}});
            // Sent without waiting for its release: the question's own loop takes it.
            ASSERT_TRUE(w.WaitActive(fileWin));
            x.XdotoolAsync("key ctrl+w");
            EXPECT_TRUE(RunUntil([&] { return answer.Done() && !fileWin->isVisible(); }, 10000));
            EXPECT_TRUE(answer.Seen()) << "no save question";
            Settle(500);
            for (MWindow* m : {devQt, p.ctl, other}) {
                Raise(w, m);
                Settle(300);
                EXPECT_EQ(BarTitles(m), m == devQt ? devBar : ctlBar);
            }
            // The schedule went with the view it belonged to: opened again.
            Raise(w, p.ctl);
            ASSERT_TRUE(w.Choose(p.ctl, "Play", "Use Schedule"));
            MWindow* sch2 = nullptr;
            ASSERT_TRUE(
                RunUntil([&] { return (sch2 = WindowTitled("Schedule")) != nullptr; }, 5000));
            Raise(w, sch2);
            Settle(300);
            EXPECT_EQ(BarTitles(sch2), "KEVOruneSet File Edit Network Schedule Window Help");
        }
        w.Shot("commands_bars");
        (void)editBar;
        EXPECT_EQ(gWarnings, std::vector<std::string>());
    });
}

TEST(CommandsWalk, EveryEnabledCommandOfEveryListDoesWhatItNames) {
    RunPlayEditWalk("1600x1000", "cmdwalk", WalkStandard);
}

TEST(CommandsWalk, EveryEnabledCommandOfTheNsqListsDoesWhatItNames) {
    RunPlayEditWalk("1600x1000", "cmdnsq", WalkNsq);
}

TEST(CommandsWalk, BarsHoldEachWindowsOwnMenusOnce) {
    RunPlayEditWalk("1600x1000", "cmdbars", WalkBars);
}

}  // namespace
