// Every Edit command of every list in every window of the play edit, as a user
// meets them under a real X server (Xvfb, openbox, xdotool) against simulated
// devices in namespaces of the test's own (root only): with a row selected by
// a click, with a field of the row focused and with nothing focused, each
// enabled command, chosen from the menu and with its key, changes something
// the user can see (the records, the selection, the clipboard, the windows,
// the focused field) or is disabled; the Delete key in a focused field leaves
// the list alone. Also Undo with a number being typed, read
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
#include "PlayFileOnDisk.h"
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
#include "framework/CNumVol.h"
#include "framework/LCellListPane.h"
#include "framework/LMenu.h"
#include "framework/LStdCtl.h"
#include "records/CChunkFile.h"
#include "records/CRecordDoc.h"
#include "records/PlayGrid.h"
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

// The window brought to the front, holding the keyboard, and its bar built.
void Fronted(Walk& w, QWidget* win) {
    Raise(w, win);
    Await(
        "'" + win->windowTitle().toStdString() + "' active with the keyboard",
        [&] { return win->isActiveWindow() && w.KeysReachActive(); }, 5000, kLookMs);
    LoopDrained();
}

// A window moved by the window manager to a point of the screen, as a user
// would move it; back once it stands there and is drawn.
void MoveTo(const XvfbHarness& x, QWidget* win, QPoint to) {
    x.Xdotool("windowmove " + std::to_string(win->winId()) + " " + std::to_string(to.x()) + " " +
              std::to_string(to.y()));
    Await("'" + win->windowTitle().toStdString() + "' moved", [&] {
        return win->geometry().topLeft() == to || win->frameGeometry().topLeft() == to;
    });
    WaitShown(win);
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
            ClickRow(list);
            return true;
        }
        if (state == 1) {
            ClickRow(list);
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
        LoopDrained();
        return true;
    }
    // The first row clicked; back once the program has taken the click and
    // run what it queued. A list whose rows are buttons (the schedule's days)
    // selects nothing: told, and its commands say what they do.
    void ClickRow(LCellListPane* list) {
        w.Click(RowAt(list, 0));
        LoopDrained();
        if (!list->IsSelected(LCell{0, 0}))
            std::fprintf(stderr, "sweep: a click on the first row of %s selected nothing\n",
                         typeid(*list).name());
    }
    void Try(MWindow* win, LCellListPane* list, int state, const Command& c, bool key) {
        ++tried;
        // With a field focused, a menu opened to look and closed with Escape
        // would leave the bar holding the keyboard, the field's selection gone.
        if (key || state == 1 ? !EnabledForKey(c.command) : !w.Enabled(win, "Edit", c.item))
            return;
        ++enabled;
        // A copy of what is already on the clipboard would change nothing.
        if (std::string(c.item) == "Copy" || std::string(c.item) == "Cut")
            QApplication::clipboard()->setText(QStringLiteral("-"));
        // Nor would a field's own text pasted over itself.
        if (state == 1 && std::string(c.item) == "Paste") {
            LFrame* frame = FrameOfWindow(win);
            auto* field = dynamic_cast<LEditText*>(frame ? frame->FindFocusable() : nullptr);
            const bool one = field && std::string(field->GetText().CStr()) == "1";
            QApplication::clipboard()->setText(one ? QStringLiteral("2") : QStringLiteral("1"));
        }
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
        // What the command sends has gone out before the next is tried.
        Await("the Edit menu closed", [] { return QApplication::activePopupWidget() == nullptr; });
        w.AwaitQuiet(std::string("Edit ") + c.item);
        LoopDrained();
    }
    // The Delete key with a row's field focused is the field's, whatever the
    // field holds: the rows, the selection and what the device holds stay.
    void TryFieldDelete(MWindow* win, LCellListPane* list) {
        ++tried;
        auto outside = [&] {
            const std::string s = Seen(win, list);
            return s.substr(0, s.find(" field '"));
        };
        // At the end of its text: a character deleted would change what the
        // device holds as well.
        w.Key("End");
        const std::string before = outside();
        w.Key("Delete");
        if (RunUntil([&] { return outside() != before; }, 1000))
            ADD_FAILURE() << win->windowTitle().toStdString() << ": " << typeid(*list).name()
                          << ": the Delete key in a field reached the list: " << before;
        w.AwaitQuiet("the Delete key in a field");
        LoopDrained();
    }
    // ---- The keys around a click on each kind of control of the window.
    size_t controls = 0;
    // The first text field (or number field) of a cell that is usable.
    static LEditText* FieldIn(LPane* cell, bool number) {
        LEditText* found = nullptr;
        if (auto* frame = dynamic_cast<LFrame*>(cell))
            ForEachPaneIn(frame, [&](LPane* pane) {
                auto* e = dynamic_cast<LEditText*>(pane);
                if (!found && e &&
                    (number ? dynamic_cast<CNumVol*>(e) != nullptr : !dynamic_cast<LNumEdit*>(e)) &&
                    !e->IsStatic() && !e->IsReadOnly() && e->IsUsable() && e->IsTextWhollyVisible())
                    found = e;
            });
        return found;
    }
    // The window's first usable control of a kind: a check box, a push button
    // (not one whose ellipsis says it opens a window), a pop-up, a slider
    // (outside the lists, else in the row), or a button of the row.
    static LStdCtl* ControlOf(MWindow* win, LListCell* row, int kind) {
        LStdCtl* found = nullptr;
        auto consider = [&](LPane* pane, bool inRow) {
            auto* c = dynamic_cast<LStdCtl*>(pane);
            if (found || !c || !c->IsShown() || !c->IsUsable() ||
                (c->State() & (LPane::kDimmed | LPane::kContainerDimmed)))
                return;
            const std::string t = c->GetTitle().CStr();
            const bool is[] = {
                dynamic_cast<LStdCheck*>(c) && !dynamic_cast<CRadioBtn*>(c),
                dynamic_cast<LStdButton*>(c) && !(t.size() >= 3 && t.substr(t.size() - 3) == "…"),
                dynamic_cast<LPopupList*>(c) != nullptr, dynamic_cast<CSlider*>(c) != nullptr,
                inRow && dynamic_cast<CStateButton*>(c) && !dynamic_cast<CPlusButton*>(c)};
            if (is[kind]) found = c;
        };
        if (kind != 4) ForEachPaneIn(FrameOfWindow(win), [&](LPane* p) { consider(p, false); });
        if (row) ForEachPaneIn(row, [&](LPane* p) { consider(p, true); });
        return found;
    }
    // Values the device was written since its log was cleared, by path.
    std::multimap<std::string, std::string> Writes() {
        std::multimap<std::string, std::string> out;
        for (const std::string& line : p.sim.Log())
            if (line.rfind("chan ", 0) == 0 && line.find(" op=write") != std::string::npos)
                out.emplace(SimDeviceProcess::Field(line, "path"),
                            SimDeviceProcess::Field(line, "value"));
        return out;
    }
    // A row's name (kinds 0-4), then a number field (5), typed into around a
    // click on a control: the click back gives the field the keys without a
    // step, the text reaches the device once, and Cut takes the text, not
    // the row. After every click the framework and Qt agree on the keys.
    void SweepControls(MWindow* win) {
        static const char* const kKinds[] = {"check box", "push button",      "pop-up",
                                             "slider",    "row's own button", "control"};
        for (int kind = 0; kind < 6; ++kind) {
            const bool number = kind == 5;
            Raise(w, win);
            // The first row, of the lists in turn, with a field and such a control.
            LCellListPane* list = nullptr;
            LEditText* field = nullptr;
            LStdCtl* control = nullptr;
            auto find = [&](LPane* cell) {
                field = FieldIn(cell, number);
                for (int k = number ? 0 : kind; field && !control && k <= (number ? 3 : kind); ++k)
                    control = ControlOf(win, dynamic_cast<LListCell*>(cell), k);
                return control != nullptr;
            };
            for (LCellListPane* l : ListsOf(FrameOfWindow(win)))
                if (!control && HasRow(win, l) && find(l->GetCellFrame(LCell{0, 0}, false)))
                    list = l;
            if (!control && number) find(FrameOfWindow(win));
            if (!control) continue;
            ++controls;
            const std::string what = win->windowTitle().toStdString() + ": " +
                                     typeid(*field).name() + ", " + kKinds[kind] + " " +
                                     typeid(*control).name();
            std::fprintf(stderr, "sweep: %s\n", what.c_str());
            SCOPED_TRACE(what);
            const QPoint at = PaneAt(field);
            // The field again (a row's is live once clicked); whether it has the keys.
            auto keys = [&] {
                if (list) field = FieldIn(list->GetCellFrame(LCell{0, 0}, true), number);
                return field && field->Engine() && field->Engine()->Field()->IsFirstResponder();
            };
            auto click = [&](QPoint there, const std::string& after, bool popup = false) {
                w.Click(there);
                if (popup &&
                    Await("the pop-up open", [] { return QApplication::activePopupWidget(); }))
                    w.Key("Escape");
                Await("no pop-up", [] { return !QApplication::activePopupWidget(); });
                LoopDrained();
                const std::string d = FocusDisagreement();
                if (!d.empty()) ADD_FAILURE() << "after a click on " << after << ": " << d;
            };
            // A number field that has the keys steps at a click: only one without.
            if (!keys()) click(at, "the field");
            ASSERT_TRUE(keys()) << "the field takes no keys";
            const std::string typed = number ? "7" : "k" + std::to_string(kind);
            w.Key("ctrl+a");
            w.Type(typed);
            click(PaneAt(control), kKinds[kind], dynamic_cast<LPopupList*>(control) != nullptr);
            w.AwaitQuiet(kKinds[kind]);
            if (list) field = FieldIn(list->GetCellFrame(LCell{0, 0}, false), number);
            ASSERT_NE(field, nullptr);
            const std::string shown = field->GetText().CStr();
            p.sim.Cmd("log clear");
            click(at, "the field again");
            EXPECT_TRUE(keys()) << "the field does not take the keys back";
            if (!field) continue;
            if (number) {
                EXPECT_EQ(std::string(field->GetText().CStr()), shown) << "stepped";
                continue;
            }
            w.Key("End");
            w.Type("z");
            // Written once (a busy device may take it after a while).
            const std::string whole = typed + "z";
            std::string path, all;
            auto sent = [&] {
                size_t n = 0;
                all.clear();
                for (const auto& [where, value] : Writes()) {
                    if (value == whole) ++n, path = where;
                    all += " " + where + "=" + value;
                }
                return n;
            };
            Await("'" + whole + "' written", [&] { return sent() > 0; }, 5000, kLookMs);
            w.AwaitQuiet("the name typed on");
            EXPECT_EQ(sent(), 1u) << "the name reads " << field->GetText().CStr() << "; written:" << all;
            // Cut takes the name's text: the name alone is written, the rows stay.
            const i32 rows = list->Rows();
            p.sim.Cmd("log clear");
            w.Key("ctrl+a ctrl+x");
            Await("the name cut", [&] { return Writes().count(path) > 0; }, 5000, kLookMs);
            w.AwaitQuiet("the name cut");
            EXPECT_TRUE(field->GetText().IsEmpty()) << "Cut left " << field->GetText().CStr();
            EXPECT_EQ(list->Rows(), rows);
            for (const auto& [where, value] : Writes())
                EXPECT_EQ(where, path) << "Cut in the name wrote " << value;
        }
    }
    // The window's lists, then its controls.
    void SweepWindow(MWindow* window) {
        QPointer<MWindow> win(window);
        SweepLists(window);
        if (win && win->isVisible()) SweepControls(win);
    }
    void SweepLists(MWindow* window) {
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
                        if (key && c.command == LStdCmd_Delete)
                            TryFieldDelete(win, list);
                        else
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

// What a walk sweeps: the control window, or the windows it opens. Apart, so
// that the two halves of a play edit's sweep run side by side.
enum class Half { kControl, kOpened };

struct Swept {
    size_t windows = 0, lists = 0, commands = 0;
};

// Waits until a window more than `before` is shown, each on screen and drawn,
// and what it reads from the devices read.
bool Opened(Walk& w, size_t before) {
    if (!RunUntil([&] { return ShownWindows().size() > before; }, 5000)) return false;
    for (MWindow* m : ShownWindows()) WaitShown(m);
    w.AwaitQuiet("a window opened");
    return true;
}

// What each half holds, in the standard play edit and the NSQ editor alike:
// the control window with three lists; the play buttons, their layouts, aux
// play, the schedule and the universe addresses with six.
void ExpectSwept(const Swept& s, Half half) {
    if (half == Half::kControl) {
        EXPECT_EQ(s.windows, 1u);
        EXPECT_GE(s.lists, 3u);
    } else {
        EXPECT_GE(s.windows, 5u);
        EXPECT_GE(s.lists, 6u);
    }
    EXPECT_GT(s.commands, 0u);
}

Swept SweepPlayEdit(PlayEdit& p, Half half) {
    Walk& w = p.w;
    Sweep sweep(w, p);
    if (half == Half::kControl) {
        sweep.SweepWindow(p.ctl);
    } else {
        // Every window the Play menu opens, and the windows those open (the
        // button layouts from the play buttons), each swept as soon as it is
        // open: a command of a window swept later may take an earlier one with
        // it (the undo of what opened it).
        std::set<MWindow*> seen{p.ctl};
        auto sweepNew = [&](const std::string& by) {
            bool any = false;
            for (MWindow* m : ShownWindows()) {
                if (seen.count(m) || !m->Owner() || dynamic_cast<CKvsDevWin*>(FrameOfWindow(m)))
                    continue;
                seen.insert(m);
                any = true;
                std::fprintf(stderr, "sweep: '%s' opened '%s'\n", by.c_str(),
                             m->windowTitle().toUtf8().constData());
                if (!ListsOf(FrameOfWindow(m)).empty()) sweep.SweepWindow(m);
            }
            return any;
        };
        auto open = [&](const char* menu, const char* item) {
            // A choice that a busy machine lost is made once more.
            for (int attempt = 0; attempt < 2; ++attempt) {
                Raise(w, p.ctl);
                const size_t before = ShownWindows().size();
                if (!w.Choose(p.ctl, menu, item)) {
                    std::fprintf(stderr, "sweep: %s > %s not there or disabled\n", menu, item);
                    return;
                }
                if (Opened(w, before)) return;
            }
            ADD_FAILURE() << menu << " > " << item << " opened no window";
        };
        for (const char* item : kOpeners) {
            open("Play", item);
            // Looked up before the sweep: a command may close it.
            std::vector<QPointer<MWindow>> asns;
            for (MWindow* m : ShownWindows())
                if (!seen.count(m) && dynamic_cast<CKvsPlayAsnWin*>(FrameOfWindow(m)))
                    asns.emplace_back(m);
            sweepNew(item);
            // The play buttons open the button layouts from a button of their own.
            for (const QPointer<MWindow>& m : asns) {
                if (!m || !m->isVisible()) continue;
                Raise(w, m);
                const size_t shown = ShownWindows().size();
                w.Click(PaneAt(&static_cast<CKvsPlayAsnWin*>(FrameOfWindow(m))->fLayoutsBtn));
                if (!Opened(w, shown)) ADD_FAILURE() << "the button layouts did not open";
                sweepNew("Button Layouts");
            }
        }
        // The Universe Addresses of the device menu.
        open("Device", "Universe Addresses");
        sweepNew("Universe Addresses");
    }
    for (const std::string& d : sweep.dead) ADD_FAILURE() << "changed nothing: " << d;
    for (const std::string& e : sweep.empty) ADD_FAILURE() << "no row to work on: " << e;
    std::fprintf(stderr,
                 "sweep: %zu windows, %zu lists, %zu commands tried, %zu enabled, %zu controls\n",
                 sweep.windows, sweep.lists, sweep.tried, sweep.enabled, sweep.controls);
    return Swept{sweep.windows, sweep.lists, sweep.enabled};
}

// Three buttons in a row of three, the first selected by a click, each of the
// four shifts chosen from the Play Buttons window's own menu and taken back
// with Undo: the grid, and the device's copy of it, after each.
void WalkButtonShifts(PlayEdit& p, u32 sqid) {
    Walk& w = p.w;
    SimDeviceProcess& sim = p.sim;
    CRecord* play = p.play->PlaySettings();
    ASSERT_TRUE(w.Choose(p.ctl, "Play", "Play Buttons"));
    MWindow* win = nullptr;
    ASSERT_TRUE(RunUntil([&] { return (win = WindowTitled("Play Buttons")) != nullptr; }, 5000));
    auto* asn = FrameOf<CKvsPlayAsnWin>(win);
    ASSERT_NE(asn, nullptr);
    WaitShown(win);
    Fronted(w, win);
    w.TypeNumber(&asn->fCols, "3");
    w.Key("Return");
    ASSERT_EQ(w.WaitWritten("btcs", 1), std::vector<std::string>{"3"});
    // The buttons as a play file would bring them.
    const char* const kTitles[] = {"Alpha", "Bravo", "Delta"};
    for (u32 c = 0; c < 3; ++c) {
        CRecord* cell = PlaySetGetOrAddCell(play, nullptr, c, 0);
        cell->SetU32(nullptr, PlclF::sqid, sqid);
        cell->SetString(nullptr, PlclF::bttl, LString(kTitles[c]));
    }
    // The first letters of the buttons in a row, "-" for an empty place: in the
    // window, and on the device.
    auto shown = [&] {
        std::string s;
        for (u32 c = 0; c < 3; ++c) {
            const CRecord* cell = PlaySetGetCell(play, c, 0);
            s += cell && cell->GetU32(PlclF::sqid) ? cell->GetString(PlclF::bttl).CStr()[0] : '-';
        }
        return s;
    };
    auto there = [&] {
        std::string s;
        for (u32 c = 0; c < 3; ++c) {
            const std::string at = "/.cmd/udplayset/rows/0/cels/" + std::to_string(c);
            const std::string id = SimDeviceProcess::Field(
                sim.Cmd("chan-get serno=1201 path=" + at + "/sqid"), "value");
            const std::string title = SimDeviceProcess::Field(
                sim.Cmd("chan-get serno=1201 path=" + at + "/bttl"), "value");
            s += id.empty() || id == "0" || title.empty() ? '-' : title[0];
        }
        return s;
    };
    ASSERT_EQ(shown(), "ABD");
    // The device has what the window shows, and nothing more is on its way.
    auto holds = [&](const std::string& after, const std::string& what) {
        EXPECT_TRUE(Await("the device holding " + after + " after " + what, [&] {
            return there() == after;
        })) << there();
        w.AwaitQuiet(what);
        EXPECT_EQ(there(), after) << what;
    };
    holds("ABD", "the buttons assigned");
    Fronted(w, win);
    EXPECT_EQ(BarTitles(win), "KEVOruneSet File Edit Network Buttons Window Help");
    // The menu's items as the user finds them: "(off)" marks a disabled one.
    auto items = [&](const std::string& shot) {
        QMenu* menu = w.OpenAgain(win, "Buttons");
        if (!menu) return std::string("(no menu)");
        if (!shot.empty()) w.Shot(shot);
        QStringList out;
        for (QAction* a : menu->actions())
            out << a->text().split(' ').first() + " " + a->text().split(' ').last() +
                       (a->isEnabled() ? "" : " (off)");
        w.Close();
        return out.join(", ").toStdString();
    };
    // The edge of a place: selected without pressing its button.
    auto place = [&](i32 col) {
        const LRect r = asn->fList.GetCellRect(LCell{col, 0});
        return ScreenPoint(&asn->fList, LPoint{r.left + 2, r.top + r.Height() / 2});
    };
    EXPECT_TRUE(asn->fList.Selection().IsEmpty());
    EXPECT_EQ(items(""),
              "Insert Horizontally (off), Insert Vertically (off), Delete Horizontally (off), "
              "Delete Vertically (off)");
    // Two places apart: no rectangle to insert.
    w.Click(place(0));
    w.Click(place(2), 1, "ctrl");
    ASSERT_TRUE(Await("the first and the last button selected", [&] {
        return asn->fList.IsSelected(LCell{0, 0}) && asn->fList.IsSelected(LCell{2, 0}) &&
               !asn->fList.IsSelected(LCell{1, 0});
    }));
    EXPECT_EQ(items(""),
              "Insert Horizontally (off), Insert Vertically (off), Delete Horizontally, "
              "Delete Vertically");
    const struct {
        const char* item;
        const char* after;
    } kShifts[] = {
        {"Delete Buttons Horizontally", "BD-"},
        // A row of one: the cell alone is emptied, and pushed out of the grid.
        {"Delete Buttons Vertically", "-BD"},
        {"Insert Buttons Horizontally", "-AB"},
        {"Insert Buttons Vertically", "-BD"},
    };
    bool first = true;
    for (const auto& shift : kShifts) {
        SCOPED_TRACE(shift.item);
        w.Click(place(0));
        ASSERT_TRUE(Await("the first button alone selected", [&] {
            return asn->fList.IsSelected(LCell{0, 0}) && !asn->fList.IsSelected(LCell{2, 0});
        }));
        LoopDrained();
        if (first) {
            EXPECT_EQ(items("commands_buttons_menu"),
                      "Insert Horizontally, Insert Vertically, Delete Horizontally, "
                      "Delete Vertically");
            first = false;
        }
        sim.Cmd("log clear");
        ASSERT_TRUE(w.ChooseSettled(win, "Buttons", shift.item));
        EXPECT_TRUE(Await("the buttons shifted", [&] { return shown() == shift.after; }))
            << shown();
        holds(shift.after, shift.item);
        // Undo in the window, by its key: the device gets the buttons back.
        w.Key("ctrl+z");
        EXPECT_TRUE(Await("the buttons back", [&] { return shown() == "ABD"; })) << shown();
        holds("ABD", std::string("Undo of ") + shift.item);
        // The row went out once for the shift and once for its undo, whole
        // (its three places), and to 1201 alone.
        EXPECT_EQ(w.Written("cels"), (std::vector<std::string>{"3", "3"}));
        EXPECT_EQ(w.WrittenElsewhere("cels"), 0u);
    }
    w.Shot("commands_buttons");
    ASSERT_TRUE(w.ChooseSettled(win, "File", "Close"));
    ASSERT_TRUE(
        Await("the Play Buttons window closed", [&] { return !WindowTitled("Play Buttons"); }));
    ASSERT_TRUE(w.WaitActive(p.ctl)) << "the control window active again";
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
        ASSERT_TRUE(Await("the scene's row shown", [&] { return scenes->List()->Rows() == 1; }));
        w.AwaitQuiet("the scene added");
        w.Click(RowAt(scenes->List(), 0));
        ASSERT_TRUE(Await("the scene's row selected",
                          [&] { return scenes->List()->IsSelected(LCell{0, 0}); }));
        w.AwaitQuiet("the scene chosen");
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

        // ---- the play buttons shifted from their window's own menu, and undone.
        WalkButtonShifts(p, seq->GetU32(SqncF::sqid));

        // ---- every list of the control window.
        ExpectSwept(SweepPlayEdit(p, Half::kControl), Half::kControl);
        w.Shot("commands_sweep");
        EXPECT_EQ(gWarnings, std::vector<std::string>());
    });
}

