#pragma once
// What the walks of the play edit share: the program started in a namespace of
// the test's own with two simulated devices (1201 and 305), the control window
// of 1201 opened with a double click and its play settings chosen in the view
// pop-up; a user's pointer and keys on its fields and windows; the values the
// device was sent, read back from its log.
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFontDatabase>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "WalkSetup.h"
#include "ProgramQuiet.h"
#include "XvfbHarness.h"
#include "XvfbWalk.h"
#include "base/Clock.h"
#include "devices/CKvsApp.h"
#include "devices/CKvsDevCtl.h"
#include "devices/CKvsDevCtlWin.h"
#include "devices/CKvsDevDoc.h"
#include "devices/CKvsDevWin.h"
#include "devices/recordings/CDrcCmdHandler.h"
#include "editors/CKvsPlayFrm.h"
#include "framework/CViewPrefs.h"
#include "framework/LEditText.h"
#include "framework/LFrame.h"
#include "framework/LListPane.h"
#include "framework/StdDialogs.h"
#include "platform/qt/QtMenus.h"
#include "platform/qt/QtTextField.h"
#include "platform/qt/QtWindows.h"
#include "tests/devlink/NetnsHarness.h"
#include "tests/platform/AppLaunch.h"
#include "tools/testkit/SimDeviceProcess.h"

using testtftp::NetnsHarness;
using testtftp::SimDeviceProcess;

inline MWindow* WindowTitled(const QString& has) {
    for (MWindow* w : ShownWindows())
        if (w->windowTitle().contains(has)) return w;
    return nullptr;
}

template <class F>
F* FrameOf(MWindow* w) {
    return w && w->Owner() ? dynamic_cast<F*>(w->Owner()->GetFrame()) : nullptr;
}

// A screen point inside a pane: vertically centred, near its left edge, where a
// field's text is (a number field's stepper is at its right).
inline QPoint PaneAt(LPane* pane, i32 dx = -1) {
    const i32 x = dx >= 0 ? dx : std::min(12, pane->Bounds().Width() / 2);
    return ScreenPoint(pane, LPoint{x, pane->Bounds().Height() / 2});
}

// A screen point in a row of a list, near its left edge.
inline QPoint RowAt(LCellListPane* list, i32 row, i32 dx = 4) {
    const QPoint top = PaneAt(list, dx) - QPoint(0, list->Bounds().Height() / 2);
    const LRect r = list->GetCellRect(LCell{0, row});
    return top + QPoint(0, r.top - list->Bounds().top + r.Height() / 2);
}

// The bar of a window: every title once and readable (no extension button).
inline std::string BarTitles(QWidget* w) {
    // A window takes its own menus as it becomes active, which the window
    // manager does in its own time after showing it: read once it has.
    if (w) RunUntil([&] { return w->isActiveWindow(); }, 5000);
    LoopDrained();
    QMenuBar* bar = w ? w->findChild<QMenuBar*>() : nullptr;
    if (!bar) return "(no bar)";
    QStringList titles;
    for (QAction* a : bar->actions()) titles << a->text().remove('&');
    EXPECT_LE(bar->sizeHint().width(), bar->width()) << titles.join(' ').toStdString();
    return titles.join(' ').toStdString();
}

// Whether the framework and Qt agree on where the keys go in the active window:
// a focused field with its editor has Qt's keyboard focus in that editor, any
// other focused pane (or none) leaves it on the window's view. "" when they
// agree, else what each holds.
inline std::string FocusDisagreement() {
    auto* win = dynamic_cast<MWindow*>(QApplication::activeWindow());
    if (QApplication::activePopupWidget() || !win || !win->Owner()) return "";
    LFrame* frame = win->Owner()->GetFrame();
    LPane* focus = frame ? frame->FindFocusable() : nullptr;
    auto* field = dynamic_cast<LEditText*>(focus);
    const LNativeTextField* editor = field && field->Engine() ? field->Engine()->Field() : nullptr;
    QWidget* keys = QApplication::focusWidget();
    const LNativeTextField* holder = keys ? QtFieldOf(keys) : nullptr;
    if (editor ? holder == editor : keys == win->View()) return "";
    return std::string("the framework's focus ") + (focus ? typeid(*focus).name() : "none") +
           (editor ? " with its editor" : "") + ", Qt's in " +
           (keys ? keys->metaObject()->className() : "nothing") + (holder ? " (an editor)" : "");
}

