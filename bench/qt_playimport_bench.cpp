// Importing a play file into the basic play edit of a device on loopback: 200
// and 800 sequences of 50 named scenes, 100 schedule events and 64 triggers,
// each import replacing the show the one before it brought. The time is the
// import alone (the program answers nothing meanwhile); the writes it queues
// for the device go out after it, counted as "drained_ms".
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <chrono>
#include <functional>
#include <string>

#include "base/Clock.h"
#include "base/Paths.h"
#include "base/Resources.h"
#include "bench/QtBenchStage.h"
#include "devices/CKvsDevCtl.h"
#include "devices/CKvsDevSet.h"
#include "devices/recordings/CDrcCmdHandler.h"
#include "devlink/CDevRequestQueue.h"
#include "devlink/NetIf.h"
#include "editors/CKvsPlayFrm.h"
#include "framework/AppSingletons.h"
#include "framework/CMainLoop.h"
#include "framework/LFrame.h"
#include "platform/qt/AppDelegate.h"
#include "platform/qt/QtControls.h"
#include "records/AppPrefsDoc.h"
#include "records/CRecordDoc.h"
#include "records/DeviceKinds.h"
#include "records/NsqPrefKinds.h"
#include "records/Schedule.h"
#include "records/Sequences.h"
#include "records/ShowKinds.h"
#include "records/Triggers.h"
#include "services/RunLoop.h"
#include "services/WindowKinds.h"
#include "tools/testkit/SimDeviceProcess.h"

namespace {

using benchkit::LoopbackPrefs;
using benchkit::Owner;
using benchkit::Pump;
using benchkit::TheStage;

// The show as a user builds it, written as a play file by an edit of no device.
bool WriteShow(Owner& owner, LFrame& host, u32 sequences, u32 scenes, const std::string& url) {
    CDrcCmdHandler source(&owner, &host, nullptr);
    CRecord* settings = source.SeqSettings();
    for (u32 i = 0; i < sequences; ++i) {
        InsertNewSequence(settings, nullptr, i);
        CRecord* seq = settings->GetListItem(SqstF::sqcs, i);
        for (u32 j = 0; j < scenes; ++j) {
            InsertSceneUnique(seq, nullptr, SqncF::scns, j, nullptr);
            CRecord* scene = seq->GetListItem(SqncF::scns, j);
            scene->SetString(
                nullptr, ScenF::snnm,
                LString(("Cue " + std::to_string(i) + "." + std::to_string(j)).c_str()));
            scene->GetChild(ScenF::ctdr)
                ->SetString(nullptr, SnctF::flnm,
                            LString(("take" + std::to_string(j % 20) + ".drc").c_str()));
        }
    }
    CRecord* schedule = settings->GetChild(SqstF::schd);
    CRecord* aux = settings->GetChild(SqstF::axps);
    if (!schedule || !aux) return false;
    for (u32 e = 0; e < 100; ++e) InsertNewScheduleEvent(schedule, nullptr, e);
    for (u32 p = 0; p < 8; ++p) {
        CRecord* play = aux->GetListItem(AplsF::plys, AddAuxPlay(aux, nullptr));
        for (u32 t = 0; t < 8; ++t) {
            CRecord* trigger = play->GetListItem(AplyF::trgs, AddAuxTrigger(play, nullptr));
            AuxTriggerSetModeAndValue(trigger, nullptr, 1, t + 1);
        }
    }
    return source.WritePlayFile(LString(url.c_str()));
}

void BM_ImportPlayFile(benchmark::State& state) {
    TheStage();
    RunLoopMakeMain();
    const u32 sequences = u32(state.range(0));
    LoopbackPrefs netPrefs;
    CLocalAddrWatch watch(&netPrefs);
    testtftp::TempDir dir;
    testtftp::SimDeviceProcess sim;
    const u32 ip = (127u << 24) | (27u << 16) | ((20u + u32(getpid()) % 200u) << 8) | 1;
    const std::string ipText = "127.27." + std::to_string((ip >> 8) & 255) + ".1";
    if (!sim.Ok() ||
        sim.Cmd("add-device serno=307 addr=" + ipText + " root=" + dir.Path() + "/d port=61007")
                .rfind("ok", 0) != 0) {
        state.SkipWithError("no simulated device");
        return;
    }
    sim.Cmd("packet-log off");
    Owner owner;
    LFrame host(gApp, nullptr, LPaneOpt::Window(kWindowOrdinary, 6));
    host.SetWindowBounds(LRect(0, 0, 1000, 600));
    LString url;
    PosixPathToFileUrl(&url, LString((dir.Path() + "/show.kvplay").c_str()));
    if (!WriteShow(owner, host, sequences, 50, url.CStr())) {
        state.SkipWithError("the play file was not written");
        return;
    }
    CKvsDevSet set;
    set.Add(307)->SetU32(nullptr, DevcF::address, ip);
    CKvsDevCtl ctl(&owner, &set, 307);
    CDrcCmdHandler edit(&owner, &host, &ctl);
    edit.Frame()->SetBounds(LRect(0, 0, 1000, 600));
    const auto idle = [&] { return !edit.SeqChannel()->IsBusy() && !edit.PlayChannel()->IsBusy(); };
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        const bool loaded = edit.LoadPlayData(url);
        const auto t1 = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
        if (!loaded || edit.SeqSettings()->GetListCount(SqstF::sqcs) != sequences) {
            state.SkipWithError("the play file was not imported");
            return;
        }
        state.PauseTiming();
        if (!Pump(idle, 60000)) {
            state.SkipWithError("the device did not take the show");
            return;
        }
        state.counters["drained_ms"] =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t1)
                .count();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ImportPlayFile)
    ->Arg(200)
    ->Arg(800)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

}  // namespace
