// Uploads under loss, delay and reordering, confirmed as the file jobs confirm them
// (the folder listed before and after): none counts as complete unless the device
// holds exactly the new bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>

#include "devlink/UploadCheck.h"
#include "services/RunLoop.h"
#include "tests/devlink/EngineTestUtil.h"
#include "tests/devlink/FileTestUtil.h"
#include "tests/devlink/SimDev7Test.h"
#include "tools/testkit/SimDeviceProcess.h"

using namespace enginetest;
using namespace testtftp;
using namespace filetest;

namespace {

// The device's side of an upload only: DATA coming in, acknowledgements going out.
const char* const kRules[] = {
    "drop dir=in opcode=DATA",          "drop dir=out opcode=ACK",
    "reorder ms=15 dir=in opcode=DATA", "reorder ms=15 dir=out opcode=ACK",
    "delay ms=20 dir=out opcode=ACK",   "delay ms=20 dir=in opcode=DATA",
    "dup dir=out opcode=ACK",
};

struct Job {
    std::string folder;
    std::vector<u8> bytes, before, after;
    Recorder rec;
    CTftpSession* session = nullptr;
    int stage = 0;  // 0 listing before, 1 upload, 2 listing after, 3 done
    bool sent = false, listedBefore = false, complete = false;
};

struct Round {
    const char* name;
    bool older;  // an older file of the same name and size is there first
    u32 seed;
};
const Round kRounds[] = {{"FreshFolder", false, 11}, {"OverOlderFilesOfTheSameSize", true, 23}};

class Confirmed : public SimDev7Test<Round> {
protected:
    void SetUp() override {
        // Past the device's own give-up (idle 3 s), short enough not to hold the test up.
        StartDevice7({"packet-log off", "set serno=7 rto=300 retries=30 idle=3000"}, 5000);
    }

    void StartStage(Job& j) {
        const bool write = j.stage == 1;
        std::string path = write ? j.folder + "/f.bin" : "/.cmd/fmls//" + j.folder;
        j.rec = Recorder();
        j.rec.onNewPeer = [](CTftpPeer* p) { p->Window().SetMax(50); };
        std::vector<u8>* sink = j.stage == 0 ? &j.before : &j.after;
        sink->clear();
        j.rec.makeStream = [&j, write, sink](CTftpPeer*) {
            return write ? new VecStrm(&j.bytes) : new VecStrm(sink, CStrm::kModeWrite);
        };
        j.session = mgr->StartTransfer(LNetAddr::IPv4(deviceIp, port), write, LString(path.c_str()),
                                       &j.rec, Recorder::Callback, LoopbackIndex());
        j.session->AddOption("serno", "7");
        j.session->Start();
    }

    // True when the job is over.
    bool Step(Job& j) {
        if (j.stage == 3 || !j.session || !j.rec.Done()) return false;
        const bool ok = j.session->Result() == 0 && j.rec.peerResults == std::vector<u32>{0};
        mgr->Release(j.session);
        j.session = nullptr;
        if (j.stage == 0) j.listedBefore = ok;
        if (j.stage == 1) j.sent = ok;
        if (j.stage == 2)
            j.complete =
                ok && UploadInPlace(FindListedFile(j.before.data(), j.before.size(), "f.bin"),
                                    FindListedFile(j.after.data(), j.after.size(), "f.bin"),
                                    j.bytes.size());
        if (j.stage == 2 || (j.stage == 1 && !(ok && j.listedBefore))) {
            j.stage = 3;
            return true;
        }
        ++j.stage;
        StartStage(j);
        return false;
    }
};

TEST_P(Confirmed, NoUploadCountsUnlessTheDeviceHoldsTheNewBytes) {
    const Round& r = GetParam();
    constexpr int kJobs = 1000;
    constexpr int kPercent = 5;
    for (const char* rule : kRules) {
        const std::string cmd = std::string("fault ") + rule +
                                " percent=" + std::to_string(kPercent) +
                                " seed=" + std::to_string(r.seed * 31 + std::strlen(rule));
        ASSERT_EQ(sim.Cmd(cmd).rfind("ok", 0), 0u) << cmd;
    }
    std::vector<std::unique_ptr<Job>> jobs;
    for (int i = 0; i < kJobs; ++i) {
        auto j = std::make_unique<Job>();
        j->folder = "/sdc/j" + std::to_string(i);
        const size_t size = size_t(1500 + (i * 389) % 11000);
        j->bytes = Pattern(size, u32(i + r.seed * 10000));
        if (r.older) WriteFile(root + j->folder + "/f.bin", Pattern(size, u32(i + 777777)));
        jobs.push_back(std::move(j));
    }
    size_t next = 0, running = 0, done = 0;
    const size_t kParallel = 25;
    auto startMore = [&] {
        while (running < kParallel && next < jobs.size()) {
            StartStage(*jobs[next++]);
            ++running;
        }
    };
    startMore();
    ASSERT_TRUE(RunUntil(
        [&] {
            for (auto& jp : jobs)
                if (Step(*jp)) {
                    --running;
                    ++done;
                }
            startMore();
            return done == jobs.size();
        },
        300000));
    sim.Cmd("fault-clear");
    ASSERT_TRUE(sim.WaitIdle(30000));
    int complete = 0, caught = 0;
    for (int i = 0; i < kJobs; ++i) {
        const Job& j = *jobs[size_t(i)];
        const std::string file = root + j.folder + "/f.bin";
        const bool exists = std::filesystem::exists(file);
        if (j.complete) {
            ++complete;
            EXPECT_TRUE(exists && ReadFile(file) == j.bytes) << "counted complete, not held: " << i;
            continue;
        }
        caught += j.sent;
        // Not complete: the new file whole, the older one untouched, or nothing.
        if (exists && ReadFile(file) != j.bytes) {
            EXPECT_TRUE(r.older && ReadFile(file) == Pattern(j.bytes.size(), u32(i + 777777)))
                << "a partial file on the device: " << i;
        }
    }
    std::printf("%s: %d of %d uploads complete; %d sent in full by the transfer and not in place\n",
                r.name, complete, kJobs, caught);
    EXPECT_GE(complete, kJobs * 9 / 10);
}

INSTANTIATE_TEST_SUITE_P(Rounds, Confirmed, ::testing::ValuesIn(kRounds),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
