// The device file job queue against the simulated device, with a conversion
// double that runs on a pool thread and arms the queue's timer from there.

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <set>

#include "base/Clock.h"
#include "base/Threads.h"
#include "devlink/FileJobQueue.h"
#include "devlink/CDevRequestQueue.h"
#include "services/RunLoop.h"
#include "tests/devlink/FileLinkTestUtil.h"
#include "tests/devlink/FileTestUtil.h"

using filetest::ReadFile;

namespace {

// Copies the source; fails for "bad" names, does not start for "norun" ones,
// and keeps running while held.
class FakeConv : public MAudioConvJob {
public:
    ~FakeConv() override { Reset(); }
    bool Start(const LString& src, const LString& dst, const VideoConvSettings&, u32, void* context,
               LConvDoneFn done) override {
        if (std::strstr(src.CStr(), "norun")) return false;
        fSrc = src.CStr(), fDst = dst.CStr(), fContext = context, fDone = done;
        fState = kRunning, fWorking = true;
        return CThreadPool::Global().RunJob(this, Work) != nullptr;
    }
    u32 PollState() override { return fState; }
    f32 GetProgress() override { return fState == kRunning ? 0.5f : 1.0f; }
    void Reset() override {
        for (hold = false; fWorking;) SleepMs(1);
        fState = kIdle;
    }
    std::atomic<bool> hold{false};

private:
    static void Work(void* self) {
        auto* c = static_cast<FakeConv*>(self);
        while (c->hold) SleepMs(1);
        const bool bad = c->fSrc.find("bad") != std::string::npos;
        if (!bad) filetest::WriteFile(c->fDst, ReadFile(c->fSrc));
        c->fState = bad ? kFailed : kDone;
        c->fDone(c->fContext);
        c->fWorking = false;
    }
    std::atomic<u32> fState{kIdle};
    std::atomic<bool> fWorking{false};
    std::string fSrc, fDst;
    void* fContext;
    LConvDoneFn fDone;
};

class FileJobs : public filelink::FileLinkTest {
protected:
    void SetUp() override {
        FileLinkTest::SetUp();
        if (HasFatalFailure()) return;
        fCmd = std::make_unique<CRecordDoc>(CRecord::New(CRecordSchema::Find(kFamKvt, kKindDvcm)));
        fCmd->AddListener(this, [](void* self, CRecordNote* n) {
            if (n->field == DvcmF::frfl) static_cast<FileJobs*>(self)->fPulses.push_back(LTickMs());
        });
        fContents->AddListener(this, [](void* self, CRecordNote* n) {
            if (n->field == DctsF::listChanged) ++static_cast<FileJobs*>(self)->fSignals;
        });
    }
    void TearDown() override {
        fJobs.reset(), fChannel.reset(), fChannelQueue.reset();
        FileLinkTest::TearDown();
    }
    // serial: the command channel's own queue, of a device not in the set, so
    // that it stays busy while the device queue is free.
    CKvsFileJobQueue& Open(u32 serial = 0) {
        CReqQueue* q = fQueue.get();
        if (serial) q = (fChannelQueue = std::make_unique<CReqQueue>(&fSet, serial)).get();
        fChannel = std::make_unique<CDevRequestQueue>(q, fCmd->Root(), "/.cmd/udkvtcmd",
                                                      CDevRequestQueue::NoRereadContext(), nullptr);
        fJobs = std::make_unique<CKvsFileJobQueue>(nullptr, fQueue.get(), fCmd->Root(),
                                                   fChannel.get(), ContentsRecord(), &fConv);
        return *fJobs;
    }
    // The agreement to replace name of the folder as the simulated device lists it now.
    CardAgreement Seen(const std::string& folder, const char* name) {
        CardAgreement a;
        a.name = LString(name);
        struct stat st;
        if (stat(Sdc(folder + name).c_str(), &st) != 0) return a;
        a.listed.found = true;
        a.listed.size = u64(st.st_size);
        a.listed.change = LString((std::to_string(st.st_mtim.tv_sec) + "." +
                                   std::to_string(st.st_mtim.tv_nsec) + "-" +
                                   std::to_string(st.st_ino))
                                      .c_str());
        return a;
    }
    LString Local(const std::string& name, size_t size = 3000) {
        filetest::WriteFile(fLocal.Path() + "/" + name, std::vector<u8>(size, u8(name.size())));
        return LString((fLocal.Path() + "/" + name).c_str());
    }
    bool Done(u32 n) {
        return Drive([&] { return fJobs->IsIdle() && fJobs->JobsFinished() >= n; });
    }
    bool Uploading() {
        return Drive([&] { return !fJobs->GetUploadName().IsEmpty(); });
    }
    // The write requests in order: F for a pulse, U for an upload.
    std::string Writes() {
        std::string s;
        for (const std::string& l : LogOf("req"))
            if (Field(l, "op") == "WRQ" && Field(l, "ans") != "again")
                s += Field(l, "path") == "/.cmd/udkvtcmd/frfl" ? "F" : "U";
        return s;
    }
    // The finished jobs as taken, oldest first.
    std::vector<std::string> Taken() {
        std::vector<std::string> all;
        LString path;
        for (u32 status; fJobs->TakeFinished(&path, &status);)
            all.push_back(std::filesystem::path(path.CStr()).filename().string() + "=" +
                          std::to_string(status));
        return all;
    }

