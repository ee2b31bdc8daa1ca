// A number typed and left open in a field, then its window or the program
// ended every way a user ends them: the window's close box, File > Close, the
// control window closed (also with the field in a window it opened), the
// sequence format changed under it, Quit, SIGTERM (a logout, a shutdown). What reaches
// the device is read back from its log: each value once, whole, in range, to
// the device meant; the setting files on the simulated card hold it too.
// SIGTERM while an upload runs ends the program within a second, the upload
// cancelled. A signal in the middle of a format change's card write, or of the
// read that replaces a view for an import, lets that step end first: the card
// and the device end with one format. Under a real X server with a window
// manager, against simulated devices in namespaces of the test's own (root
// only); one child process per run. Screenshots go to the build folder
// (walk_<name>.png).
#include <QApplication>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "MessageWatch.h"
#include "PlayEditWalk.h"
#include "PlayFileOnDisk.h"
#include "base/Paths.h"
#include "base/CMemStrm.h"
#include "devices/CKvsDevFrm.h"
#include "records/DeviceKinds.h"
#include "devices/CKvsUploads.h"
#include "editors/CAxPlyTrgList.h"
#include "editors/CKvsAxPlyWin.h"
#include "editors/CKvsPlayAsnWin.h"
#include "editors/CKvsScnEdF.h"
#include "editors/CKvsScnList.h"
#include "editors/CKvsScnPrmF.h"
#include "editors/CKvsSeqDlgs.h"
#include "editors/CKvsSeqWins.h"
#include "editors/CKvsUvadList.h"
#include "editors/CUvadWin.h"
#include "records/PropRecord.h"
#include "records/RecordKinds.h"
#include "records/ShowKinds.h"

// Qt's drag on X11 wakes the session bus, whose library keeps a block for the process.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}

using namespace testtftp;

namespace {

// A click on the close box of a window's title bar (openbox: at its right end).
void ClickCloseBox(Walk& w, QWidget* window) {
    const QRect f = window->frameGeometry();
    w.Click(QPoint(f.right() - 10, f.top() + 8));
}

// The shown window whose frame is an F.
template <class F>
F* ShownFrame() {
    for (MWindow* m : ShownWindows())
        if (F* f = FrameOf<F>(m)) return f;
    return nullptr;
}

QWidget* NativeOf(LFrame* f) {
    return AsMWindow(f->GetNativeWindow());
}

std::string Text(LEditText& f) {
    return std::string(f.GetText().CStr());
}

// How a window is ended with the edit still open.
enum class End { kCloseBox, kFileClose };

void EndWindow(Walk& w, LFrame* frame, End how) {
    // Its owner may delete it on the close.
    QPointer<QWidget> win = NativeOf(frame);
    if (how == End::kCloseBox)
        ClickCloseBox(w, win);
    else
        ASSERT_TRUE(w.Choose(win, "File", "Close"));
    EXPECT_TRUE(RunUntil([&] { return !win || !win->isVisible(); }, 5000))
        << "the window stayed open";
}

// The first scene of a new sequence, its parameters shown.
CKvsScnPrmF::CContent* NewScene(PlayEdit& p) {
    Walk& w = p.w;
    CRecord* seqs = p.frame->SeqSettings();
    w.Click(PaneAt(&p.frame->PlusButton()));
    EXPECT_TRUE(RunUntil([&] { return seqs->GetListCount(SqstF::sqcs) == 1; }, 3000));
    CKvsScnEdF* scenes = p.frame->SceneEdit();
    EXPECT_TRUE(RunUntil([&] { return scenes->IsShown(); }, 3000));
    CRecord* seq = seqs->GetListItem(SqstF::sqcs, 0);
    w.Click(PaneAt(&scenes->PlusButton()));
    EXPECT_TRUE(RunUntil([&] { return seq->GetListCount(SqncF::scns) == 1; }, 3000));
    Await("the new scene's row in the list", [&] { return scenes->List()->Rows() == 1; });
    w.AwaitQuiet("adding a scene");
    LoopDrained();
    w.Click(RowAt(scenes->List(), 0));
    EXPECT_TRUE(RunUntil(
        [&] { return scenes->SelectedScene() == seq->GetListItem(SqncF::scns, 0); }, 3000));
    Await("the scene's parameters shown", [&] { return scenes->Params()->IsShown(); });
    w.AwaitQuiet("choosing the scene");
    LoopDrained();
    return &scenes->Params()->Fields();
}

// A file's bytes in a stream at their start; empty when there is no file.
struct FileStrm {
    explicit FileStrm(const std::string& path) : strm(buf) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        const std::string data = bytes.str();
        empty = data.empty();
        strm.Write(data.data(), data.size());
        strm.SetPosition(0);
    }
    LDataBuf buf;
    CMemStrm strm;
    bool empty = true;
};

// The first scene of the first sequence in the sequence settings file on the
// simulated card; null when there is none.
struct CardScene {
    explicit CardScene(const std::string& path) {
        RegisterAllRecordKinds();
        FileStrm file(path);
        if (file.empty) return;
        root = CRecord::New(CRecordSchema::Find(kFamKvt, kKindSqst));
        if (!PropRecord::ReadInto(&file.strm, root, true)) return;
        CRecord* seq =
            root->GetListCount(SqstF::sqcs) ? root->GetListItem(SqstF::sqcs, 0) : nullptr;
        scene = seq && seq->GetListCount(SqncF::scns) ? seq->GetListItem(SqncF::scns, 0) : nullptr;
    }
    ~CardScene() {
        if (root) CRecord::Destroy(root);
    }
    CRecord* root = nullptr;
    CRecord* scene = nullptr;
};

std::string CardPath(const TempDir& dir) {
    return dir.Path() + "/1201/sdc/sequencesetting";
}

// A pop-up opened with the pointer and the item chosen with the arrow keys.
void ChooseByKeys(Walk& w, LPopupList& pop, i32 item) {
    w.Click(PaneAt(&pop, 20));
    RunUntil([] { return QApplication::activePopupWidget() != nullptr; }, 3000);
    WaitShown(QApplication::activePopupWidget());
    const i32 from = std::max(pop.GetSelected(), 0);
    std::string keys;
    for (i32 i = from; i < item; ++i) keys += " Down";
    for (i32 i = item; i < from; ++i) keys += " Up";
    w.Key(keys.substr(1) + " Return");
    EXPECT_TRUE(RunUntil([&] { return pop.GetSelected() == item; }, 3000));
    Await("the pop-up's list closed", [] { return QApplication::activePopupWidget() == nullptr; });
    LoopDrained();
}

