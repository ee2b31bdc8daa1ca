// The lists of a control window's views as the menus meet them (Qt offscreen):
// a row clicked makes its list the menu target, so that Cut, Copy, Paste and
// Delete act on it; Shift extends and Control adds to the selection.
#include <gtest/gtest.h>

#include <QWidget>

#include <string>

#include "ControlFixture.h"
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
#include "framework/LMenu.h"
#include "records/AppPrefsDoc.h"
#include "records/DeviceKinds.h"
#include "records/NsqPrefKinds.h"
#include "records/RecordKinds.h"
#include "records/Sequences.h"
#include "records/ShowKinds.h"

namespace {

// A press and release at a point of the pane, with modifiers, as the window gets them.
void ClickIn(LPane* pane, LPoint at, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    MWindow* win = AsMWindow(pane->GetNativeWindow());
    ASSERT_NE(win, nullptr);
    const u64 tl = pane->GetTopLeftIn(nullptr);
    const QPointF local(i32(LPane::UnpackX(tl)) + at.x, i32(LPane::UnpackY(tl)) + at.y);
    QWidget* view = win->View();
    const QPointF global = view->mapToGlobal(local);
    QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton,
                      mods);
    QCoreApplication::sendEvent(view, &press);
    // A hand is slower than the list's own turn after the press.
    RunUntil([] { return false; }, 30);
    QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton,
                        mods);
    QCoreApplication::sendEvent(view, &release);
    RunUntil([] { return false; }, 30);
}

void ClickRow(LListPane* list, i32 row, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    ClickIn(list, LPoint{8, row * list->CellHeight() + list->CellHeight() / 2}, mods);
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
    ASSERT_TRUE(RunUntil([&] { return native->isActiveWindow(); }));
}

class CtlWinLists : public ::testing::Test {
protected:
    CtlWinLists() : env("offscreen") {
        RegisterAllRecordKinds();
        SetAppPrefsDoc(&prefs);
        InstallDeviceHooks();
    }
    ~CtlWinLists() override { SetAppPrefsDoc(nullptr); }
    ControlEnv env;
    CRecordDoc prefs{CRecord::New(CRecordSchema::Find(kFamKvs, kKindPref))};
    CKvsDevSet set;
};

TEST_F(CtlWinLists, TheSequenceAndSceneListsTakeTheEditMenu) {
    CKvsDevCtl ctl(gApp, &set, 0);
    ctl.ShowWindow();
    ASSERT_TRUE(RunUntil([&] { return ctl.WindowShown(); }));
    auto* view = dynamic_cast<CDrcCmdHandler*>(ctl.Screen()->PlayView());
    ASSERT_NE(view, nullptr);
    CRecord* settings = view->SeqSettings();
    for (u32 i = 0; i < 2; ++i) InsertNewSequence(settings, nullptr, i);
    CRecord* seq = settings->GetListItem(SqstF::sqcs, 0);
    for (u32 i = 0; i < 4; ++i) InsertSceneUnique(seq, nullptr, SqncF::scns, i, nullptr);
    CKvsDevCtlWin& win = ctl.Screen()->Window();
    Front(win);
    RunUntil([] { return false; }, 100);
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
    ClickRow(scenes, 3, Qt::ShiftModifier);
    EXPECT_EQ(Rows(scenes), "1 2 3 ");
    ClickRow(scenes, 2, Qt::ControlModifier);
    EXPECT_EQ(Rows(scenes), "1 3 ");
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

TEST_F(CtlWinLists, TheDeviceFileListIsTheTargetInTheRecordView) {
    CKvsDevCtl ctl(gApp, &set, 0);
    // The screen's arrangement of the device files view: its handler under the
    // screen, its frame in the window's view frame.
    LHandler screen(gApp);
    CKvsDevCtlWin win(&screen, 0);
    CKvsFileListCtl files(&screen, win.fViewFrame, &ctl);
    LHandler::Send(LPane_Pref, &win.fViewFrame, &win);
    win.ShowWindow();
    Front(win);
    RunUntil([] { return false; }, 100);
    CKvsFileList* list = files.Frame()->fFiles->fList;
    // A click in the list's area, files or none, makes it the target.
    ClickIn(list, LPoint{8, 8});
    EXPECT_EQ(FindMenuTarget(Loop()), list);
    win.HideWindow();
}

}  // namespace
