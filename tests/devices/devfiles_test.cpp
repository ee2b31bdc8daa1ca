#include <dirent.h>
#include <sys/stat.h>

#include <cstdio>
#include <deque>
#include <filesystem>
#include <random>
#include <set>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>

#include "base/FileOps.h"
#include "base/Paths.h"
#include "base/Resources.h"
#include "devices/files/CKvsRenDlg.h"
#include "devices/files/CopyToUms.h"
#include "devices/files/DeviceFileOps.h"
#include "devlink/FileJobQueue.h"
#include "devlink/FileListPoller.h"
#include "framework/CMainLoop.h"
#include "records/DeviceKinds.h"
#include "framework/StdDialogs.h"
#include "tests/devlink/FileLinkTestUtil.h"
#include "tools/testkit/KillRounds.h"
#include "tools/testkit/WireGate.h"

namespace {

std::string Text(const char* list, u32 n) {
    return std::string(StdDialogText(list, n).View());
}

// The item of the list a message begins with (the longest that fits), -1 none.
int ItemOf(const char* list, const std::string& text, u32 items) {
    int best = -1;
    size_t bestLen = 0;
    for (u32 i = 0; i < items; ++i) {
        const std::string t = Text(list, i);
        if (!t.empty() && text.rfind(t, 0) == 0 && t.size() > bestLen)
            best = int(i), bestLen = t.size();
    }
    return best;
}

// Owns the dialogs: notes each message, answers questions from a script (yes
// when it runs out), types into the rename dialog, and presses the progress
// dialog's button when asked to; every other turn lets time pass.
struct Owner : LHandler {
    std::function<void()> turn;
    std::function<bool(CSimpleProgressDialog*)> pressWhen;
    std::function<void(CKvsRenDlg*)> rename;
    std::deque<bool> answers;
    std::vector<std::string> messages;
    std::vector<std::string> progress;  // "message|bar"
    std::vector<u8> cancelEnabled;
    LMessage HandleMessage(const LMessage& msg) override {
        if (!msg.Is(LHandler_Mode)) return LHandler::HandleMessage(msg);
        if (auto* m = dynamic_cast<CSimpleMessageDialog*>(msg.source)) {
            messages.push_back(std::string(m->fMessage.GetText().View()));
            bool yes = true;
            if (!answers.empty()) yes = answers.front(), answers.pop_front();
            Send(LStdCtl_Selected, yes ? &m->fOk : &m->fCancelBtn, m);
        } else if (auto* r = dynamic_cast<CKvsRenDlg*>(msg.source)) {
            rename(r);
        } else if (auto* p = dynamic_cast<CSimpleProgressDialog*>(msg.source)) {
            progress.push_back(std::string(p->fMessage.GetText().View()) + "|" +
                               std::to_string(p->fBar.Value()));
            cancelEnabled.push_back(p->fButton.IsUsable());
            if (pressWhen && pressWhen(p))
                Send(LStdCtl_Selected, &p->fButton, p);
            else
                turn();
        } else {
            turn();
        }
        return LMessage();
    }
    // The messages as items of a list, e.g. "9" or "11:a.drc" (the rest after the item).
    std::string Said(const char* list, u32 items) const {
        std::string out;
        for (const std::string& m : messages) {
            const int i = ItemOf(list, m, items);
            out += (out.empty() ? "" : " ") + std::to_string(i);
            if (i >= 0 && m.size() > Text(list, u32(i)).size())
                out += ":" + m.substr(Text(list, u32(i)).size());
        }
        return out;
    }
};

class DevFiles : public filelink::FileLinkTest {
protected:
    void SetUp() override {
        FileLinkTest::SetUp();
        if (HasFatalFailure()) return;
        fChain.AddSource(&fApp);
        SetDefaultResChain(&fChain);
        fOwner.turn = [this] {
            // A device that does not answer costs a short real wait, then time
            // moves on; one that still owes an answer (its data held back) is
            // waited for turn by turn, so that the dialog sees the transfer go.
            if (!fQueue->IsIdle() && Settle([&] { return fQueue->IsIdle(); }, 150)) return;
            if (!fQueue->IsIdle()) {
                if (!fWire) fWire.emplace();
                if (!fWire->Quiet()) return;
            }
            fWire.reset();
            Advance(500);
        };
        ASSERT_EQ(mkdir(Sdc("kevrecfiles").c_str(), 0777), 0);
        ASSERT_EQ(mkdir(Sdc("audiofiles").c_str(), 0777), 0);
        ASSERT_EQ(mkdir(fLocal.Path().c_str(), 0777) == 0 || errno == EEXIST, true);
    }
    void TearDown() override {
        SetDefaultResChain(nullptr);
        FileLinkTest::TearDown();
    }
    std::string Ums(const std::string& rel) { return fDir.Path() + "/305/ums/" + rel; }
    std::optional<testtftp::WireGate> fWire;
    static void Put(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static std::string Get(const std::string& path) {
        std::ifstream f(path, std::ios::binary);
        if (!f) return "<none>";
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }
    static bool Exists(const std::string& path) {
        struct stat st;
        return lstat(path.c_str(), &st) == 0;
    }
    // The writes and reads the device saw of one command, in order, "path" each.
    std::string Requests(const std::string& prefix) {
        std::string out;
        for (const std::string& l : LogOf("pkt"))
            if (Field(l, "dir") == "in" && (Field(l, "op") == "WRQ" || Field(l, "op") == "RRQ") &&
                Field(l, "path").rfind(prefix, 0) == 0 && Field(l, "fate") != "late")
                out += (out.empty() ? "" : " ") + Field(l, "path");
        return out;
    }
    // The device's file commands in order, repeats of one folded: "rm:/ums/a" ...
    std::string FmLog() {
        std::string out, last;
        for (const std::string& l : LogOf("fm")) {
            const std::string e = Field(l, "op") + ":" + Field(l, "path");
            if (e != last) out += (out.empty() ? "" : " ") + e;
            last = e;
        }
        return out;
    }
    LString LocalUrl() {
        LString url;
        PosixPathToFileUrl(&url, LString(fLocal.Path().c_str()));
        return url;
    }
    bool Fresh() {
        fOwner.messages.clear(), fOwner.progress.clear(), fOwner.answers.clear();
        fOwner.cancelEnabled.clear();
        fOwner.pressWhen = nullptr;
        return Ok("log clear") && Ok("fault-clear") && Ok("fm-clear serno=305");
    }

    LResFile fApp{AppResFileRef()};
    LResChain fChain;
    Owner fOwner;
    testtftp::TempDir fLocal;
};

std::vector<LString> Names(std::initializer_list<const char*> names) {
    std::vector<LString> out;
    for (const char* n : names) out.emplace_back(n);
    return out;
}

// ---------------------------------------------------------------- pure rules

TEST(FileRules, OutcomeItemsNameListsPercentagesAndReplyNumbers) {
    FileOpOutcome o;
    const u32 s[][3] = {{0, 0, 0}, {0, 3, 1}, {0, 3, 0}, {0, 3, 0}};
    for (const auto& st : s) EXPECT_EQ(EvaluateFileStatus(st, &o), kFileReqContinue);
    EXPECT_TRUE(o.missing == 3 && o.hardMissing == 2 && FileOutcomeItem(o) == 10);
    const struct {
        u32 status[3];
        i32 result;
        u32 item;
    } one[] = {
        {{0, 3, 1}, kFileReqContinue, 9}, {{2, 0, 0}, kFileReqFailed, 7},
        {{0, 2, 0}, kFileReqFailed, 7},   {{1, 0, 0}, kFileReqFailed, 8},
        {{0, 1, 0}, kFileReqFailed, 8},
    };
    for (const auto& c : one) {
        FileOpOutcome x;
        x.unsaved.emplace_back("z");
        EXPECT_EQ(EvaluateFileStatus(c.status, &x), c.result) << c.status[0] << c.status[1];
        EXPECT_EQ(FileOutcomeItem(x), c.item) << c.status[0] << c.status[1];
    }
    FileOpOutcome saved;
    saved.unsaved.emplace_back("a");
    EXPECT_EQ(FileOutcomeItem(saved), 11u);
    EXPECT_EQ(FileOutcomeItem(FileOpOutcome()), 0u);

    std::vector<LString> twelve;
    for (int i = 0; i < 12; ++i) twelve.emplace_back(("n" + std::to_string(i)).c_str());
    LTextStream t;
    AppendNameList(t, twelve);
    EXPECT_STREQ(t.CStr(), "n0, n1, n2, n3, n4, n5, n6, n7, n8, n9, ...");
    LTextStream ten;
    twelve.resize(10);
    AppendNameList(ten, twelve);
    EXPECT_STREQ(ten.CStr(), "n0, n1, n2, n3, n4, n5, n6, n7, n8, n9");

    const struct {
        u64 got, size;
        u32 percent;
    } p[] = {{0, 0, 0}, {5, 0, 0}, {60000000, 100000000, 60}, {150, 100, 100}, {1, 3, 33}};
    for (const auto& c : p) EXPECT_EQ(DownloadPercent(c.got, c.size), c.percent) << c.got;

    const struct {
        const char* reply;
        i32 value;
    } r[] = {{"37", 37},
             {" x", 0},
             {"  -4", -4},
             {"-2", -2},
             {"\xEF\xBB\xBF\x38", 8},
             {"99999999999", 0x7FFFFFFF},
             {"-99999999999", i32(-0x7FFFFFFF - 1)},
             {"\t\r\n5%", 5}};
    for (const auto& c : r)
        EXPECT_EQ(ReadReplyNumber(c.reply, StrLen(c.reply)), c.value) << c.reply;
}

TEST(FileRules, DeviceNamesAndPaths) {
    const struct {
        const char* text;
        bool name, path;
    } cases[] = {
        {"a.drc", true, true},
        {".hidden", false, false},
        {"", false, false},
        {"a/b", false, true},
        {"kevrecfiles/a.drc", false, true},
        {"kevrecfiles/../../x", false, false},
        {"kevrecfiles//a.drc", false, false},
        {"/sdc/a", false, false},
        {"a\x7f", false, false},
        {"a\x1f", false, false},
        {"Caf\xC3\xA9", true, true},
        {"\xC3", false, false},
        {"\xC0\xAF", false, false},
        {"a/", false, false},
        {"..", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsDeviceFileName(c.text, StrLen(c.text)), c.name) << c.text;
        EXPECT_EQ(IsDeviceRelativePath(c.text), c.path) << c.text;
    }
    // Hidden entries of the USB storage are still usable (they are removed too).
    EXPECT_TRUE(IsUsableName(".x", 2));
}

TEST(FileRules, UmsListingWalk) {
    const std::string listing =
        ".,\r\n..,\r\nshow,\r\na.drc,12,f\r\n\"q,\"\"x\",3,f\r\n../sdc,4,f\r\n"
        "bad\x7f,1,f\r\n.hidden,1,f\r\nsub,,x\nlast,";
    u32 skipped = 0;
    std::string got;
    for (const UmsEntry& e : ParseUmsListing(listing.data(), listing.size(), &skipped))
        got += e.name + (e.folder ? "/ " : " ");
    EXPECT_EQ(got, "show/ a.drc q,\"x .hidden sub/ last/ ");
    EXPECT_EQ(skipped, 2u);
}

TEST(FileRules, RenameFilterAndName) {
    const struct {
        const char* typed;
        const char* kept;
    } cases[] = {
        {"Show", "Show"},     {"a/b", "a_b"},           {"a:b.c", "a_b_c"},
        {"x\x7fy", "x_y"},    {"\"*<>?\\|", "_______"}, {"Caf\xC3\xA9", "Caf\xC3\xA9"},
        {"\xFF\xFEz", "__z"},
    };
    for (const auto& c : cases) EXPECT_STREQ(FilterRenameText(c.typed).CStr(), c.kept) << c.typed;
    EXPECT_STREQ(RenamedFileName("Show", "Show.DRC").CStr(), "Show.drc");
    EXPECT_STREQ(RenamedFileName("Cafe\xCC\x81", "a.wav").CStr(), "Caf\xC3\xA9.wav");
}

// ---------------------------------------------------------------- delete

TEST_F(DevFiles, DeleteSendsEachAndReportsOnce) {
    const std::string rm = "/.cmd/fmrm///sdc/kevrecfiles/";
    const struct {
        const char* what;
        std::string fault;
        std::string requests, said;
    } cases[] = {
        {"all there", "", rm + "c.drc " + rm + "b.drc " + rm + "a.drc", "2"},
        {"one missing", "error code=1", rm + "c.drc " + rm + "b.drc " + rm + "a.drc", "2 9"},
        {"one missing without a code", "error code=0", rm + "c.drc " + rm + "b.drc " + rm + "a.drc",
         "2 10"},
        {"the second unanswered", "drop", rm + "c.drc " + rm + "b.drc", "2 7"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(Fresh());
        for (const char* n : {"a.drc", "b.drc", "c.drc"})
            Put(Sdc(std::string("kevrecfiles/") + n), "x");
        if (!c.fault.empty()) {
            ASSERT_TRUE(Ok("fault " + c.fault + " dir=in opcode=WRQ path=" + rm + "b.drc"));
        }
        DeleteDeviceFileNames(&fOwner, fQueue.get(), Names({"c.drc", "b.drc", "a.drc"}), 0);
        std::string requests = Requests("/.cmd/fmrm");
        // A request the device does not answer is sent again: count it once.
        for (size_t at; (at = requests.find(rm + "b.drc " + rm + "b.drc")) != std::string::npos;)
            requests.erase(at, rm.size() + 6);
        EXPECT_EQ(requests, c.requests) << c.what;
        EXPECT_EQ(fOwner.Said(kFileOpTexts, 12), c.said) << c.what;
        EXPECT_EQ(Exists(Sdc("kevrecfiles/a.drc")), c.fault == "drop") << c.what;
        EXPECT_TRUE(fQueue->IsIdle());
    }
    // Declined, another kind, or names that would leave the folder: nothing is sent.
    ASSERT_TRUE(Fresh());
    fOwner.answers = {false};
    DeleteDeviceFileNames(&fOwner, fQueue.get(), Names({"a.drc"}), 0);
    DeleteDeviceFileNames(&fOwner, fQueue.get(), Names({"a.drc"}), 2);
    DeleteDeviceFileNames(&fOwner, fQueue.get(), Names({"../x", ".a", ""}), 0);
    EXPECT_EQ(Requests("/.cmd/fmrm"), "");
    EXPECT_EQ(fOwner.Said(kFileOpTexts, 12), "2");
}

// ---------------------------------------------------------------- rename

TEST_F(DevFiles, RenameMovesToTheComposedNameWithTheExtensionLowered) {
    const std::string mv = "/.cmd/fmmv///sdc/kevrecfiles/";
    const char* const onCard[] = {
        "Show.DRC", "a.drc", "b.drc", "c.drc", "x.drc", "My Song.drc", "Bu\xCC\x88hne.drc"};
    const struct {
        const char* old;
        const char* typed;  // null: cancel
        std::string request;
        const char* result;
        std::deque<bool> answers = {};
        std::string said = "";
        const char* fault = "";
        // Local files whose uploads wait in the device's job queue during the rename.
        std::vector<const char*> queued = {};
        // The path of the take the device is recording, as its status gives it.
        const char* take = "";
    } cases[] = {
        // Its own name in another case is no other file: nothing is asked.
        {"Show.DRC", "Show", mv + "Show.DRC//" + "/sdc/kevrecfiles/Show.drc", "Show.drc"},
        {"a.drc", "a", "", ""},
        {"a.drc", "Cafe\xCC\x81", mv + "a.drc///sdc/kevrecfiles/Caf%C3%A9.drc", "Caf\xC3\xA9.drc"},
        // Onto a name the card holds: asked by that name, sent only when agreed.
        {"b.drc", "c", mv + "b.drc///sdc/kevrecfiles/c.drc", "c.drc", {true}, "12:c.drc"},
        {"b.drc", "c", "", "", {false}, "12:c.drc"},
        // Held with its extension in capitals, decomposed, or in another case:
        // the same file to the card; agreed, that very file is replaced.
        {"b.drc", "Show", "", "", {false}, "12:Show.DRC"},
        {"b.drc",
         "Show",
         mv + "b.drc///sdc/kevrecfiles/Show.DRC",
         "Show.DRC",
         {true},
         "12:Show.DRC"},
        {"b.drc",
         "B\xC3\xBChne",
         mv + "b.drc///sdc/kevrecfiles/Bu%CC%88hne.drc",
         "Bu\xCC\x88hne.drc",
         {true},
         "12:Bu\xCC\x88hne.drc"},
        {"b.drc", "my song", "", "", {false}, "12:My Song.drc"},
        // Listed but gone from the card: nothing to ask about.
        {"b.drc", "zz", mv + "b.drc///sdc/kevrecfiles/zz.drc", "zz.drc"},
        // The card's files unknown: said, nothing sent.
        {"b.drc", "c", "", "", {}, "14", "error code=2 dir=in opcode=RRQ"},
        {"x.drc", nullptr, "", ""},
        // Gone from the device meanwhile: the move fails, nothing is renamed.
        {"gone.drc", "new", mv + "gone.drc///sdc/kevrecfiles/new.drc", "", {}, "9"},
        // Onto a name a queued upload will write, in any case: the upload would
        // replace the renamed file later without a word. Refused, said; nothing moves.
        {"b.drc", "Late_gj", "", "", {}, "15:Late_gj.drc", "", {"Big_1.drc", "Late_gj.drc"}},
        {"b.drc", "late_GJ", "", "", {}, "15:late_GJ.drc", "", {"Big_1.drc", "Late_gj.drc"}},
        // Another name while uploads wait: moved.
        {"b.drc",
         "Early",
         mv + "b.drc///sdc/kevrecfiles/Early.drc",
         "Early.drc",
         {},
         "",
         "",
         {"Late_gj.drc"}},
        // Onto the name of the take being recorded, in any case: the take goes
        // onto it at its stop and the renamed file would be lost. Refused, said.
        {"b.drc", "REC0001", "", "", {}, "16:REC0001.drc", "", {}, "/sdc/kevrecfiles/REC0001.drc"},
        {"b.drc", "rec0001", "", "", {}, "16:rec0001.drc", "", {}, "/sdc/kevrecfiles/REC0001.drc"},
        // Its own take is the stop's rename, and a take elsewhere no file here.
        {"REC0001.drc",
         "Take",
         mv + "REC0001.drc///sdc/kevrecfiles/Take.drc",
         "Take.drc",
         {},
         "",
         "",
         {},
         "/sdc/kevrecfiles/REC0001.drc"},
        {"b.drc", "REC0001", mv + "b.drc///sdc/kevrecfiles/REC0001.drc", "REC0001.drc", {}, "",
         "", {}, "/sdc/audiofiles/REC0001.drc"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(Fresh());
        std::filesystem::remove_all(Sdc("kevrecfiles"));
        std::filesystem::create_directories(Sdc("kevrecfiles"));
        for (const char* n : onCard) Put(Sdc(std::string("kevrecfiles/") + n), n);
        // The list as a folder not shown leaves it: never read, or read before
        // the card changed.
        for (u32 n; (n = NodeListCount(ContentsRecord(), 0)) > 0;) {
            LString name;
            NodeListRemoveByName(ContentsRecord(), 0,
                                 NodeListText(&name, ContentsRecord(), 0, n - 1).CStr());
        }
        NodeListInsertSorted(ContentsRecord(), 0, "zz.drc", "1", "i");
        if (std::string(c.old) == "REC0001.drc") Put(Sdc("kevrecfiles/REC0001.drc"), c.old);
        // The device records as it tells, whatever the program last read of it.
        ASSERT_TRUE(Ok("chan-set serno=305 path=/.cmd/udseqstat/stat value=0"));
        if (*c.take) {
            ASSERT_TRUE(Ok(std::string("rec-self serno=305 act=start path=") + c.take));
        }
        if (*c.fault) {
            ASSERT_TRUE(Ok(std::string("fault ") + c.fault + " path=/.cmd/fmls///sdc/kevrecfiles"));
        }
        fOwner.answers = c.answers;
        fOwner.rename = [&](CKvsRenDlg* d) {
            if (!c.typed) return LHandler::Send(LStdCtl_Selected, &d->fCancel, d);
            d->fName.SetText(LString(c.typed));
            LHandler::Send(LEditText_Change, &d->fName, d);
            LHandler::Send(LStdCtl_Selected, &d->fOk, d);
        };
        // A slow card: the first upload is under way when the rename begins.
        std::optional<CKvsFileJobQueue> jobs;
        if (!c.queued.empty()) {
            ASSERT_TRUE(Ok("set serno=305 pause-ms=4000 pause-every=1000"));
            jobs.emplace(nullptr, fQueue.get(), nullptr, nullptr, ContentsRecord(), nullptr);
        }
        for (const char* q : c.queued) {
            Put(fLocal.Path() + "/" + q, std::string(3000, *q));
            jobs->AddJob(0, LString((fLocal.Path() + "/" + q).c_str()));
        }
        if (jobs) {
            ASSERT_TRUE(Drive([&] { return !jobs->GetUploadName().IsEmpty(); })) << c.old;
        }
        const LString got =
            RenameDeviceFile(&fOwner, fQueue.get(), ContentsRecord(), LString(c.old), 0);
        EXPECT_EQ(Requests("/.cmd/fmmv"), c.request) << c.old << " " << c.said;
        EXPECT_STREQ(got.CStr(), c.result) << c.old;
        EXPECT_EQ(fOwner.Said(kFileOpTexts, 17), c.said) << c.old;
        // The uploads end as queued: each holds its own name, the renamed file its own.
        if (jobs) {
            ASSERT_TRUE(Drive([&] { return jobs->IsIdle(); })) << c.old;
            ASSERT_TRUE(Ok("set serno=305 pause-ms=0 pause-every=0"));
            for (const char* q : c.queued) {
                EXPECT_EQ(Get(Sdc(std::string("kevrecfiles/") + q)), std::string(3000, *q));
            }
            if (!*c.result) {
                EXPECT_EQ(Get(Sdc(std::string("kevrecfiles/") + c.old)), c.old);
            }
        }
        // Declined, every file stays as it was.
        if (!c.answers.empty() && !c.answers.front()) {
            for (const char* n : onCard) {
                EXPECT_EQ(Get(Sdc(std::string("kevrecfiles/") + n)), n);
            }
        }
        // Agreed, the renamed file holds the name; no two files read the same.
        if (*c.result) {
            EXPECT_EQ(Get(Sdc(std::string("kevrecfiles/") + c.result)), c.old);
        }
        std::set<std::string> keys;
        for (const auto& e : std::filesystem::directory_iterator(Sdc("kevrecfiles")))
            EXPECT_TRUE(keys.insert(CardNameKey(e.path().filename().c_str())).second)
                << c.old << " " << e.path().filename();
    }
}

// On a slow card, Late_gj.drc is dropped behind two big files, then dropped
// again: the name is only waiting, and the user agrees to replace it. The
// agreement holds for what that first upload puts in place, not for a file of
// the name another program writes meanwhile: then both uploads end as name
// taken and the card keeps the other program's file.
TEST_F(DevFiles, AReplacementAgreedCoversTheFileTheUserSaw) {
    const struct {
        const char* what;
        bool theirs;  // another program writes Late_gj.drc after the answer
        std::string ended;
    } cases[] = {
        {"nothing written meanwhile", false, ""},
        {"appeared after the user agreed", true, "Late_gj.drc=4 Late_gj.drc=4"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(Fresh());
        std::filesystem::remove_all(Sdc("kevrecfiles"));
        std::filesystem::create_directories(Sdc("kevrecfiles"));
        ASSERT_TRUE(Ok("set serno=305 pause-ms=4000 pause-every=1000"));
        CKvsFileJobQueue jobs(nullptr, fQueue.get(), nullptr, nullptr, ContentsRecord(), nullptr);
        for (const char* q : {"Big_1.drc", "Big_2.drc", "Late_gj.drc"}) {
            Put(fLocal.Path() + "/" + q, std::string(3000, *q));
            jobs.AddJob(0, LString((fLocal.Path() + "/" + q).c_str()));
        }
        ASSERT_TRUE(Drive([&] { return !jobs.GetUploadName().IsEmpty(); })) << c.what;
        // The second drop's check, as the drop pane makes it.
        CCardAhead card(fQueue.get(), ContentsRecord(), 0);
        card.SetQueuedAfter();
        ASSERT_TRUE(CheckCardNames(&fOwner, card, {"Late_gj.drc"})) << c.what;
        const std::vector<CardAgreement>& agreed = card.Agreements();
        EXPECT_STREQ(agreed[0].name.CStr(), "Late_gj.drc") << c.what;
        EXPECT_FALSE(agreed[0].listed.found) << c.what;
        EXPECT_EQ(agreed[0].queued.size(), 1u) << c.what;
        const std::string second = fLocal.Path() + "/a/Late_gj.drc";
        std::filesystem::create_directories(fLocal.Path() + "/a");
        Put(second, std::string(2000, 'M'));
        jobs.AddJob(0, LString(second.c_str()), agreed[0]);
        if (c.theirs) Put(Sdc("kevrecfiles/Late_gj.drc"), "theirs");
        ASSERT_TRUE(Drive([&] { return jobs.IsIdle(); })) << c.what;
        ASSERT_TRUE(Ok("set serno=305 pause-ms=0 pause-every=0"));
        std::string ended;
        LString path;
        for (u32 status; jobs.TakeFinished(&path, &status);)
            ended += (ended.empty() ? "" : " ") +
                     std::filesystem::path(path.CStr()).filename().string() + "=" +
                     std::to_string(status);
        EXPECT_EQ(ended, c.ended) << c.what;
        const std::string held = Get(Sdc("kevrecfiles/Late_gj.drc"));
        // Without the other program's file, the first upload's is replaced by the second's.
        EXPECT_EQ(held, c.theirs ? "theirs" : std::string(2000, 'M')) << c.what;
    }
}

// A take goes into the recordings folder alone: an audio file of its base
// name is no file of the take, and its check does not ask the device about it.
TEST_F(DevFiles, AnAudioFileOfTheTakesNameIsWritten) {
    ASSERT_TRUE(Fresh());
    ASSERT_TRUE(Ok("rec-self serno=305 act=start path=/sdc/kevrecfiles/REC0001.drc"));
    CCardAhead card(fQueue.get(), ContentsRecord(), 1);
    card.SetQueuedAfter();
    EXPECT_TRUE(CheckCardNames(&fOwner, card, {"REC0001.wav"}));
    EXPECT_TRUE(card.Agreed(0).name.IsEmpty());
    EXPECT_TRUE(card.Take().IsEmpty());
    EXPECT_EQ(fOwner.Said(kFileOpTexts, 17), "");
    EXPECT_EQ(Requests("/.cmd/udseqstat"), "");
    ASSERT_TRUE(Ok("chan-set serno=305 path=/.cmd/udseqstat/stat value=0"));
}

TEST_F(DevFiles, RenameDialogFiltersAsTyped) {
    CKvsRenDlg d(&fOwner);
    const struct {
        const char* typed;
        const char* shown;
        bool ok;
    } cases[] = {{"a/b", "a_b", true}, {"x:y.z", "x_y_z", true}, {".", "_", true}, {"", "", false}};
    for (const auto& c : cases) {
        d.fName.SetText(LString(c.typed));
        LHandler::Send(LEditText_Change, &d.fName, &d);
        EXPECT_STREQ(d.Name().CStr(), c.shown) << c.typed;
        EXPECT_EQ(d.fOk.IsUsable(), c.ok) << c.typed;
    }
    // An empty name is never confirmed.
    LHandler::Send(LStdCtl_Selected, &d.fOk, &d);
    EXPECT_EQ(d.Result(), 0u);
}

// ---------------------------------------------------------------- downloads

TEST_F(DevFiles, DownloadWritesWholeFilesOrNone) {
    Put(Sdc("kevrecfiles/a.drc"), std::string(3000, 'a'));
    Put(Sdc("kevrecfiles/e.drc"), "");
    Put(Sdc("kevrecfiles/c.drc"), "ccc");
    const std::string local = fLocal.Path() + "/";
    // Missing on the device: the others are written, the name reported.
    {
        ASSERT_TRUE(Fresh());
        DownloadDeviceFileNames(
            &fOwner, fQueue.get(),
            {{LString("a.drc"), 3000}, {LString("b.drc"), 9}, {LString("c.drc"), 3}}, 0,
            LocalUrl());
        EXPECT_EQ(Get(local + "a.drc"), std::string(3000, 'a'));
        EXPECT_EQ(Get(local + "b.drc"), "<none>");
        EXPECT_EQ(Get(local + "c.drc"), "ccc");
        EXPECT_EQ(fOwner.Said(kFileOpTexts, 12), "11:b.drc");
        EXPECT_EQ(fOwner.progress.front(), Text(kFileOpTexts, 5) + "a.drc, 0%|0");
    }
    // Existing local copies: asked about by name; declined, nothing is fetched.
    {
        ASSERT_TRUE(Fresh());
        fOwner.answers = {false};
        DownloadDeviceFileNames(
            &fOwner, fQueue.get(),
            {{LString("a.drc"), 3000}, {LString("e.drc"), 0}, {LString("c.drc"), 3}}, 0,
            LocalUrl());
        EXPECT_EQ(fOwner.Said(kFileOpTexts, 12), "4:a.drc, c.drc");
        EXPECT_EQ(Requests("/sdc"), "");
    }
    // An empty file shows 0% while it comes (its answer held back a while).
    {
        ASSERT_TRUE(Fresh());
        ASSERT_TRUE(Ok("fault delay ms=400 dir=out opcode=DATA"));
        DownloadDeviceFileNames(&fOwner, fQueue.get(), {{LString("e.drc"), 0}}, 0, LocalUrl());
        ASSERT_FALSE(fOwner.progress.empty());
        for (const std::string& p : fOwner.progress)
            EXPECT_EQ(p, Text(kFileOpTexts, 5) + "e.drc, 0%|0");
        EXPECT_EQ(Get(local + "e.drc"), "");
    }
    // Cancelled in the middle: the older copy stays, nothing partial is left.
    {
        ASSERT_TRUE(Fresh());
        Put(local + "a.drc", "old");
        Put(Sdc("kevrecfiles/a.drc"), std::string(200000, 'n'));
        ASSERT_TRUE(Ok("fault delay ms=300 dir=out opcode=DATA block=20-400"));
        fOwner.pressWhen = [&](CSimpleProgressDialog*) { return fOwner.progress.size() >= 3; };
        DownloadDeviceFileNames(&fOwner, fQueue.get(), {{LString("a.drc"), 200000}}, 0, LocalUrl());
        EXPECT_EQ(Get(local + "a.drc"), "old");
        EXPECT_EQ(fOwner.messages.size(), 1u);  // the question only
        u32 entries = 0;
        if (DIR* d = opendir(fLocal.Path().c_str())) {
            while (dirent* e = readdir(d)) entries += e->d_name[0] != '.';
            closedir(d);
        }
        EXPECT_EQ(entries, 3u);  // a.drc, c.drc, e.drc
        EXPECT_TRUE(fQueue->IsIdle());
    }
    // A device that goes quiet: no more files after it.
    {
        ASSERT_TRUE(Fresh());
        ASSERT_TRUE(Ok("fault drop dir=in opcode=RRQ path=/sdc/kevrecfiles/c.drc"));
        fOwner.answers = {true};
        DownloadDeviceFileNames(&fOwner, fQueue.get(),
                                {{LString("c.drc"), 3}, {LString("e.drc"), 0}}, 0, LocalUrl());
        EXPECT_EQ(fOwner.Said(kFileOpTexts, 12), "4:c.drc, e.drc 7");
        EXPECT_EQ(Requests("/sdc/kevrecfiles/e"), "");
    }
}

// What the kill and full-disk tests download: big enough to take a while.
std::string DeviceBytes() {
    std::string b(120000, 0);
    for (size_t i = 0; i < b.size(); ++i) b[i] = char('a' + i % 23);
    return b;
}

std::string Contents(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return "<none>";
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

std::string SelfExe() {
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, size_t(n)) : std::string();
}

// Downloads into $KV_LOCAL over and over, marking each for the killer; or, with
// KV_FULL set, once into a full disk, checking what is left.
TEST_F(DevFiles, DownloadChild) {
    const char* local = getenv("KV_LOCAL");
    if (!local) GTEST_SKIP() << "run by the kill and full-disk tests";
    Put(Sdc("kevrecfiles/a.drc"), DeviceBytes());
    LString url;
    PosixPathToFileUrl(&url, LString(local));
    const std::vector<NamedSize> files{{LString("a.drc"), u64(DeviceBytes().size())}};
    if (!getenv("KV_FULL")) {
        for (;;) {
            testkit::MarkSave('b');
            DownloadDeviceFileNames(&fOwner, fQueue.get(), files, 0, url);
            testkit::MarkSave('e');
        }
    }
    const std::string old = Get(std::string(local) + "/a.drc");
    ASSERT_TRUE(testkit::FillDisk(local, "filler"));
    DownloadDeviceFileNames(&fOwner, fQueue.get(), files, 0, url);
    EXPECT_EQ(Get(std::string(local) + "/a.drc"), old);
    // Asked about the old copy first when there is one; the failed name said at the end.
    EXPECT_EQ(fOwner.Said(kFileOpTexts, 12), old == "<none>" ? "11:a.drc" : "4:a.drc 11:a.drc");
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(local))
        names.insert(e.path().filename().string());
    EXPECT_EQ(names, (old == "<none>" ? std::set<std::string>{"filler"}
                                      : std::set<std::string>{"a.drc", "filler"}));
}

// Downloads killed at random moments, to new and existing local files: the file is
// the old or the new one, whole, or absent; nothing a user sees is left, and the
// hidden rest goes with the next sweep.
TEST(DownloadSafety, KilledDownloadsLeaveTheOldOrTheNewFile) {
    testtftp::TempDir dir;
    const std::string local = dir.Path() + "/local", runs = dir.Path() + "/runs";
    std::mt19937 rng(6121);
    const std::string fresh = DeviceBytes();
    u32 rounds = 0, midSave = 0, hidden = 0;
    for (const bool existing : {false, true}) {
        for (u32 i = 0; i < 5; ++i) {
            std::filesystem::remove_all(local);
            std::filesystem::remove_all(runs);
            std::filesystem::create_directories(local);
            std::filesystem::create_directories(runs);
            if (existing) std::ofstream(local + "/a.drc") << "old";
            const testkit::KillResult k = testkit::KillDuringSavesExec(
                {SelfExe(), "--gtest_filter=DevFiles.DownloadChild"},
                {"KV_LOCAL=" + local, "TMPDIR=" + runs}, 150000, 20000, rng);
            ASSERT_TRUE(k.started);
            ++rounds;
            midSave += k.midSave;
            const std::string got = Contents(local + "/a.drc");
            EXPECT_TRUE(got == fresh || got == (existing ? "old" : "<none>"))
                << "cut off: " << got.size() << " bytes";
            for (const auto& e : std::filesystem::directory_iterator(local)) {
                const std::string n = e.path().filename().string();
                EXPECT_TRUE(n == "a.drc" || n[0] == '.') << n;
                hidden += n[0] == '.';
            }
            LString url;
            PosixPathToFileUrl(&url, LString(local.c_str()));
            RemoveDeadTemporaries(url);
            for (const auto& e : std::filesystem::directory_iterator(local))
                EXPECT_EQ(e.path().filename().string(), "a.drc");
        }
    }
    std::printf("%u killed downloads, %u inside a download, %u hidden leftovers swept\n", rounds,
                midSave, hidden);
}

// A full disk (a small tmpfs in a mount namespace of the test's own): the download
// fails and says so, the old file stays, nothing partial is left.
TEST(DownloadSafety, FullDiskKeepsTheOldFile) {
    if (geteuid() != 0) GTEST_SKIP() << "needs a mount namespace";
    testtftp::TempDir dir;
    const std::string local = dir.Path() + "/local";
    for (const bool existing : {false, true}) {
        std::filesystem::create_directories(local);
        const std::string cmd =
            "unshare -m --propagation private sh -c 'mount -t tmpfs -o size=96k kvsmall " + local +
            (existing ? " && echo old >" + local + "/a.drc" : std::string()) +
            " && TMPDIR=" + dir.Path() + " KV_LOCAL=" + local + " KV_FULL=1 exec " + SelfExe() +
            " --gtest_filter=DevFiles.DownloadChild' >/dev/null 2>&1";
        EXPECT_EQ(system(cmd.c_str()), 0) << (existing ? "existing" : "new") << " file";
    }
}

TEST_F(DevFiles, ExportFetchesShowPathsBelowTheFolderOnly) {
    Put(Sdc("kevrecfiles/a.drc"), "show");
    Put(Sdc("PLAYSET.kvs"), "settings");
    ASSERT_EQ(mkdir((fLocal.Path() + "/kevrecfiles").c_str(), 0777), 0);
    CRecord* contents = ContentsRecord();
    NodeListInsertSorted(contents, 0, "a.drc", "4", "i");
    ASSERT_TRUE(Fresh());
    DownloadDeviceFiles(&fOwner, fQueue.get(), contents,
                        Names({"kevrecfiles/a.drc", "kevrecfiles/../../x", "PLAYSET.kvs"}),
                        LocalUrl());
    EXPECT_EQ(Get(fLocal.Path() + "/kevrecfiles/a.drc"), "show");  // into the existing folder
    EXPECT_EQ(Get(fLocal.Path() + "/PLAYSET.kvs"), "settings");
    EXPECT_FALSE(Exists(fLocal.Path() + "/kevrecfiles 2"));
    EXPECT_EQ(Requests("/sdc"), "/sdc/kevrecfiles/a.drc /sdc/PLAYSET.kvs");
    EXPECT_EQ(fOwner.Said(kFileOpTexts, 12), "11:kevrecfiles/../../x");
}

TEST_F(DevFiles, ConfirmationListsTheShow) {
    EXPECT_TRUE(ConfirmDeviceFileOp(&fOwner, {}));
    EXPECT_TRUE(fOwner.messages.empty());
    fOwner.answers = {false};
    EXPECT_FALSE(ConfirmDeviceFileOp(&fOwner, Names({"PLAYSET.kvs", "kevrecfiles/a.drc"})));
    const std::string names = "PLAYSET.kvs, kevrecfiles/a.drc", &asked = fOwner.messages.back();
    EXPECT_EQ(asked.substr(asked.size() - std::min(asked.size(), names.size())), names);
    // One file or many, the question reads right with its count.
    for (const char* one : {"PLAYSET.kvs"}) {
        fOwner.answers = {true};
        EXPECT_TRUE(ConfirmDeviceFileOp(&fOwner, Names({one})));
        const std::string& q = fOwner.messages.back();
        EXPECT_NE(q.find("(1)"), std::string::npos) << q;
        EXPECT_EQ(q.find("These 1"), std::string::npos) << q;
    }
}

// ---------------------------------------------------------------- USB storage

TEST_F(DevFiles, CopyToUmsPreparesClearsCopiesAndFlushes) {
    const std::string a = "///sdc/kevrecfiles/a.drc///ums/kevrecfiles/a.drc";
    Put(Sdc("kevrecfiles/a.drc"), "aaaa");
    Put(Sdc("kevrecfiles/b.drc"), "bbbb");
    // An empty list: the folders are still made, errors there ignored.
    ASSERT_TRUE(Fresh());
    ASSERT_EQ(mkdir(Ums("kevrecfiles").c_str(), 0777), 0);
    RunCopyToUms(&fOwner, fQueue.get(), {});
    EXPECT_EQ(Requests("/.cmd/f"),
              "/.cmd/fmls///ums /.cmd/fmls///ums/kevrecfiles "
              "/.cmd/fmrm///ums/kevrecfiles "
              "/.cmd/fmmkdir///ums/kevrecfiles /.cmd/fmmkdir///ums/audiofiles "
              "/.cmd/fsflush");
    EXPECT_EQ(fOwner.Said(kCopyUmsTexts, 11), "0 8");

    // A folder with a file: the file goes, then the folder, before the first copy.
    ASSERT_TRUE(Fresh());
    ASSERT_EQ(mkdir(Ums("show").c_str(), 0777), 0);
    Put(Ums("show/a.drc"), "old");
    Put(Ums(".hidden"), "h");
    ASSERT_TRUE(Ok("fm-set serno=305 cp-step=40"));
    ASSERT_TRUE(Ok("fm-cpstatus serno=305 text=37"));
    ASSERT_TRUE(Ok("fm-cpstatus serno=305 text=%20x"));
    RunCopyToUms(&fOwner, fQueue.get(), Names({"kevrecfiles/a.drc", "kevrecfiles/b.drc"}));
    EXPECT_EQ(FmLog(),
              "rm:/ums/.hidden rm:/ums/audiofiles rm:/ums/kevrecfiles rm:/ums/show/a.drc "
              "rm:/ums/show mkdir:/ums/kevrecfiles "
              "mkdir:/ums/audiofiles cp:/sdc/kevrecfiles/a.drc cpstatus:/sdc/kevrecfiles/a.drc "
              "cp:/sdc/kevrecfiles/b.drc cpstatus:/sdc/kevrecfiles/b.drc");
    EXPECT_EQ(Get(Ums("kevrecfiles/a.drc")), "aaaa");
    EXPECT_EQ(Get(Ums("kevrecfiles/b.drc")), "bbbb");
    EXPECT_EQ(Requests("/.cmd/fmcp/"), "/.cmd/fmcp" + a +
                                           " /.cmd/fmcp///sdc/kevrecfiles/b.drc"
                                           "///ums/kevrecfiles/b.drc");
    std::string shown;
    for (const std::string& p : fOwner.progress)
        if (p.rfind(Text(kCopyUmsTexts, 4) + ":", 0) == 0 && shown.find(p) == std::string::npos)
            shown += p + ";";
    const std::string c = Text(kCopyUmsTexts, 4) + ": ";
    EXPECT_EQ(shown, c + "a.drc 37%|37;" + c + "a.drc 0%|0;" + c + "a.drc 40%|40;" + c +
                         "a.drc 80%|80;" + c + "a.drc 100%|100;" + c + "b.drc 40%|140;" + c +
                         "b.drc 80%|180;" + c + "b.drc 100%|200;");
    EXPECT_EQ(fOwner.Said(kCopyUmsTexts, 11), "0 8");
    EXPECT_EQ(Requests("/.cmd/fmcpstop"), "");
}

TEST_F(DevFiles, CopyStatusRepliesAndCancels) {
    Put(Sdc("kevrecfiles/a.drc"), "aaaa");
    Put(Sdc("kevrecfiles/b.drc"), "bbbb");
    const std::string cp = "/.cmd/fmcp///sdc/kevrecfiles/a.drc///ums/kevrecfiles/a.drc";
    const std::string cpB = "/.cmd/fmcp///sdc/kevrecfiles/b.drc///ums/kevrecfiles/b.drc";
    const std::string stop = "/.cmd/fmcpstop" + cp.substr(10), failed = "0 7:kevrecfiles/a.drc";
    const std::string wrq = "dir=in opcode=WRQ path=" + cp;
    const struct {
        const char* what;
        std::vector<std::string> statuses;
        std::string fault;
        int pressAfterCp;  // press Cancel on that turn after the copy command was seen; -1 never
        std::string copies, stops, said;
    } cases[] = {
        {"no room", {"%20%20-4"}, "", -1, cp, "", "0 6"},
        {"failed", {"-2"}, "", -1, cp, stop, failed},
        {"an ERROR answer moves on", {"error"}, "", -1, cp + " " + cpB, "", "0 8"},
        {"copy refused", {}, "error code=1 " + wrq, -1, cp, stop, failed},
        {"cancel while the copy waits", {}, "drop " + wrq, 0, cp, "", "0"},
        {"cancelled while polling", {"10", "20", "30"}, "", 2, cp, stop, "0"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(Fresh());
        for (const std::string& s : c.statuses) {
            ASSERT_TRUE(Ok("fm-cpstatus serno=305 " +
                           (s == "error" ? std::string("error=1") : "text=" + s)));
        }
        if (!c.fault.empty()) {
            ASSERT_TRUE(Ok("fault " + c.fault));
        }
        size_t turnsAfterCp = 0;
        fOwner.pressWhen = [&](CSimpleProgressDialog*) {
            if (c.pressAfterCp < 0 || Requests("/.cmd/fmcp/").empty()) return false;
            return int(turnsAfterCp++) == c.pressAfterCp;
        };
        RunCopyToUms(&fOwner, fQueue.get(), Names({"kevrecfiles/a.drc", "kevrecfiles/b.drc"}));
        std::string copies = Requests("/.cmd/fmcp/");
        if (c.fault.find("drop") != std::string::npos) copies = copies.substr(0, copies.find(' '));
        EXPECT_EQ(copies, c.copies) << c.what;
        EXPECT_EQ(Requests("/.cmd/fmcpstop"), c.stops) << c.what;
        EXPECT_EQ(fOwner.Said(kCopyUmsTexts, 11), c.said) << c.what;
        if (!c.stops.empty()) {
            EXPECT_FALSE(fOwner.cancelEnabled.back()) << c.what;  // no second stop
        }
        EXPECT_TRUE(fQueue->IsIdle()) << c.what;
    }
}

// The session's end (a signal) while a file step waits on the device, near,
// 400 ms away or silent: the wait stops at its next turn rather than waiting on
// for the device, and the step is given up whole: no listing merged, the older
// copy of a download kept and nothing partial beside it, no request left queued.
TEST_F(DevFiles, AWaitOnTheDeviceStopsAtTheSessionsEnd) {
    auto app = std::make_unique<CMainLoopBase>();
    CMainLoop* loop = app->RunLoop();
    enum Wait { kListing, kDownload, kRequest, kUmsCopy };
    const char* const kWaits[] = {"listing read", "download", "file request", "USB copy"};
    const struct Device {
        const char* what;
        std::string fault;
    } devices[] = {
        {"near", "fault delay ms=40 dir=out"},
        {"400 ms away", "fault delay ms=400 dir=out"},
        {"silent", "fault drop serno=305 dir=in"},
    };
    const std::string local = fLocal.Path() + "/";
    for (const Wait wait : {kListing, kDownload, kRequest, kUmsCopy}) {
        for (const Device& d : devices) {
            // A lone request to a near device is answered before the end can
            // come, and so is the USB copy's first one from a device 400 ms away.
            if (wait != kDownload && d.what == devices[0].what) continue;
            if (wait == kUmsCopy && d.what == devices[1].what) continue;
            SCOPED_TRACE(std::string(kWaits[wait]) + ", " + d.what);
            ASSERT_TRUE(Fresh());
            Put(Sdc("kevrecfiles/a.drc"), std::string(200000, 'n'));
            Put(local + "a.drc", "old");
            ASSERT_TRUE(Ok(d.fault));
            u32 endAt = 0;
            fOwner.pressWhen = [&](CSimpleProgressDialog*) {
                if (!endAt && fOwner.progress.size() >= (wait == kDownload ? 3u : 1u)) {
                    loop->fEndForced = loop->fEnding = 1;
                    endAt = LTickMs();
                }
                return false;
            };
            i32 outcome = -1;
            CRecordDoc contents(NewDeviceContentsRecord());
            if (wait == kListing) {
                CSimpleProgressDialog progress(&fOwner, LPaneOpt::Window(kWindowDialog, 2));
                outcome = i32(ReadListingModal(&progress, fQueue.get(), contents.Root(), 0));
            } else if (wait == kDownload) {
                fOwner.answers = {true};  // the older copy may be replaced
                DownloadDeviceFileNames(&fOwner, fQueue.get(), {{LString("a.drc"), 200000}}, 0,
                                        LocalUrl());
            } else if (wait == kRequest) {
                CSimpleProgressDialog progress(&fOwner, LPaneOpt::Window(kWindowDialog, 2));
                FileOpOutcome o;
                outcome = RunFileRequest(&progress, fQueue.get(),
                                         "/.cmd/fmrm//sdc/kevrecfiles/a.drc", &o);
            } else {
                RunCopyToUms(&fOwner, fQueue.get(), Names({"kevrecfiles/a.drc"}));
            }
            const u32 after = LTickMs() - endAt;
            loop->fEndForced = loop->fEnding = 0;
            ASSERT_NE(endAt, 0u) << "the step ended before the end came";
            std::printf("%s, %s: stopped %u ms after the end\n", kWaits[wait], d.what, after);
            EXPECT_LE(after, 1000u) << "the wait went on for the device";
            EXPECT_TRUE(fQueue->IsIdle());
            if (wait == kListing) {
                EXPECT_EQ(outcome, i32(kListingCancelled));
                EXPECT_EQ(NodeListCount(contents.Root(), 0), 0u);
            }
            if (wait == kRequest) {
                EXPECT_EQ(outcome, kFileReqCancelled);
            }
            if (wait == kDownload) {
                EXPECT_TRUE(Get(local + "a.drc") == "old") << "the older copy was replaced";
                u32 entries = 0;
                if (DIR* dir = opendir(fLocal.Path().c_str())) {
                    while (dirent* e = readdir(dir)) entries += e->d_name[0] != '.';
                    closedir(dir);
                }
                EXPECT_EQ(entries, 1u) << "a partial download was left";
            }
            ASSERT_TRUE(Ok("fault-clear"));
        }
    }
}

TEST_F(DevFiles, FormattingOnlyForARefusedStorageAndWithConsent) {
    Put(Sdc("kevrecfiles/a.drc"), "aaaa");
    const std::string unreadable = "fm-set serno=305 ums=unreadable", mkfs = "/.cmd/fmmkfs//ums";
    const struct {
        const char* what;
        std::string setup;  // sim command or fault
        std::deque<bool> answers;
        std::string formats, said;
    } cases[] = {
        {"unreadable, agreed", unreadable, {true, true}, mkfs, "0 9 8"},
        {"unreadable, declined", unreadable, {true, false}, "", "0 9"},
        {"format fails", "fm-set serno=305 ums=absent", {true, true}, mkfs, "0 9 5"},
        {"no answer", "fault drop dir=in opcode=RRQ path=/.cmd/fmls///ums", {}, "", "0 1"},
        {"a folder below refused",
         "fault error code=1 dir=in opcode=RRQ path=/.cmd/fmls///ums/show",
         {},
         "",
         "0 10:/ums/show"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(Fresh());
        ASSERT_TRUE(Ok(c.setup));
        mkdir(Ums("show").c_str(), 0777);
        fOwner.answers = c.answers;
        RunCopyToUms(&fOwner, fQueue.get(), Names({"kevrecfiles/a.drc"}));
        std::string formats = Requests("/.cmd/fmmkfs");
        formats = formats.substr(0, formats.find(' '));
        EXPECT_EQ(formats, c.formats) << c.what;
        EXPECT_EQ(fOwner.Said(kCopyUmsTexts, 11), c.said) << c.what;
        if (c.formats.empty()) {
            EXPECT_EQ(Requests("/.cmd/fmcp"), "") << c.what;
        }
        EXPECT_TRUE(fQueue->IsIdle()) << c.what;
    }
}

TEST_F(DevFiles, CopyRefusesBadPathsAndDeepFolders) {
    ASSERT_TRUE(Fresh());
    RunCopyToUms(&fOwner, fQueue.get(), Names({"kevrecfiles/a.drc", "kevrecfiles/../../x"}));
    EXPECT_EQ(fOwner.Said(kCopyUmsTexts, 11), "0 7:kevrecfiles/../../x");
    EXPECT_EQ(Requests("/"), "");

    ASSERT_TRUE(Fresh());
    std::string deep = Ums("d");
    ASSERT_EQ(mkdir(deep.c_str(), 0777), 0);
    for (u32 i = 0; i < kUmsMaxDepth + 1; ++i) ASSERT_EQ(mkdir((deep += "/d").c_str(), 0777), 0);
    RunCopyToUms(&fOwner, fQueue.get(), {});
    std::string path = "/ums";
    for (u32 i = 0; i < kUmsMaxDepth + 1; ++i) path += "/d";
    EXPECT_EQ(fOwner.Said(kCopyUmsTexts, 11), "0 10:" + path);
    EXPECT_EQ(Requests("/.cmd/fmrm"), "");
    EXPECT_EQ(Requests("/.cmd/fmmkfs"), "");
}

// Entries the storage lists that cannot be one component of a path are never
// joined into a removal; hidden ones are removed like the rest.
TEST_F(DevFiles, UmsEntriesThatWouldLeaveTheFolderAreSkipped) {
    ASSERT_TRUE(Fresh());
    Put(Ums(".x"), "h");
    for (const char* line : {"../sdc,4,f", "a%2Fb,1,f", "%2E%2E,", "bad%7F,1,f", "q%01,1,f"})
        ASSERT_TRUE(Ok(std::string("fm-umsline serno=305 folder=/ums text=") + line));
    RunCopyToUms(&fOwner, fQueue.get(), {});
    EXPECT_EQ(Requests("/.cmd/fmrm"), "/.cmd/fmrm///ums/.x");
    EXPECT_EQ(fOwner.Said(kCopyUmsTexts, 11), "0 8");
    EXPECT_TRUE(Exists(Sdc("kevrecfiles")));
}

// A folder whose listing request cannot even be built ends the copy; it never formats.
TEST_F(DevFiles, AnUnlistableFolderNeverFormats) {
    ASSERT_TRUE(Fresh());
    std::string deep = Ums("");
    const std::string part(200, 'n');
    for (int i = 0; i < 3; ++i) ASSERT_EQ(mkdir((deep += "/" + part).c_str(), 0777), 0) << deep;
    RunCopyToUms(&fOwner, fQueue.get(), {});
    const std::string said = fOwner.Said(kCopyUmsTexts, 11);
    EXPECT_EQ(said.substr(0, 5), "0 10:") << said;
    EXPECT_EQ(Requests("/.cmd/fmmkfs"), "");
    EXPECT_EQ(Requests("/.cmd/fmmkdir"), "");
}

// Declining the first question sends nothing at all.
TEST_F(DevFiles, CopyDeclinedSendsNothing) {
    ASSERT_TRUE(Fresh());
    fOwner.answers = {false};
    RunCopyToUms(&fOwner, fQueue.get(), Names({"kevrecfiles/a.drc"}));
    EXPECT_EQ(Requests("/"), "");
    EXPECT_EQ(fOwner.Said(kCopyUmsTexts, 11), "0");
}

}  // namespace