// The Aux Play window's trigger fields: a number left typed, then a click on
// another aux play, on another trigger, the close box, File > Close.
void WalkAuxTriggers(PlayEdit& p) {
    Walk& w = p.w;
    SimDeviceProcess& sim = p.sim;
    const CRecord* axps = p.frame->SeqSettings()->GetChild(SqstF::axps);
    auto open = [&]() -> CKvsAxPlyWin* {
        w.Activate(p.ctl);
        EXPECT_TRUE(w.Choose(p.ctl, "Play", "Aux Play"));
        CKvsAxPlyWin* f = nullptr;
        EXPECT_TRUE(RunUntil([&] { return (f = ShownFrame<CKvsAxPlyWin>()) != nullptr; }, 5000));
        if (f) WaitShown(NativeOf(f));
        return f;
    };
    CKvsAxPlyWin* aux = open();
    ASSERT_NE(aux, nullptr);
    for (const char* name : {"Doors", "Stage"}) {
        const u32 n = axps->GetListCount(AplsF::plys);
        w.Click(PaneAt(aux->fAdd));
        ASSERT_TRUE(RunUntil([&] { return axps->GetListCount(AplsF::plys) == n + 1; }, 3000));
        Await("the new aux play's row", [&] { return aux->fList->Rows() == i32(n + 1); });
        w.AwaitQuiet("adding an aux play");
        LoopDrained();
        w.Type(name);
        w.Key("Return");
    }
    auto selectAux = [&](i32 row) {
        w.Click(RowAt(aux->fList, row, 4));
        EXPECT_TRUE(RunUntil([&] { return aux->fList->SelectedRow() == row; }, 3000));
        w.AwaitQuiet("choosing an aux play");
        LoopDrained();
    };
    selectAux(0);
    CRecord* doors = axps->GetListItem(AplsF::plys, 0);
    CRecord* stage = axps->GetListItem(AplsF::plys, 1);
    auto cell = [&](i32 row) {
        return static_cast<CAxPlyTrgCell*>(aux->fTrgList->GetCellFrame(LCell{0, row}, false));
    };
    // kind: the item of the kind pop-up.
    auto addTrigger = [&](const char* name, i32 kind) -> CAxPlyTrgCell* {
        const u32 n = doors->GetListCount(AplyF::trgs);
        w.Click(PaneAt(aux->fAddTrg));
        EXPECT_TRUE(RunUntil([&] { return doors->GetListCount(AplyF::trgs) == n + 1; }, 3000));
        Await("the new trigger's row", [&] { return cell(i32(n)) && cell(i32(n))->IsShown(); });
        w.AwaitQuiet("adding a trigger");
        LoopDrained();
        w.Type(name);
        w.Key("Tab");
        CAxPlyTrgCell* c = cell(i32(n));
        if (c) ChooseByKeys(w, c->fKind, kind);
        return c;
    };
    auto trigger = [&](u32 i) { return doors->GetListItem(AplyF::trgs, i); };
    auto typed = [&](LEditText* field, const char* text) {
        // A busy machine may still have the last choice's writes on their way:
        // they are not the typing's.
        w.AwaitQuiet("the writes before the typing");
        sim.Cmd("log clear");
        w.TypeNumber(field, text);
        // Left open on purpose: the keys are taken; whatever they queued has run.
        LoopDrained();
    };

    // Art-Net with a count of 300, then a click on the next aux play: stored
    // in the aux play it was typed for, held at the largest count.
    CAxPlyTrgCell* art = addTrigger("Cue1", 2);
    ASSERT_NE(art, nullptr);
    ASSERT_TRUE(RunUntil([&] { return art->Frame(TrgFrame::kArtNet).IsShown(); }, 2000));
    typed(art->Frame(TrgFrame::kArtNet).fFields[4], "300");
    selectAux(1);
    EXPECT_EQ(w.WaitWritten("valu", 1), std::vector<std::string>{"255"});
    EXPECT_EQ(trigger(0)->GetI32(AptgF::valu), 255);
    EXPECT_EQ(stage->GetListCount(AplyF::trgs), 0u);
    selectAux(0);
    EXPECT_EQ(Text(*cell(0)->Frame(TrgFrame::kArtNet).fFields[4]), "255");

    // sACN channel 77, then a click on another trigger.
    CAxPlyTrgCell* sacn = addTrigger("Cue2", 3);
    ASSERT_NE(sacn, nullptr);
    ASSERT_TRUE(RunUntil([&] { return sacn->Frame(TrgFrame::kSacn).IsShown(); }, 2000));
    const struct {
        const char* where;
        std::function<QPoint()> at;
        const char* text;
    } clicks[] = {
        {"the other trigger's row", [&] { return RowAt(aux->fTrgList, 0, 2); }, "77"},
        {"the other trigger's name", [&] { return PaneAt(&cell(0)->fName); }, "78"},
        {"the other trigger's kind", [&] { return PaneAt(&cell(0)->fKind, 20); }, "79"},
    };
    for (const auto& c : clicks) {
        SCOPED_TRACE(c.where);
        typed(cell(1)->Frame(TrgFrame::kSacn).fFields[1], c.text);
        w.Click(c.at());
        EXPECT_EQ(w.WaitWritten("bsch", 1), std::vector<std::string>{c.text});
        EXPECT_EQ(trigger(1)->GetChild(AptgF::sntg)->GetU32(SntgF::bsch), u32(std::stoul(c.text)));
        EXPECT_EQ(Text(*cell(1)->Frame(TrgFrame::kSacn).fFields[1]), c.text);
        // A pop-up the click opened goes again.
        if (QApplication::activePopupWidget()) w.Close();
    }

    // A DMX channel of 100, then the close box.
    CAxPlyTrgCell* dmx = addTrigger("Cue3", 5);
    ASSERT_NE(dmx, nullptr);
    ASSERT_TRUE(RunUntil([&] { return dmx->Frame(TrgFrame::kDmx).IsShown(); }, 2000));
    typed(dmx->Frame(TrgFrame::kDmx).fFields[0], "100");
    // What was stored before stays: the clicks on the first trigger changed nothing of it.
    EXPECT_EQ(trigger(0)->GetI32(AptgF::valu), 255);
    w.Shot("ends_auxplay");
    EndWindow(w, aux, End::kCloseBox);
    EXPECT_EQ(w.WaitWritten("bsch", 1), std::vector<std::string>{"100"});
    EXPECT_EQ(trigger(2)->GetChild(AptgF::sntg)->GetU32(SntgF::bsch), 100u);

    // A MIDI note's channel 16, then File > Close.
    aux = open();
    ASSERT_NE(aux, nullptr);
    selectAux(0);
    CAxPlyTrgCell* note = addTrigger("Cue4", 12);
    ASSERT_NE(note, nullptr);
    ASSERT_TRUE(RunUntil([&] { return note->Frame(TrgFrame::kMidiNote).IsShown(); }, 2000));
    typed(note->Frame(TrgFrame::kMidiNote).fFields[0], "16");
    EndWindow(w, aux, End::kFileClose);
    EXPECT_EQ(w.WaitWritten("mdch", 1), std::vector<std::string>{"15"});
    EXPECT_EQ(w.WrittenElsewhere("mdch"), 0u);
}

// ---------------------------------------------------------------- editor windows

// One typed number left open in a field of an editor window, the window then
// ended one way; the device then holds the value once.
struct WindowEdit {
    const char* what;
    std::function<LFrame*()> open;             // the window, shown
    std::function<LEditText*(LFrame*)> field;  // the field in it
    const char* text;
    const char* tag;
    const char* value;
    End how;
};

