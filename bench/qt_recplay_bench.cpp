// The record control and the basic play edit at their largest: a status read
// of 512 universes from the simulated device on loopback, applied and the
// record control drawn; and the play edit opened on 1,000 sequences of 100
// scenes (the settings read into it) and drawn, both onto an offscreen image.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QPainter>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "base/CMemStrm.h"
#include "base/Clock.h"
#include "base/LArray.h"
#include "base/Resources.h"
#include "bench/QtBenchStage.h"
#include "devices/CKvsDevCtl.h"
#include "devices/CKvsDevSet.h"
#include "devices/monitors/CKvsFileListCtl.h"
#include "devices/monitors/CKvsUnivList.h"
#include "devices/recordings/CDrcCmdHandler.h"
#include "devices/recordings/CKvsRecCtlF.h"
#include "devlink/NetIf.h"
#include "editors/CKvsPlayFrm.h"
#include "editors/CKvsSeqList.h"
#include "framework/AppSingletons.h"
#include "framework/CMainLoop.h"
#include "framework/LFrame.h"
#include "services/RunLoop.h"
#include "services/WindowKinds.h"
#include "platform/qt/AppDelegate.h"
#include "platform/qt/QtControls.h"
#include "platform/qt/QtPainterGraphics.h"
#include "records/AppPrefsDoc.h"
#include "records/CRecordDoc.h"
#include "records/DeviceKinds.h"
#include "records/LRecPath.h"
#include "records/NsqPrefKinds.h"
#include "records/PrefNodes.h"
#include "records/Sequences.h"
#include "records/ShowKinds.h"
#include "tools/testkit/SimDeviceProcess.h"

namespace {

using benchkit::LoopbackPrefs;
using benchkit::Owner;
using benchkit::Pump;
using benchkit::TheStage;

void DrawInto(QImage& page, LPane& pane) {
    page.fill(Qt::white);
    QPainter painter(&page);
    QtPainterGraphics g(painter, QRegion(page.rect()));
    LDrawCtx ctx(&g);
    ctx.SetClipRgn(LRgn(pane.Bounds()));
    pane.Draw(ctx);
    painter.end();
    benchmark::DoNotOptimize(page.constBits());
}

void BM_StatusReadOf512UniversesShown(benchmark::State& state) {
    TheStage();
    RunLoopMakeMain();
    LoopbackPrefs netPrefs;
    CLocalAddrWatch watch(&netPrefs);
    testtftp::TempDir dir;
    testtftp::SimDeviceProcess sim;
    const u32 ip = (127u << 24) | (26u << 16) | ((20u + u32(getpid()) % 200u) << 8) | 1;
    const std::string ipText = "127.26." + std::to_string((ip >> 8) & 255) + ".1";
    if (!sim.Ok() ||
        sim.Cmd("add-device serno=306 addr=" + ipText + " root=" + dir.Path() + "/d port=61007")
                .rfind("ok", 0) != 0) {
        state.SkipWithError("no simulated device");
        return;
    }
    sim.Cmd("packet-log off");
    std::string hex;
    for (u32 s = 0; s < 512; ++s) {
        hex += "0123456789ABCDEF"[(s >> 4) & 15];
        hex += "0123456789ABCDEF"[s & 15];
    }
    for (u32 u = 0; u < 512; ++u)
        sim.Cmd("uvst-set serno=306 univ=" + std::to_string(u) + " hex=" + hex);
    CKvsDevSet set;
    set.Add(306)->SetU32(nullptr, DevcF::address, ip);
    Owner owner;
    CKvsDevCtl ctl(&owner, &set, 306);
    LFrame host(gApp, nullptr, LPaneOpt::Window(kWindowOrdinary, 6));
    host.SetWindowBounds(LRect(0, 0, 1000, 600));
    CKvsFileListCtl view(&owner, host, &ctl);
    CKvsRecCtlF& frame = *view.Frame();
    frame.SetBounds(LRect(0, 0, 1000, 600));
    CRecord* uvst = ctl.Record(CKvsDevCtl::kSeqStat)->GetChild(SstaF::uvst);
    QImage page(1000, 600, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        ctl.SeqStatChannel().Refresh();
        if (!Pump([&] { return !ctl.SeqStatChannel().IsBusy(); }, 10000)) {
            state.SkipWithError("the status was not read");
            return;
        }
        DrawInto(page, frame);
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        const u32 read = uvst->GetListCount(0);
        state.counters["universes"] = read;
        if (read != 512) state.SkipWithError("the universes did not all arrive");
    }
}
BENCHMARK(BM_StatusReadOf512UniversesShown)->UseManualTime()->Unit(benchmark::kMillisecond);

// The play settings of 1,000 sequences of 100 scenes as they are stored.
std::vector<u8> LargeShow() {
    CRecordDoc doc(CRecord::New(CRecordSchema::Find(kFamKvt, kKindSqst)));
    CRecord* settings = doc.Root();
    for (u32 i = 0; i < 1000; ++i) {
        InsertNewSequence(settings, nullptr, i);
        CRecord* seq = settings->GetListItem(SqstF::sqcs, i);
        for (u32 j = 0; j < 100; ++j) InsertSceneUnique(seq, nullptr, SqncF::scns, j, nullptr);
    }
    LArray bytes(1);
    CMemStrm out(bytes);
    u8 field;
    u32 index;
    CRecord* target = LRecPath::Resolve("/", settings, &field, &index);
    if (!target || !LRecPath::WriteValue(target, field, index, &out)) return {};
    out.SetSize();
    const u8* p = static_cast<const u8*>(bytes.Data());
    return std::vector<u8>(p, p + bytes.Count());
}

void BM_PlayEditOnAThousandSequencesDrawn(benchmark::State& state) {
    TheStage();
    std::vector<u8> show = LargeShow();
    if (show.empty()) {
        state.SkipWithError("the show was not written");
        return;
    }
    Owner owner;
    LFrame host(gApp, nullptr, LPaneOpt::Window(kWindowOrdinary, 6));
    host.SetWindowBounds(LRect(0, 0, 1000, 600));
    QImage page(1000, 600, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        auto edit = std::make_unique<CDrcCmdHandler>(&owner, &host, nullptr);
        u8 field;
        u32 index;
        CRecord* target = LRecPath::Resolve("/", edit->SeqSettings(), &field, &index);
        CMemStrm in(show.data(), u32(show.size()));
        if (!target || !LRecPath::ReadValue(target, field, index, &in)) {
            state.SkipWithError("the show was not read");
            return;
        }
        edit->Frame()->SetBounds(LRect(0, 0, 1000, 600));
        edit->Frame()->List()->SelectCell(LCell{0, 0});
        DrawInto(page, *edit->Frame());
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        state.PauseTiming();
        state.counters["sequences"] = edit->Frame()->List()->Rows();
        if (edit->Frame()->List()->Rows() != 1000) state.SkipWithError("rows do not match");
        edit.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_PlayEditOnAThousandSequencesDrawn)
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

}  // namespace
