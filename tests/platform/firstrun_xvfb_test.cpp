// The program as a new user meets it, under a real X server with a window
// manager (Xvfb, openbox, xdotool) at two screen sizes, against three simulated
// devices in namespaces of the test's own (root only): every menu opened by a
// click, every dialog and window the program has opened from its menus, each
// checked to fit the screen's usable area, to sit over its owner and to be
// filled by its content; no Qt warning; the devices' logs hold only the writes
// meant. Screenshots go to the build folder (firstrun_<screen>_<name>.png).
// Each screen size runs in a child process: one QApplication per process.
#include <QApplication>
#include <QGuiApplication>
#include <QStyleHints>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "MessageWatch.h"
#include "WalkSetup.h"
#include "XvfbHarness.h"
#include "XvfbWalk.h"
#include "base/Clock.h"
#include "devices/AppPrefStore.h"
#include "devices/CKvsApp.h"
#include "devices/CKvsDevCtl.h"
#include "devices/CKvsDevDoc.h"
#include "devices/CDevSettingsDlgs.h"
#include "devices/CInputSetnDlgs.h"
#include "devices/CKvsDevFrm.h"
#include "devices/CKvsDevWin.h"
#include "devices/CSndDevPane.h"
#include "editors/CKvsSeqDlgs.h"
#include "framework/AppSingletons.h"
#include "framework/LDrawCtx.h"
#include "framework/CMenuKeyReg.h"
#include "framework/LFrame.h"
#include "framework/LMenu.h"
#include "framework/StdDialogs.h"
#include "platform/qt/AppDelegate.h"
#include "platform/qt/QtAppPrefStore.h"
#include "platform/qt/QtControls.h"
#include "platform/qt/QtMenus.h"
#include "platform/qt/QtWindows.h"
#include "records/DeviceKinds.h"
#include "records/PrefNodes.h"
#include "tests/devlink/NetnsHarness.h"
#include "tests/platform/AppLaunch.h"
#include "tools/testkit/SimDeviceProcess.h"

using namespace testtftp;

namespace {

// What a user sees of a window, checked against the screen, its owner and its
// own layout; a screenshot is saved under the name.
class WindowCheck {
public:
    WindowCheck(const XvfbHarness& x, std::string screen) : fX(x), fScreen(std::move(screen)) {}

    void Check(MWindow* w, QWidget* owner, const std::string& name) {
        SCOPED_TRACE(name);
        const QRect area = QApplication::primaryScreen()->availableGeometry();
        const QRect frame = w->frameGeometry();
        // Never an empty window: the smallest a placer allows is 40 x 40.
        EXPECT_GE(w->View()->width(), 40);
        EXPECT_GE(w->View()->height(), 40);
        EXPECT_TRUE(area.contains(frame)) << "frame " << Str(frame) << " area " << Str(area);
        if (owner && owner != w) {
            EXPECT_TRUE(owner->frameGeometry().contains(frame.center()))
                << "frame " << Str(frame) << " owner " << Str(owner->frameGeometry());
        }
        // Dialogs sized once from their layout resource have no layout of their own.
        LFrame* f = w->Owner() ? w->Owner()->GetFrame() : nullptr;
        if (f && f->HasLayout()) {
            LDrawCtx ctx;
            const i32 pw = f->GetPrefWidth(&ctx, -1), ph = f->GetPrefHeight(&ctx, 0);
            const LRect c = w->Owner()->GetContentScreenRect();
            // Filled: no larger than the layout asks for (a small margin), and not
            // clipped unless the screen is smaller than the layout.
            EXPECT_LE(c.Width(), pw + kMargin) << "pref " << pw;
            EXPECT_LE(c.Height(), ph + kMargin) << "pref " << ph;
            EXPECT_GE(c.Width(), std::min(pw, area.width() - 40) - 2) << "pref " << pw;
            EXPECT_GE(c.Height(), std::min(ph, area.height() - 80) - 2) << "pref " << ph;
        }
        const std::string png =
            std::string(KEVO_BINARY_DIR) + "/firstrun_" + fScreen + "_" + name + ".png";
        fX.Screenshot(png);
    }

private:
    static constexpr i32 kMargin = 48;
    static std::string Str(const QRect& r) {
        return std::to_string(r.x()) + "," + std::to_string(r.y()) + " " +
               std::to_string(r.width()) + "x" + std::to_string(r.height());
    }
    const XvfbHarness& fX;
    std::string fScreen;
};

// Waits (also inside a dialog's own modal loop) for a window that was not
// there before, lets it settle, checks it and closes it: Escape, then Return
// for a window without a cancel button, the close command for a plain window.
class NewWindowProbe {
public:
    // titleHas: only a window whose title holds this text counts (the control
    // window, not the progress dialog its opening may show on a slow machine).
    NewWindowProbe(const XvfbHarness& x, WindowCheck& check, QWidget* owner, std::string name,
                   bool close, const char* titleHas = nullptr)
        : fX(x),
          fCheck(check),
          fOwner(owner),
          fName(std::move(name)),
          fClose(close),
          fTitleHas(titleHas) {
        for (MWindow* w : ShownWindows()) fBefore.insert(w);
        QObject::connect(&fTimer, &QTimer::timeout, [this] { Step(); });
        fTimer.start(20);
    }
    MWindow* Window() const { return fSeen.data(); }
    bool Done() const { return fDone; }
    std::string State() const {
        return std::string("seen ") + (fFound ? "1" : "0") + " checked " + (fChecked ? "1" : "0") +
               " returned " + (fReturned ? "1" : "0");
    }

private:
    void Step() {
        if (!fFound) {
            for (MWindow* w : ShownWindows()) {
                if (fTitleHas && !w->windowTitle().contains(QString::fromUtf8(fTitleHas))) continue;
                if (!fBefore.count(w)) {
                    fSeen = w;
                    fFound = true;
                    fAt = LTickMs();
                }
            }
            return;
        }
        if (!fChecked) {
            // Looked at once it takes input: placed, shown and activated (a
            // window never activated is looked at after a while all the same).
            if (fSeen && !TakesInput(fX, fSeen) && LTickMs() - fAt < 3000) return;
            fChecked = true;
            EXPECT_TRUE(fSeen) << fName << ": closed before it could be looked at";
            if (!fSeen) {
                fDone = true;
                fTimer.stop();
                return;
            }
            fCheck.Check(fSeen, fOwner, fName);
            if (!fClose) {
                fDone = true;
                fTimer.stop();
                return;
            }
            fKeys = InputSeen::Instance().Keys();
            fX.XdotoolAsync("key Escape");
            fAt = LTickMs();
            return;
        }
        const std::vector<MWindow*> shown = ShownWindows();
        const bool open = fSeen && std::count(shown.begin(), shown.end(), fSeen.data()) != 0;
        if (!open) {
            fDone = true;
            fTimer.stop();
            return;
        }
        // Each key taken, what it queued run, and the window still open: the
        // next way to close it.
        const bool taken = InputSeen::Instance().Keys() > fKeys || LTickMs() - fAt > 3000;
        if (taken) {
            LoopDrained();
            if (!fSeen || !fSeen->isVisible()) return;
        }
        if (taken && !fReturned) {
            fReturned = true;
            fKeys = InputSeen::Instance().Keys();
            fAt = LTickMs();
            fX.XdotoolAsync("key Return");
        } else if (taken && fReturned && fSeen->Owner()) {
            // A window that is not a dialog closes like any window.
            fSeen->Owner()->GetFrame()->HideWindow();
        }
    }