// One half of the sweep of a play edit of the format (2: the NSQ editor).
void WalkHalf(const XvfbHarness& x, NetnsHarness& net, const TempDir& dir, Half half, u32 format) {
    WithPlayEdit(
        x, net, dir,
        [&](PlayEdit& p) {
            ExpectSwept(SweepPlayEdit(p, half), half);
            p.w.Shot(std::string("commands_") + (format == 2 ? "nsq_" : "") +
                     (half == Half::kControl ? "control" : "opened"));
            EXPECT_EQ(gWarnings, std::vector<std::string>());
        },
        format);
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
        ASSERT_TRUE(Await("the first device row selected",
                          [&] { return devwin->SelectedRow() == 0; }));
        // The double click's first click is kept past the double-click time
        // from the one before by the driver's click itself.
        w.Click(row0, 2);
        MWindow* other = nullptr;
        ASSERT_TRUE(
            RunUntil([&] { return (other = WindowTitled("305 -KEVOrune")) != nullptr; }, 15000));
        // Beside the first, as a user would move it: both open at one place.
        MoveTo(x, other, QPoint(820, 420));
        w.Shot("commands_bars_two");

        // The universe addresses of both devices, each window named by its device.
        std::vector<QPointer<MWindow>> uvads;
        for (MWindow* ctl : {p.ctl, other}) {
            Raise(w, ctl);
            const size_t before = ShownWindows().size();
            ASSERT_TRUE(w.Choose(ctl, "Device", "Universe Addresses"));
            ASSERT_TRUE(Opened(w, before));
            MWindow* uvad = nullptr;
            for (MWindow* m : ShownWindows())
                if (m->windowTitle().contains("Universe Addresses") &&
                    std::find(uvads.begin(), uvads.end(), m) == uvads.end())
                    uvad = m;
            ASSERT_NE(uvad, nullptr);
            uvads.push_back(uvad);
        }
        MoveTo(x, uvads[1], QPoint(uvads[0]->frameGeometry().right() + 20, 80));
        w.Shot("commands_uvad_two");
        EXPECT_EQ(uvads[0]->windowTitle().toStdString(), "1201 Universe Addresses");
        EXPECT_EQ(uvads[1]->windowTitle().toStdString(), "305 Universe Addresses");
        for (const QPointer<MWindow>& uvad : uvads) {
            Fronted(w, uvad);
            EXPECT_EQ(BarTitles(uvad), editBar);
            ASSERT_TRUE(w.ChooseSettled(uvad, "File", "Close"));
            EXPECT_TRUE(Await("the universe addresses closed",
                              [&] { return !uvad || !uvad->isVisible(); }));
        }
        for (int round = 0; round < 2; ++round) {
            for (const char* keys : {"Up Return", "Down Return"}) {
                Raise(w, p.ctl);
                w.Click(PaneAt(&p.screen->Window().fView));
                ASSERT_TRUE(Await("the view pop-up open",
                                  [] { return QApplication::activePopupWidget() != nullptr; }));
                w.Key(keys);
                Await("the view pop-up closed",
                      [] { return QApplication::activePopupWidget() == nullptr; });
                // Up: the device's files; Down: the play settings again.
                const bool files = std::string(keys) == "Up Return";
                ASSERT_TRUE(Await(
                    files ? "the device's files shown" : "the play settings shown",
                    [&] {
                        return files ? p.screen->FilesView() != nullptr
                                     : p.screen->PlayView() != nullptr;
                    },
                    10000));
                w.AwaitQuiet(files ? "the device's files shown" : "the play settings shown");
                LoopDrained();
            }
            ASSERT_TRUE(RunUntil([&] { return p.screen->PlayView() != nullptr; }, 10000));
            for (MWindow* m : {devQt, other, p.ctl}) {
                Fronted(w, m);
                EXPECT_EQ(BarTitles(m), m == devQt ? devBar : ctlBar) << "round " << round;
            }
        }

        // (a) a play-settings file opened, its sequence renamed, closed with
        // the close key and not saved.
        CRecordDoc seqs(NewSeqSettingsRecord());
        seqs.Root()->SetU8(nullptr, SqstF::sqfm, 1);
        const std::string path = dir.Path() + "/bars.kvplay";
        ASSERT_TRUE(WritePlayFile(path, seqs.Root()));
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
            MoveTo(x, fileWin, QPoint(420, 300));
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
            // The answer to the save question, which names the file: Don't Save.
            std::string asked;
            ModalScript answer({{300, [&](LFrame* dlg) {
                                     if (auto* d = dynamic_cast<CSaveChangesDialog*>(dlg)) {
                                         asked = d->fMessage.GetText().CStr();
                                         LHandler::Send(LStdCtl_Selected, &d->fDontSave, d);
                                     }
                                 }}});
            // Sent without waiting for its release: the question's own loop takes it.
            ASSERT_TRUE(w.WaitActive(fileWin));
            x.XdotoolAsync("key ctrl+w");
            EXPECT_TRUE(RunUntil([&] { return answer.Done() && !fileWin->isVisible(); }, 10000));
            EXPECT_TRUE(answer.Seen()) << "no save question";
            EXPECT_NE(asked.find("\"bars.kvplay\""), std::string::npos) << asked;
            // The closed window's leftovers gone and nothing left to the devices.
            LoopDrained();
            w.AwaitQuiet("the file window closed");
            for (MWindow* m : {devQt, p.ctl, other}) {
                Fronted(w, m);
                EXPECT_EQ(BarTitles(m), m == devQt ? devBar : ctlBar);
            }
            // The schedule went with the view it belonged to: opened again.
            Raise(w, p.ctl);
            ASSERT_TRUE(w.Choose(p.ctl, "Play", "Use Schedule"));
            MWindow* sch2 = nullptr;
            ASSERT_TRUE(
                RunUntil([&] { return (sch2 = WindowTitled("Schedule")) != nullptr; }, 5000));
            Fronted(w, sch2);
            EXPECT_EQ(BarTitles(sch2), "KEVOruneSet File Edit Network Schedule Window Help");
        }
        w.Shot("commands_bars");
        EXPECT_EQ(gWarnings, std::vector<std::string>());
    });
}

TEST(CommandsWalk, EveryEnabledCommandOfEveryListDoesWhatItNames) {
    RunPlayEditWalk("1600x1000", "cmdwalk", WalkStandard);
}

TEST(CommandsWalk, EveryEnabledCommandOfTheWindowsItOpensDoesWhatItNames) {
    RunPlayEditWalk("1600x1000", "cmdopen",
                    [](auto&... a) { WalkHalf(a..., Half::kOpened, 1); });
}

TEST(CommandsWalk, EveryEnabledCommandOfTheNsqListsDoesWhatItNames) {
    RunPlayEditWalk("1600x1000", "cmdnsq", [](auto&... a) { WalkHalf(a..., Half::kControl, 2); });
}

TEST(CommandsWalk, EveryEnabledCommandOfTheWindowsTheNsqEditorOpensDoesWhatItNames) {
    RunPlayEditWalk("1600x1000", "cmdnsqo", [](auto&... a) { WalkHalf(a..., Half::kOpened, 2); });
}

TEST(CommandsWalk, BarsHoldEachWindowsOwnMenusOnce) {
    RunPlayEditWalk("1600x1000", "cmdbars", WalkBars);
}

}  // namespace
