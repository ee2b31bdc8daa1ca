// The lists of a control window's views as the menus meet them (Qt offscreen):
// a row clicked makes its list the menu target, so that Cut, Copy, Paste and
// Delete act on it; Shift extends and Control adds to the selection.
#include <gtest/gtest.h>

#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <string>

#include "ControlFixture.h"
#include "QtDrawFixture.h"
#include "PaneInput.h"
#include "PlayFileOnDisk.h"
#include "devices/CKvsDevCtl.h"
#include "devices/CKvsDevCtlWin.h"
#include "devices/CKvsDevSet.h"
#include "devices/DeviceHookInstall.h"
#include "devices/files/CKvsFileFrm.h"
#include "devices/monitors/CKvsFileListCtl.h"
#include "devices/recordings/CDrcCmdHandler.h"
#include "devices/recordings/CKvsRecCtlF.h"
#include "editors/CKvsPlayFrm.h"
#include "editors/CKvsScnEdF.h"
#include "editors/CKvsScnList.h"
#include "editors/CKvsSeqList.h"
#include "editors/nsq/CKvsPlay2Frm.h"
#include "editors/nsq/CNSqTrkViewF.h"
#include "framework/LMenu.h"
#include "records/AppPrefsDoc.h"
#include "base/Paths.h"
#include "records/CChunkFile.h"
#include "records/DeviceKinds.h"
#include "records/NsqSets.h"
#include "records/NsqPrefKinds.h"
#include "records/RecordKinds.h"
#include "records/Sequences.h"
#include "records/ShowKinds.h"