    const XvfbHarness& fX;
    WindowCheck& fCheck;
    QWidget* fOwner;
    std::string fName;
    bool fClose;
    const char* fTitleHas;
    std::set<MWindow*> fBefore;
    QTimer fTimer;
    QPointer<MWindow> fSeen;
    u32 fAt = 0;
    u64 fKeys = 0;
    bool fFound = false, fChecked = false, fDone = false, fReturned = false;
};

struct Opened {
    const char* menu;
    const char* item;
    const char* shot;
};

// What the device window's menus open; every one is closed without a change.
const Opened kDevWinDialogs[] = {
    {"KEVOruneSet", "About", "about"},         {"KEVOruneSet", "Preferences", "viewprefs"},
    {"Device", "Initial Address", "initaddr"}, {"Device", "Set Clock", "clock"},
    {"Device", "Clock Rate", "clockrate"},     {"Device", "Network Settings", "network"},
    {"Device", "Shutdown Delay", "shutdown"},  {"Device", "Rotate Display", "rotate"},
};

// What the control window's own menu opens.
const Opened kCtlWinDialogs[] = {
    {"Device", "DrMX Input", "drmx"},       {"Device", "Art-Net Input", "artnet"},
    {"Device", "sACN Input", "sacn"},       {"Device", "Count-Down", "countdown"},
    {"Device", "Audio Format", "audiofmt"},
};

// The writes in a device log ("chan ... op=write" and command files), with
// the device and path only.
std::vector<std::string> Writes(SimDeviceProcess& sim) {
    std::vector<std::string> out;
    for (const std::string& line : sim.Log()) {
        const bool chan = line.rfind("chan ", 0) == 0 && line.find("op=write") != std::string::npos;
        const bool cmd = line.rfind("cmd ", 0) == 0;
        if (!chan && !cmd) continue;
        std::string kept;
        for (const char* key : {"dev", "op", "path"}) {
            const std::string v = SimDeviceProcess::Field(line, key);
            if (!v.empty()) kept += std::string(kept.empty() ? "" : " ") + key + "=" + v;
        }
        out.push_back(kept);
    }
    return out;
}

enum Scenario {
    kTour,
    kFieldLimits,
    kDeviceChange,
    kRefusal,
    kTermDialog,
    kTermMessage,
    kCloseEach,
    kKeyboard
};

// What a scenario works with once the device window lists the devices.
struct Session {
    const XvfbHarness& x;
    SimDeviceProcess& sim;
    WindowCheck& check;
    MenuDriver& menus;
    CKvsDevWin* win;
    MWindow* devwin;
    QPoint row0;  // the first row of the device list, on the screen
    i32 rowH;
};

// Nothing under way at the devices once the program has run all it had
// queued: two looks, the loop drained before each, both without a transfer
// (a write the program has queued is under way by the second).
bool DevicesQuiet(SimDeviceProcess& sim) {
    for (int look = 0; look < 2; ++look) {
        LoopDrained();
        if (SimDeviceProcess::Field(sim.Cmd("xfers"), "active") != "0") return false;
    }
    return true;
}

bool AwaitQuiet(SimDeviceProcess& sim, const std::string& after) {
    return Await(
        "the devices quiet after " + after, [&] { return DevicesQuiet(sim); }, 8000, kLookMs);
}

// How many writes to a device went to a path that holds the text.
int Writes(SimDeviceProcess& sim, u32 serial, const std::string& pathPart) {
    int n = 0;
    for (const std::string& line : sim.Log()) {
        if (line.rfind("chan ", 0) != 0 || line.find("op=write") == std::string::npos) continue;
        if (SimDeviceProcess::Field(line, "dev") == std::to_string(serial) &&
            SimDeviceProcess::Field(line, "path").find(pathPart) != std::string::npos)
            ++n;
    }
    return n;
}

// A value of the sound-device parameter list a device holds (at the entry
// the application keeps that key in), -1 when absent.
i64 SndParam(SimDeviceProcess& sim, u32 serial, const char* key) {
    CKvsDevCtl* ctl = static_cast<CKvsApp*>(gApp)->DevDoc()->FindController(u16(serial));
    CRecord* settings = ctl ? ctl->Settings() : nullptr;
    CRecord* prmc = settings ? settings->GetChild(DvstF::prmc) : nullptr;
    CRecord* sndv = prmc ? prmc->GetChild(PrmcF::sndv) : nullptr;
    const i32 index = sndv ? NodeFind(sndv, key, nullptr) : -1;
    if (index < 0) return -1;
    const std::string v = SimDeviceProcess::Field(
        sim.Cmd("chan-get serno=" + std::to_string(serial) +
                " path=/.cmd/udkvtset/prmc/sndv/prms/" + std::to_string(index) + "/v"),
        "value");
    return v.empty() ? -1 : std::atoll(v.c_str());
}

// One value typed into one field of a dialog and confirmed with OK:
// what reaches the device is within the field's range, or nothing does; text
// that is no address is refused with a message and nothing is stored.
struct Typed {
    const char* menu;
    const char* item;
    bool control;  // from the control window's menu
    LPane* (*field)(LFrame* dialog);
    const char* text;
    const char* tag;  // the field written; "" for a broadcast command
    i64 lo, hi;       // the field's range; a value typed above it is stored as hi
    bool refused;     // an address refused: a message, then the dialog stays
};

template <class D>
D* As(LFrame* f) {
    return dynamic_cast<D*>(f);
}

const Typed kTyped[] = {
    {"Device", "Initial Address", false,
     [](LFrame* f) -> LPane* { return &As<CInitAddrDlg>(f)->fSerial; }, "7000", "", 1000, 2999,
     false},
    {"Device", "Shutdown Delay", false,
     [](LFrame* f) -> LPane* { return &As<CKvsShtdwDlyDlg>(f)->fDelay; }, "75", "sddl", 0, 60,
     false},
    {"Device", "Shutdown Delay", false,
     [](LFrame* f) -> LPane* { return &As<CKvsShtdwDlyDlg>(f)->fDelay; }, "300", "sddl", 0, 60,
     false},
    {"Device", "Network Settings", false,
     [](LFrame* f) -> LPane* { return &As<CKvsNetwDlg>(f)->fInterval; }, "30", "ntit", 1, 24,
     false},
    {"Device", "Network Settings", false,
     [](LFrame* f) -> LPane* { return &As<CKvsNetwDlg>(f)->fAddr[CKvsNetwDlg::kRouter]; },
     "300.1.1.1", "rtra", 0, 0, true},
    {"Device", "Network Settings", false,
     [](LFrame* f) -> LPane* { return &As<CKvsNetwDlg>(f)->fAddr[CKvsNetwDlg::kDns]; }, "abc",
     "dnsa", 0, 0, true},
    {"Device", "DrMX Input", true,
     [](LFrame* f) -> LPane* { return &As<CKvsDrMXSetnDlg>(f)->fArtNet.fSub; }, "20", "", 0, 0,
     false},
    {"Device", "Art-Net Input", true,
     [](LFrame* f) -> LPane* { return &As<CKvsAnSetnDlg>(f)->fNumber; }, "500", "", 0, 0, false},
    {"Device", "sACN Input", true,
     [](LFrame* f) -> LPane* { return &As<CKvsSACNSetnDlg>(f)->fNumber; }, "99999", "", 0, 0,
     false},
};

// Opens the dialog of a row, types into its field and confirms with OK;
// answers the frame of the dialog seen and whether a message came up.
void TypeAndConfirm(Session& s, QWidget* owner, const Typed& t, bool* messaged) {
    std::set<MWindow*> before;
    for (MWindow* w : ShownWindows()) before.insert(w);
    QPointer<MWindow> dialog;
    int phase = 0;
    u32 at = 0;
    *messaged = false;
    QTimer step;
    QObject::connect(&step, &QTimer::timeout, [&] {
        const std::vector<MWindow*> shown = ShownWindows();
        if (phase == 0) {
            for (MWindow* w : shown) {
                if (!before.count(w)) {
                    dialog = w;
                    phase = 1;
                    at = LTickMs();
                }
            }
        } else if (phase == 1 && dialog && (TakesInput(s.x, dialog) || LTickMs() - at > 3000)) {
            LFrame* frame = dialog->Owner()->GetFrame();
            const QPoint p = PaneCenter(t.field(frame));
            auto* settings = dynamic_cast<CKvsSettingsDlg*>(frame);
            ASSERT_NE(settings, nullptr);
            const QPoint ok = PaneCenter(&settings->fOk);
            // "type" takes every word after it: the click on OK is a command of its own.
            s.x.XdotoolAsync(Where(p) +
                             " click 1 sleep 0.2 key ctrl+a ; xdotool type --delay 100 " + t.text +
                             " ; xdotool sleep 0.2 mousemove " + std::to_string(ok.x()) + " " +
                             std::to_string(ok.y()) + " click 1");
            phase = 2;
            at = LTickMs();
        } else if (phase == 2 && LTickMs() - at > 1500) {
            // A message above the dialog (a refusal) is answered; the dialog that
            // stays open is cancelled.
            for (MWindow* w : shown) {
                if (!before.count(w) && w != dialog) *messaged = true;
            }
            s.x.XdotoolAsync("key Escape");
            phase = 3;
            at = LTickMs();
        } else if (phase == 3 && LTickMs() - at > 700) {
            if (dialog && dialog->isVisible()) s.x.XdotoolAsync("key Escape");
            phase = 4;
        }
    });
    step.start(20);
    ASSERT_TRUE(s.menus.Choose(owner, t.menu, t.item)) << t.item;
    EXPECT_TRUE(
        WaitUntil([&] { return phase == 4 && ShownWindows().size() == before.size(); }, 10000))
        << t.item << " " << t.text;
}

void FieldLimits(Session& s) {
    const u32 serial = s.win->fFrame->Serial();
    QWidget* ctl = nullptr;
    for (const Typed& t : kTyped) {
        SCOPED_TRACE(std::string(t.item) + " " + t.text);
        if (t.control && !ctl) {
            // On the selected row (the driver keeps it apart from the last click)
            // of the window made active again once the last dialog closed.
            EXPECT_TRUE(s.menus.WaitActive(s.devwin)) << "the device window active again";
            s.menus.Click(s.row0 + QPoint(0, std::max(0, s.win->SelectedRow()) * s.rowH), 2);
            // The control window, not the progress dialog its opening may show.
            auto control = [&]() -> MWindow* {
                for (MWindow* w : ShownWindows())
                    if (w != s.devwin && w->windowTitle().contains("-KEVOrune")) return w;
                return nullptr;
            };
            WaitUntil([&] { return control() != nullptr; }, 15000);
            ctl = control();
            ASSERT_NE(ctl, nullptr);
            WaitUntil([&] { return QApplication::activeWindow() == ctl; }, 3000);
        }
        s.sim.Cmd("log clear");
        bool messaged = false;
        TypeAndConfirm(s, t.control ? ctl : s.devwin, t, &messaged);
        AwaitQuiet(s.sim, t.item);
        EXPECT_EQ(messaged, t.refused);
        if (t.refused) {
            EXPECT_EQ(WrittenValues(s.sim, serial, t.tag), std::vector<i64>());
        } else if (*t.tag) {
            // Limited and stored, or refused with a message: never silently nothing
            // (nothing is written when the device already holds the limit).
            const std::string held =
                SimDeviceProcess::Field(s.sim.Cmd("chan-get serno=" + std::to_string(serial) +
                                                  " path=/.cmd/udkvtset/" + t.tag),
                                        "value");
            EXPECT_TRUE(messaged || !WrittenValues(s.sim, serial, t.tag).empty() ||
                        std::atoll(held.c_str()) == t.hi)
                << held;
            // Typed above the range: the range's end, never a wrapped value.
            for (const i64 v : WrittenValues(s.sim, serial, t.tag)) EXPECT_EQ(v, t.hi);
        }
        // The typed text itself never reaches a device.
        for (const std::string& line : s.sim.Log())
            EXPECT_EQ(line.find(std::string("=") + t.text + " "), std::string::npos) << line;
    }
}

// The focused text field's whole text is selected (typing replaces it).
bool AllSelected(LEditText* field) {
    return (field->State() & LPane::kFocused) && field->Engine() &&
           field->Engine()->IsAllSelected();
}

// Puts devices into custom addressing with backup, so that every address field shows.
void CustomAddressing(std::initializer_list<u32> serials) {
    CKvsDevDoc* doc = static_cast<CKvsApp*>(gApp)->DevDoc();
    for (const u32 serial : serials) {
        CKvsDevCtl* ctl = doc->FindController(u16(serial));
        ASSERT_NE(ctl, nullptr);
        ASSERT_TRUE(WaitUntil([&] { return !ctl->SettingsChannel().IsBusy(); }, 5000));
        ctl->Settings()->SetU8(nullptr, DvstF::admd, 2);
        ctl->Settings()->SetU8(nullptr, DvstF::bkup, 1);
    }
}

// Typed at a person's pace, the program running between the keys.
void Type(Session& s, const std::string& text) {
    s.menus.Type(text);
}

void ClickAt(Session& s, QPoint p, const std::string& then = "") {
    s.x.Xdotool(Where(p) + " click 1" + then);
}

// An address refused when another device is chosen: one message however it
// is answered, the device it was typed for stays chosen, its field takes typing
// at once (its text selected, or after a click and Ctrl+A), and what is typed
// then goes to that device alone.
void Refusal(Session& s) {
    CustomAddressing({1201u, 305u});
    const struct {
        const char* text;
        const char* answer;
        bool clickFirst;  // a click into the field and Ctrl+A before the new text
    } rounds[] = {
        {"300.1.1.1", "key Return", false},
        {"224.0.0.1", "key Escape", true},
        {"300.1.1.1", "ok", true},
        {"224.0.0.1", "close", false},
    };
    u32 good = 0xC612014B;  // 198.18.1.75, then one more each round
    for (const auto& r : rounds) {
        SCOPED_TRACE(std::string(r.text) + " " + r.answer);
        s.menus.Click(s.row0 + QPoint(0, s.rowH));
        ASSERT_TRUE(WaitUntil([&] { return s.win->fFrame->Serial() == 305; }, 3000));
        AwaitQuiet(s.sim, "305 chosen");
        CKvsDevFrm* frame = s.win->fFrame;
        s.sim.Cmd("log clear");
        ClickAt(s, PaneCenter(&frame->fCsad), " sleep 0.2 key ctrl+a");
        Type(s, r.text);
        EXPECT_TRUE(WaitUntil([&] { return frame->fCsad.GetText() == LString(r.text); }, 3000));
        MessageWatch watch(s.x, r.answer);
        // Another device's row: refused, so not taken.
        s.menus.Click(s.row0 + QPoint(0, 2 * s.rowH));
        EXPECT_TRUE(WaitUntil([&] { return watch.Shown() >= 1 && !watch.Open(); }, 5000));
        // A second message would come from the same turn as the choice.
        AwaitQuiet(s.sim, "the refusal");
        EXPECT_EQ(watch.Shown(), 1);
        EXPECT_EQ(watch.Unheard(), 0);
        EXPECT_EQ(frame->Serial(), 305);
        EXPECT_EQ(s.win->SelectedRow(), 1);
        EXPECT_EQ(std::string(frame->fCsad.GetText().View()), r.text);
        EXPECT_TRUE(WaitUntil([&] { return AllSelected(&frame->fCsad); }, 2000));
        ++good;
        const std::string typed = std::string(IPv4Text(good).CStr());
        if (r.clickFirst) ClickAt(s, PaneCenter(&frame->fCsad), " sleep 0.2 key ctrl+a");
        Type(s, typed);
        EXPECT_TRUE(
            WaitUntil([&] { return frame->fCsad.GetText() == LString(typed.c_str()); }, 3000))
            << frame->fCsad.GetText().CStr();
        // The other device's row again: now taken, the address stored for 305 alone.
        s.menus.Click(s.row0 + QPoint(0, 2 * s.rowH));
        EXPECT_TRUE(WaitUntil([&] { return frame->Serial() == 1201; }, 3000));
        AwaitQuiet(s.sim, "1201 chosen");
        EXPECT_EQ(watch.Shown(), 1);
        EXPECT_EQ(WrittenValues(s.sim, 305, "csad"), std::vector<i64>{i64(good)});
        EXPECT_EQ(WrittenValues(s.sim, 1201, "csad"), std::vector<i64>());
    }
    s.check.Check(s.devwin, nullptr, "devwin_refused");

    // The Network dialog: a router refused on OK, then typed again at once.
    s.sim.Cmd("log clear");
    MessageWatch watch(s.x, "key Return");
    watch.ShootNext(std::string(KEVO_BINARY_DIR) + "/firstrun_netw_refused.png");
    QPointer<MWindow> dialog;
    CKvsNetwDlg* netw = nullptr;
    int phase = 0;
    u32 at = 0;
    std::string seen;
    QTimer step;
    QObject::connect(&step, &QTimer::timeout, [&] {
        if (phase == 0) {
            for (MWindow* w : ShownWindows())
                if (w != s.devwin) dialog = w;
            netw = dialog ? dynamic_cast<CKvsNetwDlg*>(dialog->Owner()->GetFrame()) : nullptr;
            if (netw) phase = 1, at = LTickMs();
        } else if (phase == 1 && (TakesInput(s.x, dialog) || LTickMs() - at > 3000)) {
            const QPoint f = PaneCenter(&netw->fAddr[CKvsNetwDlg::kRouter]);
            const QPoint ok = PaneCenter(&netw->fOk);
            s.x.XdotoolAsync(
                Where(f) +
                " click 1 sleep 0.2 key ctrl+a ; xdotool type --delay 100 300.1.1.1 ; xdotool "
                "sleep 0.2 mousemove " +
                std::to_string(ok.x()) + " " + std::to_string(ok.y()) + " click 1");
            phase = 2;
        } else if (phase == 2 && watch.Shown() == 1 && !watch.Open()) {
            // The message came over the dialog that raised it.
            const QRect m = watch.Frame(), o = dialog->frameGeometry();
            EXPECT_LE(std::abs(m.center().x() - o.center().x()), 3);
            EXPECT_LE(std::abs(m.top() - (o.top() + (o.height() - m.height()) / 3)), 3)
                << m.y() << " " << m.height() << " over " << o.y() << " " << o.height();
            // The message answered: the field takes typing at once, also after a
            // click into it and Ctrl+A.
            const QPoint f = PaneCenter(&netw->fAddr[CKvsNetwDlg::kRouter]);
            s.x.XdotoolAsync(Where(f) +
                             " click 1 sleep 0.2 key ctrl+a ; xdotool type --delay 100 10.0.0.5");
            phase = 3;
            at = LTickMs();
        } else if (phase == 3 &&
                   (netw->fAddr[CKvsNetwDlg::kRouter].GetText() == LString("10.0.0.5") ||
                    LTickMs() - at > 4000)) {
            seen = netw->fAddr[CKvsNetwDlg::kRouter].GetText().CStr();
            const QPoint ok = PaneCenter(&netw->fOk);
            s.x.XdotoolAsync("mousemove " + std::to_string(ok.x()) + " " + std::to_string(ok.y()) +
                             " click 1");
            phase = 4;
            at = LTickMs();
        } else if (phase == 4 && dialog && dialog->isVisible() && LTickMs() - at > 4000) {
            s.x.XdotoolAsync(CloseBox(dialog));  // still open: the test goes on
            at = LTickMs();
        }
    });
    step.start(20);
    ASSERT_TRUE(s.menus.Choose(s.devwin, "Device", "Network Settings"));
    EXPECT_TRUE(WaitUntil([&] { return phase == 4 && ShownWindows().size() == 1; }, 15000));
    // The settings channel sends at its own pace.
    WaitUntil([&] { return !WrittenValues(s.sim, 1201, "rtra").empty(); }, 5000);
    AwaitQuiet(s.sim, "the router written");
    EXPECT_EQ(seen, "10.0.0.5");
    EXPECT_EQ(watch.Shown(), 1);
    EXPECT_EQ(WrittenValues(s.sim, 1201, "rtra"), std::vector<i64>{0x0A000005});
}

// The newest file time under a folder (seconds since the epoch), 0 for none.
i64 NewestFileTime(const std::string& folder) {
    std::error_code ec;
    i64 newest = 0;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        struct stat st;
        if (it->is_regular_file() && stat(it->path().c_str(), &st) == 0)
            newest = std::max<i64>(newest, i64(st.st_mtime));
    }
    return newest;
}

