#include <gtest/gtest.h>
#include <sys/stat.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "base/LScrap.h"
#include "base/Resources.h"
#include "devices/CKvsDevCtl.h"
#include "devices/CKvsDevSet.h"
#include "devices/CKvsUploads.h"
#include "devices/files/CKvsFileFrm.h"
#include "records/DeviceKinds.h"
#include "base/Paths.h"
#include "framework/CFilePanel.h"
#include "framework/CMainLoop.h"
#include "records/AppPrefsDoc.h"
#include "records/NsqPrefKinds.h"
#include "tools/testkit/SimDeviceProcess.h"
#include "framework/LMenu.h"
#include "framework/StdDialogs.h"
#include "records/CRecordDoc.h"
#include "records/PrefNodes.h"
#include "records/ScrapTypeNames.h"
#include "tests/devlink/VirtualRunLoop.h"
#include "tests/framework/ControlPanes.h"

namespace {

// The device side a frame needs: a queue of no device (its requests end at
// once), the contents record, and an owner that answers the questions.
struct Link : LHandler, MDevObjLink {
    Link() : queue(nullptr, 0), contents(NewDeviceContentsRecord()) {}
    CReqQueue* DeviceQueue() override { return &queue; }
    CRecord* ContentsRecord() override { return contents.Root(); }
    LHandler* DialogOwner() override { return this; }
    LMessage HandleMessage(const LMessage& msg) override {
        if (auto* m =
                msg.Is(LHandler_Mode) ? dynamic_cast<CSimpleMessageDialog*>(msg.source) : nullptr) {
            asked.push_back(std::string(m->fMessage.GetText().View()));
            if (log) log->push_back("asked");
            bool yes = true;
            if (!answers.empty()) yes = answers.front(), answers.pop_front();
            Send(LStdCtl_Selected, yes ? &m->fOk : &m->fCancelBtn, m);
            return LMessage();
        }
        return LHandler::HandleMessage(msg);
    }
    CReqQueue queue;
    CRecordDoc contents;
    std::deque<bool> answers;
    std::vector<std::string> asked;
    std::vector<std::string>* log = nullptr;  // where questions are noted, in turn
};

struct Notes {
    static void Note(void* self, CRecordNote* n) {
        static_cast<Notes*>(self)->seen.push_back(std::to_string(n->kind) + ":" +
                                                  std::to_string(n->field));
    }
    std::vector<std::string> seen;
};

struct Stage : ControlStage {
    Stage() {
        static LResFile appFile(AppResFileRef());
        SetDefaultResChain(&appFile);
        RegisterAllRecordKinds();
    }
    CRecord* Contents() { return link.ContentsRecord(); }
    void Add(u32 kind, const char* name, const char* size = "1") {
        NodeListInsertSorted(Contents(), kind, name, size, "i");
    }
    void Fire() { LTimer::FireDue(fServices.fNow, nullptr, nullptr, true); }
    std::unique_ptr<CKvsFileList> List(u32 kind) {
        auto list = std::make_unique<CKvsFileList>(&fBox, &link);
        list->SetBounds(LRect(0, 0, 200, 300));
        list->SetSource(Contents(), kind);
        return list;
    }
    // The list's own messages since the last call.
    std::string Said() {
        std::string out;
        for (const std::string& m : fBox.fLog)
            if (m.rfind("CKvsFileList_", 0) == 0 || m == "asked") out += m + " ";
        fBox.fLog.clear();
        return out;
    }
    CVirtualRunLoop loop;  // the poller's timer runs on it
    Link link;
};

LRgn Rows(i32 top, i32 bottom) {
    return LRgn(LRect(0, top, 1, bottom));
}

LMenuItem* FindItem(LMenu& menu, const char* command) {
    for (u32 i = 0; i < menu.CountItems(); ++i)
        if (menu.ItemAt(i)->HasCommand(command)) return menu.ItemAt(i);
    return nullptr;
}

TEST(FileFrm, TabsWriteTheRecordAndEverythingFollowsIt) {
    Stage s;
    s.Add(0, "take1.drc");
    s.Add(0, "take2.drc");
    s.Add(1, "song.wav");
    CKvsFileFrm frm(&s.fBox, &s.fBox, &s.link);
    frm.SetBounds(LRect(0, 0, 300, 400));
    EXPECT_EQ(frm.fList->Rows(), 2);
    EXPECT_EQ(frm.fPoller.Kind(), 0u);

    Notes notes;
    s.link.contents.AddListener(&notes, Notes::Note);
    LHandler::Send(LStdCtl_Selected, &frm.fTab1, &frm);
    s.link.contents.RemoveListener(&notes, Notes::Note);
    ASSERT_EQ(notes.seen.size(), 1u);
    EXPECT_EQ(notes.seen[0], "0:" + std::to_string(DctsF::field0));
    EXPECT_EQ(s.Contents()->GetU8(DctsF::field0), 1);
    EXPECT_TRUE(frm.ShownKind() == 1 && frm.fList->Kind() == 1 && frm.fDrop.Kind() == 1 &&
                frm.fPoller.Kind() == 1);
    EXPECT_EQ(frm.fList->Rows(), 1);
    EXPECT_STREQ(frm.fList->ItemName(0).CStr(), "song.wav");

    // Written from elsewhere (another frame of the device): followed the same way.
    s.Contents()->SetU8(nullptr, DctsF::field0, 0);
    EXPECT_TRUE(frm.fList->Kind() == 0 && frm.fDrop.Kind() == 0 && frm.fPoller.Kind() == 0);
    // Kind 2 shows no list and takes no drops.
    s.Contents()->SetU8(nullptr, DctsF::field0, 2);
    EXPECT_EQ(frm.fList->Rows(), 0);
    EXPECT_FALSE(frm.fDrop.IsUsable());
    s.Contents()->SetU8(nullptr, DctsF::field0, 0);
    EXPECT_TRUE(frm.fDrop.IsUsable());
}

TEST(FileList, RowsFollowTheListOfTheirKind) {
    Stage s;
    const auto list = s.List(0);
    s.Add(0, "take1.drc", "10");
    s.Add(0, "b.drc", "20");
    s.Add(1, "x.wav");  // the other kind: no row
    EXPECT_EQ(list->Rows(), 2);
    s.Contents()->RemoveItem(nullptr, DctsF::recordings, 0);
    EXPECT_EQ(list->Rows(), 1);
    s.Add(0, "a.drc", "30");
    s.Add(0, "c.drc", "40");
    // The list replaced as a whole.
    s.Contents()->Notify(nullptr, &s.link.contents, CRecordNote::kChanged, DctsF::recordings, 0, 0);
    EXPECT_EQ(u32(list->Rows()), NodeListCount(s.Contents(), 0));
    EXPECT_STREQ(list->ItemName(2).CStr(), "take1.drc");
    EXPECT_EQ(list->ItemSize(2), 10u);
    LListCell* cell = list->CreateCell();
    ASSERT_TRUE(list->BindCell(cell, LCell{0, 2}));
    EXPECT_STREQ(static_cast<CKvsFileCell*>(cell)->fName.GetText().CStr(), "take1");
    EXPECT_FALSE(list->BindCell(cell, LCell{0, 4}));
    delete cell;
}

TEST(FileList, SelectionCommandsPathsAndDrags) {
    Stage s;
    for (const char* n : {"a.drc", "b.drc", "c.drc"}) s.Add(0, n);
    s.Add(1, "a.wav");
    const auto list = s.List(0);

    LMenuBar bar(nullptr);
    bar.AddMenu(new LMenu(&bar, "DEVCTL"));
    bar.AddMenu(new LMenu(&bar, "EDIT"));
    auto enabled = [&] {
        bar.ResetItemStates();
        LHandler::Send(LMenuBar_Ready, &bar, list.get());
        std::string out;
        for (const char* c : {LStdCmd_Delete, kCmdDownload, kCmdRename})
            if (bar.FindEnabledItemByCommand(c)) out += std::string(c) + " ";
        return out;
    };
    EXPECT_EQ(enabled(), "");
    list->SetSelection(Rows(0, 1));
    EXPECT_EQ(enabled(), "LStdCmd_Delete cDownload cRename ");
    list->SetSelection(Rows(1, 3));
    EXPECT_EQ(enabled(), "LStdCmd_Delete cDownload ");

    list->SetSelection(Rows(0, 1));
    const struct {
        const char* path;
        bool selected;
    } paths[] = {{"/sdc/kevrecfiles/a.drc", true},
                 {"/sdc/audiofiles/a.drc", false},
                 {"/sdc/kevrecfiles//a.drc", false},
                 {"/sdc/kevrecfiles/b.drc", false},
                 {"a.drc", false}};
    for (const auto& p : paths) EXPECT_EQ(list->IsSelectedPath(p.path), p.selected) << p.path;

    // One row drags its full name, in both kinds; two rows drag nothing.
    for (u32 kind : {0u, 1u}) {
        list->SetSource(s.Contents(), kind);
        list->SetSelection(Rows(0, 1));
        LScrapData* data = list->MakeDragData();
        ASSERT_NE(data, nullptr);
        const auto* item = static_cast<const LScrapItem*>(data->Items().Head());
        const std::string type(item->fTypeName.View());
        const std::string suffix = ".scraptype.kevoruneset.drcfilename";
        EXPECT_EQ(type.substr(type.size() - suffix.size()), suffix);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(item->fData), item->fSize),
                  kind == 0 ? "a.drc" : "a.wav");
        EXPECT_EQ(item->Next()->IsEnd(), true);
        data->Release();
    }
    list->SetSource(s.Contents(), 0);
    list->SetSelection(Rows(0, 2));
    EXPECT_EQ(list->MakeDragData(), nullptr);
    list->SetSelection(LRgn());
    EXPECT_EQ(list->MakeDragData(), nullptr);
    list->SetSelection(Rows(0, 2));
    EXPECT_EQ(list->SelectedNames(true).front(), LString("b.drc"));
}