void WalkEditorWindows(const XvfbHarness& x, NetnsHarness& net, const TempDir& dir) {
    WithPlayEdit(x, net, dir, [&](PlayEdit& p) {
        Walk& w = p.w;
        SimDeviceProcess& sim = p.sim;
        AlertGuard alerts("closing editor windows");
        auto menu = [&](const char* title, const char* item) {
            return [&, title, item]() -> LFrame* {
                w.Activate(p.ctl);
                EXPECT_TRUE(w.Choose(p.ctl, title, item));
                return nullptr;
            };
        };
        auto autoWin = [&, open = menu("Play", "Auto Play")]() -> LFrame* {
            open();
            CKvsAutoWin* f = nullptr;
            EXPECT_TRUE(RunUntil([&] { return (f = ShownFrame<CKvsAutoWin>()) != nullptr; }, 5000));
            if (f) WaitShown(NativeOf(f));
            return f;
        };
        auto buttonsWin = [&, open = menu("Play", "Play Buttons")]() -> LFrame* {
            open();
            CKvsPlayAsnWin* f = nullptr;
            EXPECT_TRUE(
                RunUntil([&] { return (f = ShownFrame<CKvsPlayAsnWin>()) != nullptr; }, 5000));
            if (f) WaitShown(NativeOf(f));
            return f;
        };
        auto uvadWin = [&, open = menu("Device", "Universe Addresses")]() -> LFrame* {
            open();
            CUvadWin* f = nullptr;
            EXPECT_TRUE(RunUntil([&] { return (f = ShownFrame<CUvadWin>()) != nullptr; }, 5000));
            if (f) WaitShown(NativeOf(f));
            if (f && f->List()->Count() == 0) {
                w.Click(PaneAt(&f->PlusButton()));
                EXPECT_TRUE(RunUntil([&] { return f->List()->Count() == 1; }, 3000));
                Await("the new universe's row", [&] {
                    LListCell* c = f->List()->GetCellFrame(LCell{0, 0}, false);
                    return c && c->IsShown();
                });
                w.AwaitQuiet("adding a universe");
                LoopDrained();
            }
            return f;
        };
        auto uvadCount = [](LFrame* f) -> LEditText* {
            auto* list = static_cast<CUvadWin*>(f)->List();
            auto* cell = static_cast<CKvsUvadCell*>(list->GetCellFrame(LCell{0, 0}, false));
            return cell ? &cell->fCount : nullptr;
        };
        const WindowEdit edits[] = {
            {"auto play delay, close box", autoWin,
             [](LFrame* f) { return &static_cast<CKvsAutoWin*>(f)->fDelay; }, "37", "staf", "37",
             End::kCloseBox},
            {"auto play delay above the range, File > Close", autoWin,
             [](LFrame* f) { return &static_cast<CKvsAutoWin*>(f)->fDelay; }, "1200", "staf", "999",
             End::kFileClose},
            {"button columns, close box", buttonsWin,
             [](LFrame* f) { return &static_cast<CKvsPlayAsnWin*>(f)->fCols; }, "5", "btcs", "5",
             End::kCloseBox},
            {"button rows, File > Close", buttonsWin,
             [](LFrame* f) { return &static_cast<CKvsPlayAsnWin*>(f)->fRows; }, "7", "btrs", "7",
             End::kFileClose},
            {"universe count, close box", uvadWin, uvadCount, "12", "flws", "11", End::kCloseBox},
            {"universe count, File > Close", uvadWin, uvadCount, "30", "flws", "29",
             End::kFileClose},
        };
        for (const WindowEdit& e : edits) {
            SCOPED_TRACE(e.what);
            LFrame* win = e.open();
            ASSERT_NE(win, nullptr);
            LEditText* field = e.field(win);
            ASSERT_NE(field, nullptr);
            sim.Cmd("log clear");
            w.TypeNumber(field, e.text);
            // Left open on purpose: the keys are taken; whatever they queued has run.
            LoopDrained();
            EndWindow(w, win, e.how);
            EXPECT_EQ(w.WaitWritten(e.tag, 1), std::vector<std::string>{e.value});
            EXPECT_EQ(w.WrittenElsewhere(e.tag), 0u);
        }
        WalkAuxTriggers(p);
    });
}

// ---------------------------------------------------------------- windows closed with their
// control window

// The record in a setting file of 1201's simulated card, read whole; null
// while it is not there or not whole.
struct CardRecord {
    CardRecord(const TempDir& dir, const char* file) {
        RegisterAllRecordKinds();
        FileStrm bytes(dir.Path() + "/1201/sdc/" + file);
        if (!bytes.empty) root = PropRecord::ReadNew(&bytes.strm);
    }
    ~CardRecord() {
        if (root) CRecord::Destroy(root);
    }
    CRecord* root = nullptr;
};

// A number typed and left open in a window the control window opened, then
// the control window ended one way, or the sequence format changed, which
// replaces the play view with its windows: the setting file written on the
// card holds it (the universes, kept in the device's settings, reach the device).
// Away: the device stops answering as the format changes, for longer than a
// request's retries; the user gives the change up when the program lets him,
// is told that the settings are kept, and the device answers again: the value
// reaches it once, and the card once the control window closes.
enum class Owned { kColumns, kRows, kAutoDelay, kJoystick, kUniverses, kSceneFade };
struct OwnedEdit {
    const char* what;
    Owned window;
    const char* text;
    i64 value;       // on the card, or as the device was sent it
    bool ctrlW;      // else the close box
    u32 format = 0;  // not 0: the window stays, the format is changed to this
    bool away = false;
    // The device refuses the value; a level and an aux play's name typed after
    // it still reach the device, and the user is told which setting it refused.
    bool refused = false;
};
constexpr OwnedEdit kOwnedEdits[] = {
    {"button columns, close box", Owned::kColumns, "6", 6, false},
    {"button rows, Ctrl+W", Owned::kRows, "5", 5, true},
    {"auto play delay, Ctrl+W", Owned::kAutoDelay, "37", 37, true},
    {"a trigger's joystick button, Ctrl+W", Owned::kJoystick, "20", 20, true},
    {"a trigger's joystick button, close box", Owned::kJoystick, "21", 21, false},
    {"universe count, Ctrl+W", Owned::kUniverses, "12", 11, true},
    {"a scene's fade refused, then its level and an aux play's name, Ctrl+W", Owned::kSceneFade,
     "7.5", 0, true, 0, false, true},
};
constexpr OwnedEdit kFormatEdits[] = {
    {"button columns, basic to NSQ", Owned::kColumns, "12", 8, false, kSeqFormatNsq},
    {"a trigger's joystick button, NSQ to basic", Owned::kJoystick, "23", 23, false,
     kSeqFormatBasic},
    {"a scene's fade, basic to NSQ, the device away", Owned::kSceneFade, "7.5", 7500, false,
     kSeqFormatNsq, true},
};