// A number typed into a field and the edit ended one way.
struct FieldEdit {
    const char* what;
    LEditText* field;
    const char* text;
    const char* tag;
    const char* value;  // as the device holds it
    std::function<void()> end;
};

struct Walk : MenuDriver {
    Walk(const XvfbHarness& harness, SimDeviceProcess& device)
        : MenuDriver(harness, 80), x(harness), sim(device) {
        fClicksTaken = true;
    }
    const XvfbHarness& x;
    SimDeviceProcess& sim;
    u32 serial = 1201;

    // Where a walk's picture of that name is kept, to be looked at.
    static std::string KeptPath(const std::string& name) {
        return std::string(KEVO_BINARY_DIR) + "/walk_" + name + ".png";
    }
    void Shot(const std::string& name) {
        LoopDrained();
        x.Screenshot(KeptPath(name));
    }
    // The screen, kept as Shot keeps it, for pixel checks. Taken into a file of
    // this process's own first: copies of a walk run side by side share the
    // build folder, and one would read another's picture.
    QImage Picture(const std::string& name) {
        LoopDrained();
        const QString own = QDir::temp().filePath(
            QString::fromStdString("walk-" + std::to_string(getpid()) + "-" + name + ".png"));
        x.Screenshot(own.toStdString());
        const QImage image(own);
        const QString kept = QString::fromStdString(KeptPath(name));
        QFile::remove(kept);
        if (!QFile::rename(own, kept)) QFile::remove(own);
        return image;
    }
    // Until the devices have no transfer under way. The program runs meanwhile:
    // a transfer waits for its answers, and a wait that held this thread
    // (SimDeviceProcess::WaitIdle) would let the device's transfer and the
    // program's request time out, failing writes at random.
    void WaitDeviceIdle(u32 ms = 3000) {
        RunUntilEvery([&] { return Quiet(); }, ms);
    }
    // Nothing under way between the program and the devices: no transfer at
    // the devices, and (once the walk has told how to ask) nothing the
    // program still has to send.
    bool Quiet() {
        return (!programIdle || programIdle()) &&
               SimDeviceProcess::Field(sim.Cmd("xfers"), "active") == "0";
    }
    std::function<bool()> programIdle;
    // Waits for Quiet(); a failure names the step it followed.
    bool AwaitQuiet(const std::string& after, u32 ms = 8000) {
        return Await(
            "the devices quiet after " + after, [&] { return Quiet(); }, ms, kLookMs);
    }
    // The values written to the device for a field (path ending in /TAG), as text.
    std::vector<std::string> Written(const std::string& tag) {
        WaitDeviceIdle();
        return WrittenTexts(sim, serial, tag);
    }
    // Waits until the field has been written once more than before; its values.
    std::vector<std::string> WaitWritten(const std::string& tag, size_t count, u32 ms = 4000) {
        std::vector<std::string> got;
        RunUntilEvery(
            [&] {
                got = Written(tag);
                return got.size() >= count;
            },
            ms);
        // Whatever else the edit sends has gone by once all is quiet.
        WaitDeviceIdle();
        got = Written(tag);
        if (got.size() < count) {
            // What the device saw instead, for the failure's message.
            const std::vector<std::string> log = sim.Log();
            for (size_t i = log.size() > 12 ? log.size() - 12 : 0; i < log.size(); ++i)
                std::fprintf(stderr, "device: %s\n", log[i].c_str());
            // The whole log since it was last cleared, for a closer look.
            if (FILE* f = std::fopen(
                    (std::string(KEVO_BINARY_DIR) + "/walk_device_" + tag + ".log").c_str(), "w")) {
                for (const std::string& line : log) std::fprintf(f, "%s\n", line.c_str());
                std::fclose(f);
            }
        }
        return got;
    }
    // Text typed into a field at a person's pace: waits until the device has
    // the whole text and all is quiet; the values written from `from` on are
    // what was typed so far at each key, ending with the whole text once.
    void ExpectTyped(const std::string& tag, size_t from, const std::string& whole, u32 ms = 8000) {
        std::vector<std::string> got;
        Await(
            "'" + whole + "' written to " + tag,
            [&] {
                got = Written(tag);
                return got.size() > from && got.back() == whole;
            },
            ms, kLookMs);
        WaitDeviceIdle();
        got = Written(tag);
        got.erase(got.begin(), got.begin() + std::ptrdiff_t(std::min(from, got.size())));
        EXPECT_EQ(TypedWrites(got, whole), "") << tag;
    }
    // Writes of the field to any other device: there should be none.
    size_t WrittenElsewhere(const std::string& tag) {
        const u32 mine = serial;
        size_t n = 0;
        for (const std::string& line : sim.Log()) {
            const std::string dev = SimDeviceProcess::Field(line, "dev");
            const std::string path = SimDeviceProcess::Field(line, "path");
            if (line.rfind("chan ", 0) == 0 && line.find("op=write") != std::string::npos &&
                dev != std::to_string(mine) && path.size() > tag.size() &&
                path.substr(path.size() - tag.size() - 1) == "/" + tag)
                ++n;
        }
        return n;
    }
    // The pop-up under a point of the screen.
    static QComboBox* PopupAt(QPoint at) {
        for (QWidget* w = QApplication::widgetAt(at); w; w = w->parentWidget())
            if (auto* combo = qobject_cast<QComboBox*>(w)) return combo;
        return nullptr;
    }
    // Opens the pop-up with a click; true once its list is up.
    bool OpenPopup(QComboBox* combo) {
        if (!combo) return false;
        // A click can be lost while the window manager is still handing the
        // window the pointer; a person whose click did nothing clicks again.
        for (int tries = 0; tries < 2; ++tries) {
            Click(combo->mapToGlobal(combo->rect().center()));
            if (WaitUntil([&] { return combo->view()->isVisible(); }, 1500)) return true;
        }
        return false;
    }
    // Chooses the entry of the pop-up with the pointer: opened, the entry clicked.
    void ChoosePopupEntry(QComboBox* combo, int index) {
        ASSERT_TRUE(OpenPopup(combo));
        QAbstractItemView* view = combo->view();
        const QRect r = view->visualRect(combo->model()->index(index, 0));
        Click(view->viewport()->mapToGlobal(r.center()));
        EXPECT_TRUE(WaitUntil([&] { return !view->isVisible(); }, 3000));
        EXPECT_EQ(combo->currentIndex(), index);
    }
    // The window made active as a user does, by a click on its title.
    void Activate(QWidget* window) {
        if (window->isActiveWindow() && KeysReachActive()) return;
        const QRect f = window->frameGeometry();
        Click(QPoint(f.center().x(), f.top() + (window->geometry().top() - f.top()) / 2));
        EXPECT_TRUE(WaitActive(window)) << window->windowTitle().toStdString();
    }
    // Chooses a menu item of a window's bar with the pointer; back once the menu has gone.
    bool Choose(QWidget* w, const QString& title, const QString& prefix) {
        return ChooseSettled(w, title, prefix, 0);
    }
    // The edit made, and the device sent the field once more, with its value;
    // the count sent before. keys: where the keys go, for a failure's message.
    size_t TypeAndEnd(const FieldEdit& e, u32 ms = 4000,
                      const std::function<std::string()>& keys = nullptr) {
        const size_t before = Written(e.tag).size();
        TypeNumber(e.field, e.text);
        const std::string typed = keys ? keys() : "";
        e.end();
        const std::string ended = keys ? keys() : "";
        const std::vector<std::string> got = WaitWritten(e.tag, before + 1, ms);
        EXPECT_EQ(got.size(), before + 1)
            << typed << " -> " << ended << "; the field shows " << e.field->GetText().CStr();
        if (got.size() > before) {
            EXPECT_EQ(got.back(), e.value);
        }
        return before;
    }
    // A number typed into a field from scratch: clicked (a second time when the
    // first click only focused it), the text replaced.
    void TypeNumber(LEditText* field, const std::string& text) {
        // A click on a number field that has the keyboard steps it: only one
        // that has not is clicked. A window just shown is made active a moment
        // later (later still on a busy machine), its field's keyboard with it.
        const auto active = [&] {
            return LWindow::FindByNative(field->GetNativeWindow())->Native() ==
                   static_cast<QWidget*>(QApplication::activeWindow());
        };
        WaitUntil(active, 1500);
        if (!field->Engine() || !field->Engine()->Field()->IsFirstResponder() ||
            !QApplication::focusWidget() || !active())
            Click(PaneAt(field));
        WaitUntil([&] { return field->Engine() != nullptr; }, 1500);
        Key("ctrl+a BackSpace");
        if (text[0] == '-') Key("minus");
        Type(text[0] == '-' ? text.substr(1) : text);
        WaitUntil([&] { return std::string(field->GetText().CStr()) == text; }, 2000);
        EXPECT_EQ(std::string(field->GetText().CStr()), text);
    }
};