TEST(FileList, ADoubleClickIsNoSingleClick) {
    Stage s;
    for (const char* n : {"a.drc", "b.drc"}) s.Add(0, n);
    const auto list = s.List(0);
    const i32 y = list->CellHeight() / 2;
    u32 event = 0;
    auto press = [&](u32 gapMs, i32 at) {
        s.fServices.Advance(gapMs);
        s.fMouse.SetEvent(LPoint{5, at}, 0, true, ++event, s.fServices.fNow);
        s.Click(list.get(), 5, at);
        s.Mouse(LMouse_Release, list.get(), 5, at);
        return s.Said();
    };
    EXPECT_EQ(press(1000, y), "CKvsFileList_SglClk ");
    EXPECT_EQ(press(100, y), "CKvsFileList_DblClk ");
    EXPECT_EQ(press(1000, 250), "");  // below the last row
}

// The device lets go of a loaded recording only when the user has confirmed
// the delete: declined, nothing at all goes out.
TEST(FileList, DeleteIsAnnouncedOnlyOnceConfirmed) {
    const struct {
        bool confirmed;
        const char* said;
    } cases[] = {
        {false, "asked "},
        {true, "asked CKvsFileList_WillDelete CKvsFileList_FlChanged "},
    };
    for (const auto& c : cases) {
        Stage s;
        s.Add(0, "a.drc");
        const auto list = s.List(0);
        list->SetSelection(Rows(0, 1));
        LMenu menu(nullptr, "EDIT");
        LMenuItem* del = FindItem(menu, LStdCmd_Delete);
        ASSERT_NE(del, nullptr);
        s.link.answers = {c.confirmed};
        s.link.log = &s.fBox.fLog;
        s.fBox.fLog.clear();
        LHandler::Send(LMenuItem_Selected, del, list.get());
        EXPECT_EQ(s.Said(), c.said) << c.confirmed;
    }
}