// SIGTERM (a logout, a shutdown) while a dialog with a typed value, or a
// refusal message, is open: the dialogs end as cancelled (nothing written),
// the main loop ends with status 0, the application is torn down and its
// preferences are saved.
void Terminated(Session& s, AppLaunch& launch, const std::string& config, bool message) {
    const u32 serial = 305;
    CustomAddressing({305u});
    s.menus.Click(s.row0 + QPoint(0, s.rowH));
    ASSERT_TRUE(WaitUntil([&] { return s.win->fFrame->Serial() == serial; }, 3000));
    AppDelegate::Instance()->CatchSignals();
    s.sim.Cmd("log clear");
    std::set<MWindow*> before;
    for (MWindow* w : ShownWindows()) before.insert(w);
    int phase = 0;
    u32 at = 0;
    CKvsShtdwDlyDlg* typed = nullptr;
    const i64 savedBefore = NewestFileTime(config);
    QTimer step;
    QObject::connect(&step, &QTimer::timeout, [&] {
        MWindow* opened = nullptr;
        for (MWindow* w : ShownWindows())
            if (!before.count(w)) opened = w;
        if (phase == 0 && opened) {
            phase = 1;
            at = LTickMs();
        } else if (phase == 1 && (TakesInput(s.x, opened) || LTickMs() - at > 3000)) {
            phase = 2;
            if (message) return;
            // A value typed and left in its field: Cancel would store nothing.
            typed = dynamic_cast<CKvsShtdwDlyDlg*>(opened->Owner()->GetFrame());
            ASSERT_NE(typed, nullptr);
            ClickAt(s, PaneCenter(&typed->fDelay), " sleep 0.2 key ctrl+a");
            s.x.XdotoolAsync("type --delay 100 45");
        } else if (phase == 2 && (!typed || typed->fDelay.GetText() == LString("45"))) {
            s.x.Screenshot(std::string(KEVO_BINARY_DIR) + "/firstrun_term_" +
                           (message ? "message" : "dialog") + ".png");
            ::kill(getpid(), SIGTERM);
            phase = 3;
        }
    });
    step.start(20);
    if (message) {
        ClickAt(s, PaneCenter(&s.win->fFrame->fCsad), " sleep 0.2 key ctrl+a");
        Type(s, "300.1.1.1");
        s.x.XdotoolAsync("mousemove " + std::to_string(s.row0.x()) + " " +
                         std::to_string(s.row0.y() + 2 * s.rowH) + " click 1");
    } else {
        ASSERT_TRUE(s.menus.Choose(s.devwin, "Device", "Shutdown Delay"));
    }
    // The program's own main loop, as it runs outside tests; a program that
    // hangs fails the test instead of keeping it.
    QTimer::singleShot(20000, [] { QCoreApplication::exit(7); });
    const int status = QApplication::exec();
    step.stop();
    EXPECT_EQ(phase, 3);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(CMainLoop::Current() ? CMainLoop::Current()->ModalDepth() : 0u, 0u);
    // What a cancelled dialog leaves: nothing written.
    AwaitQuiet(s.sim, "the cancelled dialog");
    EXPECT_EQ(WrittenValues(s.sim, serial, message ? "csad" : "sddl"), std::vector<i64>());
    launch.Terminate();
    EXPECT_EQ(gApp, nullptr);
    EXPECT_GE(NewestFileTime(config), savedBefore);
    EXPECT_GT(NewestFileTime(config), 0);
}

