// The device window and a control window as a user works them, under a real X
// server with a window manager (Xvfb, openbox, xdotool), against simulated
// devices in namespaces of the test's own (root only): the address fields of the
// device frame typed wrong, corrected and emptied, each edit ended by Tab,
// Return, keypad Enter or a click elsewhere; a delete declined and confirmed;
// two files chosen with Shift and Ctrl and downloaded; the senders of the
// Art-Net universes; the key of the menu-key dialog; a minimised control window
// brought back from the Window menu and the list; the windows a control window
// opens, minimised across its closing (Undo in the schedule test window its
// fields' own); dialogs and the toolkit's file panels
// minimised with their window or by themselves; the font panel brought back.
// What reaches each device is read back from its log. Each walk runs in a child
// process (one QApplication a process); screenshots go to
// <build>/devframe_walk_<name>.png.
#include <QApplication>
#include <QFontDialog>
#include <QMenu>
#include <QPointer>
#include <QScreen>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "MessageWatch.h"
#include "ProgramQuiet.h"
#include "WalkSetup.h"
#include "WindowWalk.h"
#include "XvfbAnswer.h"
#include "XvfbHarness.h"
#include "XvfbWalk.h"
#include "base/Clock.h"
// The DMX frames have slots of their own: not Qt's keyword.
#undef slots
#include "devices/CKvsApp.h"
#include "devices/CKvsDevCtl.h"
#include "devices/CKvsDevCtlWin.h"
#include "devices/CKvsDevDoc.h"
#include "devices/CKvsDevFrm.h"
#include "devices/CKvsDevWin.h"
#include "devices/files/CKvsFileFrm.h"
#include "devices/files/CKvsFileList.h"
#include "devices/monitors/CKvsFileListCtl.h"
#include "devices/monitors/CMonWin.h"
#include "devices/monitors/CKvsNetMon.h"
#include "devices/monitors/CKvsUnivList.h"
#include "devices/recordings/CKvsRecCtlF.h"
#include "editors/CKvsPlayAsnWin.h"
#include "editors/CKvsSchEditFrm.h"
#include "framework/CMenuKeyReg.h"
#include "framework/StdDialogs.h"
#include "platform/qt/QtMenus.h"
#include "records/AppPrefsDoc.h"
#include "records/DeviceKinds.h"
#include "records/PrefNodes.h"
#include "tests/devlink/NetnsHarness.h"
#include "tests/platform/AppLaunch.h"
#include "tools/testkit/ArtDmxSender.h"
#include "tools/testkit/SimDeviceProcess.h"

using testtftp::NetnsHarness;
using testtftp::SimDeviceProcess;