// Shift extends from the anchor, Ctrl adds and removes rows; a plain click
// selects one row again.
TEST(FileList, ShiftAndCtrlClicksSelectSeveralRows) {
    Stage s;
    for (const char* n : {"a.drc", "b.drc", "c.drc", "d.drc", "e.drc"}) s.Add(0, n);
    const auto list = s.List(0);
    const i32 h = list->CellHeight();
    const struct {
        i32 row;
        u32 mods;
        const char* selected;
    } steps[] = {
        {1, 0, "b.drc "},
        {3, kModShift, "b.drc c.drc d.drc "},
        {0, kModCommand, "a.drc b.drc c.drc d.drc "},
        {2, kModCommand, "a.drc b.drc d.drc "},
        {4, kModControl | kModCommand, "a.drc b.drc d.drc e.drc "},
        {2, 0, "c.drc "},
    };
    u32 event = 0;
    for (const auto& st : steps) {
        s.fServices.Advance(1000);
        s.fMouse.SetEvent(LPoint{5, st.row * h + h / 2}, st.mods, true, ++event, s.fServices.fNow);
        s.Click(list.get(), 5, st.row * h + h / 2);
        s.Mouse(LMouse_Release, list.get(), 5, st.row * h + h / 2);
        s.Fire();
        std::string names;
        for (const LString& n : list->SelectedNames(false)) names += std::string(n.CStr()) + " ";
        EXPECT_EQ(names, st.selected) << st.row << " " << st.mods;
    }
}