// The joystick button field of a new trigger of a new aux play.
LEditText* NewJoystickTrigger(PlayEdit& p, CKvsAxPlyWin* aux) {
    Walk& w = p.w;
    const CRecord* axps = p.screen->PlayView()->SeqSettings()->GetChild(SqstF::axps);
    w.Click(PaneAt(aux->fAdd));
    EXPECT_TRUE(RunUntil([&] { return axps->GetListCount(AplsF::plys) == 1; }, 3000));
    Await("the new aux play's row", [&] { return aux->fList->Rows() == 1; });
    w.AwaitQuiet("adding an aux play");
    LoopDrained();
    w.Type("Doors");
    w.Key("Return");
    w.Click(RowAt(aux->fList, 0, 4));
    EXPECT_TRUE(RunUntil([&] { return aux->fList->SelectedRow() == 0; }, 3000));
    CRecord* doors = axps->GetListItem(AplsF::plys, 0);
    auto cell = [&] {
        return static_cast<CAxPlyTrgCell*>(aux->fTrgList->GetCellFrame(LCell{0, 0}, false));
    };
    w.Click(PaneAt(aux->fAddTrg));
    EXPECT_TRUE(RunUntil([&] { return doors->GetListCount(AplyF::trgs) == 1; }, 3000));
    Await("the new trigger's row", [&] { return cell() && cell()->IsShown(); });
    w.AwaitQuiet("adding a trigger");
    LoopDrained();
    w.Type("Pad");
    w.Key("Tab");
    CAxPlyTrgCell* c = cell();
    if (!c) return nullptr;
    ChooseByKeys(w, c->fKind, 8);
    EXPECT_TRUE(RunUntil([&] { return c->Frame(TrgFrame::kJoystick).IsShown(); }, 2000));
    w.AwaitQuiet("choosing the joystick");
    return c->Frame(TrgFrame::kJoystick).fFields[0];
}

// The field of the row's window, the window opened from the control window's menu.
LEditText* OpenOwned(PlayEdit& p, Owned which) {
    Walk& w = p.w;
    auto choose = [&](const char* title, const char* item) {
        w.Activate(p.ctl);
        EXPECT_TRUE(w.Choose(p.ctl, title, item));
    };
    auto shown = [&](auto* none) {
        using F = std::remove_pointer_t<decltype(none)>;
        F* f = nullptr;
        EXPECT_TRUE(RunUntil([&] { return (f = ShownFrame<F>()) != nullptr; }, 5000));
        if (f) WaitShown(NativeOf(f));
        return f;
    };
    switch (which) {
        case Owned::kColumns:
        case Owned::kRows: {
            choose("Play", "Play Buttons");
            CKvsPlayAsnWin* f = shown(static_cast<CKvsPlayAsnWin*>(nullptr));
            if (!f) return nullptr;
            return which == Owned::kColumns ? &f->fCols : &f->fRows;
        }
        case Owned::kAutoDelay: {
            choose("Play", "Auto Play");
            CKvsAutoWin* f = shown(static_cast<CKvsAutoWin*>(nullptr));
            return f ? &f->fDelay : nullptr;
        }
        case Owned::kJoystick: {
            choose("Play", "Aux Play");
            CKvsAxPlyWin* f = shown(static_cast<CKvsAxPlyWin*>(nullptr));
            return f ? NewJoystickTrigger(p, f) : nullptr;
        }
        case Owned::kSceneFade:
            return &NewScene(p)->fFade;
        case Owned::kUniverses: {
            choose("Device", "Universe Addresses");
            CUvadWin* f = shown(static_cast<CUvadWin*>(nullptr));
            if (!f) return nullptr;
            w.Click(PaneAt(&f->PlusButton()));
            EXPECT_TRUE(RunUntil([&] { return f->List()->Count() == 1; }, 3000));
            auto cell = [&] {
                return static_cast<CKvsUvadCell*>(f->List()->GetCellFrame(LCell{0, 0}, false));
            };
            Await("the new universe's row", [&] { return cell() && cell()->IsShown(); });
            w.AwaitQuiet("adding a universe");
            LoopDrained();
            return &cell()->fCount;
        }
    }
    return nullptr;
}

// The row's value in the setting file on the card; -1 while it is not there.
i64 OwnedOnCard(const TempDir& dir, Owned which) {
    if (which == Owned::kSceneFade) {
        CardScene card(CardPath(dir));
        const CRecord* clip = card.scene ? card.scene->GetChild(ScenF::ctdr) : nullptr;
        return clip ? i64(clip->GetU32(SnctF::fdtm)) : -1;
    }
    const bool play = which != Owned::kJoystick;
    CardRecord card(dir, play ? "playersetting" : "sequencesetting");
    const CRecord* r = card.root;
    if (!r) return -1;
    switch (which) {
        case Owned::kColumns:
            return r->GetU32(PlysF::btcs);
        case Owned::kRows:
            return r->GetU32(PlysF::btrs);
        case Owned::kAutoDelay: {
            const CRecord* plat = r->GetChild(PlysF::plat);
            return plat ? plat->GetU32(PlatF::staf) : -1;
        }
        case Owned::kJoystick: {
            const CRecord* a = r->GetChild(SqstF::axps);
            if (!a || a->GetListCount(AplsF::plys) == 0) return -1;
            const CRecord* doors = a->GetListItem(AplsF::plys, 0);
            return doors->GetListCount(AplyF::trgs)
                       ? doors->GetListItem(AplyF::trgs, 0)->GetI32(AptgF::valu)
                       : -1;
        }
        case Owned::kUniverses:
        case Owned::kSceneFade:
            break;
    }
    return -1;
}

// The windows of a format change that the device does not take, answered one
// after another from a timer that runs inside their loops, at a person's pace:
// the format chosen and confirmed; the writing given up once its button offers
// it and the channel has given up the first try of what was typed; the message
// read; the format question, asked again, cancelled.
class FormatChangeGivenUp {
public:
    FormatChangeGivenUp(Walk& w, u32 format, std::function<bool()> firstTryOver)
        : fW(w), fFormat(format), fFirstTryOver(std::move(firstTryOver)) {
        QObject::connect(&fTimer, &QTimer::timeout, [this] { Tick(); });
        fTimer.start(50);
    }
    bool Done() const { return fStep == 5; }
    std::string fMessage;

private:
    template <class F>
    static F* Shown() {
        for (MWindow* m : ShownWindows())
            if (F* f = FrameOf<F>(m)) return f;
        return nullptr;
    }
    void Tick() {
        if (Done() || LTickMs() - fAt < 400) return;
        const u32 step = fStep;
        auto* format = Shown<CKvsSeqFmtDlg>();
        auto* progress = Shown<CSimpleProgressDialog>();
        auto* message = Shown<CSimpleMessageDialog>();
        LPane* target = nullptr;
        if (step == 0 && format)
            target = fFormat == kSeqFormatNsq ? &format->fSecond : &format->fFirst;
        else if (step == 1 && format)
            target = &format->fOk;
        else if (step == 2 && progress && progress->fButton.IsShown() && fFirstTryOver())
            target = &progress->fButton;
        else if (step == 3 && message)
            target = &message->fOk;
        else if (step == 4 && format)
            target = &format->fCancel;
        if (!target) return;
        if (message) fMessage = message->fMessage.GetText().CStr();
        walkwatch::Note("format change given up, step " + std::to_string(step));
        ++fStep;
        fW.Click(PaneAt(target));
        fAt = LTickMs();
    }
    Walk& fW;
    u32 fFormat;
    std::function<bool()> fFirstTryOver;
    QTimer fTimer;
    u32 fStep = 0;
    u32 fAt = 0;
};

// The device's requests for a path ending in tail, as it heard them (also
// those it ignored).
size_t Requests(SimDeviceProcess& sim, const char* op, const std::string& tail) {
    size_t n = 0;
    for (const std::string& line : sim.Log()) {
        const std::string path = SimDeviceProcess::Field(line, "path");
        n += line.rfind("pkt ", 0) == 0 && SimDeviceProcess::Field(line, "dir") == "in" &&
             SimDeviceProcess::Field(line, "op") == op && path.size() >= tail.size() &&
             path.compare(path.size() - tail.size(), tail.size(), tail) == 0;
    }
    return n;
}