namespace {

std::string Shot(const std::string& name) {
    return std::string(KEVO_BINARY_DIR) + "/devframe_walk_" + name + ".png";
}

// What a device was told: channel writes ("path=value") and file commands
// ("WRQ path"), in the order it took them in; every other write request
// ("WRQ path") too when all is set.
std::vector<std::string> Told(SimDeviceProcess& sim, u32 serial, bool all = false) {
    std::vector<std::string> out;
    const std::string dev = std::to_string(serial);
    for (const std::string& line : sim.Log()) {
        if (line.rfind("chan ", 0) == 0 && line.find("op=write") != std::string::npos &&
            SimDeviceProcess::Field(line, "dev") == dev)
            out.push_back(SimDeviceProcess::Field(line, "path") + "=" +
                          SimDeviceProcess::Field(line, "value"));
        if (line.rfind("pkt ", 0) == 0 && SimDeviceProcess::Field(line, "dir") == "in" &&
            SimDeviceProcess::Field(line, "op") == "WRQ" &&
            SimDeviceProcess::Field(line, "dev") == dev) {
            const std::string path = SimDeviceProcess::Field(line, "path");
            // Channel writes are listed by their fields above.
            if (!all && path.rfind("/.cmd/fm", 0) != 0) continue;
            const std::string entry = "WRQ " + path;
            // A request sent again is one request.
            if (out.empty() || out.back() != entry) out.push_back(entry);
        }
    }
    return out;
}

std::string Join(const std::vector<std::string>& v) {
    std::string out;
    for (const std::string& s : v) out += (out.empty() ? "" : " | ") + s;
    return out;
}

// The focused field's whole text is selected: typing replaces it.
bool AllSelected(LEditText* field) {
    return (field->State() & LPane::kFocused) && field->Engine() &&
           field->Engine()->IsAllSelected();
}

// The whole program against its simulated devices, in the test's namespaces.
struct Walk {
    const XvfbHarness& x;
    SimDeviceProcess& sim;
    MenuDriver& menus;
    CKvsApp* kvs;
    CKvsDevWin* win;
    MWindow* devwin;
};

// Nothing under way between the program and a device: the program's channels
// to it idle with nothing queued, and no transfer at the simulated devices.
bool DeviceQuiet(Walk& w, u32 serial) {
    CKvsDevCtl* ctl = w.kvs->DevDoc()->FindController(u16(serial));
    return (!ctl || ProgramQuiet(ctl)) && w.sim.Idle();
}

// Waits for DeviceQuiet, then for the loop to have run what that left queued;
// a failure names the step it followed.
bool AwaitQuiet(Walk& w, u32 serial, const std::string& after) {
    const bool quiet = Await(
        std::to_string(serial) + " and the program quiet after " + after,
        [&] { return DeviceQuiet(w, serial); }, 8000, kLookMs);
    LoopDrained();
    return quiet;
}

// Waits until keys and clicks sent now reach the window as a person means them.
bool AwaitTakesInput(Walk& w, QWidget* window, const std::string& what) {
    return Await(
        what + " taking input", [&] { return TakesInput(w.x, window); }, 5000, kLookMs);
}

// ---------------------------------------------------------------- addresses

enum End { kTab, kReturn, kEnter, kClick };
const char* const kEndNames[] = {"Tab", "Return", "keypad Enter", "click elsewhere"};

struct AddressField {
    const char* tag;
    LAsciiEdit CKvsDevFrm::*field;
    const char* refused;       // not an address (or no usable device address)
    const char* corrected[4];  // the text typed over it, one for each way of ending
    u32 value[4];              // what the correction stores
    bool emptiedRefused;       // an emptied field is refused
    bool emptiedStores;        // an emptied field stores 0; else nothing
};

const AddressField kFields[] = {
    {"csad",
     &CKvsDevFrm::fCsad,
     "300.1.1.1",
     {"10.20.30.40", "10.20.30.41", "10.20.30.42", "10.20.30.43"},
     {0x0A141E28, 0x0A141E29, 0x0A141E2A, 0x0A141E2B},
     true,
     false},
    {"csmk",
     &CKvsDevFrm::fCsmk,
     "255.255.0.",
     {"255.255.0.0", "255.255.255.0", "255.0.0.0", "255.255.128.0"},
     {0xFFFF0000, 0xFFFFFF00, 0xFF000000, 0xFFFF8000},
     false,
     false},
    {"buma",
     &CKvsDevFrm::fBuma,
     "10.77.3.300",
     {"10.77.3.30", "10.77.3.31", "10.77.3.32", "10.77.3.33"},
     {0x0A4D031E, 0x0A4D031F, 0x0A4D0320, 0x0A4D0321},
     false,
     true},
};

// A key that may open a message is taken inside the message's modal loop: it
// is sent once the window holds the X focus, and the walk goes on at once.
void EndEdit(Walk& w, End end) {
    const char* key = end == kTab ? "Tab" : end == kReturn ? "Return" : "KP_Enter";
    switch (end) {
        case kTab:
        case kReturn:
        case kEnter:
            EXPECT_TRUE(w.menus.WaitActive(w.devwin));
            w.x.Xdotool(std::string("keydown ") + key + " sleep 0.05 keyup " + key);
            break;
        case kClick:
            // The device's own address: a label, which takes no focus.
            w.menus.Click(PaneCenter(&w.win->fFrame->fAddr));
            break;
    }
}

void Addresses(Walk& w) {
    CKvsDevDoc* doc = w.kvs->DevDoc();
    for (const u32 serial : {305u, 1201u}) {
        CKvsDevCtl* ctl = doc->FindController(u16(serial));
        ASSERT_NE(ctl, nullptr);
        ASSERT_TRUE(RunUntil([&] { return !ctl->SettingsChannel().IsBusy(); }, 5000));
        // Custom addressing with a backup address: every address field shows.
        ctl->Settings()->SetU8(nullptr, DvstF::admd, 2);
        ctl->Settings()->SetU8(nullptr, DvstF::bkup, 1);
    }
    w.menus.fClicksTaken = true;
    // Row 1: 1201 (rows are sorted by serial); a write to 305 goes to the wrong device.
    const QPoint row1 = ScreenPoint(w.win->fList, LPoint{60, w.win->fList->CellHeight() * 3 / 2});
    w.menus.Click(row1);
    ASSERT_TRUE(RunUntil([&] { return w.win->fFrame->Serial() == 1201; }, 3000));
    CKvsDevFrm* frame = w.win->fFrame;
    ASSERT_TRUE(RunUntil([&] { return frame->fBuma.IsShown() && frame->fCsad.IsShown(); }, 5000));
    EXPECT_TRUE(AwaitQuiet(w, 1201, "the frame of 1201 shown"));
    w.x.Screenshot(Shot("devwin"));
    for (const AddressField& f : kFields) {
        LAsciiEdit* field = &(frame->*f.field);
        for (const End end : {kTab, kReturn, kEnter, kClick}) {
            SCOPED_TRACE(std::string(f.tag) + " ended by " + kEndNames[end]);
            const char* corrected = f.corrected[end];
            w.sim.WaitIdle(3000);
            w.sim.Cmd("log clear");
            MessageWatch messages(w.x);

            // Refused: one message, nothing stored, the field keeps its text and
            // the focus, its text selected.
            w.menus.Click(PaneCenter(field));
            w.menus.Key("ctrl+a");
            w.menus.Type(f.refused);
            EXPECT_TRUE(RunUntil([&] { return field->GetText() == LString(f.refused); }, 3000));
            EndEdit(w, end);
            EXPECT_TRUE(RunUntil([&] { return messages.Shown() == 1 && !messages.Open(); }, 6000));
            EXPECT_EQ(messages.Text(), std::string(StdDialogText("DEVFRM", 13).CStr()));
            EXPECT_TRUE(RunUntil([&] { return AllSelected(field); }, 3000));
            EXPECT_EQ(std::string(field->GetText().CStr()), f.refused);
            if (end == kTab) {
                // As drawn: the refused field alone shows the focus.
                EXPECT_TRUE(LoopDrained()) << "the refused field drawn";
                w.x.Screenshot(Shot("refused_" + std::string(f.tag)));
            }

            // Corrected where it stands: typed over the selection, stored once.
            w.menus.Type(corrected);
            EXPECT_TRUE(RunUntil([&] { return field->GetText() == LString(corrected); }, 3000))
                << field->GetText().CStr();
            EndEdit(w, end);
            EXPECT_TRUE(RunUntil([&] { return !WrittenValues(w.sim, 1201, f.tag).empty(); }, 5000));
            w.sim.WaitIdle(3000);
            EXPECT_TRUE(AwaitQuiet(w, 1201, std::string("the corrected ") + f.tag));
            EXPECT_EQ(messages.Shown(), 1);
            EXPECT_EQ(WrittenValues(w.sim, 1201, f.tag), std::vector<i64>{i64(f.value[end])});
            for (const AddressField& other : kFields) {
                if (&other != &f) {
                    EXPECT_EQ(WrittenValues(w.sim, 1201, other.tag), std::vector<i64>());
                }
            }
            EXPECT_EQ(Told(w.sim, 305), std::vector<std::string>());

            // Emptied: the device address is refused, the mask kept and shown
            // again, the backup address cleared.
            w.sim.Cmd("log clear");
            w.menus.Click(PaneCenter(field));
            w.menus.Key("ctrl+a BackSpace");
            EXPECT_TRUE(RunUntil([&] { return field->GetText().IsEmpty(); }, 3000));
            u64 keysBefore = InputSeen::Instance().Keys();
            EndEdit(w, end);
            if (f.emptiedRefused) {
                EXPECT_TRUE(
                    RunUntil([&] { return messages.Shown() == 2 && !messages.Open(); }, 6000));
                EXPECT_TRUE(RunUntil([&] { return AllSelected(field); }, 3000));
                // Put back as it was: nothing to store.
                w.menus.Type(corrected);
                keysBefore = InputSeen::Instance().Keys();
                EndEdit(w, end);
            } else if (f.emptiedStores) {
                EXPECT_TRUE(
                    RunUntil([&] { return !WrittenValues(w.sim, 1201, f.tag).empty(); }, 5000));
            }
            // The edit's last end taken (a click is, once Click is back), and
            // whatever it sent gone by.
            if (end != kClick) {
                EXPECT_TRUE(Await(std::string("the ") + kEndNames[end] + " ending the edit taken",
                                  [&] { return InputSeen::Instance().Keys() > keysBefore; }));
            }
            EXPECT_TRUE(AwaitQuiet(w, 1201, std::string("the emptied ") + f.tag));
            w.sim.WaitIdle(3000);
            EXPECT_EQ(messages.Shown(), f.emptiedRefused ? 2 : 1);
            EXPECT_EQ(WrittenValues(w.sim, 1201, f.tag),
                      f.emptiedStores ? std::vector<i64>{0} : std::vector<i64>());
            if (!f.emptiedStores && !f.emptiedRefused) {
                EXPECT_EQ(std::string(field->GetText().CStr()), corrected);
            }
            for (const AddressField& other : kFields) {
                if (&other != &f) {
                    EXPECT_EQ(WrittenValues(w.sim, 1201, other.tag), std::vector<i64>());
                }
            }
            EXPECT_EQ(Told(w.sim, 305), std::vector<std::string>());
        }
    }
    // Undo and Redo in an address field are the field's own: what was typed
    // is taken back and made again, and nothing reaches either device; an
    // Undo that stored the typed address first sent it on its way.
    for (const AddressField& f : kFields) {
        SCOPED_TRACE(std::string(f.tag) + " undone");
        LAsciiEdit* field = &(frame->*f.field);
        w.sim.WaitIdle(3000);
        w.sim.Cmd("log clear");
        w.menus.Click(PaneCenter(field));
        const std::string before = field->GetText().CStr();
        auto shows = [&](const std::string& text) {
            const bool ok =
                RunUntil([&] { return field->GetText() == LString(text.c_str()); }, 3000);
            EXPECT_TRUE(ok) << "shows " << field->GetText().CStr() << ", not " << text;
        };
        w.menus.Key("ctrl+a");
        w.menus.Type(f.corrected[0]);
        shows(f.corrected[0]);
        w.menus.Key("ctrl+z");
        shows(before);
        w.menus.Key("ctrl+shift+z");
        shows(f.corrected[0]);
        w.menus.Key("ctrl+z");
        shows(before);
        w.sim.WaitIdle(3000);
        EXPECT_TRUE(AwaitQuiet(w, 1201, std::string("the undone ") + f.tag));
        for (const AddressField& any : kFields) {
            EXPECT_EQ(WrittenValues(w.sim, 1201, any.tag), std::vector<i64>()) << any.tag;
        }
        EXPECT_EQ(Told(w.sim, 305), std::vector<std::string>());
        EndEdit(w, kTab);
        EXPECT_TRUE(AwaitQuiet(w, 1201, std::string("the undone ") + f.tag + " left"));
    }
    w.x.Screenshot(Shot("devwin_after"));
}

// ---------------------------------------------------------------- files

std::string Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Row 1 of the device list (1201) chosen, then double-clicked: its control
// window open with its files view.
void OpenControlWindow(Walk& w, QPoint& row1, CKvsDevCtl*& ctl) {
    row1 = ScreenPoint(w.win->fList, LPoint{60, w.win->fList->CellHeight() * 3 / 2});
    w.menus.Click(row1);
    ASSERT_TRUE(RunUntil([&] { return w.win->fFrame->Serial() == 1201; }, 3000));
    // The frame of 1201 read; the double click below comes past the
    // double-click time of this click, which the driver's Click waits out.
    ASSERT_TRUE(AwaitQuiet(w, 1201, "1201 chosen in the list"));
    w.menus.Click(row1, 2);
    ASSERT_TRUE(RunUntil(
        [&] {
            ctl = w.kvs->DevDoc()->FindController(1201);
            return ctl && ctl->WindowShown() && ctl->Screen()->FilesView();
        },
        15000));
}

void Files(Walk& w, const std::string& card, const std::string& local) {
    QPoint row1;
    CKvsDevCtl* ctl = nullptr;
    ASSERT_NO_FATAL_FAILURE(OpenControlWindow(w, row1, ctl));
    auto* view = dynamic_cast<CKvsFileListCtl*>(ctl->Screen()->FilesView());
    ASSERT_NE(view, nullptr);
    CKvsFileList* list = view->Frame()->fFiles->fList;
    ASSERT_TRUE(RunUntil([&] { return list->Count() == 4; }, 10000)) << list->Count();
    MWindow* ctlwin = AsMWindow(ctl->Screen()->Window().GetNativeWindow());
    ASSERT_NE(ctlwin, nullptr);
    ASSERT_TRUE(w.menus.WaitActive(ctlwin));
    ASSERT_TRUE(WaitShown(ctlwin));
    auto rowPoint = [&](const char* name) {
        i32 row = -1;
        for (u32 i = 0; i < list->Count(); ++i)
            if (list->ItemName(i32(i)) == name) row = i32(i);
        EXPECT_GE(row, 0) << name;
        return ScreenPoint(list, LPoint{30, row * list->CellHeight() + list->CellHeight() / 2});
    };
    auto selected = [&] {
        std::string out;
        for (const LString& n : list->SelectedNames(false)) out += std::string(n.CStr()) + " ";
        return out;
    };
    const std::string a = "/sdc/kevrecfiles/a.drc";
    auto loaded = [&] {
        return std::string(ctl->Record(CKvsDevCtl::kSeqStat)->GetString(SstaF::cflp).CStr());
    };

    // A click loads a.drc on the device.
    ASSERT_TRUE(AwaitQuiet(w, 1201, "the control window opened"));
    ASSERT_TRUE(AwaitTakesInput(w, ctlwin, "the control window"));
    w.menus.Click(rowPoint("a.drc"));
    ASSERT_TRUE(RunUntil([&] { return selected() == "a.drc "; }, 3000)) << selected();
    ASSERT_TRUE(RunUntil([&] { return loaded() == a; }, 8000)) << loaded();
    w.sim.WaitIdle(3000);

    // Delete, then Cancel: the device is told nothing at all.
    w.sim.Cmd("log clear");
    {
        Answer no(w.x, "key Escape");
        // The key opens the question in its own modal loop: sent, not waited on.
        w.x.Xdotool("key Delete");
        EXPECT_TRUE(RunUntil([&] { return no.Done(); }, 8000));
        RunUntil([] { return QApplication::activeWindow() != nullptr; }, 2000);
        EXPECT_TRUE(Await(
            "the declined question gone", [&] { return no.Closed(); }, 5000));
        EXPECT_TRUE(w.menus.WaitActive(ctlwin)) << "the control window active again";
        EXPECT_TRUE(AwaitQuiet(w, 1201, "the delete declined"));
    }
    w.sim.WaitIdle(3000);
    EXPECT_EQ(Join(Told(w.sim, 1201, true)), "");
    EXPECT_EQ(loaded(), a);
    EXPECT_EQ(list->Count(), 4u);

    // Delete, then OK: the loaded file is let go of first, then deleted.
    ASSERT_TRUE(w.menus.WaitActive(ctlwin));
    {
        Answer yes(w.x, "key Return");
        w.x.Xdotool("key Delete");
        EXPECT_TRUE(RunUntil([&] { return yes.Done(); }, 8000));
        EXPECT_TRUE(RunUntil([&] { return list->Count() == 3; }, 10000));
    }
    w.sim.WaitIdle(3000);
    EXPECT_EQ(Join(Told(w.sim, 1201)),
              "/.cmd/udkvtcmd/rcpf=%20 | WRQ /.cmd/fmrm///sdc/kevrecfiles/a.drc");
    EXPECT_FALSE(std::filesystem::exists(card + "/kevrecfiles/a.drc"));

    // Two files: b.drc, Shift-click d.drc (b to d), Ctrl-click c.drc (c out).
    ASSERT_TRUE(w.menus.WaitActive(ctlwin));
    ASSERT_TRUE(AwaitTakesInput(w, ctlwin, "the control window"));
    w.menus.Click(rowPoint("b.drc"));
    ASSERT_TRUE(RunUntil([&] { return selected() == "b.drc "; }, 3000)) << selected();
    // Nothing to see between two clicks a person makes apart: the driver's
    // Click leaves the double-click time after the last one.
    w.menus.Click(rowPoint("d.drc"), 1, "shift");
    EXPECT_TRUE(RunUntil([&] { return selected() == "b.drc c.drc d.drc "; }, 3000)) << selected();
    // Apart from the click before, as above: the driver's Click waits that out.
    w.menus.Click(rowPoint("c.drc"), 1, "ctrl");
    EXPECT_TRUE(RunUntil([&] { return selected() == "b.drc d.drc "; }, 3000)) << selected();
    EXPECT_TRUE(LoopDrained()) << "the two files drawn selected";
    w.x.Screenshot(Shot("two_selected"));
    {
        Answer folder(w.x,
                      "key ctrl+a ; xdotool type '" + local + "' ; xdotool sleep 0.3 key Return");
        ASSERT_TRUE(w.menus.Choose(ctlwin, "Device", "Download"));
        EXPECT_TRUE(RunUntil([&] { return folder.Done(); }, 8000));
        EXPECT_TRUE(RunUntil(
            [&] {
                return std::filesystem::exists(local + "/b.drc") &&
                       std::filesystem::exists(local + "/d.drc") &&
                       std::filesystem::file_size(local + "/d.drc") ==
                           std::filesystem::file_size(card + "/kevrecfiles/d.drc");
            },
            15000));
    }
    EXPECT_TRUE(AwaitQuiet(w, 1201, "the download"));
    for (const char* n : {"b.drc", "d.drc"})
        EXPECT_TRUE(Bytes(local + "/" + n) == Bytes(card + "/kevrecfiles/" + n)) << n;
    EXPECT_FALSE(std::filesystem::exists(local + "/c.drc"));

    // A click on one of them leaves it alone selected, and loads it.
    ASSERT_TRUE(w.menus.WaitActive(ctlwin));
    ASSERT_TRUE(AwaitTakesInput(w, ctlwin, "the control window"));
    w.menus.Click(rowPoint("d.drc"));
    EXPECT_TRUE(RunUntil([&] { return selected() == "d.drc "; }, 3000)) << selected();
    EXPECT_TRUE(RunUntil([&] { return loaded() == "/sdc/kevrecfiles/d.drc"; }, 8000)) << loaded();

    // The Art-Net universes of the record control: the longest sender addresses
    // whole. The monitor is handed its datagrams here, as its pump would.
    ASSERT_TRUE(w.menus.ChooseSettled(ctlwin, "Device", "Art-Net Monitor"));
    CKvsNetMon* mon = w.kvs->DevDoc()->NetMon();
    ASSERT_NE(mon, nullptr);
    std::vector<u8> levels(512, 120);
    const std::pair<u32, u16> sends[] = {
        {0xC612FFFE, 0x7FFF}, {0xC612FFFD, 0x7FFF}, {0xC612FFFC, 0x0}};
    for (const auto& [sender, u] : sends) {
        const std::vector<u8> d = artdmxtest::Datagram(u, levels.data(), 512);
        ASSERT_TRUE(mon->Accept(d.data(), u32(d.size()), sender, LTickMs()));
    }
    mon->ChangeTimer().Start(0u);
    CKvsUnvList* universes = view->Frame()->fUniverses;
    ASSERT_TRUE(RunUntil([&] { return universes->Rows() == 2; }, 5000)) << universes->Rows();
    EXPECT_TRUE(LoopDrained()) << "the universes laid out";
    LDrawCtx ctx;
    for (i32 row = 0; row < 2; ++row) {
        auto* cell = static_cast<CKvsUnivCell*>(universes->GetProtoCellFor(LCell{0, row}));
        ASSERT_TRUE(cell);
        const std::string text = cell->fSender.GetText().CStr();
        EXPECT_EQ(text, row == 0 ? " 198.18.255.252" : "+198.18.255.253");
        EXPECT_GE(cell->fSender.Bounds().Width(), cell->fSender.GetPrefWidth(&ctx, 0)) << text;
        EXPECT_LE(cell->fSender.Bounds().right, universes->Bounds().Width()) << text;
    }
    EXPECT_TRUE(
        QApplication::primaryScreen()->availableGeometry().contains(ctlwin->frameGeometry()));
    w.x.Screenshot(Shot("control"));
}

// ---------------------------------------------------------------- minimised

// The control window of 305, minimised by the window manager, brought back by
// each way the program shows a window: shown, in front and taking input.
void Minimised(Walk& w) {
    w.menus.fClicksTaken = true;
    // Row 0: 305 (rows are sorted by serial).
    const QPoint row0 = ScreenPoint(w.win->fList, LPoint{60, w.win->fList->CellHeight() / 2});
    w.menus.Click(row0);
    ASSERT_TRUE(RunUntil([&] { return w.win->fFrame->Serial() == 305; }, 3000));
    ASSERT_TRUE(AwaitQuiet(w, 305, "305 chosen in the list"));
    w.menus.Click(row0, 2);
    CKvsDevCtl* ctl = nullptr;
    ASSERT_TRUE(RunUntil(
        [&] {
            ctl = w.kvs->DevDoc()->FindController(305);
            return ctl && ctl->WindowShown() && ctl->Screen()->FilesView();
        },
        15000));
    MWindow* ctlwin = AsMWindow(ctl->Screen()->Window().GetNativeWindow());
    ASSERT_NE(ctlwin, nullptr);
    ASSERT_TRUE(w.menus.WaitActive(ctlwin));
    ASSERT_TRUE(WaitShown(ctlwin));
    ASSERT_TRUE(AwaitQuiet(w, 305, "the control window opened"));
    const std::string title = ctlwin->windowTitle().toStdString();

    const struct {
        const char* tag;
        const char* way;
        bool fromMenu;
    } kWays[] = {{"window_menu", "chosen in the Window menu", true},
                 {"list", "double-clicked in the device list", false}};
    for (const auto& way : kWays) {
        SCOPED_TRACE(way.way);
        w.x.Xdotool("windowminimize " + std::to_string(ctlwin->winId()));
        ASSERT_TRUE(Await("'" + title + "' minimised", [&] {
            return ctlwin->isMinimized() && XState(w.x, ctlwin) == "Iconic";
        }));
        // The window manager hands the focus to the device window.
        if (!w.menus.WaitActive(w.devwin))
            w.x.Xdotool("windowactivate " + std::to_string(w.devwin->winId()));
        ASSERT_TRUE(AwaitTakesInput(w, w.devwin, "the device window"));
        w.x.Screenshot(Shot("minimised_" + std::string(way.tag)));
        if (way.fromMenu)
            ASSERT_TRUE(w.menus.ChooseSettled(w.devwin, "Window", ctlwin->windowTitle()));
        else
            w.menus.Click(row0, 2);
        EXPECT_TRUE(Await("'" + title + "' back on screen", [&] {
            return !ctlwin->isMinimized() && XState(w.x, ctlwin) == "Normal" &&
                   ctlwin->windowHandle()->isExposed();
        }));
        EXPECT_TRUE(AwaitTakesInput(w, ctlwin, "the control window brought back"));
        EXPECT_TRUE(WaitShown(ctlwin));
        w.x.Screenshot(Shot("restored_" + std::string(way.tag)));
        ASSERT_TRUE(AwaitQuiet(w, 305, way.way));
    }
}

// ---------------------------------------------------------------- kept windows

MWindow* ShownTitled(const QString& title, bool exact = false) {
    for (MWindow* m : ShownWindows())
        if (exact ? m->windowTitle() == title : m->windowTitle().contains(title)) return m;
    return nullptr;
}

// The titles the Window menu of a window lists, as a user opens it; the screen
// with the menu open kept under that name.
QStringList WindowMenuTitles(Walk& w, QWidget* win, const std::string& shot = "") {
    QStringList out;
    QMenu* menu = w.menus.OpenAgain(win, "Window");
    if (!menu) return {QStringLiteral("(no Window menu)")};
    for (QAction* a : menu->actions())
        if (!a->isSeparator()) out << a->text().section(u'\t', 0, 0).remove('&');
    if (!shot.empty()) {
        LoopDrained();
        w.x.Screenshot(Shot(shot));
    }
    w.menus.Close();
    return out;
}

// Makes a window active as the window manager would for a click on it.
bool Activate(Walk& w, QWidget* win) {
    if (!w.menus.WaitActive(win, 500))
        w.x.Xdotool("windowactivate " + std::to_string(win->winId()));
    return AwaitTakesInput(w, win, "'" + win->windowTitle().toStdString() + "'");
}

// Catches a window going minimised, however briefly.
class MinimiseSeen : public QObject {
public:
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::WindowStateChange && static_cast<QWidget*>(o)->isMinimized())
            fSeen = true;
        return false;
    }
    bool fSeen = false;
};