// Where a part of a pane is in its window, and what of the window shows it
// (part in the pane's container's coordinates; empty: the whole pane).
void PartAndSight(LPane* pane, LRect part, LRect* at, LRect* sight) {
    LDrawEnv env;
    pane->GetContainerDrawEnv(&env);
    *at = part.IsEmpty() ? pane->Bounds() : part;
    at->Offset(env.fOriginX, env.fOriginY);
    *sight = env.fClip.GetBounds();
}

// Whether that part of the pane is seen whole in its window now.
bool SeenWhole(LPane* pane, LRect part = LRect()) {
    LRect at, seen;
    PartAndSight(pane, part, &at, &seen);
    return seen.Intersect(at) == at;
}

// A font slot of the preferences set to that size in the general font's
// family, as the font panel sets it, and the windows laid out again.
inline void SetSlotSize(u32 slot, f32 points) {
    const QString family = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    CViewPrefs::Instance().SetFont(slot, CViewFont{LString(family.toUtf8().constData()), points});
    LoopDrained();
}

// Pages the scroll frame with clicks on its bars' tracks past the knob, as a
// user does, until the part of the pane is seen whole.
inline void PageTo(Walk& w, LScrollFrame& scroll, LPane* pane, LRect part = LRect()) {
    for (int i = 0; i < 30 && !SeenWhole(pane, part); ++i) {
        LRect at, port;
        PartAndSight(pane, part, &at, &port);
        const bool across = at.left < port.left || at.right > port.right;
        LScrollBar& bar = across ? scroll.HBar() : scroll.VBar();
        EXPECT_TRUE(bar.IsShown()) << (across ? "across" : "down");
        const bool back = across ? at.left < port.left : at.top < port.top;
        const i32 len = across ? bar.Bounds().Width() : bar.Bounds().Height();
        const i32 along = back ? 24 : len - 24, mid = 7;
        const i32 before = across ? scroll.ScrollX() : scroll.ScrollY();
        w.Click(ScreenPoint(&bar, across ? LPoint{along, mid} : LPoint{mid, along}));
        EXPECT_TRUE(WaitUntil(
            [&] { return (across ? scroll.ScrollX() : scroll.ScrollY()) != before; }, 2000))
            << "a click on the bar moved nothing";
    }
    EXPECT_TRUE(SeenWhole(pane, part));
}

