// The device file job queue against the simulated device, with a conversion
// double that runs on a pool thread like the real one.

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <set>

#include "base/CBufFileStrm.h"
#include "base/Threads.h"
#include "devlink/FileJobQueue.h"
#include "devlink/RecordChannel.h"
#include "platform/RunLoop.h"
#include "tests/devlink/FileLinkTestUtil.h"
#include "tests/devlink/FileTestUtil.h"

using filelink::Pump;
using filetest::ReadFile;
using filetest::WriteFile;

namespace {

// Copies the source, fails when its name holds "bad", refuses to start when it
// holds "norun", and runs until Release when Hold was asked.
class FakeConv : public MAudioConvJob {
public:
    ~FakeConv() override { Reset(); }
    bool Start(const LString& source, const LString& destination, const VideoConvSettings&, u32,
               void* context, LConvDoneFn done) override {
        if (std::string(source.CStr()).find("norun") != std::string::npos) return false;
        std::lock_guard<std::mutex> lock(fMutex);
        fSource = source.CStr();
        fDest = destination.CStr();
        fContext = context;
        fDone = done;
        fState = kRunning;
        fWorking = true;
        return CThreadPool::Global().RunJob(this, Work) != nullptr;
    }
    u32 PollState() override { return fState.load(); }
    f32 GetProgress() override { return fState.load() == kRunning ? 0.5f : 1.0f; }
    void Reset() override {
        std::unique_lock<std::mutex> lock(fMutex);
        fHold = false;
        fWake.notify_all();
        fWake.wait(lock, [&] { return !fWorking; });
        fState = kIdle;
    }
    void Hold() { fHold = true; }
    void Release() {
        std::lock_guard<std::mutex> lock(fMutex);
        fHold = false;
        fWake.notify_all();
    }

private:
    static void Work(void* self) {
        auto* c = static_cast<FakeConv*>(self);
        std::unique_lock<std::mutex> lock(c->fMutex);
        c->fWake.wait(lock, [&] { return !c->fHold; });
        const bool bad = c->fSource.find("bad") != std::string::npos;
        if (!bad) WriteFile(c->fDest, ReadFile(c->fSource));
        c->fState = bad ? kFailed : kDone;
        c->fDone(c->fContext);  // arms the queue's timer from this thread
        c->fWorking = false;
        c->fWake.notify_all();
    }

    std::mutex fMutex;
    std::condition_variable fWake;
    std::atomic<u32> fState{kIdle};
    bool fHold = false, fWorking = false;
    std::string fSource, fDest;
    void* fContext = nullptr;
    LConvDoneFn fDone = nullptr;
};

class FileJobs : public filelink::FileLinkTest {
protected:
    void SetUp() override {
        FileLinkTest::SetUp();
        if (HasFatalFailure()) return;
        fCmd = std::make_unique<CRecordDoc>(CRecord::New(CRecordSchema::Find(kFamKvt, kKindDvcm)));
        fContents->AddListener(this, OnContents);
        fCmd->AddListener(this, OnCommand);
    }
    void TearDown() override {
        fJobs.reset();
        fChannel.reset();
        fChannelQueue.reset();
        fContents->RemoveListener(this, OnContents);
        fCmd->RemoveListener(this, OnCommand);
        FileLinkTest::TearDown();
    }
    // held: the command channel has a request queue of its own, so that it can
    // be kept busy while the device queue is free.
    CKvsFileJobQueue& Open(bool held = false, u32 serial = 305) {
        CReqQueue* q = fQueue.get();
        if (held) q = (fChannelQueue = std::make_unique<CReqQueue>(&fSet, serial)).get();
        fChannel = std::make_unique<CDevRequestQueue>(q, fCmd->Root(), "/.cmd/udkvtcmd",
                                                      CDevRequestQueue::NoRereadContext(), nullptr);
        fJobs = std::make_unique<CKvsFileJobQueue>(nullptr, fQueue.get(), fCmd->Root(),
                                                   fChannel.get(), ContentsRecord(), &fConv);
        return *fJobs;
    }
    std::string Local(const std::string& name, size_t size = 3000) {
        std::vector<u8> b(size);
        for (size_t i = 0; i < size; ++i) b[i] = u8(i * 31 + name.size());
        WriteFile(fLocal.Path() + "/" + name, b);
        return fLocal.Path() + "/" + name;
    }
    bool Done(u32 n, u32 ms = 15000) {
        return Pump([&] { return fJobs->IsIdle() && fJobs->JobsFinished() >= n; }, ms);
    }
    // The write requests in order: F for a pulse, U for an upload.
    std::string Writes() {
        std::string s;
        for (const std::string& l : LogOf("pkt"))
            if (Field(l, "dir") == "in" && Field(l, "op") == "WRQ")
                s += Field(l, "path") == "/.cmd/udkvtcmd/frfl" ? "F" : "U";
        return s;
    }
    static void OnContents(void* self, CRecordNote* n) {
        if (n->field == DctsF::listChanged) ++static_cast<FileJobs*>(self)->fSignals;
    }