// Chooses a folder, noting where the panel started and what it asked.
struct Panels : LFilePanelServices {
    void RunPanel(CFilePanel& panel) override {
        started = std::string(panel.StartDir().View());
        message = std::string(panel.Message().View());
        panel.SetResult(!choice.IsEmpty(), choice);
    }
    LString choice;
    std::string started, message;
};

TEST(FileList, DownloadAsksForAFolderAndRemembersIt) {
    Stage s;
    s.Add(0, "a.drc", "0");
    const auto list = s.List(0);
    list->SetSelection(Rows(0, 1));
    testtftp::TempDir first, second;
    LString firstUrl, secondUrl;
    PosixPathToFileUrl(&firstUrl, LString(first.Path().c_str()));
    PosixPathToFileUrl(&secondUrl, LString(second.Path().c_str()));
    CRecordDoc prefs(CRecord::New(CRecordSchema::Find(kFamKvs, kKindPref)));
    prefs.Root()->SetString(nullptr, PrefF::dldr, firstUrl);
    SetAppPrefsDoc(&prefs);
    Panels panels;
    InstallFilePanelServices(&panels);
    LMenu menu(nullptr, "DEVCTL");
    LMenuItem* download = FindItem(menu, kCmdDownload);
    ASSERT_NE(download, nullptr);
    // Cancelled: nothing is stored.
    LHandler::Send(LMenuItem_Selected, download, list.get());
    EXPECT_EQ(panels.message, std::string(StdDialogText("KVSFILELIST", 0).View()));
    EXPECT_STREQ(prefs.Root()->GetString(PrefF::dldr).CStr(), firstUrl.CStr());
    // Chosen: stored, and the file (empty, from a queue of no device) lands there.
    panels.choice = secondUrl;
    LHandler::Send(LMenuItem_Selected, download, list.get());
    EXPECT_EQ(panels.started.rfind(std::string(firstUrl.View()), 0), 0u) << panels.started;
    EXPECT_STREQ(prefs.Root()->GetString(PrefF::dldr).CStr(), secondUrl.CStr());
    struct stat st;
    EXPECT_EQ(stat((second.Path() + "/a.drc").c_str(), &st), 0);
    InstallFilePanelServices(nullptr);
    SetAppPrefsDoc(nullptr);
}