// Steps run on a modal window that a menu command opens (its own loop runs
// meanwhile): each step waits for its delay, then acts on the window's frame.
class ModalScript {
public:
    struct Step {
        u32 afterMs;
        std::function<void(LFrame*)> act;
    };
    explicit ModalScript(std::vector<Step> steps) : fSteps(std::move(steps)) {
        for (MWindow* w : ShownWindows()) fBefore.insert(w);
        QObject::connect(&fTimer, &QTimer::timeout, [this] { Tick(); });
        fTimer.start(30);
    }
    bool Done() const { return fNext == fSteps.size() && (!fWindow || !fWindow->isVisible()); }
    bool Seen() const { return fSeen; }

private:
    void Tick() {
        if (!fWindow) {
            for (MWindow* w : ShownWindows())
                if (!fBefore.count(w) && w->Owner()) fWindow = w;
            if (!fWindow) return;
            fSeen = true;
            fAt = LTickMs();
            walkwatch::Note("a modal window seen: " + fWindow->windowTitle().toStdString());
        }
        // Its steps go to it once it is the active window: the window manager
        // activates it on its own time. One it never activates still gets them
        // (they go to its frame, not through the keyboard): otherwise its loop,
        // which the walk's waits run inside, would never end.
        // Active alone is not enough: the window manager may still be placing
        // it, and a click aimed from where Qt last saw it then misses. Its
        // frame must hold still over one tick.
        if (!fActive) {
            const QRect frame = fWindow->frameGeometry();
            const bool settled = frame == fLastFrame;
            fLastFrame = frame;
            const bool active = QApplication::activeWindow() == fWindow && settled;
            if (!active && LTickMs() - fAt < 3000) return;
            fActive = true;
            fAt = LTickMs();
            walkwatch::Note("the modal window's steps begin");
            if (!active)
                std::fprintf(stderr,
                             "(%s not made active in 3 s: its steps go to it all the same)\n",
                             fWindow->windowTitle().toUtf8().constData());
        }
        if (fNext >= fSteps.size()) {
            // Steps that did not close it would hold the walk in its loop.
            if (fWindow && fWindow->isVisible() && LTickMs() - fAt > 6000) {
                ADD_FAILURE() << fWindow->windowTitle().toStdString() << " still open after "
                              << fSteps.size() << " steps";
                fWindow->close();
                fTimer.stop();
            }
            return;
        }
        // The first step comes at a person's pace after the window appears.
        const u32 wait = fNext == 0 ? std::max<u32>(fSteps[0].afterMs, 150) : fSteps[fNext].afterMs;
        if (LTickMs() - fAt < wait) return;
        if (fWindow->Owner()) fSteps[fNext].act(fWindow->Owner()->GetFrame());
        ++fNext;
        fAt = LTickMs();
    }
    std::vector<Step> fSteps;
    std::set<MWindow*> fBefore;
    QPointer<MWindow> fWindow;
    QTimer fTimer;
    size_t fNext = 0;
    u32 fAt = 0;
    bool fSeen = false;
    bool fActive = false;
    QRect fLastFrame;
};

