// The trigger list of an aux play of 64 triggers, 4 of each kind: binding it
// (rows built, every visible row's sub-frame loaded and drawn), and a change of
// the device's fired triggers refreshing the play marks and drawing again.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "base/Resources.h"
#include "editors/AuxTriggerKinds.h"
#include "editors/CAxPlyTrgList.h"
#include "editors/DeviceHooks.h"
#include "records/CRecordDoc.h"
#include "records/DeviceKinds.h"
#include "records/RecordKinds.h"
#include "records/ShowKinds.h"
#include "records/Triggers.h"
#include "tools/testkit/BenchScreen.h"

namespace {

using benchkit::NullGraphics;
using benchkit::Screen;

struct StateDevice : MPlayDevice {
    u32 DeviceSerial() const override { return 0; }
    CRecordDoc* SettingsDoc() override { return nullptr; }
    CRecordDoc* CommandDoc() override { return nullptr; }
    CRecordDoc* ContentsDoc() override { return nullptr; }
    CRecordDoc* StateDoc() override { return &fState; }
    CRecordDoc* SeqStatDoc() override { return nullptr; }
    CReqQueue& FileRequests() override { std::abort(); }
    CReqQueue& ChannelRequests() override { std::abort(); }
    CDevRequestQueue& SeqStatusChannel() override { std::abort(); }
    CRecord* MediaIndex() override { return nullptr; }
    MDevObjLink* ObjLink() override { return nullptr; }
    bool RunDeviceSyncDialog(LHandler*) override { return false; }
    CRecordDoc fState{CRecord::New(CRecordSchema::Find(kFamKvt, kKindDvss))};
};

struct Stage {
    Stage() {
        static LResFile app(AppResFileRef());
        SetDefaultResChain(&app);
        RegisterAllRecordKinds();
        CRecord* plays = fSeq.Root()->GetChild(SqstF::axps);
        fAux = plays->GetListItem(AplsF::plys, AddAuxPlay(plays, nullptr));
        for (i32 i = 0; i < 64; ++i)
            TrgSetKindItem(fAux->GetListItem(AplyF::trgs, AddAuxTrigger(fAux, nullptr)), nullptr,
                           i % kTrgKindItems);
        fList.SetBounds(LRect(0, 0, 1400, 2000));
    }
    void Draw() {
        LDrawCtx ctx(&fG);
        ctx.SetClipRgn(LRgn(fList.Bounds()));
        fList.Draw(ctx);
    }
    NullGraphics fG;
    Screen fScreen;
    StateDevice fDevice;
    CRecordDoc fSeq{NewSeqSettingsRecord()};
    CRecord* fAux = nullptr;
    CAxPlyTrgList fList{&fScreen, &fDevice, fSeq.Root()};
};

void BM_BindAuxPlay64(benchmark::State& state) {
    Stage s;
    for (auto _ : state) {
        s.fList.SetAuxPlay(s.fAux);
        s.Draw();
        s.fList.SetAuxPlay(nullptr);
    }
    s.fList.SetAuxPlay(s.fAux);
    state.counters["rows"] = s.fList.Rows();
    state.counters["visible"] = s.fList.GetVisibleRowsFull();
}
BENCHMARK(BM_BindAuxPlay64)->Unit(benchmark::kMillisecond);

void BM_PlayMarkChange64(benchmark::State& state) {
    Stage s;
    s.fList.SetAuxPlay(s.fAux);
    s.Draw();
    i32 fired = 0;
    for (auto _ : state) {
        fired = (fired + 1) % 64;
        s.fDevice.fState.Root()->SetArray(nullptr, DvssF::aptg, &fired, 1);
        s.Draw();
    }
}
BENCHMARK(BM_PlayMarkChange64)->Unit(benchmark::kMillisecond);

}  // namespace