void WalkOwnedWindowWithControl(const XvfbHarness& x, NetnsHarness& net, const TempDir& dir,
                                const OwnedEdit& e) {
    // A format change starts from the other one, which the device holds.
    const u32 from = e.format == kSeqFormatBasic ? kSeqFormatNsq : kSeqFormatBasic;
    std::vector<std::string> setup;
    if (e.format)
        setup.push_back("chan-set serno=1201 path=/.cmd/udseqset/sqfm value=" +
                        std::to_string(from));
    const auto walk = [&](PlayEdit& p) {
        Walk& w = p.w;
        std::optional<AlertGuard> alerts(std::in_place,
                                         "ending the control window's view over its windows");
        LEditText* field = OpenOwned(p, e.window);
        ASSERT_NE(field, nullptr);
        p.sim.Cmd("log clear");
        std::optional<MessageWatch> messages;
        if (e.refused) {
            alerts.reset();
            messages.emplace(x);
            const std::string refuse = p.sim.Cmd(
                "fault error code=2 dir=in opcode=WRQ serno=1201 "
                "path=/.cmd/udseqset/sqcs/0/scns/0/ctdr/fdtm count=1");
            ASSERT_EQ(refuse.rfind("ok", 0), 0u) << refuse;
        }
        w.TypeNumber(field, e.text);
        if (e.refused) {
            w.Key("Return");
            ASSERT_TRUE(Await(
                "the refusal told", [&] { return messages->Shown() == 1 && !messages->Open(); },
                10000));
            EXPECT_EQ(messages->Text(),
                      "Device 1201 refused these settings and keeps its own values for them:\n\n"
                      "Sequence 1, Scene 1: Fade");
            // Typed after it: the level, and the name of a new aux play.
            w.TypeNumber(&p.frame->SceneEdit()->Params()->Fields().fVol, "75");
            w.Key("Return");
            w.Activate(p.ctl);
            ASSERT_TRUE(w.Choose(p.ctl, "Play", "Aux Play"));
            CKvsAxPlyWin* aux = nullptr;
            ASSERT_TRUE(
                RunUntil([&] { return (aux = ShownFrame<CKvsAxPlyWin>()) != nullptr; }, 5000));
            WaitShown(NativeOf(aux));
            const CRecord* axps = p.screen->PlayView()->SeqSettings()->GetChild(SqstF::axps);
            w.Click(PaneAt(aux->fAdd));
            ASSERT_TRUE(RunUntil([&] { return axps->GetListCount(AplsF::plys) == 1; }, 3000));
            Await("the new aux play's row", [&] { return aux->fList->Rows() == 1; });
            w.AwaitQuiet("adding an aux play");
            LoopDrained();
            w.Type("Doors");
            w.Key("Return");
            EXPECT_EQ(w.WaitWritten("volm", 1), std::vector<std::string>{"192"});
            // The name goes as it is typed; the last is the whole of it.
            std::vector<std::string> names;
            RunUntilEvery(
                [&] {
                    names = w.Written("name");
                    return !names.empty() && names.back() == "Doors";
                },
                5000);
            EXPECT_EQ(names.empty() ? std::string() : names.back(), "Doors");
            EXPECT_EQ(w.Written("fdtm"), std::vector<std::string>{});
            // Read back: the fade shows the device's own again.
            const CRecord* seq = p.screen->PlayView()->SeqSettings()->GetListItem(SqstF::sqcs, 0);
            const CRecord* clip = seq->GetListItem(SqncF::scns, 0)->GetChild(ScenF::ctdr);
            EXPECT_TRUE(RunUntil([&] { return clip->GetU32(SnctF::fdtm) == 0; }, 10000));
            EXPECT_EQ(messages->Shown(), 1);
        }
        // Left open on purpose: the keys are taken; whatever they queued has run.
        LoopDrained();
        w.Shot("ends_owned");
        // The control window made active by a click on its title's right end,
        // which the wide Aux Play window leaves free.
        const QRect f = p.ctl->frameGeometry();
        w.Click(QPoint(f.right() - 120, f.top() + 8));
        ASSERT_TRUE(w.WaitActive(p.ctl, 5000));
        if (e.away) {
            alerts.reset();
            const CKvsPlayCmd* view = p.screen->PlayView();
            const std::string away = p.sim.Cmd("fault drop serno=1201 dir=in");
            ASSERT_EQ(away.rfind("ok", 0), 0u) << away;
            // The old way gave the value up after its tries and read the record again.
            FormatChangeGivenUp answers(w, e.format, [&] {
                return Requests(p.sim, "WRQ", "/fdtm") > 11 ||
                       Requests(p.sim, "RRQ", "/.cmd/udseqset/") > 0;
            });
            ASSERT_TRUE(w.Choose(p.ctl, "Play", "Sequence Format"));
            ASSERT_TRUE(Await(
                "the format change given up", [&] { return answers.Done(); }, 120000));
            EXPECT_EQ(answers.fMessage, StdDialogText("KVSPLAYEDIT", 2).CStr());
            ASSERT_EQ(p.screen->PlayView(), view);
            const std::string shown = Text(*field);
            ASSERT_EQ(p.sim.Cmd("fault-clear id=" + SimDeviceProcess::Field(away, "fault"))
                          .rfind("ok", 0),
                      0u);
            EXPECT_EQ(w.WaitWritten("fdtm", 1, 40000), std::vector<std::string>{"7500"});
            Await(
                "the play settings read back",
                [&] { return !view->SeqChannel()->IsBusy() && !view->PlayChannel()->IsBusy(); },
                30000);
            w.AwaitQuiet("the device answering again");
            EXPECT_EQ(Text(*field), shown) << "the device's old value came back";
            EXPECT_EQ(w.Written("sqfm"), std::vector<std::string>{});
            alerts.emplace("closing the control window once the device answers again");
            ClickCloseBox(w, p.ctl);
            ASSERT_TRUE(Await(
                "the control window closed", [&] { return !p.ctl->isVisible(); }, 10000));
            EXPECT_EQ(w.Written("fdtm"), std::vector<std::string>{"7500"});
        } else if (e.format) {
            const CKvsPlayCmd* before = p.screen->PlayView();
            ModalScript script({
                {300,
                 [&](LFrame* d) {
                     auto* dlg = dynamic_cast<CKvsSeqFmtDlg*>(d);
                     ASSERT_NE(dlg, nullptr);
                     w.Click(PaneAt(e.format == kSeqFormatNsq ? &dlg->fSecond : &dlg->fFirst));
                 }},
                {300, [&](LFrame* d) { w.Click(PaneAt(&static_cast<CKvsSeqFmtDlg*>(d)->fOk)); }},
            });
            ASSERT_TRUE(w.Choose(p.ctl, "Play", "Sequence Format"));
            EXPECT_TRUE(Await(
                "the format dialog answered", [&] { return script.Done(); }, 10000));
            ASSERT_TRUE(Await(
                "the view of the other format",
                [&] { return p.screen->PlayView() && p.screen->PlayView() != before; }, 15000));
            w.AwaitQuiet("the format change");
            w.Shot(e.format == kSeqFormatNsq ? "ends_format_nsq" : "ends_format_basic");
            EXPECT_EQ(w.Written("sqfm"), std::vector<std::string>{std::to_string(e.format)});
            const char* tag = e.window == Owned::kColumns ? "btcs" : "valu";
            EXPECT_EQ(w.WaitWritten(tag, 1), std::vector<std::string>{std::to_string(e.value)});
            EXPECT_EQ(w.WrittenElsewhere(tag), 0u);
        } else {
            if (e.ctrlW)
                w.Key("ctrl+w");
            else
                ClickCloseBox(w, p.ctl);
            ASSERT_TRUE(Await(
                "the control window closed", [&] { return !p.ctl->isVisible(); }, 10000));
        }
        if (e.window == Owned::kUniverses) {
            EXPECT_EQ(w.WaitWritten("flws", 1), std::vector<std::string>{std::to_string(e.value)});
            EXPECT_EQ(w.WrittenElsewhere("flws"), 0u);
            return;
        }
        i64 onCard = -1;
        RunUntilEvery(
            [&] {
                onCard = OwnedOnCard(dir, e.window);
                return onCard == e.value;
            },
            10000);
        EXPECT_EQ(onCard, e.value) << "on the card";
    };
    WithPlayEdit(x, net, dir, walk, from, setup);
}