// The control window closed with its key and opened again by a double click
// on the device's row.
void ReopenControlWindow(Walk& w, QPoint row1, CKvsDevCtl* ctl, MWindow* ctlwin) {
    ASSERT_TRUE(Activate(w, ctlwin));
    w.menus.Key("ctrl+w");
    ASSERT_TRUE(Await("the control window closed", [&] { return !ctlwin->isVisible(); }));
    ASSERT_TRUE(AwaitQuiet(w, 1201, "the control window closed"));
    ASSERT_TRUE(Activate(w, w.devwin));
    w.menus.Click(row1, 2);
    ASSERT_TRUE(Await(
        "the control window open again", [&] { return ctl->WindowShown(); }, 15000));
    ASSERT_TRUE(WaitShown(ctlwin));
    ASSERT_TRUE(AwaitQuiet(w, 1201, "the control window opened again"));
}

QFontDialog* FontPanel() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<QFontDialog*>(w); d && d->isVisible()) return d;
    return nullptr;
}

// The windows that block the program, the program's own dialogs and the
// toolkit's panels (a file panel) alike.
std::vector<QWidget*> BlockingWindows() {
    std::vector<QWidget*> out;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* m = dynamic_cast<MWindow*>(w);
        if (w->isVisible() &&
            (m ? m->Type() == kWindowDialog : w->windowType() == Qt::Dialog && w->isModal()))
            out.push_back(w);
    }
    return out;
}