enum Close { kOkClick, kCancelClick, kReturnKey, kEscapeKey, kCloseBoxClick };

// One value typed into a dialog's field and, right after the typing (no Tab),
// the dialog closed one way; value: what the device then holds written, -1 for
// nothing written.
struct Closing {
    Close how;
    const char* text;
    i64 value;
};

struct ClosedDialog {
    const char* item;
    bool control;  // from the control window's menu
    LPane* (*field)(LFrame* dialog);
    const char* tag;
    std::vector<Closing> ways;
};

// The storing ways as given, then Cancel, Escape and the close box, each with
// a text of its own that must not arrive.
std::vector<Closing> StoredThenDropped(std::vector<Closing> storing, const char* cancel,
                                       const char* escape, const char* closeBox) {
    storing.push_back({kCancelClick, cancel, -1});
    storing.push_back({kEscapeKey, escape, -1});
    storing.push_back({kCloseBoxClick, closeBox, -1});
    return storing;
}

// Opens the dialog from the menu, types into the field and closes it; false
// when no dialog came or it stayed open.
bool TypeAndClose(Session& s, QWidget* owner, const ClosedDialog& d, const Closing& c) {
    std::set<MWindow*> before;
    for (MWindow* w : ShownWindows()) before.insert(w);
    QPointer<MWindow> dialog;
    int phase = 0;
    u32 at = 0;
    bool stuck = false;
    QTimer step;
    QObject::connect(&step, &QTimer::timeout, [&] {
        if (phase == 0) {
            for (MWindow* w : ShownWindows())
                if (!before.count(w)) dialog = w, phase = 1, at = LTickMs();
        } else if (phase == 1 && dialog && (TakesInput(s.x, dialog) || LTickMs() - at > 3000)) {
            LFrame* frame = dialog->Owner()->GetFrame();
            auto* modal = dynamic_cast<LModalFrame*>(frame);
            const QPoint p = PaneCenter(d.field(frame));
            std::string then;
            switch (c.how) {
                case kOkClick:
                case kCancelClick: {
                    const QPoint b = PaneCenter(c.how == kOkClick ? modal->DefaultButton()
                                                                  : modal->CancelButton());
                    then = Where(b) + " click 1";
                    break;
                }
                case kReturnKey:
                    // The first Return ends a number field's edit (its value
                    // fixed, its text selected); the second one is the dialog's.
                    then = "key Return sleep 0.3 key Return";
                    break;
                case kEscapeKey:
                    then = "key Escape";
                    break;
                case kCloseBoxClick:
                    then = CloseBox(dialog);
                    break;
            }
            s.x.XdotoolAsync(Where(p) +
                             " click 1 sleep 0.2 key ctrl+a ; xdotool type --delay 100 " + c.text +
                             " ; xdotool sleep 0.2 " + then);
            phase = 2;
            at = LTickMs();
        } else if (phase == 2 && dialog && dialog->isVisible() && LTickMs() - at > 4000) {
            // Still open: closed by its cancel button so that the test goes on.
            stuck = true;
            at = LTickMs();
            const QPoint b =
                PaneCenter(static_cast<LModalFrame*>(dialog->Owner()->GetFrame())->CancelButton());
            s.x.XdotoolAsync(Where(b) + " click 1");
        }
    });
    step.start(20);
    if (!s.menus.Choose(owner, "Device", d.item)) return false;
    const bool closed =
        WaitUntil([&] { return phase == 2 && ShownWindows().size() == before.size(); }, 12000);
    return closed && !stuck;
}