    testtftp::TempDir fLocal;
    FakeConv fConv;
    std::unique_ptr<CRecordDoc> fCmd;
    std::unique_ptr<CReqQueue> fChannelQueue;
    std::unique_ptr<CDevRequestQueue> fChannel;
    std::unique_ptr<CKvsFileJobQueue> fJobs;
    std::vector<u32> fPulses;
    u32 fSignals = 0;
};

TEST_F(FileJobs, NamesKindsAndConversion) {
    CKvsFileJobQueue& q = Open();
    for (const char* f : {"A.DRC", "a.txt", "b.mp3", "Cafe\xCC\x81.drc"}) q.AddJob(0, Local(f));
    q.AddJob(2, Local("x.drc"));
    q.AddJob(1, Local("Song.aiff"));
    for (int i = 0; i < 7; ++i) q.AddJob(0, Local("r" + std::to_string(i) + ".drc"));
    // Agreed to replace a file the card holds in other capitals: onto that one.
    filetest::WriteFile(Sdc("kevrecfiles/LOUD.DRC"), std::vector<u8>(10, 1));
    q.AddJob(0, Local("Loud.drc"), Seen("kevrecfiles/", "LOUD.DRC"));
    EXPECT_EQ(q.JobsAdded(), 13u);
    ASSERT_TRUE(Done(13));
    EXPECT_EQ(ReadFile(Sdc("kevrecfiles/LOUD.DRC")), ReadFile(fLocal.Path() + "/Loud.drc"));
    EXPECT_FALSE(std::filesystem::exists(Sdc("kevrecfiles/Loud.drc")));
    EXPECT_EQ(ReadFile(Sdc("kevrecfiles/A.drc")), ReadFile(fLocal.Path() + "/A.DRC"));
    EXPECT_EQ(ReadFile(Sdc("audiofiles/Song.wav")), ReadFile(fLocal.Path() + "/Song.aiff"));
    EXPECT_TRUE(std::filesystem::exists(Sdc("kevrecfiles/Caf\xC3\xA9.drc")));
    EXPECT_EQ(Taken(), (std::vector<std::string>{"a.txt=1", "b.mp3=1"})) << "successes only count";
    EXPECT_EQ(Writes(), "FUFUFUFUFUFUFUFUFUFUFU") << "one at a time, each after its own pulse";
    EXPECT_EQ(fSignals, 11u);
}

TEST_F(FileJobs, BusyChannelDelaysTheUploadAboutOneSecondAtMost) {
    CKvsFileJobQueue& q = Open(999);
    ASSERT_TRUE(Ok("fault delay ms=300 dir=in opcode=WRQ"));  // the upload stays in flight
    q.AddJob(0, Local("a.drc"));
    ASSERT_TRUE(Settle([&] { return fPulses.size() == 1; }));
    q.CancelAll();  // while the channel is awaited: the next upload still gets its own pulse
    q.AddJob(0, Local("b.drc"));
    ASSERT_TRUE(Uploading());
    const u32 waited = LTickMs() - fPulses.back();
    EXPECT_EQ(fPulses.size(), 2u);
    EXPECT_TRUE(waited >= 900 && waited <= 1100) << waited;
    EXPECT_STREQ(q.GetUploadName().CStr(), "b.drc");
}

TEST_F(FileJobs, FailuresCountsProgressAndCancel) {
    CKvsFileJobQueue& q = Open();
    ASSERT_TRUE(Ok("fault error code=2 dir=in opcode=WRQ path=/sdc/kevrecfiles/refused.drc"));
    q.AddJob(0, Local("refused.drc"));
    q.AddJob(0, LString((fLocal.Path() + "/missing.drc").c_str()));
    q.AddJob(1, Local("bad.aiff"));
    q.AddJob(1, Local("norun.aiff"));
    q.AddJob(0, Local("fine.drc"));
    ASSERT_TRUE(Done(5));
    auto taken = Taken();
    std::sort(taken.begin(), taken.end());
    EXPECT_EQ(taken, (std::vector<std::string>{"bad.aiff=1", "missing.drc=2", "norun.aiff=1",
                                               "refused.drc=2"}));
    EXPECT_EQ(fSignals, 2u) << "signalled after the refused upload too";
    q.ClearDone();
    EXPECT_EQ(q.JobsAdded() + q.JobsFinished(), 0u);

    // An empty file in flight counts as sent and as pending; a cancelled upload is not read.
    ASSERT_TRUE(Ok("fault delay ms=400 dir=in opcode=WRQ"));
    q.AddJob(0, Local("empty.drc", 0));
    ASSERT_TRUE(Uploading());
    EXPECT_TRUE(q.GetUploadProgress() == 1.0f && q.JobsAdded() - q.JobsFinished() == 1);
    ASSERT_TRUE(Done(1));
    fConv.hold = true;
    q.AddJob(1, Local("held.aiff"));
    q.AddJob(0, Local("big.drc", 2000000));
    ASSERT_TRUE(Uploading());
    EXPECT_TRUE(q.GetConvertName() == LString((fLocal.Path() + "/held.aiff").c_str()) &&
                q.GetConvertProgress() == 0.5f);
    q.CancelAll();
    EXPECT_TRUE(q.GetUploadProgress() == 0 && q.IsIdle() && q.GetConvertName().IsEmpty() &&
                q.JobsAdded() == 0);
}

// Another program, or a command of this one, writes a name after the drop was
// checked and before its upload starts: the upload reads the folder again and
// replaces only the file the user agreed to, or ends, said, and the card keeps
// what it holds.
TEST_F(FileJobs, AnUploadChecksItsNameJustBeforeItStarts) {
    const struct {
        const char* what;
        u32 kind;
        const char* local;
        const char* agreed;
        std::vector<const char*> written;  // on the card once the job is queued
        u32 status;
        const char* onto = "";  // the card's file that holds the upload
        const char* fault = "";
        // On the card when the user agreed (the agreed one as listed then).
        std::vector<const char*> seen = {};
        // An upload of the same name queued before, which the user agreed to
        // replace, and how it ends.
        bool queuedFirst = false;
        u32 firstStatus = CKvsFileJobQueue::kUploaded;
        // The take the device begins by itself once the job is queued, with no
        // view reading its status: the take goes onto its name at its stop.
        const char* take = "";
    } cases[] = {
        {"written meanwhile", 0, "Race_gj.drc", "", {"Race_gj.drc"}, CKvsFileJobQueue::kNameTaken},
        {"in other capitals", 0, "Race_gj.drc", "", {"RACE_GJ.DRC"}, CKvsFileJobQueue::kNameTaken},
        {"decomposed",
         0,
         "B\xC3\xBChne.drc",
         "",
         {"Bu\xCC\x88hne.drc"},
         CKvsFileJobQueue::kNameTaken},
        {"audio converted", 1, "Tune_d.aiff", "", {"tune_d.wav"}, CKvsFileJobQueue::kNameTaken},
        {"of another extension",
         0,
         "Race_gj.drc",
         "",
         {"Race_gj.wav"},
         CKvsFileJobQueue::kUploaded,
         "Race_gj.drc"},
        {"the agreed one, as listed then",
         0,
         "Race_gj.drc",
         "Race_gj.drc",
         {},
         CKvsFileJobQueue::kUploaded,
         "Race_gj.drc",
         "",
         {"Race_gj.drc"}},
        {"the agreed one, written again since",
         0,
         "Race_gj.drc",
         "Race_gj.drc",
         {"Race_gj.drc"},
         CKvsFileJobQueue::kNameTaken,
         "",
         "",
         {"Race_gj.drc"}},
        // The name agreed to, with no file of it then: one that came is new.
        {"appeared after the user agreed",
         0,
         "Race_gj.drc",
         "Race_gj.drc",
         {"Race_gj.drc"},
         CKvsFileJobQueue::kNameTaken},
        // Agreed to replace what an upload queued then would write: its file, once
        // in place, goes; another program's of that name, written first, does not.
        {"the queued one agreed, in place",
         0,
         "Race_gj.drc",
         "Race_gj.drc",
         {},
         CKvsFileJobQueue::kUploaded,
         "Race_gj.drc",
         "",
         {},
         true},
        {"appeared after the user agreed to a queued one",
         0,
         "Race_gj.drc",
         "Race_gj.drc",
         {"Race_gj.drc"},
         CKvsFileJobQueue::kNameTaken,
         "",
         "",
         {},
         true,
         CKvsFileJobQueue::kNameTaken},
        {"the queued audio agreed, in place",
         1,
         "Tune_d.aiff",
         "Tune_d.wav",
         {},
         CKvsFileJobQueue::kUploaded,
         "Tune_d.wav",
         "",
         {},
         true},
        {"the agreed one gone, another in its place",
         0,
         "Race_gj.drc",
         "Race_gj.drc",
         {"race_gj.drc"},
         CKvsFileJobQueue::kNameTaken},
        {"two that read the same, the exact one agreed",
         0,
         "TWIN.drc",
         "TWIN.drc",
         {},
         CKvsFileJobQueue::kUploaded,
         "TWIN.drc",
         "",
         {"Twin.drc", "TWIN.drc"}},
        {"the folder not read",
         0,
         "Race_gj.drc",
         "",
         {},
         CKvsFileJobQueue::kNotSent,
         "",
         "error code=1 dir=in opcode=RRQ count=1"},
        {"a take the device began since",
         0,
         "REC0101.drc",
         "",
         {},
         CKvsFileJobQueue::kNameTaken,
         "",
         "",
         {},
         false,
         CKvsFileJobQueue::kUploaded,
         "/sdc/kevrecfiles/REC0101.drc"},
        {"the take's name in other capitals",
         0,
         "rec0101.DRC",
         "",
         {},
         CKvsFileJobQueue::kNameTaken,
         "",
         "",
         {},
         false,
         CKvsFileJobQueue::kUploaded,
         "/sdc/kevrecfiles/REC0101.drc"},
        {"a take of another name",
         0,
         "Race_gj.drc",
         "",
         {},
         CKvsFileJobQueue::kUploaded,
         "Race_gj.drc",
         "",
         {},
         false,
         CKvsFileJobQueue::kUploaded,
         "/sdc/kevrecfiles/REC0101.drc"},
        {"the device's status not read",
         0,
         "Race_gj.drc",
         "",
         {},
         CKvsFileJobQueue::kNotSent,
         "",
         "error code=1 dir=in opcode=RRQ path=/.cmd/udseqstat/ count=1"},
    };
    for (const auto& c : cases) {
        std::filesystem::remove_all(Sdc("kevrecfiles"));
        std::filesystem::remove_all(Sdc("audiofiles"));
        std::filesystem::create_directories(Sdc("kevrecfiles"));
        std::filesystem::create_directories(Sdc("audiofiles"));
        CKvsFileJobQueue& q = Open();
        if (*c.fault) {
            ASSERT_TRUE(Ok(std::string("fault ") + c.fault)) << c.what;
        }
        ASSERT_TRUE(Ok("chan-set serno=305 path=/.cmd/udseqstat/stat value=0"));
        const std::string folder = c.kind == 1 ? "audiofiles/" : "kevrecfiles/";
        // Seen files are another size than those written later.
        const std::vector<u8> theirs(100, 0x77), seen(120, 0x66);
        for (const char* w : c.seen) filetest::WriteFile(Sdc(folder + w), seen);
        CardAgreement agreed = Seen(folder, c.agreed);
        if (c.queuedFirst) {
            q.AddJob(c.kind, Local(c.local));
            agreed.queued.push_back(QueuedCardFiles(fQueue.get(), c.kind).at(0).job);
        }
        q.AddJob(c.kind, Local(c.local), agreed);
        // Queued, it is part of the card as it will be; the folder it writes is its kind's.
        EXPECT_EQ(QueuedCardFiles(fQueue.get(), c.kind).size(), c.queuedFirst ? 2u : 1u)
            << c.what;
        EXPECT_TRUE(QueuedCardFiles(fQueue.get(), 1 - c.kind).empty()) << c.what;
        for (const char* w : c.written) filetest::WriteFile(Sdc(folder + w), theirs);
        if (*c.take) {
            ASSERT_TRUE(Ok(std::string("rec-self serno=305 act=start path=") + c.take));
        }
        ASSERT_TRUE(Done(c.queuedFirst ? 2 : 1)) << c.what;
        std::vector<std::string> ended;
        for (u32 s : {c.queuedFirst ? c.firstStatus : CKvsFileJobQueue::kUploaded, c.status})
            if (s != CKvsFileJobQueue::kUploaded)
                ended.push_back(std::string(c.local) + "=" + std::to_string(s));
        EXPECT_EQ(Taken(), ended) << c.what;
        EXPECT_TRUE(QueuedCardFiles(fQueue.get(), c.kind).empty()) << c.what;
        ASSERT_TRUE(fSim.WaitIdle(10000));
        // Every file but the one agreed to keeps what it held; the upload went nowhere else.
        for (const char* w : c.written)
            if (std::strcmp(w, c.onto) != 0) {
                EXPECT_EQ(ReadFile(Sdc(folder + w)), theirs) << c.what << " " << w;
            }
        for (const char* w : c.seen)
            if (std::strcmp(w, c.onto) != 0 &&
                std::find_if(c.written.begin(), c.written.end(), [&](const char* x) {
                    return std::strcmp(x, w) == 0;
                }) == c.written.end()) {
                EXPECT_EQ(ReadFile(Sdc(folder + w)), seen) << c.what << " " << w;
            }
        std::set<std::string> expected(c.written.begin(), c.written.end()), held;
        expected.insert(c.seen.begin(), c.seen.end());
        if (*c.onto) expected.insert(c.onto);
        for (const auto& e : std::filesystem::directory_iterator(Sdc(folder)))
            held.insert(e.path().filename().string());
        EXPECT_EQ(held, expected) << c.what;
        if (*c.onto) {
            EXPECT_EQ(ReadFile(Sdc(folder + c.onto)), ReadFile(fLocal.Path() + "/" + c.local))
                << c.what;
        }
        fJobs.reset();
    }
}

// The device drops block 3 for arriving before block 2, and the two acknowledgements
// come back in the order of the blocks: the transfer looks complete, the device never
// completed the file. The job fails with its own status, whether the folder held
// nothing of that name or an older file of the same size, which stays as it was.
// Without the folder as it was before, nothing can confirm an upload.
struct Hole {
    const char* name;
    bool older;  // an older file of the same name and size is on the device
    std::vector<const char*> rules;
    u32 status;
    bool arrives = false;  // the file does reach the device
};
const Hole kHoles[] = {
    {"FreshFolder",
     false,
     {"reorder dir=in opcode=DATA block=2 count=1", "reorder dir=out opcode=ACK block=3 count=1"},
     CKvsFileJobQueue::kNotConfirmed},
    {"OverAnOlderFileOfTheSameSize",
     true,
     {"reorder dir=in opcode=DATA block=2 count=1", "reorder dir=out opcode=ACK block=3 count=1"},
     CKvsFileJobQueue::kNotConfirmed},
    {"ListingBeforeUnanswered",
     true,
     {"error code=1 dir=in opcode=RRQ path=/.cmd/fmls///sdc/kevrecfiles skip=1 count=1"},
     CKvsFileJobQueue::kNotConfirmed,
     true},
    {"NothingGoesWrong", true, {}, CKvsFileJobQueue::kUploaded},
};

class Holes : public FileJobs, public ::testing::WithParamInterface<Hole> {};

TEST_P(Holes, UploadCountsOnlyWhenTheDeviceListsItInPlace) {
    const Hole& h = GetParam();
    CKvsFileJobQueue& q = Open();
    ASSERT_TRUE(Ok("set serno=305 idle=300"));
    const std::vector<u8> old(3000, 0x55);
    if (h.older) filetest::WriteFile(Sdc("kevrecfiles/h.drc"), old);
    for (const char* r : h.rules) ASSERT_TRUE(Ok(std::string("fault ") + r)) << r;
    // The older file is the one the user agreed to replace.
    // blocks of 1428, 1428 and 144
    q.AddJob(0, Local("h.drc"), h.older ? Seen("kevrecfiles/", "h.drc") : CardAgreement());
    ASSERT_TRUE(Done(1));
    const auto taken = Taken();
    const std::vector<u8> sent = ReadFile(fLocal.Path() + "/h.drc");
    if (h.status == CKvsFileJobQueue::kUploaded)
        EXPECT_TRUE(taken.empty());
    else
        EXPECT_EQ(taken, std::vector<std::string>{"h.drc=" + std::to_string(h.status)});
    ASSERT_TRUE(fSim.WaitIdle(10000));
    if (h.status == CKvsFileJobQueue::kUploaded || h.arrives)
        EXPECT_EQ(ReadFile(Sdc("kevrecfiles/h.drc")), sent);
    else if (h.older)
        EXPECT_NE(ReadFile(Sdc("kevrecfiles/h.drc")), sent);
    else
        EXPECT_FALSE(std::filesystem::exists(Sdc("kevrecfiles/h.drc")));
}

INSTANTIATE_TEST_SUITE_P(Cases, Holes, ::testing::ValuesIn(kHoles),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