// ---------------------------------------------------------------- the program's end

// The scene's Level or Fade typed and left open, then the control window or
// the program ended; the value reaches the device once and the setting file
// written on the card holds it.
struct SceneEdit {
    const char* text;
    const char* tag;
    const char* value;
    u32 stored;  // in the card's file
};
constexpr SceneEdit kLevel{"75", "volm", "192", 192};
constexpr SceneEdit kFade{"2.5", "fdtm", "2500", 2500};

void ExpectSceneOnCard(PlayEdit& p, const TempDir& dir, const SceneEdit& e) {
    EXPECT_EQ(p.w.WaitWritten(e.tag, 1), std::vector<std::string>{e.value});
    EXPECT_EQ(p.w.WrittenElsewhere(e.tag), 0u);
    const u8 field = std::string(e.tag) == "volm" ? SnctF::volm : SnctF::fdtm;
    u32 onCard = 0;
    RunUntil(
        [&] {
            CardScene card(CardPath(dir));
            const CRecord* clip = card.scene ? card.scene->GetChild(ScenF::ctdr) : nullptr;
            onCard = clip ? clip->GetU32(field) : 0;
            return onCard == e.stored;
        },
        10000);
    EXPECT_EQ(onCard, e.stored) << "in " << CardPath(dir);
}

CKvsScnPrmF::CContent* TypeIntoScene(PlayEdit& p, const SceneEdit& e) {
    CKvsScnPrmF::CContent* fp = NewScene(p);
    p.sim.Cmd("log clear");
    LEditText* field = std::string(e.tag) == "volm" ? static_cast<LEditText*>(&fp->fVol)
                                                    : static_cast<LEditText*>(&fp->fFade);
    p.w.TypeNumber(field, e.text);
    // Left open on purpose: the keys are taken; whatever they queued has run.
    LoopDrained();
    return fp;
}

// SIGTERM, as a logout sends it, or the signals given 20 ms apart; the
// program's own loop runs until it ends. The exit status, and how long the end
// took from the first signal.
int Terminated(u32* ms, std::vector<int> ends = {SIGTERM}) {
    AppDelegate::Instance()->CatchSignals();
    u32 sent = 0;
    for (size_t i = 0; i < ends.size(); ++i)
        QTimer::singleShot(int(50 + 20 * i), [&sent, sig = ends[i]] {
            if (!sent) sent = LTickMs();
            ::kill(getpid(), sig);
        });
    // A program that does not end fails the test instead of keeping it.
    QTimer::singleShot(20000, [] { QCoreApplication::exit(7); });
    const int status = QApplication::exec();
    *ms = LTickMs() - sent;
    return status;
}

void WalkControlClose(const XvfbHarness& x, NetnsHarness& net, const TempDir& dir) {
    WithPlayEdit(x, net, dir, [&](PlayEdit& p) {
        AlertGuard alerts("closing the control window");
        TypeIntoScene(p, kLevel);
        ClickCloseBox(p.w, p.ctl);
        EXPECT_TRUE(RunUntil([&] { return !p.ctl->isVisible(); }, 10000));
        ExpectSceneOnCard(p, dir, kLevel);
    });
}

void WalkQuit(const XvfbHarness& x, NetnsHarness& net, const TempDir& dir) {
    WithPlayEdit(x, net, dir, [&](PlayEdit& p) {
        AlertGuard alerts("quitting");
        TypeIntoScene(p, kFade);
        ASSERT_TRUE(p.w.Choose(p.ctl, "KEVOruneSet", "Quit"));
        ExpectSceneOnCard(p, dir, kFade);
    });
}

// The session ends by signal, one or two, with the device answering or
// silent: nothing is asked; an answering device's card holds the level, a
// silent one costs a few seconds and its card keeps what it held.
struct TermEnd {
    const char* what;
    std::vector<int> ends;
    bool silent;
};
const TermEnd kTermEnds[] = {
    {"SIGTERM", {SIGTERM}, false},
    {"SIGHUP", {SIGHUP}, false},
    {"SIGTERM, then SIGHUP", {SIGTERM, SIGHUP}, false},
    {"SIGTERM, the device silent", {SIGTERM}, true},
    {"SIGHUP, then SIGTERM, the device silent", {SIGHUP, SIGTERM}, true},
};

void WalkTermScene(const XvfbHarness& x, NetnsHarness& net, const TempDir& dir, const TermEnd& e) {
    WithPlayEdit(x, net, dir, [&](PlayEdit& p) {
        AlertGuard alerts(e.what);
        TypeIntoScene(p, kLevel);
        if (e.silent) {
            ASSERT_EQ(p.sim.Cmd("fault drop serno=1201 dir=in").rfind("ok", 0), 0u);
        }
        u32 ms = 0;
        EXPECT_EQ(Terminated(&ms, e.ends), 0);
        if (!e.silent) {
            ExpectSceneOnCard(p, dir, kLevel);
            return;
        }
        std::printf("%s to the end: %u ms\n", e.what, ms);
        EXPECT_LT(ms, 7000u) << "the end lingered on the silent device";
        // Nor does the program's teardown wait for it as the windows close.
        EXPECT_TRUE(p.dev->LeftWithoutDevice());
        CardScene card(CardPath(dir));
        EXPECT_EQ(card.scene, nullptr) << "the card changed";
    });
}

