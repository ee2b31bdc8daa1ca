// The NSQ timeline: the scene boxes of a redraw of 32 tracks holding 64,000
// scenes, selecting 10,000 scenes as a rubber band sweeps them, and 5,000
// selected scenes moved by one second and undone.
#include <benchmark/benchmark.h>

#include "editors/nsq/CNSqTimeScale.h"
#include "editors/nsq/CNSqUTrkVw_CClk.h"
#include "editors/nsq/NSqSceneOps.h"
#include "framework/CUndoQ.h"
#include "records/NsqPrefKinds.h"
#include "records/NsqSets.h"
#include "records/PrefNodes.h"
#include "records/RecordKinds.h"
#include "records/ShowKinds.h"

namespace {

struct Show {
    explicit Show(u32 tracks, u32 perTrack) {
        RegisterAllRecordKinds();
        RegisterPrefNodeKinds();
        CRecord* set = doc.Root()->GetChild(SqstF::nsqs);
        NSqSetNewSeq(set, nullptr, 0);
        seq = set->GetListItem(SsetF::seqs, 0);
        for (u32 t = 0; t < tracks; ++t) {
            NSqSeqAddTrack(seq, nullptr, t);
            CRecord* trk = seq->GetListItem(SseqF::trks, t);
            // Appended in time order, as a show is built.
            for (u32 i = 0; i < perTrack; ++i) {
                CRecord* sc = NSqNewScene();
                sc->SetU32(nullptr, SscnF::time, i * (80000000 / perTrack));
                trk->InsertItem(nullptr, StrkF::scns, i, sc);
            }
        }
        scale.Selection().SetSequence(seq);
    }
    CRecordDoc doc{NewSeqSettingsRecord()};
    CRecord* seq;
    CNSqKinds kinds;
    CNSqTimeScale scale{&kinds};
};

void BM_RedrawBoxes(benchmark::State& state) {
    Show show(32, 2000);
    show.scale.SetScale(state.range(0) == 0 ? 0.01f : 100.0f);
    show.scale.SetViewTime(40000, 1000 * show.scale.Scale());
    std::vector<CNSqSceneBox> boxes;
    size_t n = 0;
    for (auto _ : state) {
        for (u32 t = 0; t < 32; ++t) {
            NSqTrackBoxes(show.scale, show.seq->GetListItem(SseqF::trks, t),
                          LRect(120, 0, 1120, 30), &boxes);
            n += boxes.size();
        }
    }
    benchmark::DoNotOptimize(n);
}
BENCHMARK(BM_RedrawBoxes)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_BandOver10000(benchmark::State& state) {
    Show show(10, 1000);
    for (auto _ : state) {
        for (u32 t = 0; t < 10; ++t)
            for (u32 i = 0; i < 1000; ++i) show.scale.Selection().SetSelected(t, i, true);
        show.scale.Selection().DeselectAll();
    }
}
BENCHMARK(BM_BandOver10000)->Unit(benchmark::kMillisecond);

void BM_Move5000AndUndo(benchmark::State& state) {
    Show show(5, 1000);
    CUndoQ undo(nullptr, 1u << 20);
    LHandler owner(&undo);
    for (auto _ : state) {
        for (u32 t = 0; t < 5; ++t)
            for (u32 i = 0; i < 1000; ++i) show.scale.Selection().SetSelected(t, i, true);
        NSqMoveScenesTo(&owner, show.scale, 1000, true);
        show.scale.Selection().DeselectAll();
        undo.Undo();
    }
}
BENCHMARK(BM_Move5000AndUndo)->Unit(benchmark::kMillisecond);

}  // namespace