// Fails the walk on a message the program shows unasked (an alert that the
// device could not be written, a question), and answers it as its close box
// does, so that the walk ends with the failure instead of waiting on it.
class AlertGuard {
public:
    explicit AlertGuard(std::string during) : fDuring(std::move(during)) {
        QObject::connect(&fTimer, &QTimer::timeout, [this] { Tick(); });
        fTimer.start(50);
    }

private:
    void Tick() {
        for (MWindow* w : ShownWindows()) {
            LFrame* f = w->Owner() ? w->Owner()->GetFrame() : nullptr;
            auto* message = dynamic_cast<CSimpleMessageDialog*>(f);
            if (!message && !dynamic_cast<CSaveChangesDialog*>(f)) continue;
            ADD_FAILURE() << "a message while " << fDuring << ": "
                          << (message ? message->fMessage.GetText().CStr()
                                      : w->windowTitle().toUtf8().constData());
            w->close();
        }
    }
    std::string fDuring;
    QTimer fTimer;
};

// The program as the walks find it: the control window of 1201 showing its
// play settings.
struct PlayEdit {
    Walk& w;
    SimDeviceProcess& sim;
    CKvsApp* kvs = nullptr;
    MWindow* ctl = nullptr;
    CKvsDevCtl* dev = nullptr;
    CKvsDevCtlScreen* screen = nullptr;
    CDrcCmdHandler* play = nullptr;
    CKvsPlayFrm* frame = nullptr;
};