// A window opened without a stored place: beside its owner, or over it moved
// away from its corner; the owner's title bar stays in sight.
void CheckBeside(QWidget* w, QWidget* owner, const char* name) {
    const QRect f = w->frameGeometry(), o = owner->frameGeometry();
    EXPECT_FALSE(f.contains(o.topLeft() + QPoint(40, 8))) << name;
    EXPECT_TRUE(f.intersects(o.adjusted(-60, -60, 60, 60))) << name;
    EXPECT_TRUE(QApplication::primaryScreen()->availableGeometry().contains(f)) << name;
}

// Opens a window from a menu of the owner, checks its place and closes it.
void OpenBeside(Session& s, QWidget* owner, const char* menu, const char* item, const char* name) {
    std::set<MWindow*> before;
    for (MWindow* w : ShownWindows()) before.insert(w);
    ASSERT_TRUE(s.menus.Choose(owner, menu, item)) << item;
    MWindow* opened = nullptr;
    WaitUntil(
        [&] {
            for (MWindow* w : ShownWindows())
                if (!before.count(w)) opened = w;
            return opened != nullptr;
        },
        5000);
    ASSERT_NE(opened, nullptr) << item;
    WaitShown(opened);
    CheckBeside(opened, owner, name);
    s.x.Screenshot(std::string(KEVO_BINARY_DIR) + "/firstrun_placed_" + name + ".png");
    opened->Owner()->GetFrame()->HideWindow();
    WaitUntil([&] { return !opened->isVisible(); }, 3000);
}

// Every way of closing a dialog right after typing into it: its default
// button and Return store the typed value once, range applied; Cancel, Escape
// and the close box store nothing, except in a dialog whose one button is also
// its escape button, where they store too.
void CloseEach(Session& s) {
    const u32 serial = s.win->fFrame->Serial();
    const ClosedDialog dialogs[] = {
        {"Shutdown Delay", false,
         [](LFrame* f) -> LPane* { return &As<CKvsShtdwDlyDlg>(f)->fDelay; }, "sddl",
         StoredThenDropped({{kOkClick, "75", 60}, {kReturnKey, "33", 33}}, "12", "13", "14")},
        {"Network Settings", false,
         [](LFrame* f) -> LPane* { return &As<CKvsNetwDlg>(f)->fInterval; }, "ntit",
         StoredThenDropped({{kReturnKey, "5", 5}, {kOkClick, "30", 24}}, "6", "7", "8")},
        {"Count-Down", true, [](LFrame* f) -> LPane* { return &As<CCSetNDlg>(f)->fField; }, "ccst",
         StoredThenDropped({{kOkClick, "250", 250}, {kReturnKey, "4000", 1000}}, "252", "253",
                           "254")},
        {"Art-Net Input", true, [](LFrame* f) -> LPane* { return &As<CKvsAnSetnDlg>(f)->fNumber; },
         "aidl",
         StoredThenDropped({{kOkClick, "500", 1000}, {kReturnKey, "7", 70}}, "8", "9", "11")},
        {"sACN Input", true, [](LFrame* f) -> LPane* { return &As<CKvsSACNSetnDlg>(f)->fNumber; },
         "saus",
         StoredThenDropped({{kOkClick, "99999", 32768}, {kReturnKey, "12", 12}}, "13", "14", "15")},
        {"Audio Format",
         true,
         [](LFrame* f) -> LPane* { return &As<CKvsSndFmtDlg>(f)->fOut; },
         "ochs",
         {{kOkClick, "40", 16},
          {kReturnKey, "4", 4},
          {kEscapeKey, "6", 6},
          {kCloseBoxClick, "8", 8}}},
    };
    QWidget* ctl = nullptr;
    for (const ClosedDialog& d : dialogs) {
        if (d.control && !ctl) {
            EXPECT_TRUE(s.menus.WaitActive(s.devwin)) << "the device window active again";
            s.menus.Click(s.row0 + QPoint(0, std::max(0, s.win->SelectedRow()) * s.rowH), 2);
            auto control = [&]() -> MWindow* {
                for (MWindow* w : ShownWindows())
                    if (w != s.devwin && w->windowTitle().contains("-KEVOrune")) return w;
                return nullptr;
            };
            WaitUntil([&] { return control() != nullptr; }, 15000);
            ctl = control();
            ASSERT_NE(ctl, nullptr);
            WaitUntil([&] { return QApplication::activeWindow() == ctl; }, 3000);
            CheckBeside(ctl, s.devwin, "control");
        }
        for (const Closing& c : d.ways) {
            SCOPED_TRACE(std::string(d.item) + " " + c.text + " close " + std::to_string(c.how));
            s.sim.Cmd("log clear");
            EXPECT_TRUE(TypeAndClose(s, d.control ? ctl : s.devwin, d, c));
            AwaitQuiet(s.sim, std::string(d.item) + " closed");
            if (std::string(d.tag) == "ochs") {
                // The sound settings travel as a parameter list: one write of it
                // (or of the one entry), and the device then holds the value.
                EXPECT_EQ(Writes(s.sim, serial, "/sndv/prms"), c.value < 0 ? 0 : 1);
                if (c.value >= 0) {
                    EXPECT_EQ(SndParam(s.sim, serial, "ochs"), c.value);
                }
            } else {
                EXPECT_EQ(WrittenValues(s.sim, serial, d.tag),
                          c.value < 0 ? std::vector<i64>() : std::vector<i64>{c.value});
            }
        }
    }
    // Windows of the control window, first opened: beside it.
    ASSERT_NE(ctl, nullptr);
    OpenBeside(s, ctl, "KEVOruneSet", "Speed Calculator", "speedcalc");
    OpenBeside(s, ctl, "Device", "Universe Addresses", "uvad");
}