namespace {

// At x from the row's left, or from its right when negative (a row's name field).
void ClickRow(LListPane* list, i32 row, Qt::KeyboardModifiers mods = Qt::NoModifier, i32 x = 8) {
    ClickIn(list,
            LPoint{x >= 0 ? x : std::min(list->CellWidth(), list->Bounds().Width()) + x,
                   row * list->CellHeight() + list->CellHeight() / 2},
            mods);
}

// The Edit commands the menus offer now, as the run loop validates them.
std::string EditCommands() {
    Loop()->ValidateMenus();
    std::string out;
    LMenuBar* bar = LMenuBar::Current();
    if (!bar) return out;
    for (const char* c : {LStdCmd_Cut, LStdCmd_Copy, LStdCmd_Paste, LStdCmd_Delete, LStdCmd_Close})
        if (bar->FindEnabledItemByCommand(c)) out += std::string(out.empty() ? "" : " ") + c;
    return out;
}

void Choose(const char* command) {
    Loop()->ValidateMenus();
    LMenuItem* item = LMenuBar::Current()->FindEnabledItemByCommand(command);
    ASSERT_NE(item, nullptr) << command;
    LHandler::Send(LMenuItem_Selected, item, FindMenuTarget(Loop()));
}

std::string Rows(const LListPane* list) {
    std::string out;
    LSelIter it;
    it.Init(list->Selection(), false, false);
    while (it.Next()) out += std::to_string(it.Cell().row) + " ";
    return out;
}

template <class W>
void Front(W& win) {
    MWindow* native = AsMWindow(win.Window()->Native());
    if (!RunUntil([&] { return native->isActiveWindow(); }, 1000)) native->activateWindow();
    // A click that comes at once after the window became active only activates it.
    ASSERT_TRUE(RunUntil([&] { return native->isActiveWindow() && native->ActiveForMs() > 150; }));
}

// Shows the control window and fills its play view's lists: two sequences,
// `scenes` scenes in the one at `seqRow`.
struct PlayLists {
    CDrcCmdHandler* view = nullptr;
    CRecord* settings = nullptr;
    CRecord* seq = nullptr;
};

void ShowPlayLists(CKvsDevCtl& ctl, PlayLists& out, u32 seqRow = 0, u32 scenes = 4) {
    ctl.ShowWindow();
    ASSERT_TRUE(RunUntil([&] { return ctl.WindowShown(); }));
    out.view = dynamic_cast<CDrcCmdHandler*>(ctl.Screen()->PlayView());
    ASSERT_NE(out.view, nullptr);
    out.settings = out.view->SeqSettings();
    for (u32 i = 0; i < 2; ++i) InsertNewSequence(out.settings, nullptr, i);
    out.seq = out.settings->GetListItem(SqstF::sqcs, seqRow);
    for (u32 i = 0; i < scenes; ++i) InsertSceneUnique(out.seq, nullptr, SqncF::scns, i, nullptr);
}

// The screen's arrangement of the device files view: its handler under the
// screen, its frame in the window's view frame.
struct FilesView {
    explicit FilesView(CKvsDevCtl& ctl) : files(&screen, win.fViewFrame, &ctl) {
        LHandler::Send(LPane_Pref, &win.fViewFrame, &win);
    }
    // Shown and in front, as the user finds it.
    void Show() {
        win.ShowWindow();
        Front(win);
        LoopDrained();
    }
    LHandler screen{gApp};
    CKvsDevCtlWin win{&screen, 0};
    CKvsFileListCtl files;
};

// A screen of 1280 x 800, where the control window has room for every column.
std::string Screen1280() {
    return OffscreenOfSize(1280, 800);
}

// What a control window needs, on an offscreen screen of the given platform
// string (OffscreenOfSize): the record kinds, the preferences and the device
// hooks. Base: the GoogleTest fixture kind, plain or with a parameter.
template <class Base>
class CtlWinOnScreen : public Base {
protected:
    explicit CtlWinOnScreen(const std::string& screen) : env(screen.c_str()) {
        RegisterAllRecordKinds();
        SetAppPrefsDoc(&prefs);
        InstallDeviceHooks();
    }
    ~CtlWinOnScreen() override { SetAppPrefsDoc(nullptr); }
    ControlEnv env;
    CRecordDoc prefs{CRecord::New(CRecordSchema::Find(kFamKvs, kKindPref))};
    CKvsDevSet set;
};

class CtlWinLists : public CtlWinOnScreen<::testing::Test> {
protected:
    CtlWinLists() : CtlWinOnScreen(Screen1280()) {}
};

TEST_F(CtlWinLists, TheSequenceAndSceneListsTakeTheEditMenu) {
    CKvsDevCtl ctl(gApp, &set, 0);
    PlayLists lists;
    ASSERT_NO_FATAL_FAILURE(ShowPlayLists(ctl, lists));
    CDrcCmdHandler* view = lists.view;
    CRecord* settings = lists.settings;
    CRecord* seq = lists.seq;
    CKvsDevCtlWin& win = ctl.Screen()->Window();
    Front(win);
    LoopDrained();
    EXPECT_EQ(CutPanes(win), "");
    // At the usual sizes the view is shown whole, without a scroll bar.
    EXPECT_FALSE(win.fScroll.HBar().IsShown() || win.fScroll.VBar().IsShown());
    EXPECT_EQ(RowFieldsAtEverySize(win, kLabels, true), "");
    CKvsSeqList* seqs = view->Frame()->List();
    CKvsScnList* scenes = view->Frame()->SceneEdit()->List();

    // Nothing selected: the window's Close only.
    EXPECT_EQ(EditCommands(), "LStdCmd_Close");
    ClickRow(seqs, 0);
    EXPECT_EQ(Rows(seqs), "0 ");
    EXPECT_EQ(EditCommands(), "LStdCmd_Cut LStdCmd_Copy LStdCmd_Delete LStdCmd_Close");
    Choose(LStdCmd_Copy);
    EXPECT_EQ(EditCommands(),
              "LStdCmd_Cut LStdCmd_Copy LStdCmd_Paste LStdCmd_Delete LStdCmd_Close");
    Choose(LStdCmd_Paste);
    EXPECT_EQ(settings->GetListCount(SqstF::sqcs), 3u);
    // The copy went before the selected row.
    seq = settings->GetListItem(SqstF::sqcs, 0);

    // The scene list: Shift extends from the anchor, Control adds a row.
    ClickRow(seqs, 0);
    ASSERT_EQ(scenes->Rows(), 4);
    scenes->SelectNone();
    ClickRow(scenes, 1);
    EXPECT_EQ(FindMenuTarget(Loop()), scenes);
    // A scene chosen, every font slot at either size: on this screen the
    // files give way first, then the view scrolls; every field of the clip
    // can be reached.
    EXPECT_EQ(RowFieldsAtEverySize(win, kLabels, true), "");
    // On the rows' name fields: the modifiers make them clicks on the list.
    ClickRow(scenes, 3, Qt::ShiftModifier, -20);
    EXPECT_EQ(Rows(scenes), "1 2 3 ");
    ClickRow(scenes, 2, Qt::ControlModifier, -20);
    EXPECT_EQ(Rows(scenes), "1 3 ");
    EXPECT_EQ(FindMenuTarget(Loop()), scenes);
    // The sequence copied is no scene: nothing to paste here.
    EXPECT_EQ(EditCommands(), "LStdCmd_Cut LStdCmd_Copy LStdCmd_Delete LStdCmd_Close");
    Choose(LStdCmd_Delete);
    EXPECT_EQ(seq->GetListCount(SqncF::scns), 2u);
    // The window's Close, chosen with a list as the target, closes the window
    // (nothing left to save).
    view->SetCleanMark();
    Choose(LStdCmd_Close);
    EXPECT_TRUE(RunUntil([&] { return !ctl.WindowShown(); }));
}

// Every keystroke stores the name and refreshes its row: the field keeps the
// focus and the caret throughout, and the whole name is stored.
TEST_F(CtlWinLists, NamesAreTypedWholeIntoTheRows) {
    CKvsDevCtl ctl(gApp, &set, 0);
    PlayLists lists;
    ASSERT_NO_FATAL_FAILURE(ShowPlayLists(ctl, lists, 1, 2));
    CDrcCmdHandler* view = lists.view;
    CRecord* settings = lists.settings;
    CRecord* seq = lists.seq;
    Front(ctl.Screen()->Window());
    LoopDrained();
    CKvsSeqList* seqs = view->Frame()->List();
    CKvsScnList* scenes = view->Frame()->SceneEdit()->List();
    const struct {
        LListPane* list;
        i32 row;
        const char* typed;
        int end;
    } cases[] = {
        {seqs, 1, "Opening", Qt::Key_Return},
        {seqs, 0, "Finale", Qt::Key_Tab},
        {scenes, 0, "Intro", Qt::Key_Return},
        {scenes, 1, "Chorus", Qt::Key_Tab},
    };
    for (const auto& c : cases) {
        if (c.list == scenes) ClickRow(seqs, 1);
        ClickRow(c.list, c.row, Qt::NoModifier, -30);
        Type(c.typed, c.end);
        CRecord* item = c.list == seqs ? settings->GetListItem(SqstF::sqcs, u32(c.row))
                                       : seq->GetListItem(SqncF::scns, u32(c.row));
        const u8 field = c.list == seqs ? u8(SqncF::sqnm) : u8(ScenF::snnm);
        EXPECT_STREQ(item->GetString(field).CStr(), c.typed);
    }
    // Backspace and Delete in a name field edit the name, never the rows.
    ClickRow(seqs, 1, Qt::NoModifier, -30);
    for (int key : {Qt::Key_End, Qt::Key_Backspace, Qt::Key_Home, Qt::Key_Delete}) {
        QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(QApplication::focusWidget(), &down);
        LoopDrained();
    }
    EXPECT_EQ(settings->GetListCount(SqstF::sqcs), 2u);
    EXPECT_STREQ(settings->GetListItem(SqstF::sqcs, 1)->GetString(SqncF::sqnm).CStr(), "penin");
}

// The NSQ view of a play-settings file: its sequence list takes the menus too.
TEST_F(CtlWinLists, TheNsqSequenceListTakesTheEditMenu) {
    CRecordDoc seqs(NewSeqSettingsRecord());
    seqs.Root()->SetU8(nullptr, SqstF::sqfm, 2);
    for (u32 i = 0; i < 2; ++i) NSqSetNewSeq(seqs.Root()->GetChild(SqstF::nsqs), nullptr, i);
    const std::string path = testing::TempDir() + "/ctlwin_nsq.kvplay";
    ASSERT_TRUE(WritePlayFile(path, seqs.Root()));
    LString url;
    PosixPathToFileUrl(&url, LString(path.c_str()));
    CKvsDevCtl ctl(gApp, &set, 0);
    ctl.OpenFile(url);
    ASSERT_TRUE(RunUntil([&] { return ctl.WindowShown(); }));
    auto* view = dynamic_cast<CNSqTrkViewF*>(ctl.Screen()->PlayView());
    ASSERT_NE(view, nullptr);
    Front(ctl.Screen()->Window());
    LoopDrained();
    EXPECT_EQ(CutPanes(ctl.Screen()->Window()), "");
    CKvsDevCtlWin& win = ctl.Screen()->Window();
    EXPECT_FALSE(win.fScroll.HBar().IsShown() || win.fScroll.VBar().IsShown());
    // Taller than the screen at the larger sizes: the track editor is
    // scrolled to.
    EXPECT_EQ(RowFieldsAtEverySize(win, kLabels, true), "");
    LListPane* list = view->Frame()->List();
    ClickRow(list, 1);
    EXPECT_EQ(FindMenuTarget(Loop()), list);
    EXPECT_EQ(EditCommands(), "LStdCmd_Cut LStdCmd_Copy LStdCmd_Delete LStdCmd_Close");
    view->SetCleanMark();
    ctl.Screen()->CloseWindow();
}

TEST_F(CtlWinLists, TheDeviceFileListIsTheTargetInTheRecordView) {
    CKvsDevCtl ctl(gApp, &set, 0);
    FilesView view(ctl);
    CKvsDevCtlWin& win = view.win;
    view.Show();
    EXPECT_EQ(CutPanes(win), "");
    EXPECT_EQ(RowFieldsAtEverySize(win, kLabels, true), "");
    CKvsFileList* list = view.files.Frame()->fFiles->fList;
    // A click in the list's area, files or none, makes it the target.
    ClickIn(list, LPoint{8, 8});
    EXPECT_EQ(FindMenuTarget(Loop()), list);
    win.HideWindow();
}

// The smaller screens the program is made for: each view of the control
// window, every font slot at either size, shows every field whole or
// scrolls to it, and Tab brings each into sight.
struct ScreenSize {
    int width, height;
};

class CtlWinSmallScreens : public CtlWinOnScreen<::testing::TestWithParam<ScreenSize>> {
protected:
    CtlWinSmallScreens() : CtlWinOnScreen(OffscreenOfSize(GetParam().width, GetParam().height)) {}
};

TEST_P(CtlWinSmallScreens, EveryViewShowsOrScrollsToEachField) {
    {
        CKvsDevCtl ctl(gApp, &set, 0);
        PlayLists lists;
        ASSERT_NO_FATAL_FAILURE(ShowPlayLists(ctl, lists));
        CDrcCmdHandler* view = lists.view;
        CKvsDevCtlWin& win = ctl.Screen()->Window();
        Front(win);
        view->Frame()->List()->SelectCell(LCell{0, 0});
        LoopDrained();
        view->Frame()->SceneEdit()->List()->SelectCell(LCell{0, 1});
        LoopDrained();
        EXPECT_EQ(RowFieldsAtEverySize(win, kLabels, true), "") << "play settings";
        view->SetCleanMark();
        ctl.Screen()->CloseWindow();
    }
    {
        CKvsDevCtl ctl(gApp, &set, 0);
        FilesView view(ctl);
        view.Show();
        EXPECT_EQ(RowFieldsAtEverySize(view.win, kLabels, true), "") << "device files";
        view.win.HideWindow();
    }
}

INSTANTIATE_TEST_SUITE_P(Screens, CtlWinSmallScreens,
                         testing::Values(ScreenSize{1024, 768}, ScreenSize{800, 600}),
                         [](const testing::TestParamInfo<ScreenSize>& info) {
                             return std::to_string(info.param.width) + "x" +
                                    std::to_string(info.param.height);
                         });

}  // namespace