// Takes the dropped files as the controller does: while the message is sent.
struct Receiver : LHandler {
    LMessage HandleMessage(const LMessage& msg) override {
        if (msg.Is(CKvsFileDrop_Dropped)) {
            const auto* d = static_cast<const CKvsFileDrop*>(msg.source);
            std::string s = std::to_string(d->Kind()) + ":";
            // A path that replaces a file: ">" and the card's name of that file,
            // then what of it was agreed to besides the file listed: "+waiting"
            // for the uploads queued, "-unlisted" when it was not on the card.
            for (u32 i = 0; i < d->Paths().Count(); ++i) {
                const CardAgreement a =
                    i < d->Targets().size() ? d->Targets()[i] : CardAgreement();
                s += std::string(d->Paths().At(i).View());
                if (!a.name.IsEmpty()) {
                    s += ">" + std::string(a.name.View());
                    if (!a.queued.empty()) s += "+waiting";
                    if (!a.listed.found) s += "-unlisted";
                }
                s += ",";
            }
            got.push_back(s);
            return LMessage();
        }
        return LHandler::HandleMessage(msg);
    }
    std::vector<std::string> got;
};

TEST(FileDrop, OfferedOnceAfterAskingAboutNamesOnTheCard) {
    const std::string replace = std::string(StdDialogText("KVSFILEDROP", 2).View());
    const std::string oneFile = std::string(StdDialogText("KVSFILEDROP", 3).View());
    const std::string waiting = std::string(StdDialogText("KVSFILEDROP", 4).View());
    const struct {
        const char* what;
        u32 kind;
        std::vector<const char*> drops;
        std::deque<bool> answers;
        std::string asked;
        std::vector<std::string> got;
        // Local files whose uploads wait in the device's job queue.
        std::vector<const char*> queued = {};
    } cases[] = {
        {"a wave file on the recordings tab", 0, {"/tmp/x.wav"}, {}, "", {"0:/tmp/x.wav,"}},
        {"same name, other extension",
         0,
         {"/tmp/show.wav", "/tmp/new.drc", "/tmp/b.drc"},
         {true},
         replace + "show, b",
         {"0:/tmp/show.wav>show.drc,/tmp/new.drc,/tmp/b.drc>b.drc,"}},
        {"another case",
         0,
         {"/tmp/SHOW.drc"},
         {true},
         replace + "SHOW",
         {"0:/tmp/SHOW.drc>show.drc,"}},
        {"declined", 0, {"/tmp/show.wav"}, {false}, replace + "show", {}},
        {"a name that only looks escaped",
         0,
         {"/tmp/b%2Ewav", "/tmp/100% b.drc"},
         {},
         "",
         {"0:/tmp/b%2Ewav,/tmp/100% b.drc,"}},
        {"a name the card holds filtered",
         0,
         {"/tmp/sh\tow.wav", "/tmp/b.drc.drc", "/tmp/nl\nz.drc"},
         {true},
         replace + "sh_ow, b_drc",
         {"0:/tmp/sh\tow.wav>sh_ow.drc,/tmp/b.drc.drc>b_drc.drc,/tmp/nl\nz.drc,"}},
        {"decomposed matches composed",
         1,
         {"/tmp/Cafe\xCC\x81.drc"},
         {true},
         replace + "Cafe\xCC\x81",
         {"1:/tmp/Cafe\xCC\x81.drc>Caf\xC3\xA9.wav,"}},
        // Two on the card that read the same: the one of the exact name is replaced.
        {"the exact one of two",
         0,
         {"/tmp/TWIN.drc"},
         {true},
         replace + "TWIN",
         {"0:/tmp/TWIN.drc>TWIN.drc,"}},
        {"the exact one of two, composed",
         0,
         {"/tmp/Bu\xCC\x88hne Zwei.drc"},
         {true},
         replace + "Bu\xCC\x88hne Zwei",
         {"0:/tmp/Bu\xCC\x88hne Zwei.drc>B\xC3\xBChne Zwei.drc,"}},
        // Files of one drop that the card would hold as one: said, none offered.
        {"one name twice",
         0,
         {"/tmp/Dup_gj.drc", "/tmp/a/Dup_gj.DRC"},
         {},
         oneFile + "Dup_gj.drc, Dup_gj.DRC",
         {}},
        {"one audio name twice",
         1,
         {"/tmp/Tune_d.wav", "/tmp/new.drc", "/tmp/Tune_d.aiff"},
         {},
         oneFile + "Tune_d.wav, Tune_d.aiff",
         {}},
        // A name an upload queued earlier will write, in any case: asked as one
        // on the card, and written onto it. The question says it is only waiting.
        {"queued before",
         0,
         {"/tmp/late_gj.drc", "/tmp/new.drc"},
         {true},
         waiting + "late_gj",
         {"0:/tmp/late_gj.drc>Late_gj.drc+waiting-unlisted,/tmp/new.drc,"},
         {"/tmp/Late_gj.drc"}},
        {"queued before, declined",
         0,
         {"/tmp/Late_gj.drc"},
         {false},
         waiting + "Late_gj",
         {},
         {"/tmp/Late_gj.drc"}},
        {"queued audio, converted first",
         1,
         {"/tmp/TUNE_D.wav"},
         {true},
         waiting + "TUNE_D",
         {"1:/tmp/TUNE_D.wav>Tune_d.wav+waiting-unlisted,"},
         {"/tmp/a/Tune_d.aiff"}},
        {"on the card and queued, beside one only queued",
         0,
         {"/tmp/b.drc", "/tmp/Late_gj.drc"},
         {true},
         replace + "b\n" + waiting + "Late_gj",
         {"0:/tmp/b.drc>b.drc+waiting,/tmp/Late_gj.drc>Late_gj.drc+waiting-unlisted,"},
         {"/tmp/b.drc", "/tmp/Late_gj.drc"}},
        {"queued in the other folder",
         0,
         {"/tmp/Late_gj.drc"},
         {},
         "",
         {"0:/tmp/Late_gj.drc,"},
         {"/tmp/a/Late_gj.aiff"}},
    };
    for (const auto& c : cases) {
        Stage s;
        s.Add(0, "show.drc");
        s.Add(0, "b.drc");
        s.Add(0, "sh_ow.drc");
        s.Add(0, "b_drc.drc");
        s.Add(1, "Caf\xC3\xA9.wav");
        for (const char* n :
             {"Twin.drc", "TWIN.drc", "Bu\xCC\x88hne Zwei.drc", "B\xC3\xBChne Zwei.drc"})
            s.Add(0, n);
        CKvsFileJobQueue jobs(nullptr, s.link.DeviceQueue(), nullptr, nullptr, s.Contents(),
                              nullptr);
        for (const char* q : c.queued) jobs.AddJob(IsDrcFileName(q) ? 0 : 1, LString(q));
        Receiver r;
        LFrame holder(&r, &s.fBox);
        CKvsFileDrop drop(&holder, &s.link);
        drop.SetKind(c.kind);
        s.link.answers = c.answers;
        // Two drops before the timer fires are offered together.
        for (const char* p : c.drops) drop.AddDropped(LString(p));
        EXPECT_TRUE(r.got.empty());
        s.Fire();
        std::string asked;
        for (const std::string& a : s.link.asked) asked += a;
        EXPECT_EQ(asked, c.asked) << c.what;
        EXPECT_EQ(r.got, c.got) << c.what;
        EXPECT_EQ(drop.Paths().Count(), 0u) << c.what;
    }
}

TEST(FileDrop, TheControllerQueuesOneUploadPerFile) {
    Stage s;
    auto app = std::make_unique<CMainLoopBase>();
    CKvsDevSet set;
    {
        CKvsDevCtl ctl(app.get(), &set, 999);
        LFrame holder(&ctl, &s.fBox);
        CKvsFileDrop drop(&holder, &s.link);
        drop.SetKind(1);
        drop.AddDropped(LString("/nowhere/a.wav"));
        drop.AddDropped(LString("/nowhere/b.wav"));
        s.Fire();
        ASSERT_NE(ctl.Uploads(), nullptr);
        EXPECT_EQ(ctl.Uploads()->Jobs().JobsAdded(), 2u);
        ctl.Uploads()->Jobs().CancelAll();
    }
    app.reset();
}

}  // namespace