// The device frame by keyboard: Tab goes from the address field through the
// boxes, the focused one shows its focus ring, and Space toggles a focused box
// as a click does (the device hears it once).
void Keyboard(Session& s) {
    CustomAddressing({305u});
    s.menus.Click(s.row0 + QPoint(0, s.rowH));
    ASSERT_TRUE(WaitUntil([&] { return s.win->fFrame->Serial() == 305; }, 3000));
    AwaitQuiet(s.sim, "305 chosen");
    CKvsDevFrm* f = s.win->fFrame;
    ClickAt(s, PaneCenter(&f->fCsmk));
    ASSERT_TRUE(WaitUntil([&] { return (f->fCsmk.State() & LPane::kFocused) != 0; }, 2000));
    // Tab until the DHCP box has the focus; each stop shows its ring.
    bool reached = false;
    for (int stop = 0; stop < 6 && !reached; ++stop) {
        s.menus.Key("Tab");
        LoopDrained();
        reached = (f->fDhcp.State() & LPane::kFocused) && (s.win->fFrame->Focus() == &f->fDhcp);
    }
    ASSERT_TRUE(reached);
    EXPECT_TRUE(f->fDhcp.State() & LPane::kRingShown);
    s.x.Screenshot(std::string(KEVO_BINARY_DIR) + "/firstrun_tab_dhcp.png");
    s.sim.Cmd("log clear");
    const u8 before = f->fDhcp.GetState();
    s.menus.Key("space");
    EXPECT_TRUE(WaitUntil([&] { return f->fDhcp.GetState() != before; }, 2000));
    WaitUntil([&] { return !WrittenValues(s.sim, 305, "usdh").empty(); }, 5000);
    AwaitQuiet(s.sim, "the box changed");
    EXPECT_EQ(WrittenValues(s.sim, 305, "usdh"), std::vector<i64>{before ? 0 : 1});
    // Tab moves on: the ring goes with the focus.
    s.menus.Key("Tab");
    EXPECT_TRUE(WaitUntil([&] { return !(f->fDhcp.State() & LPane::kRingShown); }, 2000));
}

// A field being typed when another device is chosen: the text goes to the device
// it was typed for, the new device gets nothing, and an untouched field writes
// nothing at all.
void DeviceChange(Session& s) {
    // Both devices in custom addressing with backup, so that every address field shows.
    CKvsDevDoc* doc = static_cast<CKvsApp*>(gApp)->DevDoc();
    for (const u32 serial : {1201u, 305u}) {
        CKvsDevCtl* ctl = doc->FindController(serial);
        ASSERT_NE(ctl, nullptr);
        ASSERT_TRUE(WaitUntil([&] { return !ctl->SettingsChannel().IsBusy(); }, 5000));
        ctl->Settings()->SetU8(nullptr, DvstF::admd, 2);
        ctl->Settings()->SetU8(nullptr, DvstF::bkup, 1);
    }
    struct Row {
        LPane* (*field)(CKvsDevFrm*);
        const char* tag;
        const char* text[2];  // one for each pass: the second changes the first's
        u32 value[2];
    } rows[] = {
        {[](CKvsDevFrm* f) -> LPane* { return &f->fCsad; },
         "csad",
         {"198.18.1.77", "198.18.1.78"},
         {0xC612014D, 0xC612014E}},
        {[](CKvsDevFrm* f) -> LPane* { return &f->fCsmk; },
         "csmk",
         {"255.255.0.0", "255.255.255.0"},
         {0xFFFF0000, 0xFFFFFF00}},
        {[](CKvsDevFrm* f) -> LPane* { return &f->fBuma; },
         "buma",
         {"198.18.1.201", "198.18.1.202"},
         {0xC61201C9, 0xC61201CA}},
    };
    // Typed at once after the device's row was clicked, then once the program
    // has taken that click (the reads of the device's settings are on their way).
    for (const bool taken : {false, true})
        for (const Row& r : rows) {
            SCOPED_TRACE(std::string(r.tag) + (taken ? " clicks taken" : " clicks sent"));
            s.menus.fClicksTaken = taken;
            // The last pass ended with a click on this same row: the driver keeps
            // this one past the double-click interval, or it would open the
            // device's control window.
            // Row 1 (305) and row 2 (1201), sorted by serial.
            s.menus.Click(s.row0 + QPoint(0, s.rowH));
            ASSERT_TRUE(WaitUntil([&] { return s.win->fFrame->Serial() == 305; }, 3000));
            WaitUntil([&] { return s.win->fFrame->fBuma.IsShown(); }, 5000);
            s.sim.Cmd("log clear");
            const QPoint p = PaneCenter(r.field(s.win->fFrame));
            s.menus.Click(p);
            s.menus.Key("ctrl+a");
            s.menus.Type(r.text[taken]);
            auto* typed = static_cast<LAsciiEdit*>(r.field(s.win->fFrame));
            EXPECT_TRUE(WaitUntil([&] { return typed->GetText() == LString(r.text[taken]); }, 3000))
                << "'" << typed->GetText().CStr() << "'";
            // Keys typed into another window are lost to the field.
            EXPECT_EQ(ShownWindows().size(), 1u);
            LoopDrained();
            s.menus.Click(s.row0 + QPoint(0, 2 * s.rowH));
            ASSERT_TRUE(WaitUntil([&] { return s.win->fFrame->Serial() == 1201; }, 3000));
            AwaitQuiet(s.sim, "1201 chosen");
            EXPECT_EQ(WrittenValues(s.sim, 305, r.tag), std::vector<i64>{i64(r.value[taken])});
            EXPECT_EQ(WrittenValues(s.sim, 1201, r.tag), std::vector<i64>());
            // Untouched: focused in 1201's field, then back to 305, writes nothing.
            s.sim.Cmd("log clear");
            const QPoint q = PaneCenter(r.field(s.win->fFrame));
            s.menus.Click(q);
            s.menus.Click(s.row0 + QPoint(0, s.rowH));
            ASSERT_TRUE(WaitUntil([&] { return s.win->fFrame->Serial() == 305; }, 3000));
            AwaitQuiet(s.sim, "305 chosen");
            EXPECT_EQ(WrittenValues(s.sim, 305, r.tag), std::vector<i64>());
            EXPECT_EQ(WrittenValues(s.sim, 1201, r.tag), std::vector<i64>());
        }
}