// A window that blocks the program, run by a timer in its own loop: another
// window of the program clicked, then the window the dialog belongs to
// minimised, then Escape. What each step left, as a table row.
class BlockedScript {
public:
    // self: the dialog's own title bar button minimises it, not its window's.
    BlockedScript(Walk& w, QWidget* owner, QWidget* other, bool self)
        : fW(w), fOwner(owner), fOther(other), fSelf(self) {
        fBefore = BlockingWindows();
        QObject::connect(&fTimer, &QTimer::timeout, [this] { Tick(); });
        fTimer.start(30);
        fAt = LTickMs();
    }
    bool Done() const { return fPhase == kDone; }
    std::string Row() const { return fRow; }

private:
    enum Phase { kFind, kClicked, kForward, kBack, kShot, kEscaped, kDone };
    void Note(const std::string& s) { fRow += (fRow.empty() ? "" : " ") + s; }
    void Next(Phase p) {
        fPhase = p;
        fAt = LTickMs();
    }
    bool Late(u32 ms) const { return LTickMs() - fAt > ms; }
    void Tick() {
        const XvfbHarness& x = fW.x;
        if (!fDialog && fPhase > kFind && fPhase < kEscaped) {
            Note("dialog gone");
            Next(kDone);
        }
        switch (fPhase) {
            case kFind:
                for (QWidget* m : BlockingWindows())
                    if (std::find(fBefore.begin(), fBefore.end(), m) == fBefore.end()) fDialog = m;
                if (!fDialog || !TakesInput(x, fDialog)) {
                    if (Late(8000)) Note("no dialog"), Next(kDone);
                    return;
                }
                // A click on another of the program's windows, in its middle.
                walkwatch::Note("clicking '" + fOther->windowTitle().toStdString() + "' under '" +
                                fDialog->windowTitle().toStdString() + "'");
                x.Xdotool(Where(fOther->frameGeometry().center()) + " click 1");
                Next(kClicked);
                return;
            case kClicked:
                // The window manager gives the click's window the focus, or not.
                if (TakesInput(x, fDialog) && !Late(500)) return;
                Next(kForward);
                return;
            case kForward: {
                const bool forward = TakesInput(x, fDialog) && StackIndex(x, ClientId(fDialog)) >
                                                                   StackIndex(x, ClientId(fOther));
                if (!forward && !Late(4000)) return;
                Note(std::string("click=") + (forward ? "dialog forward" : "dialog behind"));
                fDialog->installEventFilter(&fSeen);
                fOwner->installEventFilter(&fSeen);
                QWidget* minimised = fSelf ? static_cast<QWidget*>(fDialog) : fOwner.data();
                walkwatch::Note("minimising '" + minimised->windowTitle().toStdString() + "'");
                x.Xdotool("windowminimize " + std::to_string(minimised->winId()));
                Next(kBack);
                return;
            }
            case kBack:
                // A busy window manager can drop the request: pressed again, as
                // a person would whose window stayed where it was.
                if (!fSeen.fSeen && !fMinimiseAgain && Late(2000)) {
                    fMinimiseAgain = true;
                    QWidget* minimised = fSelf ? static_cast<QWidget*>(fDialog) : fOwner.data();
                    if (minimised) {
                        walkwatch::Note("minimising '" + minimised->windowTitle().toStdString() +
                                        "' again");
                        x.Xdotool("windowminimize " + std::to_string(minimised->winId()));
                    }
                    Next(kBack);
                    return;
                }
                // On screen again and taking the keys, or given up on.
                if (!(fSeen.fSeen && XState(x, fDialog) == "Normal" &&
                      fDialog->windowHandle()->isExposed() && TakesInput(x, fDialog)) &&
                    !Late(fMinimiseAgain ? 3000 : 5000))
                    return;
                Note(std::string("minimised=") + (fSeen.fSeen ? "seen" : "never"));
                Note("dialog=" + XState(x, fDialog));
                Note("owner=" + XState(x, fOwner));
                Note(std::string("keys=") + (TakesInput(x, fDialog) ? "dialog" : "elsewhere"));
                Next(kShot);
                return;
            case kShot:
                // Drawn again once back.
                if (!Late(400)) return;
                fW.x.Screenshot(Shot(std::string("blocked_") + (fSelf ? "itself_" : "") +
                                     fDialog->windowTitle().toStdString()));
                x.Xdotool("key Escape");
                Next(kEscaped);
                return;
            case kEscaped: {
                // A closed dialog may already be deleted.
                const bool shown = fDialog && fDialog->isVisible();
                if (shown && !Late(3000)) return;
                Note(std::string("escape=") + (shown ? "nothing" : "closed"));
                // Out of its loop whatever it did: the walk goes on.
                if (shown) fDialog->close();
                Next(kDone);
                return;
            }
            case kDone:
                fTimer.stop();
                return;
        }
    }
    Walk& fW;
    QPointer<QWidget> fOwner, fOther;
    bool fSelf;
    bool fMinimiseAgain = false;
    QPointer<QWidget> fDialog;
    std::vector<QWidget*> fBefore;
    MinimiseSeen fSeen;
    QTimer fTimer;
    Phase fPhase = kFind;
    u32 fAt = 0;
    std::string fRow;
};