    static void OnCommand(void* self, CRecordNote* n) {
        if (n->field == DvcmF::frfl) static_cast<FileJobs*>(self)->fPulses.push_back(LTickMs());
    }

    testtftp::TempDir fLocal;
    std::vector<u32> fPulses;
    FakeConv fConv;
    std::unique_ptr<CRecordDoc> fCmd;
    std::unique_ptr<CReqQueue> fChannelQueue;
    std::unique_ptr<CDevRequestQueue> fChannel;
    std::unique_ptr<CKvsFileJobQueue> fJobs;
    u32 fSignals = 0;
};

TEST_F(FileJobs, NamesKindsAndConversion) {
    CKvsFileJobQueue& q = Open();
    const std::string drc = Local("A.DRC"), song = Local("Song.aiff");
    q.AddJob(0, LString(drc.c_str()));
    q.AddJob(0, LString(Local("a.txt").c_str()));
    q.AddJob(2, LString(drc.c_str()));
    q.AddJob(0, LString(Local("b.mp3").c_str()));
    q.AddJob(1, LString(song.c_str()));
    q.AddJob(0, LString(Local("Cafe\xCC\x81.drc").c_str()));
    EXPECT_EQ(q.JobsAdded(), 5u);
    ASSERT_TRUE(Done(5));
    EXPECT_EQ(ReadFile(Sdc("kevrecfiles/A.drc")), ReadFile(drc));
    EXPECT_EQ(ReadFile(Sdc("audiofiles/Song.wav")), ReadFile(song));
    EXPECT_TRUE(std::filesystem::exists(Sdc("kevrecfiles/Caf\xC3\xA9.drc")));
    LString path;
    u32 status = 9;
    ASSERT_TRUE(q.TakeFinished(&path, &status));
    EXPECT_EQ(std::string(path.CStr()).substr(path.Length() - 5), "a.txt");
    EXPECT_EQ(status, 1u);
    ASSERT_TRUE(q.TakeFinished(&path, &status)) << "the oldest first";
    EXPECT_EQ(std::string(path.CStr()).substr(path.Length() - 5), "b.mp3");
    EXPECT_FALSE(q.TakeFinished(&path, &status)) << "successful jobs are only counted";
    EXPECT_EQ(Writes(), "FUFUFU");
    EXPECT_EQ(fSignals, 3u);
}

TEST_F(FileJobs, TenRecordingsOneAtATimeEachAfterItsOwnPulse) {
    CKvsFileJobQueue& q = Open();
    for (int i = 0; i < 10; ++i)
        q.AddJob(0, LString(Local("r" + std::to_string(i) + ".drc").c_str()));
    ASSERT_TRUE(Done(10));
    EXPECT_EQ(Writes(), "FUFUFUFUFUFUFUFUFUFU");
    EXPECT_EQ(fSignals, 10u);
}

TEST_F(FileJobs, BusyChannelDelaysTheUploadAboutOneSecondAtMost) {
    // The channel's queue belongs to a device that is not in the set: it stays busy.
    CKvsFileJobQueue& q = Open(true, 999);
    std::vector<u32>& pulses = fPulses;
    std::vector<u32> starts;
    for (const char* name : {"a.drc", "b.drc"}) {
        q.AddJob(0, LString(Local(name).c_str()));
        ASSERT_TRUE(Pump([&] { return !q.GetUploadName().IsEmpty(); }, 3000));
        starts.push_back(LTickMs());
        // A cancel while the channel is awaited must not cost the next upload its pulse.
        q.CancelAll();
    }
    ASSERT_EQ(pulses.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_GE(starts[i] - pulses[i], 950u);
        EXPECT_LE(starts[i] - pulses[i], 1250u);
    }
}

TEST_F(FileJobs, FailuresCountsProgressAndCancel) {
    CKvsFileJobQueue& q = Open();
    ASSERT_TRUE(Ok("fault error code=2 dir=in opcode=WRQ path=/sdc/kevrecfiles/refused.drc"));
    for (const std::string& f : {Local("refused.drc"), fLocal.Path() + "/missing.drc",
                                 Local("bad.aiff"), Local("norun.aiff"), Local("fine.drc")})
        q.AddJob(f.find("aiff") != std::string::npos ? 1 : 0, LString(f.c_str()));
    ASSERT_TRUE(Done(5));
    std::set<std::string> got;
    LString path;
    u32 status;
    while (q.TakeFinished(&path, &status))
        got.insert(std::filesystem::path(path.CStr()).filename().string() + "=" +
                   std::to_string(status));
    EXPECT_EQ(got, (std::set<std::string>{"missing.drc=2", "bad.aiff=1", "norun.aiff=1",
                                          "refused.drc=2"}));
    EXPECT_EQ(fSignals, 2u) << "signalled after the refused upload too";
    q.ClearDone();
    EXPECT_EQ(q.JobsAdded(), 0u);
    EXPECT_EQ(q.JobsFinished(), 0u);

    // An empty file in flight counts as sent; a cancelled upload is not read any more.
    ASSERT_TRUE(Ok("fault delay ms=400 dir=in opcode=WRQ"));
    q.AddJob(0, LString(Local("empty.drc", 0).c_str()));
    ASSERT_TRUE(Pump([&] { return !q.GetUploadName().IsEmpty(); }, 3000));
    EXPECT_EQ(q.GetUploadProgress(), 1.0f);
    EXPECT_EQ(q.JobsAdded() - q.JobsFinished(), 1u) << "a running upload counts as pending";
    ASSERT_TRUE(Done(1));
    fConv.Hold();
    q.AddJob(1, LString(Local("held.aiff").c_str()));
    q.AddJob(0, LString(Local("big.drc", 2000000).c_str()));
    ASSERT_TRUE(Pump([&] { return !q.GetUploadName().IsEmpty(); }, 3000));
    EXPECT_EQ(std::string(q.GetConvertName().CStr()), fLocal.Path() + "/held.aiff");
    EXPECT_EQ(q.GetConvertProgress(), 0.5f);
    q.CancelAll();
    EXPECT_EQ(q.GetUploadProgress(), 0.0f);
    EXPECT_TRUE(q.GetConvertName().IsEmpty());
    EXPECT_TRUE(q.IsIdle());
    EXPECT_EQ(q.JobsAdded(), 0u);
}

// The figure: ten 5 MB recordings through the job queue against ten plain writes.
TEST_F(FileJobs, TenFiveMegabyteRecordingsAgainstPlainWrites) {
    ASSERT_TRUE(Ok("packet-log off"));
    std::vector<std::string> files;
    for (int i = 0; i < 10; ++i) files.push_back(Local("m" + std::to_string(i) + ".drc", 5000000));
    u32 plainDone = 0;
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < 10; ++i)
        fQueue->Enqueue(
            &plainDone, [](void* c, CStrm*, const u32*) { ++*static_cast<u32*>(c); },
            ("/sdc/kevrecfiles/p" + std::to_string(i) + ".drc").c_str(), 1,
            new CBufFileStrm(LString(files[size_t(i)].c_str()), 0), nullptr, 0);
    ASSERT_TRUE(Pump([&] { return plainDone == 10; }, 60000));
    const double plain =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    CKvsFileJobQueue& q = Open();
    t0 = std::chrono::steady_clock::now();
    for (const std::string& f : files) q.AddJob(0, LString(f.c_str()));
    ASSERT_TRUE(Done(10, 60000));
    const double jobs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    std::printf("[figure] ten 5 MB recordings: job queue %.0f ms, plain writes %.0f ms\n", jobs,
                plain);
    EXPECT_LT(jobs, plain + 10 * 300.0);
    EXPECT_EQ(ReadFile(Sdc("kevrecfiles/m9.drc")), ReadFile(files[9]));
}

}  // namespace