// A device address typed into the device window's device frame, not ended.
void WalkTermAddress(const XvfbHarness& x, NetnsHarness& net, const TempDir& dir) {
    WithPlayEdit(x, net, dir, [&](PlayEdit& p) {
        auto* devwin = static_cast<CKvsDevWin*>(p.kvs->DevDoc()->View());
        CKvsDevFrm* frame = devwin->fFrame;
        ASSERT_EQ(p.kvs->DevDoc()->SelectedController(), p.dev);
        // Addresses of its own, so that they can be typed (the device holds them).
        p.dev->Settings()->SetU8(nullptr, DvstF::admd, 2);
        p.dev->Settings()->SetU8(nullptr, DvstF::bkup, 1);
        ASSERT_TRUE(RunUntil([&] { return !p.dev->SettingsChannel().IsBusy(); }, 5000));
        p.w.Activate(AsMWindow(devwin->Window()->Native()));
        ASSERT_TRUE(RunUntil([&] { return frame->fCsad.IsFocusable(); }, 3000));
        p.sim.Cmd("log clear");
        p.w.TypeNumber(&frame->fCsad, "198.18.1.77");
        p.w.Shot("ends_devframe");
        // Left open on purpose: the keys are taken; whatever they queued has run.
        LoopDrained();
        u32 ms = 0;
        EXPECT_EQ(Terminated(&ms), 0);
        // 198.18.1.77
        EXPECT_EQ(p.w.Written("csad"), std::vector<std::string>{std::to_string(0xC612014Du)});
        EXPECT_EQ(p.w.WrittenElsewhere("csad"), 0u);
    });
}

// An upload under way: SIGTERM cancels it and ends the program at once.
void WalkTermUpload(const XvfbHarness& x, NetnsHarness& net, const TempDir& dir) {
    WithPlayEdit(x, net, dir, [&](PlayEdit& p) {
        const std::string drc = dir.Path() + "/show.drc";
        const size_t size = 2u << 20;
        {
            std::ofstream out(drc, std::ios::binary);
            out << std::string(size, '\x5a');
        }
        // Under way for a while: the device pauses like a slow card.
        ASSERT_EQ(p.sim.Cmd("set serno=1201 pause-ms=150 pause-every=65536").rfind("ok", 0), 0u);
        p.sim.Cmd("log clear");
        p.dev->DropFiles(0, {LString(drc.c_str())});
        ASSERT_NE(p.dev->Uploads(), nullptr);
        CKvsUploads& up = *p.dev->Uploads();
        ASSERT_TRUE(RunUntil(
            [&] {
                return up.Window() && up.Window()->IsShown() &&
                       !up.Window()->fUploadName.GetText().IsEmpty();
            },
            10000));
        Await(
            "the upload under way at the device",
            [&] {
                for (const std::string& line : p.sim.Log())
                    if (line.rfind("req ", 0) == 0 &&
                        SimDeviceProcess::Field(line, "op") == "WRQ" &&
                        SimDeviceProcess::Field(line, "path").find("show.drc") != std::string::npos)
                        return true;
                return false;
            },
            5000, kLookMs);
        ASSERT_TRUE(up.Pending());
        p.w.Shot("ends_upload");
        u32 ms = 0;
        EXPECT_EQ(Terminated(&ms), 0);
        EXPECT_LT(ms, 1000u);
        std::printf("SIGTERM during an upload to the end: %u ms\n", ms);
        // Cancelled: the device never got the whole file.
        p.w.WaitDeviceIdle(5000);
        std::ifstream onCard(dir.Path() + "/1201/sdc/kevrecfiles/show.drc",
                             std::ios::binary | std::ios::ate);
        EXPECT_TRUE(!onCard || size_t(onCard.tellg()) < size);
        std::set<std::string> uploads;
        for (const std::string& line : p.sim.Log()) {
            const std::string xfer = SimDeviceProcess::Field(line, "x");
            if (line.rfind("req ", 0) == 0 && SimDeviceProcess::Field(line, "op") == "WRQ" &&
                SimDeviceProcess::Field(line, "path").find("show.drc") != std::string::npos)
                uploads.insert(xfer);
            if (line.rfind("end ", 0) == 0 && uploads.count(xfer)) {
                EXPECT_NE(SimDeviceProcess::Field(line, "result"), "ok") << line;
            }
        }
        EXPECT_FALSE(uploads.empty()) << "no upload reached the device";
    });
}

// The sequence format changed (basic to NSQ) with a level typed and left open,
// the device near, 400 ms away or silent, and a signal as the card write of the
// new format starts: the write ends whole before the quit protocol runs, so
// that the card and the device end with one format, each setting file is
// written once, and the program ends without a window left over.
struct FormatEnd {
    const char* what;
    int sig;
    u32 delayMs;
    bool silent;  // the device goes silent as the card write starts
};
const FormatEnd kFormatEnds[] = {
    {"SIGTERM, the device near", SIGTERM, 0, false},
    {"SIGTERM, the device 400 ms away", SIGTERM, 400, false},
    {"SIGINT, the device 400 ms away", SIGINT, 400, false},
    {"SIGTERM, the device silent", SIGTERM, 0, true},
};

// The sequence settings' format on the simulated card; 0 when there is no file.
u32 CardFormat(const TempDir& dir) {
    RegisterAllRecordKinds();
    FileStrm file(CardPath(dir));
    if (file.empty) return 0;
    CRecord* root = CRecord::New(CRecordSchema::Find(kFamKvt, kKindSqst));
    const u32 format = PropRecord::ReadInto(&file.strm, root, true) ? root->GetU8(SqstF::sqfm) : 0;
    CRecord::Destroy(root);
    return format;
}

// Once the program has ended: the sequence format the device holds and the
// one on its card, both printed with how long the end took.
struct EndedFormats {
    u32 device, card;
};

EndedFormats FormatsAfterEnd(PlayEdit& p, const TempDir& dir, const char* what, u32 ms) {
    p.w.WaitDeviceIdle(5000);
    const std::string held = p.sim.Cmd("chan-get serno=1201 path=/.cmd/udseqset/sqfm");
    const u32 device = SimDeviceProcess::Field(held, "value") == "2" ? 2 : 1;
    const u32 card = CardFormat(dir);
    std::printf("%s: ended in %u ms; the card holds format %u, the device %u\n", what, ms, card,
                device);
    EXPECT_LT(ms, 8000u);
    return {device, card};
}

void WalkTermFormatChange(const XvfbHarness& x, NetnsHarness& net, const TempDir& dir,
                          const FormatEnd& e) {
    WithPlayEdit(
        x, net, dir,
        [&](PlayEdit& p) {
            Walk& w = p.w;
            TypeIntoScene(p, kLevel);
            if (e.delayMs) {
                const std::string delay =
                    p.sim.Cmd("set-delay serno=1201 delay-ms=" + std::to_string(e.delayMs));
                ASSERT_EQ(delay.rfind("ok", 0), 0u) << delay;
            }
            p.sim.Cmd("log clear");
            const auto cardWrites = [&](const char* path) {
                u32 n = 0;
                for (const std::string& line : p.sim.Log())
                    n += line.rfind("req ", 0) == 0 &&
                         SimDeviceProcess::Field(line, "op") == "WRQ" &&
                         SimDeviceProcess::Field(line, "path") == path;
                return n;
            };
            ModalScript script({
                {300,
                 [&](LFrame* d) {
                     auto* dlg = dynamic_cast<CKvsSeqFmtDlg*>(d);
                     ASSERT_NE(dlg, nullptr);
                     w.Click(PaneAt(&dlg->fSecond));
                 }},
                {300, [&](LFrame* d) { w.Click(PaneAt(&static_cast<CKvsSeqFmtDlg*>(d)->fOk)); }},
            });
            AppDelegate::Instance()->CatchSignals();
            u32 sent = 0;
            QTimer watch;
            QObject::connect(&watch, &QTimer::timeout, [&] {
                if (sent || cardWrites("/sdc/playersetting") == 0) return;
                if (e.silent) p.sim.Cmd("fault drop serno=1201 dir=in");
                sent = LTickMs();
                ::kill(getpid(), e.sig);
            });
            watch.start(5);
            // The menu is chosen from the program's own loop, which the end stops.
            QTimer::singleShot(0, [&] { EXPECT_TRUE(w.Choose(p.ctl, "Play", "Sequence Format")); });
            QTimer::singleShot(30000, [] { QCoreApplication::exit(7); });
            EXPECT_EQ(QApplication::exec(), 0);
            const u32 ms = LTickMs() - sent;
            watch.stop();
            ASSERT_NE(sent, 0u) << "the card write never started";
            const auto [device, card] = FormatsAfterEnd(p, dir, e.what, ms);
            // No card file means the card still holds what it held: the old format.
            EXPECT_EQ(card ? card : 1u, device) << "the card and the device disagree";
            if (!e.silent) {
                EXPECT_EQ(device, 2u);
                EXPECT_EQ(cardWrites("/sdc/sequencesetting"), 1u);
                EXPECT_EQ(cardWrites("/sdc/playersetting"), 1u);
            }
            // Nothing of the format change's own waits is left on screen.
            for (MWindow* m : ShownWindows())
                EXPECT_EQ(FrameOf<CSimpleProgressDialog>(m), nullptr) << "a progress window stayed";
        },
        kSeqFormatBasic, {"chan-set serno=1201 path=/.cmd/udseqset/sqfm value=1"});
}