// The windows a control window opens, minimised, then the control window
// closed and opened again: each comes back on screen and listed (or is gone,
// as the universe addresses and the DMX monitor go with the window), and its
// menu command shows it. Then the dialogs of the program, each run while the
// window it belongs to (or the dialog itself) is minimised: the dialog stays
// on screen and answers, and a click on another window brings it forward.
void KeptWindows(Walk& w) {
    w.menus.fClicksTaken = true;
    QPoint row1;
    CKvsDevCtl* ctl = nullptr;
    ASSERT_NO_FATAL_FAILURE(OpenControlWindow(w, row1, ctl));
    MWindow* ctlwin = AsMWindow(ctl->Screen()->Window().GetNativeWindow());
    ASSERT_TRUE(w.menus.WaitActive(ctlwin));
    ASSERT_TRUE(WaitShown(ctlwin));
    ASSERT_TRUE(AwaitQuiet(w, 1201, "the control window opened"));
    ASSERT_TRUE(AwaitTakesInput(w, ctlwin, "the control window"));

    // The DMX monitor of a universe, opened by a double click in the control
    // window's universe list, minimised across the control window's closing:
    // the window's views are built anew, and the monitor goes with them.
    {
        SCOPED_TRACE("dmx_monitor");
        ASSERT_TRUE(w.menus.ChooseSettled(ctlwin, "Device", "Art-Net Monitor"));
        CKvsNetMon* mon = w.kvs->DevDoc()->NetMon();
        ASSERT_NE(mon, nullptr);
        std::vector<u8> levels(512, 90);
        const std::vector<u8> d = artdmxtest::Datagram(0x21, levels.data(), 512);
        ASSERT_TRUE(mon->Accept(d.data(), u32(d.size()), 0xC612FFFE, LTickMs()));
        mon->ChangeTimer().Start(0u);
        auto* view = dynamic_cast<CKvsFileListCtl*>(ctl->Screen()->FilesView());
        ASSERT_NE(view, nullptr);
        CKvsUnvList* universes = view->Frame()->fUniverses;
        ASSERT_TRUE(RunUntil([&] { return universes->Rows() == 1; }, 5000));
        LoopDrained();
        const QPoint row = ScreenPoint(universes, LPoint{20, universes->CellHeight() / 2});
        w.menus.Click(row);
        w.menus.Click(row, 2);
        ASSERT_TRUE(Await("the DMX monitor open",
                          [&] { return universes->Monitor() && universes->Monitor()->IsShown(); }));
        QPointer<MWindow> monwin = AsMWindow(universes->Monitor()->GetNativeWindow());
        ASSERT_TRUE(WaitShown(monwin));
        w.x.Xdotool("windowminimize " + std::to_string(monwin->winId()));
        EXPECT_TRUE(Await("the DMX monitor minimised", [&] {
            return monwin->isMinimized() && XState(w.x, monwin) == "Iconic";
        }));
        ASSERT_NO_FATAL_FAILURE(ReopenControlWindow(w, row1, ctl, ctlwin));
        EXPECT_TRUE(!monwin || !monwin->isVisible()) << "the monitor of the views gone";
        ASSERT_TRUE(Activate(w, ctlwin));
        for (const QString& t : WindowMenuTitles(w, ctlwin))
            EXPECT_FALSE(monwin && t == monwin->windowTitle()) << t.toStdString();
        // Opened again the same way: on screen.
        view = dynamic_cast<CKvsFileListCtl*>(ctl->Screen()->FilesView());
        ASSERT_NE(view, nullptr);
        universes = view->Frame()->fUniverses;
        mon->ChangeTimer().Start(0u);
        ASSERT_TRUE(RunUntil([&] { return universes->Rows() == 1; }, 5000));
        LoopDrained();
        w.menus.Click(row);
        w.menus.Click(row, 2);
        ASSERT_TRUE(Await("the DMX monitor open again", [&] {
            return universes->Monitor() && universes->Monitor()->IsShown() &&
                   XState(w.x, AsMWindow(universes->Monitor()->GetNativeWindow())) == "Normal";
        }));
        ASSERT_TRUE(w.menus.ChooseSettled(ctlwin, "Device", "Art-Net Monitor"));
    }

    // The play settings, chosen in the view pop-up.
    w.menus.Click(PaneCenter(&ctl->Screen()->Window().fView));
    ASSERT_TRUE(
        Await("the view pop-up open", [] { return QApplication::activePopupWidget() != nullptr; }));
    w.menus.Key("Down Return");
    ASSERT_TRUE(RunUntil([&] { return ctl->Screen()->PlayView() != nullptr; }, 10000));
    ASSERT_TRUE(AwaitQuiet(w, 1201, "the play settings read"));
    const QString serial = QStringLiteral("1201");

    struct Kind {
        const char* tag;
        bool onSchedule;  // its command is on the schedule window's bar
        const char* menu;
        const char* item;
        QString title;
        bool exact;
        bool listed;  // the Window menu lists it
        bool kept;    // the control window brings it back
    };
    const Kind kinds[] = {
        {"play_buttons", false, "Play", "Play Buttons", "Play Buttons", false, true, true},
        {"aux_play", false, "Play", "Aux Play", "Aux Play", false, true, true},
        {"schedule", false, "Play", "Use Schedule", serial + " Schedule", true, true, true},
        {"schedule_test", true, "Schedule", "Test Schedule", "Schedule Test", true, true, true},
        {"universes", false, "Device", "Universe Addresses", "Universe Addresses", false, true,
         false},
    };
    std::vector<QPointer<MWindow>> opened;
    for (const Kind& k : kinds) {
        SCOPED_TRACE(k.tag);
        QWidget* from = k.onSchedule ? ShownTitled(serial + " Schedule", true) : ctlwin;
        ASSERT_NE(from, nullptr);
        ASSERT_TRUE(Activate(w, from));
        ASSERT_TRUE(w.menus.ChooseSettled(from, k.menu, k.item));
        MWindow* win = nullptr;
        ASSERT_TRUE(Await(std::string("'") + k.item + "' open",
                          [&] { return (win = ShownTitled(k.title, k.exact)) != nullptr; }));
        ASSERT_TRUE(WaitShown(win));
        opened.push_back(win);
        if (std::string(k.tag) != "schedule_test") continue;
        // A year typed in the test window, then Undo and Redo by their keys:
        // the field's own, as no history keeps the test time. The play edit's
        // last step (Use Schedule) stays: the device hears nothing, and both
        // schedule windows stay open.
        // Looked up anew at each step: a window the step closed is gone.
        auto test = [&]() -> CSchTestWin* {
            MWindow* m = ShownTitled(k.title, true);
            return m && m->Owner() ? dynamic_cast<CSchTestWin*>(m->Owner()->GetFrame()) : nullptr;
        };
        auto shownYear = [&] {
            return test() ? std::string(test()->fYear.GetText().CStr()) : std::string("(closed)");
        };
        ASSERT_NE(test(), nullptr);
        ASSERT_TRUE(AwaitQuiet(w, 1201, "the test window open"));
        w.sim.Cmd("log clear");
        ASSERT_TRUE(Activate(w, win));
        // A click on a number field steps it too: the year typed over is the
        // one the field shows then.
        w.menus.Click(PaneCenter(&test()->fYear));
        ASSERT_TRUE(RunUntil([&] { return AllSelected(&test()->fYear); }, 3000));
        const std::string year = shownYear();
        w.menus.Type("2031");
        EXPECT_TRUE(RunUntil([&] { return shownYear() == "2031"; }, 3000)) << shownYear();
        w.menus.Key("ctrl+z");
        EXPECT_TRUE(RunUntil([&] { return shownYear() == year; }, 3000)) << shownYear();
        if (test()) {
            w.menus.Key("ctrl+shift+z");
            EXPECT_TRUE(RunUntil([&] { return shownYear() == "2031"; }, 3000)) << shownYear();
        }
        ASSERT_TRUE(AwaitQuiet(w, 1201, "Undo and Redo in the test window"));
        EXPECT_EQ(Join(Told(w.sim, 1201)), "");
        EXPECT_TRUE(test() && ShownTitled(serial + " Schedule", true));
        if (!test()) {
            // Opened again for the rows that follow.
            ASSERT_TRUE(Activate(w, ctlwin));
            ASSERT_TRUE(w.menus.ChooseSettled(ctlwin, "Play", "Use Schedule"));
            QWidget* sched = nullptr;
            ASSERT_TRUE(Await("the schedule window back",
                              [&] { return (sched = ShownTitled(serial + " Schedule", true)); }));
            ASSERT_TRUE(Activate(w, sched));
            ASSERT_TRUE(w.menus.ChooseSettled(sched, k.menu, k.item));
            ASSERT_TRUE(Await("the test window back", [&] { return test() != nullptr; }));
            for (size_t j = 0; j < opened.size(); ++j)
                if (!opened[j]) opened[j] = ShownTitled(kinds[j].title, kinds[j].exact);
        }
    }
    // Minimised, the last opened first (a window minimised takes the windows
    // that stay above it along).
    for (size_t i = opened.size(); i-- > 0;) {
        MWindow* win = opened[i];
        w.x.Xdotool("windowminimize " + std::to_string(win->winId()));
        EXPECT_TRUE(Await(std::string(kinds[i].tag) + " minimised",
                          [&] { return win->isMinimized() && XState(w.x, win) == "Iconic"; }));
    }
    LoopDrained();
    w.x.Screenshot(Shot("kept_minimised"));
    // The control window closed with its key and opened again from the list.
    ASSERT_NO_FATAL_FAILURE(ReopenControlWindow(w, row1, ctl, ctlwin));
    for (size_t i = 0; i < opened.size(); ++i) {
        const Kind& k = kinds[i];
        MWindow* win = opened[i];
        if (!k.kept) continue;
        Await(std::string(k.tag) + " back on screen",
              [&] { return win && win->isVisible() && win->windowHandle()->isExposed(); });
    }
    ASSERT_TRUE(Activate(w, ctlwin));
    const QStringList listed = WindowMenuTitles(w, ctlwin, "kept_reopened");
    // Each kind: its X state after the reopen, whether the Window menu lists
    // it, and its X state once its menu command chose it while minimised.
    for (size_t i = 0; i < opened.size(); ++i) {
        const Kind& k = kinds[i];
        SCOPED_TRACE(k.tag);
        QPointer<MWindow> win = opened[i];
        const std::string back = win && win->isVisible() ? XState(w.x, win) : "gone";
        bool inMenu = false;
        for (const QString& t : listed) inMenu = inMenu || (win && t == win->windowTitle());
        EXPECT_EQ(back, k.kept ? "Normal" : "gone");
        EXPECT_EQ(inMenu, k.kept && k.listed) << listed.join(", ").toStdString();
        if (win && win->isVisible()) {
            w.x.Xdotool("windowminimize " + std::to_string(win->winId()));
            EXPECT_TRUE(Await("minimised again", [&] { return win->isMinimized(); }));
        }
        QWidget* from = k.onSchedule ? ShownTitled(serial + " Schedule", true) : ctlwin;
        ASSERT_NE(from, nullptr);
        ASSERT_TRUE(Activate(w, from));
        ASSERT_TRUE(w.menus.ChooseSettled(from, k.menu, k.item));
        MWindow* shown = nullptr;
        EXPECT_TRUE(Await("its command showing it", [&] {
            shown = ShownTitled(win ? win->windowTitle() : QString(k.title), k.exact);
            return shown && !shown->isMinimized() && XState(w.x, shown) == "Normal" &&
                   shown->windowHandle()->isExposed();
        }));
    }
    LoopDrained();
    w.x.Screenshot(Shot("kept_chosen"));

    // The toolkit's font panel, opened by Play Buttons' Font…: minimised, it
    // comes back by the button again and from the Window menu, which lists
    // it; left under another window, the button brings it to the front.
    {
        SCOPED_TRACE("font_panel");
        MWindow* btnwin = ShownTitled(QStringLiteral("Play Buttons"));
        ASSERT_NE(btnwin, nullptr);
        auto* asn = dynamic_cast<CKvsPlayAsnWin*>(btnwin->Owner()->GetFrame());
        ASSERT_NE(asn, nullptr);
        ASSERT_TRUE(Activate(w, btnwin));
        // Wholly on the screen, its Font… button in sight.
        w.x.Xdotool("windowmove " + std::to_string(btnwin->winId()) + " 560 120");
        Await("Play Buttons moved", [&] { return btnwin->frameGeometry().top() < 200; });
        LoopDrained();
        ASSERT_TRUE(asn->fFontBtn.IsShown());
        const QPoint button = PaneCenter(&asn->fFontBtn);
        w.menus.Click(button);
        QPointer<QFontDialog> panel;
        ASSERT_TRUE(Await("the font panel open", [&] { return (panel = FontPanel()) != nullptr; }));
        ASSERT_TRUE(WaitShown(panel));
        const QString title = panel->windowTitle();
        EXPECT_TRUE(WindowMenuTitles(w, btnwin).contains(title)) << "not in the Window menu";
        const struct {
            const char* tag;
            bool covered;   // under the device window, else minimised
            bool fromMenu;  // chosen in the Window menu, else the button again
        } ways[] = {{"button", false, false},
                    {"window_menu", false, true},
                    {"button_covered", true, false}};
        std::string rows, sound;
        for (const auto& way : ways) {
            SCOPED_TRACE(way.tag);
            ASSERT_TRUE(panel);
            ASSERT_TRUE(Activate(w, btnwin));
            if (way.covered) {
                // The panel put under the device window, which comes up over
                // it without the keys (as another program's window would);
                // on screen first, whatever the rows before left.
                if (panel->isMinimized())
                    panel->setWindowState(panel->windowState() & ~Qt::WindowMinimized);
                EXPECT_TRUE(Await("the panel on screen",
                                  [&] { return panel && XState(w.x, panel) == "Normal"; }));
                const QPoint at = w.devwin->frameGeometry().topLeft() + QPoint(40, 60);
                w.x.Xdotool("windowmove " + std::to_string(panel->winId()) + " " +
                            std::to_string(at.x()) + " " + std::to_string(at.y()));
                w.x.Xdotool("windowraise " + std::to_string(w.devwin->winId()));
                EXPECT_TRUE(Await("the panel under the device window", [&] {
                    return StackIndex(w.x, ClientId(panel)) < StackIndex(w.x, ClientId(w.devwin));
                }));
            } else {
                w.x.Xdotool("windowminimize " + std::to_string(panel->winId()));
                EXPECT_TRUE(Await("the panel minimised", [&] {
                    return panel && panel->isMinimized() && XState(w.x, panel) == "Iconic";
                }));
                ASSERT_TRUE(Activate(w, btnwin));
            }
            if (way.fromMenu)
                EXPECT_TRUE(w.menus.ChooseSettled(btnwin, "Window", title));
            else
                w.menus.Click(button);
            auto front = [&] {
                const long at = StackIndex(w.x, ClientId(panel));
                for (MWindow* m : ShownWindows())
                    if (StackIndex(w.x, ClientId(m)) > at) return false;
                return true;
            };
            Await("the panel back in front", [&] {
                return panel && !panel->isMinimized() && XState(w.x, panel) == "Normal" &&
                       panel->windowHandle()->isExposed() && front();
            });
            rows += std::string(way.tag) + "=" + (panel ? XState(w.x, panel) : "gone") +
                    (panel && front() ? ",front " : ",behind ");
            sound += std::string(way.tag) + "=Normal,front ";
        }
        EXPECT_EQ(rows, sound);
        w.x.Screenshot(Shot("font_panel_back"));
        if (panel) panel->close();
        ASSERT_TRUE(Await("the font panel closed", [&] { return !panel || !panel->isVisible(); }));
    }

    // The dialogs, each minimised with the window it belongs to.
    const char* const sound =
        "click=dialog forward minimised=seen dialog=Normal owner=Normal keys=dialog escape=closed";
    const struct {
        const char* tag;
        bool onDevwin;
        const char* menu;
        const char* item;
        bool self;
        const char* expected;
    } dialogs[] = {
        {"count_down", false, "Device", "Count-Down", false, sound},
        {"count_down_itself", false, "Device", "Count-Down", true, sound},
        {"master_fader", false, "Play", "Master Fader", false, sound},
        {"network", true, "Device", "Network Settings", false, sound},
        // The toolkit's file panels, minimised by their own button.
        {"export_play_file", false, "Play", "Export Play File…", true, sound},
        {"import_play_file", false, "Play", "Import Play File…", true, sound},
    };
    for (const auto& d : dialogs) {
        SCOPED_TRACE(d.tag);
        QWidget* owner = d.onDevwin ? static_cast<QWidget*>(w.devwin) : ctlwin;
        QWidget* other = d.onDevwin ? static_cast<QWidget*>(ctlwin) : w.devwin;
        ASSERT_TRUE(Activate(w, owner));
        BlockedScript script(w, owner, other, d.self);
        ASSERT_TRUE(w.menus.Choose(owner, d.menu, d.item));
        EXPECT_TRUE(Await(
            "the dialog's script done", [&] { return script.Done(); }, 30000));
        EXPECT_EQ(script.Row(), d.expected);
        // Whatever the script left: the owner back for the next row.
        if (owner->isMinimized())
            owner->setWindowState(owner->windowState() & ~Qt::WindowMinimized);
        EXPECT_TRUE(AwaitQuiet(w, 1201, std::string("the ") + d.tag + " dialog"));
    }
}