// The whole first run at one screen size; in the child process.
void FirstRun(const std::string& screen, Scenario scenario, const XvfbHarness& x, NetnsHarness& net,
              const TempDir& dir) {
    SimDeviceProcess sim(NetnsHarness::NsPath(net.DevNs()));
    ASSERT_TRUE(sim.Ok());
    ASSERT_NO_FATAL_FAILURE(
        AddDevices(sim, dir.Path(),
                   {"serno=1201 addr=198.18.1.11/24", "serno=305 addr=198.18.1.12/24",
                    "serno=42 addr=198.19.7.13/24"}));
    WindowCheck check(x, screen);
    MenuDriver menus(x);
    ASSERT_TRUE(net.InNs(net.AppNs(), [&] {
        qputenv("XDG_RUNTIME_DIR", QByteArray(dir.Path().c_str()));
        qInstallMessageHandler(CollectWarnings);
        AppLaunch launch("xcb", dir.Path() + "/config");
        QtMenuServices::SetAppName(QStringLiteral("KEVOruneSet"));
        ASSERT_TRUE(launch.PrefsWritten());
        const u32 t0 = LTickMs();
        CKvsApp* kvs = launch.Launch();
        auto* win = static_cast<CKvsDevWin*>(kvs->DevDoc()->View());
        CKvsDevSet& set = kvs->DevDoc()->DeviceSet();
        EXPECT_TRUE(WaitUntil([&] { return set.Count() == 3 && win->IsShown(); }, 15000))
            << "devices listed: " << set.Count() << ", device window shown: " << win->IsShown();
        std::printf("[%s] start to the device window with 3 devices listed: %u ms\n",
                    screen.c_str(), LTickMs() - t0);
        WaitUntil([&] { return !win->fFrame->fClock.GetText().IsEmpty(); }, 3000);
        MWindow* devwin = AsMWindow(win->GetNativeWindow());
        ASSERT_NE(devwin, nullptr);
        WaitUntil([&] { return QApplication::activeWindow() == devwin; }, 3000);
        check.Check(devwin, nullptr, "devwin");

        const LRect list = win->fList->Bounds();
        const LRect content = win->Window()->GetContentScreenRect();
        const u64 tl = win->fList->GetTopLeftIn(nullptr);
        const QPoint row0(content.left + i32(LPane::UnpackX(tl)) + list.Width() / 2,
                          content.top + i32(LPane::UnpackY(tl)) + 8);
        const i32 rowH = std::max(1, i32(win->fList->CellHeight()));
        Session run{x, sim, check, menus, win, devwin, row0, rowH};
        if (scenario == kTour) {
            // Rows chosen with the pointer: the top row, then the one below it.
            for (const i32 row : {0, 2, 1}) {
                menus.Click(row0 + QPoint(0, row * rowH));
                EXPECT_TRUE(WaitUntil([&] { return win->SelectedRow() == row; }, 3000)) << row;
            }
            check.Check(devwin, nullptr, "devwin_row1");

            // Every menu of the bar opens, on screen; one bar, one Device menu.
            QMenuBar* bar = MenuDriver::BarOf(devwin);
            ASSERT_NE(bar, nullptr);
            QStringList titles;
            for (QAction* a : bar->actions()) titles << a->text().remove('&');
            EXPECT_EQ(titles.join(' ').toStdString(),
                      "KEVOruneSet File Edit Network Device Window Help");
            const QRect area = QApplication::primaryScreen()->availableGeometry();
            for (const QString& t : titles) {
                QMenu* menu = menus.Open(devwin, t);
                ASSERT_NE(menu, nullptr) << t.toStdString();
                EXPECT_TRUE(area.contains(menu->geometry())) << t.toStdString();
                if (t == "Window") {
                    // The open windows are listed.
                    QStringList items;
                    for (QAction* a : menu->actions()) items << a->text();
                    EXPECT_TRUE(items.contains("KEVOruneSet")) << items.join('|').toStdString();
                }
                if (t == "Help") {
                    ASSERT_FALSE(menu->actions().isEmpty());
                    EXPECT_FALSE(menu->actions().front()->isEnabled());
                }
                x.Screenshot(std::string(KEVO_BINARY_DIR) + "/firstrun_" + screen + "_menu_" +
                             t.toStdString() + ".png");
                menus.Close();
            }

            // Every dialog of the device window's menus, closed without a change.
            sim.Cmd("log clear");
            for (const Opened& o : kDevWinDialogs) {
                NewWindowProbe probe(x, check, devwin, o.shot, true);
                ASSERT_TRUE(menus.Choose(devwin, o.menu, o.item)) << o.item;
                EXPECT_TRUE(WaitUntil([&] { return probe.Done(); }, 8000))
                    << o.item << probe.State();
                WaitUntil([&] { return ShownWindows().size() == 1; }, 3000);
            }
            // Menu Keys arms the registry: the next item chosen opens its key dialog.
            {
                NewWindowProbe probe(x, check, devwin, "menukeys", true);
                ASSERT_TRUE(menus.Choose(devwin, "KEVOruneSet", "Menu Keys"));
                WaitUntil([] { return QApplication::activePopupWidget() == nullptr; }, 2000);
                // An item without a key of its own: its key dialog, not the refusal.
                ASSERT_TRUE(menus.Choose(devwin, "Device", "Set Clock"));
                EXPECT_TRUE(WaitUntil([&] { return probe.Done(); }, 8000)) << probe.State();
                WaitUntil([&] { return ShownWindows().size() == 1; }, 3000);
            }
            EXPECT_EQ(Writes(sim), std::vector<std::string>());

            // The control window of the selected device, and its menu's dialogs: its
            // bar lends only its own Device menu.
            {
                NewWindowProbe probe(x, check, nullptr, "control", false, "-KEVOrune");
                // On the selected row (the driver keeps it apart from the last click).
                const i32 row = std::max(0, win->SelectedRow());
                EXPECT_TRUE(menus.WaitActive(devwin)) << "the device window active again";
                menus.Click(row0 + QPoint(0, row * rowH), 2);
                EXPECT_TRUE(WaitUntil([&] { return probe.Done(); }, 15000));
                const u32 serial = win->fFrame->Serial();
                MWindow* ctl = probe.Window();
                ASSERT_NE(ctl, nullptr);
                WaitUntil([&] { return QApplication::activeWindow() == ctl; }, 3000);
                QStringList ctlTitles;
                for (QAction* a : MenuDriver::BarOf(ctl)->actions())
                    ctlTitles << a->text().remove('&');
                EXPECT_EQ(ctlTitles.join(' ').toStdString(),
                          "KEVOruneSet File Edit Network Device Play Window Help");
                sim.Cmd("log clear");
                for (const Opened& o : kCtlWinDialogs) {
                    NewWindowProbe dlg(x, check, ctl, o.shot, true);
                    ASSERT_TRUE(menus.Choose(ctl, o.menu, o.item)) << o.item;
                    EXPECT_TRUE(WaitUntil([&] { return dlg.Done(); }, 8000))
                        << o.item << dlg.State();
                    WaitUntil([&] { return QApplication::activeWindow() == ctl; }, 3000);
                }
                // Nothing was changed: nothing written to any device.
                EXPECT_EQ(Writes(sim), std::vector<std::string>());
                // A command of its menu acts on its own device, whichever row the
                // device window has selected meanwhile.
                win->SelectRow(win->SelectedRow() == 0 ? 1 : 0);
                WaitUntil([&] { return QApplication::activeWindow() == ctl; }, 3000);
                ASSERT_TRUE(menus.Choose(ctl, "Device", "sACN Output"));
                EXPECT_TRUE(WaitUntil([&] { return !Writes(sim).empty(); }, 5000));
                AwaitQuiet(sim, "sACN Output");
                for (const std::string& w : Writes(sim))
                    EXPECT_NE(w.find("dev=" + std::to_string(serial) + " "), std::string::npos)
                        << w;
                sim.Cmd("log clear");
                // Closing it tells only its own device to leave the edit mode.
                ASSERT_TRUE(menus.Choose(ctl, "File", "Close"));
                EXPECT_TRUE(WaitUntil([&] { return !ctl->isVisible(); }, 5000));
                AwaitQuiet(sim, "the control window closed");
                for (const std::string& w : Writes(sim))
                    EXPECT_NE(w.find("dev=" + std::to_string(serial)), std::string::npos) << w;
            }
            // A stored placement put back: the content is laid out for it at once.
            win->PlaceWindow(LRect(120, 120, 1020, 720));
            EXPECT_TRUE(WaitUntil([&] { return devwin->View()->size() == QSize(900, 600); }, 3000));
            WaitUntil([&] { return win->Bounds() == LRect(0, 0, 900, 600); }, 3000);
            EXPECT_EQ(win->Bounds(), LRect(0, 0, 900, 600));
            EXPECT_GE(win->fNavi->Bounds().bottom, 600 - 80);
            EXPECT_EQ(win->fStatus->Bounds().right, 900 - 20);
            x.Screenshot(std::string(KEVO_BINARY_DIR) + "/firstrun_" + screen + "_restored.png");
        } else {
            if (scenario == kFieldLimits) FieldLimits(run);
            if (scenario == kDeviceChange) DeviceChange(run);
            if (scenario == kRefusal) Refusal(run);
            if (scenario == kCloseEach) CloseEach(run);
            if (scenario == kKeyboard) Keyboard(run);
            if (scenario == kTermDialog || scenario == kTermMessage)
                Terminated(run, launch, dir.Path() + "/config", scenario == kTermMessage);
        }
        EXPECT_EQ(gWarnings, std::vector<std::string>());
    }));
}

