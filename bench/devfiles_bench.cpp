// The device file list with a 5,000-file folder (merged and bound, a page
// painted, a page scrolled and painted), and ten 50 MB recordings downloaded
// from the simulated device on loopback through the download operation beside
// plain reads of the same files through the request queue, in the same run.

#include <unistd.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>

#include "base/CBufFileStrm.h"
#include "base/Clock.h"
#include "base/Paths.h"
#include "base/Resources.h"
#include "devices/CKvsDevSet.h"
#include "devices/files/CKvsFileList.h"
#include "devices/files/DeviceFileOps.h"
#include "devlink/FileListPoller.h"
#include "devlink/NetIf.h"
#include "devlink/ReqQueue.h"
#include "framework/StdDialogs.h"
#include "services/RunLoop.h"
#include "records/CRecordDoc.h"
#include "records/PrefNodes.h"
#include "tools/testkit/BenchScreen.h"
#include "tools/testkit/SimDeviceProcess.h"

namespace {

using benchkit::NullGraphics;
using benchkit::Screen;

void UseAppResources() {
    static LResFile app(AppResFileRef());
    SetDefaultResChain(&app);
    RegisterAllRecordKinds();
}

std::string Listing() {
    std::string body;
    for (int i = 0; i < 5000; ++i)
        body += "take" + std::to_string(i * 7919 % 5000) + ".drc," + std::to_string(i) + ",t\n";
    return body;
}

void DrawPage(CKvsFileList& list) {
    NullGraphics g;
    LDrawCtx ctx(&g);
    ctx.SetClipRgn(LRgn(list.Bounds()));
    list.Draw(ctx);
}

// The listing merged into an empty record and the list bound to it.
void BM_FiveThousandFileMergeAndBind(benchmark::State& state) {
    UseAppResources();
    const std::string body = Listing();
    Screen screen;
    for (auto _ : state) {
        CRecordDoc doc(NewDeviceContentsRecord());
        CKvsFileList list(&screen, nullptr);
        list.SetBounds(LRect(0, 0, 300, 600));
        const auto t0 = std::chrono::steady_clock::now();
        MergeFileListing(doc.Root(), 0, body.data(), body.size());
        list.SetSource(doc.Root(), 0);
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        if (list.Rows() != 5000) state.SkipWithError("rows do not match the entries");
    }
}
BENCHMARK(BM_FiveThousandFileMergeAndBind)->UseManualTime()->Unit(benchmark::kMillisecond);

// arg 0: one page painted; 1: scrolled by a page (down, then back up) and painted.
void BM_FiveThousandFileFolder(benchmark::State& state) {
    UseAppResources();
    const std::string body = Listing();
    Screen screen;
    CRecordDoc doc(NewDeviceContentsRecord());
    CKvsFileList list(&screen, nullptr);
    list.SetBounds(LRect(0, 0, 300, 600));
    MergeFileListing(doc.Root(), 0, body.data(), body.size());
    list.SetSource(doc.Root(), 0);
    DrawPage(list);
    i32 first = 0;
    for (auto _ : state) {
        if (state.range(0) == 1) {
            first = first == 0 ? list.GetVisibleRowsFull() : 0;
            list.SetScrollPos(LCell{0, first});
        }
        DrawPage(list);
    }
    state.counters["rows/page"] = list.GetVisibleRowsFull();
}
BENCHMARK(BM_FiveThousandFileFolder)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

struct LoopbackPrefs : CNetIfPrefSource {
    LString ChosenInterfaceName() override { return LString("lo"); }
    void AddChangeListener(void*, ChangeFn) override {}
    void RemoveChangeListener(void*, ChangeFn) override {}
};

// Owns the download's dialogs: each modal turn serves the run loop.
struct Turns : LHandler {
    LMessage HandleMessage(const LMessage& msg) override {
        if (msg.Is(LHandler_Mode)) {
            RunLoopRunOnce(5);
            return LMessage();
        }
        return LHandler::HandleMessage(msg);
    }
};

bool Pump(const std::function<bool()>& pred, u32 ms) {
    const u32 start = LTickMs();
    while (!pred() && u32(LTickMs() - start) < ms) RunLoopRunOnce(5);
    return pred();
}

constexpr u64 kFileBytes = 50ull * 1000 * 1000;

// arg 0: ten plain reads through the request queue into local files; 1: the download operation.
void BM_TenFiftyMegabyteDownloads(benchmark::State& state) {
    RunLoopMakeMain();
    UseAppResources();
    LoopbackPrefs prefs;
    CLocalAddrWatch watch(&prefs);
    testtftp::TempDir dir;
    testtftp::SimDeviceProcess sim;
    const u32 ip = (127u << 24) | (25u << 16) | ((20u + u32(getpid()) % 200u) << 8) | 1;
    const std::string ipText = "127.25." + std::to_string((ip >> 8) & 255) + ".1";
    if (!sim.Ok() ||
        sim.Cmd("add-device serno=305 addr=" + ipText + " root=" + dir.Path() + "/d port=61007")
                .rfind("ok", 0) != 0) {
        state.SkipWithError("no simulated device");
        return;
    }
    sim.Cmd("packet-log off");
    sim.Cmd("set serno=305 window=16");
    CKvsDevSet set;
    set.Add(305)->SetU32(nullptr, DevcF::address, ip);
    CReqQueue queue(&set, 305);
    const std::string folder = dir.Path() + "/d/sdc/kevrecfiles";
    (void)std::system(("mkdir -p '" + folder + "'").c_str());
    std::vector<NamedSize> files;
    for (int i = 0; i < 10; ++i) {
        const std::string name = "m" + std::to_string(i) + ".drc";
        std::ofstream(folder + "/" + name, std::ios::binary)
            << std::string(size_t(kFileBytes), char('a' + i));
        files.push_back({LString(name.c_str()), kFileBytes});
    }
    const std::string local = dir.Path() + "/local";
    LString localUrl;
    PosixPathToFileUrl(&localUrl, LString(local.c_str()));
    Turns owner;
    for (auto _ : state) {
        state.PauseTiming();
        (void)std::system(("rm -rf '" + local + "' && mkdir -p '" + local + "'").c_str());
        state.ResumeTiming();
        if (state.range(0) == 0) {
            u32 done = 0;
            for (const NamedSize& f : files) {
                const std::string path = local + "/" + f.name.CStr();
                std::ofstream(path, std::ios::binary).flush();  // write streams open existing files
                LString url;
                PosixPathToFileUrl(&url, LString(path.c_str()));
                queue.Enqueue(
                    &done, [](void* c, CStrm*, const u32*) { ++*static_cast<u32*>(c); },
                    ("/sdc/kevrecfiles/" + std::string(f.name.View())).c_str(), 0,
                    new CBufFileStrm(url, CStrm::kModeWrite), nullptr, 0);
            }
            if (!Pump([&] { return done == 10; }, 300000)) state.SkipWithError("reads did not end");
        } else {
            DownloadDeviceFileNames(&owner, &queue, files, 0, localUrl);
        }
        state.PauseTiming();
        for (const NamedSize& f : files) {
            std::ifstream in(local + "/" + f.name.CStr(), std::ios::binary | std::ios::ate);
            if (!in || u64(in.tellg()) != kFileBytes)
                state.SkipWithError("a file did not arrive whole");
        }
        state.ResumeTiming();
    }
    state.SetBytesProcessed(i64(state.iterations()) * i64(10 * kFileBytes));
}
BENCHMARK(BM_TenFiftyMegabyteDownloads)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