// ---------------------------------------------------------------- menu keys

void MenuKey(Walk& w) {
    ASSERT_TRUE(w.menus.ChooseSettled(w.devwin, "KEVOruneSet", "Menu Keys"));
    RunUntil([] { return QApplication::activePopupWidget() == nullptr; }, 2000);
    ASSERT_TRUE(w.menus.WaitActive(w.devwin)) << "the device window active after the menu";
    CMenuKeyDlg* dialog = nullptr;
    std::string shown;
    int phase = 0;
    u32 at = 0;
    QTimer step;
    QObject::connect(&step, &QTimer::timeout, [&] {
        if (phase == 0) {
            for (MWindow* m : ShownWindows())
                if (auto* d =
                        m->Owner() ? dynamic_cast<CMenuKeyDlg*>(m->Owner()->GetFrame()) : nullptr)
                    dialog = d, phase = 1, at = LTickMs();
        } else if (phase == 1 && LTickMs() - at > 500) {
            w.x.XdotoolAsync("key ctrl+j");
            phase = 2, at = LTickMs();
        } else if (phase == 2 && (!dialog->fDisplay.GetText().IsEmpty() || LTickMs() - at > 3000)) {
            shown = dialog->fDisplay.GetText().CStr();
            w.x.Screenshot(Shot("menukey"));
            w.x.XdotoolAsync("key Return");
            phase = 3;
        }
    });
    step.start(20);
    // An item without a key of its own opens the key dialog.
    ASSERT_TRUE(w.menus.Choose(w.devwin, "Device", "Set Clock"));
    EXPECT_TRUE(RunUntil([&] { return phase == 3 && ShownWindows().size() == 1; }, 10000));
    step.stop();
    EXPECT_TRUE(w.menus.WaitActive(w.devwin)) << "the device window active after the dialog";
    LoopDrained();
    // The dialog showed the key as the menu shows it once assigned.
    QMenu* menu = w.menus.OpenAgain(w.devwin, "Device");
    ASSERT_NE(menu, nullptr);
    std::string item;
    for (QAction* a : menu->actions())
        if (a->text().startsWith("Set Clock")) item = a->text().section(u'\t', 1).toStdString();
    w.x.Screenshot(Shot("menukey_menu"));
    w.menus.Close();
    EXPECT_EQ(item, "Ctrl+j");
    EXPECT_EQ(shown, item);
}