// Runs the walk's body on the play edit, inside the application's namespace;
// in the walk's child process. Qt's warnings are kept in gWarnings. With play
// format 2 (`sqfm` of 1201's sequence settings, set before the play settings
// open: the play edit reads the format from the device) the view is the NSQ
// editor's, and `play` and `frame` stay null. setup: commands the simulated
// devices take before the program starts.
inline void WithPlayEdit(const XvfbHarness& x, NetnsHarness& net, const testtftp::TempDir& dir,
                         const std::function<void(PlayEdit&)>& body, u32 format = 1,
                         const std::vector<std::string>& setup = {}) {
    SimDeviceProcess sim(NetnsHarness::NsPath(net.DevNs()));
    ASSERT_TRUE(sim.Ok());
    ASSERT_NO_FATAL_FAILURE(AddDevices(
        sim, dir.Path(), {"serno=1201 addr=198.18.1.11/24", "serno=305 addr=198.18.1.12/24"}));
    if (format != 1) {
        ASSERT_EQ(
            sim.Cmd("chan-set serno=1201 path=/.cmd/udseqset/sqfm value=" + std::to_string(format))
                .rfind("ok", 0),
            0u);
    }
    for (const std::string& command : setup)
        ASSERT_EQ(sim.Cmd(command).rfind("ok", 0), 0u) << command;
    Walk w{x, sim};
    ASSERT_TRUE(net.InNs(net.AppNs(), [&] {
        qputenv("XDG_RUNTIME_DIR", QByteArray(dir.Path().c_str()));
        qInstallMessageHandler(CollectWarnings);
        AppLaunch launch("xcb", dir.Path() + "/config");
        QtMenuServices::SetAppName(QStringLiteral("KEVOruneSet"));
        ASSERT_TRUE(launch.PrefsWritten());
        PlayEdit p{w, sim};
        p.kvs = launch.Launch();
        auto* devwin = static_cast<CKvsDevWin*>(p.kvs->DevDoc()->View());
        CKvsDevSet& set = p.kvs->DevDoc()->DeviceSet();
        ASSERT_TRUE(WaitUntil([&] { return set.Count() == 2 && devwin->IsShown(); }, 15000));
        MWindow* devNative = AsMWindow(devwin->GetNativeWindow());
        ASSERT_TRUE(w.WaitActive(devNative, 5000)) << "the device window active";

        // The control window of 1201 (rows sorted by serial: 305, 1201).
        const LRect content = devwin->Window()->GetContentScreenRect();
        const u64 tl = devwin->fList->GetTopLeftIn(nullptr);
        const i32 rowH = std::max(1, i32(devwin->fList->CellHeight()));
        const QPoint row0(content.left + i32(LPane::UnpackX(tl)) + 20,
                          content.top + i32(LPane::UnpackY(tl)) + rowH / 2);
        w.Click(row0 + QPoint(0, rowH));
        ASSERT_TRUE(WaitUntil([&] { return devwin->SelectedRow() == 1; }, 3000));
        w.Click(row0 + QPoint(0, rowH), 2);
        ASSERT_TRUE(
            WaitUntil([&] { return (p.ctl = WindowTitled("1201 -KEVOrune")) != nullptr; }, 15000));
        p.dev = p.kvs->DevDoc()->FindController(1201);
        ASSERT_NE(p.dev, nullptr);
        p.screen = p.dev->Screen();
        ASSERT_NE(p.screen, nullptr);
        // The play settings view, chosen in the view pop-up with the keyboard.
        ASSERT_TRUE(w.WaitActive(p.ctl, 5000)) << "the control window active";
        w.programIdle = [dev = p.dev] { return ProgramQuiet(dev); };
        w.Click(PaneAt(&p.screen->Window().fView));
        ASSERT_TRUE(Await("the view pop-up open",
                          [] { return QApplication::activePopupWidget() != nullptr; }));
        w.Key("Down Return");
        ASSERT_TRUE(WaitUntil([&] { return p.screen->PlayView() != nullptr; }, 10000));
        if (format == 1) {
            p.play = dynamic_cast<CDrcCmdHandler*>(p.screen->PlayView());
            ASSERT_NE(p.play, nullptr);
            p.frame = p.play->Frame();
            ASSERT_TRUE(WaitUntil([&] { return p.frame->IsShown(); }, 5000));
        }
        // The play settings read whole before the walk edits them.
        ASSERT_TRUE(Await(
            "the play settings read", [&] { return w.Quiet(); }, 10000));
        LoopDrained();
        body(p);
    }));
}

// A walk of the play edit on a screen of that size ("1600x1000"), with a window
// manager and namespaces of the test's own; the walk in a child process.
template <class F>
void RunPlayEditWalk(const std::string& screen, const std::string& nsName, F walk) {
    if (!NetnsHarness::IsRoot()) GTEST_SKIP() << "needs root to build network namespaces";
    XvfbHarness x(screen + "x24");
    if (!x.Ok()) GTEST_SKIP() << "needs Xvfb, openbox and xdotool";
    NetnsHarness net;
    ASSERT_EQ(net.Setup(nsName), "");
    testtftp::TempDir dir;
    InChildProcess([&] { walk(x, net, dir); }, x);
}