// Runs the first run in a child (a QApplication of its own); its failures are
// printed there and make it exit with 1.
void InChild(const std::string& screen, Scenario scenario = kTour) {
    SCOPED_TRACE("first run at " + screen);
    WalkInChild(screen, "firstrun",
                [&](const XvfbHarness& x, NetnsHarness& net, const TempDir& dir) {
                    FirstRun(screen, scenario, x, net, dir);
                });
}

// ---------------------------------------------------------------- menu keys

// The Speed Calculator item's key text in the application's bar.
std::string SpeedCalculatorKey() {
    std::string key = "<no item>";
    if (LMenuBar* bar = LMenuBar::Current())
        bar->ForEachItem(&key, [](void* c, LMenuItem* it) {
            if (it->HasCommand("cSpdCalc")) *static_cast<std::string*>(c) = it->fKeyText.CStr();
        });
    return key;
}

// Answers the menu-key dialog and the messages it leads to, one window after
// the other, each once it takes the keys; notes the messages' texts.
class KeyDialogScript {
public:
    struct Step {
        bool message;  // else the key dialog
        std::string keys;
    };
    KeyDialogScript(const XvfbHarness& x, std::vector<Step> steps)
        : fX(x), fSteps(std::move(steps)) {
        QObject::connect(&fTimer, &QTimer::timeout, [this] { Tick(); });
        fTimer.start(30);
    }
    bool Done() const { return fNext == fSteps.size() && (!fLast || !fLast->isVisible()); }
    const std::vector<std::string>& Messages() const { return fMessages; }

private:
    void Tick() {
        if (fNext >= fSteps.size()) return;
        // The key dialog stays up under the message it leads to.
        for (MWindow* w : ShownWindows()) {
            if (w == fLast) continue;
            LFrame* frame = w->Owner() ? w->Owner()->GetFrame() : nullptr;
            auto* message = dynamic_cast<CSimpleMessageDialog*>(frame);
            const bool wanted = fSteps[fNext].message
                                    ? message != nullptr
                                    : dynamic_cast<CMenuKeyDlg*>(frame) != nullptr;
            if (!wanted || !TakesInput(fX, w)) continue;
            if (message) fMessages.push_back(message->fMessage.GetText().CStr());
            fLast = w;
            fX.XdotoolAsync(fSteps[fNext++].keys);
            return;
        }
    }

    const XvfbHarness& fX;
    std::vector<Step> fSteps;
    size_t fNext = 0;
    QPointer<MWindow> fLast;
    std::vector<std::string> fMessages;
    QTimer fTimer;
};

// One run of the program on the same configuration folder: a key given to the
// Speed Calculator in Menu Keys… (a plain letter first, refused), used; after
// the restart, used again, changed, then removed.
void MenuKeyRun(const XvfbHarness& x, NetnsHarness& net, const TempDir& dir, int run) {
    MenuDriver menus(x);
    ASSERT_TRUE(net.InNs(net.AppNs(), [&] {
        WalkLaunch launch(dir.Path());
        CKvsApp* kvs = launch.Launch();
        auto* win = static_cast<CKvsDevWin*>(kvs->DevDoc()->View());
        ASSERT_TRUE(WaitUntil([&] { return win->IsShown(); }, 15000));
        MWindow* devwin = AsMWindow(win->GetNativeWindow());
        ASSERT_NE(devwin, nullptr);
        WaitShown(devwin);
        ASSERT_TRUE(menus.WaitActive(devwin));
        // The key pressed in the device window: whether the calculator came.
        auto calculator = [] {
            for (MWindow* w : ShownWindows())
                if (auto* calc = w->Owner() ? dynamic_cast<CKvsSpdCalcDlg*>(w->Owner()->GetFrame())
                                            : nullptr)
                    return calc;
            return static_cast<CKvsSpdCalcDlg*>(nullptr);
        };
        auto used = [&](const std::string& key) {
            if (CKvsSpdCalcDlg* calc = calculator()) calc->HideWindow();
            LoopDrained();
            if (!menus.WaitActive(devwin)) return false;
            x.XdotoolAsync("key " + key);
            return WaitUntil([&] { return calculator() != nullptr; }, 3000);
        };
        auto assign = [&](std::vector<KeyDialogScript::Step> steps) {
            KeyDialogScript script(x, std::move(steps));
            EXPECT_TRUE(menus.ChooseSettled(devwin, "KEVOruneSet", "Menu Keys"));
            EXPECT_TRUE(menus.Choose(devwin, "KEVOruneSet", "Speed Calculator"));
            EXPECT_TRUE(Await(
                "the menu key dialogs answered", [&] { return script.Done(); }, 20000));
            LoopDrained();
            return script.Messages();
        };
        if (run == 1) {
            EXPECT_EQ(SpeedCalculatorKey(), "");
            // A plain k would be a letter typed: refused, and Ctrl+K taken instead.
            const std::vector<std::string> said =
                assign({{false, "key k sleep 0.3 key Return"},
                        {true, "key Return"},
                        {false, "key ctrl+k sleep 0.3 key Return"}});
            ASSERT_EQ(said.size(), 1u);
            EXPECT_EQ(said[0], StdDialogText("CMENUKEYREG", 2).CStr());
            EXPECT_EQ(SpeedCalculatorKey(), "K");
            EXPECT_TRUE(used("ctrl+k")) << "the key given acts in its session";
        } else {
            EXPECT_EQ(SpeedCalculatorKey(), "K") << "the key given is back after the restart";
            EXPECT_TRUE(used("ctrl+k")) << "the key given acts after the restart";
            EXPECT_TRUE(assign({{false, "key ctrl+j sleep 0.3 key Return"}}).empty());
            EXPECT_EQ(SpeedCalculatorKey(), "J");
            EXPECT_TRUE(used("ctrl+j"));
            EXPECT_FALSE(used("ctrl+k")) << "the old key still acts";
            EXPECT_TRUE(assign({{false, "key Return"}}).empty());
            EXPECT_EQ(SpeedCalculatorKey(), "");
            EXPECT_FALSE(used("ctrl+j")) << "the removed key still acts";
        }
        x.Screenshot(std::string(KEVO_BINARY_DIR) + "/firstrun_menukey_" + std::to_string(run) +
                     ".png");
        launch.Terminate();
        EXPECT_EQ(gWarnings, std::vector<std::string>());
    }));
}

TEST(FirstRun, AMenuKeyGivenActsAfterARestartAndIsChangedAndRemoved) {
    if (!NetnsHarness::IsRoot()) GTEST_SKIP() << "needs root to build network namespaces";
    if (system("(command -v Xvfb && command -v openbox && command -v xdotool) >/dev/null"))
        GTEST_SKIP() << "needs Xvfb, openbox and xdotool";
    XvfbHarness x("1600x1000x24");
    ASSERT_TRUE(x.Ok());
    NetnsHarness net;
    ASSERT_EQ(net.Setup("firstrun"), "");
    testtftp::TempDir dir;
    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        InChildProcess([&] { MenuKeyRun(x, net, dir, run); }, x);
    }
}

TEST(FirstRun, Screen1600x1000) {
    InChild("1600x1000");
}

TEST(FirstRun, Screen1280x800) {
    InChild("1280x800");
}

TEST(FirstRun, OutOfRangeAndInvalidValuesConfirmedWithOk) {
    InChild("1600x1000", kFieldLimits);
}

TEST(FirstRun, ChangingDeviceWhileAFieldIsBeingTyped) {
    InChild("1600x1000", kDeviceChange);
}

TEST(FirstRun, RefusedAddressThenAnotherDevice) {
    InChild("1280x800", kRefusal);
}

TEST(FirstRun, DialogsClosedEachWayRightAfterTyping) {
    InChild("1600x1000", kCloseEach);
}

TEST(FirstRun, DeviceFrameByKeyboard) {
    InChild("1280x800", kKeyboard);
}

TEST(FirstRun, TerminatedWithADialogOpen) {
    InChild("1280x800", kTermDialog);
}

TEST(FirstRun, TerminatedWithAMessageOpen) {
    InChild("1280x800", kTermMessage);
}

}  // namespace