// ---------------------------------------------------------------- the walks

enum Scenario { kAddresses, kFiles, kMenuKey, kMinimised, kKept };

void RunWalk(Scenario scenario, const XvfbHarness& x, NetnsHarness& net,
             const testtftp::TempDir& dir) {
    MenuDriver menus(x);
    SimDeviceProcess sim(NetnsHarness::NsPath(net.DevNs()));
    ASSERT_TRUE(sim.Ok());
    const std::string card = dir.Path() + "/1201/sdc";
    std::filesystem::create_directories(card + "/kevrecfiles");
    std::filesystem::create_directories(card + "/audiofiles");
    // Files of many blocks, each of its own bytes.
    std::mt19937 random(7);
    for (const char* n : {"a.drc", "b.drc", "c.drc", "d.drc"}) {
        std::string bytes(150000 + 1000 * (n[0] - 'a'), '\0');
        for (char& c : bytes) c = char(random());
        std::ofstream(card + "/kevrecfiles/" + n, std::ios::binary) << bytes;
    }
    ASSERT_NO_FATAL_FAILURE(AddDevices(
        sim, dir.Path(), {"serno=1201 addr=198.18.1.11/24", "serno=305 addr=198.18.1.12/24"}));
    const std::string local = dir.Path() + "/down";
    std::filesystem::create_directories(local);
    ASSERT_TRUE(net.InNs(net.AppNs(), [&] {
        qputenv("XDG_RUNTIME_DIR", QByteArray(dir.Path().c_str()));
        qInstallMessageHandler(CollectWarnings);
        AppLaunch launch("xcb", dir.Path() + "/config");
        QtMenuServices::SetAppName(QStringLiteral("KEVOruneSet"));
        ASSERT_TRUE(launch.PrefsWritten());
        CKvsApp* kvs = launch.Launch();
        auto* win = static_cast<CKvsDevWin*>(kvs->DevDoc()->View());
        // A device that missed the first poll answers the next one.
        ASSERT_TRUE(RunUntil(
            [&] { return kvs->DevDoc()->DeviceSet().Count() == 2 && win->IsShown(); }, 30000))
            << kvs->DevDoc()->DeviceSet().Count();
        MWindow* devwin = AsMWindow(win->GetNativeWindow());
        ASSERT_NE(devwin, nullptr);
        ASSERT_TRUE(menus.WaitActive(devwin));
        ASSERT_TRUE(WaitShown(devwin));
        Walk w{x, sim, menus, kvs, win, devwin};
        ASSERT_TRUE(AwaitQuiet(w, 1201, "the start"));
        ASSERT_TRUE(AwaitQuiet(w, 305, "the start"));
        ASSERT_TRUE(AwaitTakesInput(w, devwin, "the device window"));
        if (scenario == kAddresses) Addresses(w);
        if (scenario == kFiles) Files(w, card, local);
        if (scenario == kMenuKey) MenuKey(w);
        if (scenario == kMinimised) Minimised(w);
        if (scenario == kKept) KeptWindows(w);
        EXPECT_EQ(gWarnings, std::vector<std::string>());
    }));
}

void InChild(Scenario scenario, const char* tag) {
    WalkInChild("1280x800", tag,
                [&](const XvfbHarness& x, NetnsHarness& net, const testtftp::TempDir& dir) {
                    RunWalk(scenario, x, net, dir);
                });
}

TEST(DevFrameWalk, EachAddressFieldStoresOnlyItsOwnTextHoweverItsEditEnds) {
    InChild(kAddresses, "dfaddr");
}

TEST(DevFrameWalk, DeleteDeclinedTellsTheDeviceNothingAndTwoFilesDownloadWhole) {
    InChild(kFiles, "dffiles");
}

TEST(DevFrameWalk, TheMenuKeyDialogShowsTheKeyAsTheMenuDoes) {
    InChild(kMenuKey, "dfmenukey");
}

TEST(DevFrameWalk, AMinimisedControlWindowComesBackFromTheWindowMenuAndTheList) {
    InChild(kMinimised, "dfminimised");
}

TEST(DevFrameWalk, MinimisedWindowsComeBackWithTheirControlWindowAndDialogsStayInSight) {
    InChild(kKept, "dfkept");
}

}  // namespace