// An NSQ play file imported into the standard view, which gives way to the NSQ
// one as a format change does, and a signal as the new view's whole read
// begins: the replacement ends first, and the quit protocol then finds the
// import in the view that replaced the other and writes it to the card, so that
// the card and the device both hold the file's format.
struct ImportEnd {
    const char* what;
    int sig;
    u32 delayMs;
};
const ImportEnd kImportEnds[] = {
    {"SIGTERM, the device near", SIGTERM, 0},
    {"SIGHUP, the device 400 ms away", SIGHUP, 400},
};

void WalkTermViewReplaced(const XvfbHarness& x, NetnsHarness& net, const TempDir& dir,
                          const ImportEnd& e) {
    WithPlayEdit(
        x, net, dir,
        [&](PlayEdit& p) {
            CRecordDoc seqs(NewSeqSettingsRecord());
            seqs.Root()->SetU8(nullptr, SqstF::sqfm, kSeqFormatNsq);
            const std::string path = dir.Path() + "/nsq.kvplay";
            ASSERT_TRUE(WritePlayFile(path, seqs.Root()));
            if (e.delayMs) {
                const std::string delay =
                    p.sim.Cmd("set-delay serno=1201 delay-ms=" + std::to_string(e.delayMs));
                ASSERT_EQ(delay.rfind("ok", 0), 0u) << delay;
            }
            p.sim.Cmd("log clear");
            CKvsPlayCmd* view = p.screen->PlayView();
            ASSERT_NE(view, nullptr);
            AppDelegate::Instance()->CatchSignals();
            u32 sent = 0;
            QTimer watch;
            QObject::connect(&watch, &QTimer::timeout, [&] {
                if (sent) return;
                for (const std::string& line : p.sim.Log())
                    if (line.rfind("req ", 0) == 0 &&
                        SimDeviceProcess::Field(line, "op") == "RRQ" &&
                        SimDeviceProcess::Field(line, "path") == "/.cmd/udseqset/") {
                        sent = LTickMs();
                        ::kill(getpid(), e.sig);
                        return;
                    }
            });
            watch.start(5);
            // What the import does once its panel has named the file, from the
            // program's own loop, which the end stops.
            QTimer::singleShot(0, [&] {
                LString url;
                PosixPathToFileUrl(&url, LString(path.c_str()));
                LFrame::EndOpenEditsOfWindowsUnder(view);
                u32 why = 0;
                EXPECT_TRUE(view->LoadPlayData(url, &why)) << why;
                if (!view->AcceptsOwnFormat())
                    LHandler::Send(CKvsPlayEdit_FmtChg, view, view->Parent());
            });
            QTimer::singleShot(30000, [] { QCoreApplication::exit(7); });
            EXPECT_EQ(QApplication::exec(), 0);
            const u32 ms = LTickMs() - sent;
            watch.stop();
            ASSERT_NE(sent, 0u) << "the new view's read never started";
            const auto [device, card] = FormatsAfterEnd(p, dir, e.what, ms);
            EXPECT_EQ(device, u32(kSeqFormatNsq));
            EXPECT_EQ(card, device) << "the import did not reach the card";
            for (MWindow* m : ShownWindows())
                EXPECT_EQ(FrameOf<CSimpleProgressDialog>(m), nullptr) << "a progress window stayed";
        },
        kSeqFormatBasic, {"chan-set serno=1201 path=/.cmd/udseqset/sqfm value=1"});
}

TEST(EditEnds, EditorWindowsClosedWithATypedNumber) {
    RunPlayEditWalk("1600x1000", "ee", WalkEditorWindows);
}

TEST(EditEnds, ControlWindowClosedWithATypedLevel) {
    RunPlayEditWalk("1600x1000", "ec", WalkControlClose);
}

TEST(EditEnds, ControlWindowClosedOverItsWindowsWithATypedNumber) {
    for (const OwnedEdit& e : kOwnedEdits) {
        SCOPED_TRACE(e.what);
        RunPlayEditWalk("1600x1000", "eo",
                        [&](auto&... a) { WalkOwnedWindowWithControl(a..., e); });
    }
}

TEST(EditEnds, SequenceFormatChangedWithATypedNumber) {
    for (const OwnedEdit& e : kFormatEdits) {
        SCOPED_TRACE(e.what);
        RunPlayEditWalk("1600x1000", "ef",
                        [&](auto&... a) { WalkOwnedWindowWithControl(a..., e); });
    }
}

TEST(EditEnds, QuitWithATypedFade) {
    RunPlayEditWalk("1600x1000", "eq", WalkQuit);
}

TEST(EditEnds, SignalsWithATypedLevel) {
    for (const TermEnd& e : kTermEnds) {
        SCOPED_TRACE(e.what);
        RunPlayEditWalk("1600x1000", "et", [&](auto&... a) { WalkTermScene(a..., e); });
    }
}

TEST(EditEnds, SigtermWithATypedDeviceAddress) {
    RunPlayEditWalk("1600x1000", "ea", WalkTermAddress);
}

TEST(EditEnds, SigtermDuringAnUpload) {
    RunPlayEditWalk("1600x1000", "eu", WalkTermUpload);
}

TEST(EditEnds, SignalsAsTheFormatChangesCardWriteStarts) {
    for (const FormatEnd& e : kFormatEnds) {
        SCOPED_TRACE(e.what);
        RunPlayEditWalk("1600x1000", "eg", [&](auto&... a) { WalkTermFormatChange(a..., e); });
    }
}

TEST(EditEnds, SignalsAsAnImportsNewViewIsRead) {
    for (const ImportEnd& e : kImportEnds) {
        SCOPED_TRACE(e.what);
        RunPlayEditWalk("1600x1000", "ei", [&](auto&... a) { WalkTermViewReplaced(a..., e); });
    }
}

}  // namespace
