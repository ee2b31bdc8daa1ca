// Main-thread cost of merging a 5,000-file listing (into an empty contents record,
// then again unchanged, with the media index following), and ten 5 MB recordings
// through the device file job queue against ten plain writes through the request
// queue, to the simulated device on loopback.

#include <unistd.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "base/CBufFileStrm.h"
#include "base/Clock.h"
#include "base/Paths.h"
#include "devices/CKvsDevSet.h"
#include "devlink/FileJobQueue.h"
#include "devlink/FileListPoller.h"
#include "devlink/MedInfoReq.h"
#include "devlink/NetIf.h"
#include "devlink/CDevRequestQueue.h"
#include "devlink/ReqQueue.h"
#include "services/RunLoop.h"
#include "records/PrefNodes.h"
#include "tools/testkit/SimDeviceProcess.h"

namespace {

struct Contents : MDevObjLink {
    CReqQueue* queue = nullptr;
    CRecordDoc doc{NewDeviceContentsRecord()};
    CReqQueue* DeviceQueue() override { return queue; }
    CRecord* ContentsRecord() override { return doc.Root(); }
    LHandler* DialogOwner() override { return nullptr; }
};

std::string Listing() {
    std::string body;
    for (int i = 0; i < 5000; ++i)
        body += "rec" + std::to_string(i * 7919 % 5000) + ".drc," + std::to_string(i) + ",t\n";
    return body;
}

// arg 0: into an empty record; 1: the same listing again.
void BM_MergeFiveThousandFiles(benchmark::State& state) {
    RegisterAllRecordKinds();
    const std::string body = Listing();
    for (auto _ : state) {
        Contents device;
        CRecordDoc media(CRecord::New(CRecordSchema::Find(kFamKvs, kKindMdis)));
        CMedInfoReq req(nullptr, &device, media.Root());
        if (state.range(0) == 1)
            MergeFileListing(device.ContentsRecord(), 0, body.data(), body.size());
        const auto t0 = std::chrono::steady_clock::now();
        MergeFileListing(device.ContentsRecord(), 0, body.data(), body.size());
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
}
BENCHMARK(BM_MergeFiveThousandFiles)
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

struct LoopbackPrefs : CNetIfPrefSource {
    LString ChosenInterfaceName() override { return LString("lo"); }
    void AddChangeListener(void*, ChangeFn) override {}
    void RemoveChangeListener(void*, ChangeFn) override {}
};

struct NoConversion : MAudioConvJob {
    bool Start(const LString&, const LString&, const VideoConvSettings&, u32, void*,
               LConvDoneFn) override {
        return false;
    }
    u32 PollState() override { return kIdle; }
    f32 GetProgress() override { return 0; }
    void Reset() override {}
};

bool Pump(const std::function<bool()>& pred, u32 ms) {
    const u32 start = LTickMs();
    while (!pred() && u32(LTickMs() - start) < ms) RunLoopRunOnce(5);
    return pred();
}

// arg 0: ten plain writes through the request queue; 1: ten jobs of the job queue.
void BM_TenFiveMegabyteRecordings(benchmark::State& state) {
    RunLoopMakeMain();
    LoopbackPrefs prefs;
    CLocalAddrWatch watch(&prefs);
    testtftp::TempDir dir;
    testtftp::SimDeviceProcess sim;
    const u32 ip = (127u << 24) | (24u << 16) | ((20u + u32(getpid()) % 200u) << 8) | 1;
    const std::string ipText = "127.24." + std::to_string((ip >> 8) & 255) + ".1";
    if (!sim.Ok() ||
        sim.Cmd("add-device serno=305 addr=" + ipText + " root=" + dir.Path() + "/d port=61007")
                .rfind("ok", 0) != 0) {
        state.SkipWithError("no simulated device");
        return;
    }
    sim.Cmd("packet-log off");
    RegisterAllRecordKinds();
    CKvsDevSet set;
    set.Add(305)->SetU32(nullptr, DevcF::address, ip);
    CReqQueue queue(&set, 305);
    CRecordDoc cmd(CRecord::New(CRecordSchema::Find(kFamKvt, kKindDvcm)));
    CDevRequestQueue channel(&queue, cmd.Root(), "/.cmd/udkvtcmd",
                             CDevRequestQueue::NoRereadContext(), nullptr);
    Contents contents;
    NoConversion conv;
    CKvsFileJobQueue jobs(nullptr, &queue, cmd.Root(), &channel, contents.ContentsRecord(), &conv);
    std::vector<LString> files, urls;
    for (int i = 0; i < 10; ++i) {
        const std::string path = dir.Path() + "/m" + std::to_string(i) + ".drc";
        std::ofstream(path, std::ios::binary) << std::string(5000000, char('a' + i));
        files.emplace_back(path.c_str());
        LString url;
        urls.push_back(PosixPathToFileUrl(&url, files.back()));
    }
    for (auto _ : state) {
        u32 done = 0;
        if (state.range(0) == 0) {
            for (int i = 0; i < 10; ++i)
                queue.Enqueue(
                    &done, [](void* c, CStrm*, const u32*) { ++*static_cast<u32*>(c); },
                    ("/sdc/kevrecfiles/p" + std::to_string(i) + ".drc").c_str(), 1,
                    new CBufFileStrm(urls[size_t(i)], 0), nullptr, 0);
        } else {
            jobs.ClearDone();
            for (const LString& f : files) jobs.AddJob(0, f);
        }
        if (!Pump([&] { return done == 10 || (jobs.JobsFinished() == 10 && jobs.IsIdle()); },
                  60000))
            state.SkipWithError("uploads did not finish");
    }
}
BENCHMARK(BM_TenFiveMegabyteRecordings)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
