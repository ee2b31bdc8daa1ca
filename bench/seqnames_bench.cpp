// Pasting many copies of one sequence: each copy gets the first free name
// ("Show_2", "Show_3", ...) among the sequences already there.

#include <benchmark/benchmark.h>

#include <string>

#include "records/CRecordDoc.h"
#include "records/RecordKinds.h"
#include "records/Sequences.h"
#include "records/ShowKinds.h"

namespace {

void BM_PasteCopiesOfOneSequence(benchmark::State& state) {
    RegisterAllRecordKinds();
    const u32 copies = u32(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        CRecordDoc doc(NewSeqSettingsRecord());
        CRecord* settings = doc.Root();
        for (u32 i = 0; i < 1000; ++i) {
            CRecord* seq = CRecord::New(CRecordSchema::Find(kFamKvt, kKindSqnc));
            seq->SetU32(nullptr, SqncF::sqid, i + 1);
            seq->SetString(nullptr, SqncF::sqnm, LString(("Seq " + std::to_string(i)).c_str()));
            settings->InsertItem(nullptr, SqstF::sqcs, i, seq);
        }
        settings->GetListItem(SqstF::sqcs, 0)->SetString(nullptr, SqncF::sqnm, LString("Show"));
        state.ResumeTiming();
        for (u32 k = 0; k < copies; ++k) {
            CRecord* seq = CRecord::New(CRecordSchema::Find(kFamKvt, kKindSqnc));
            seq->SetString(nullptr, SqncF::sqnm, LString("Show"));
            InsertSequenceUnique(settings, nullptr, 1 + k, seq);
        }
        benchmark::DoNotOptimize(settings->GetListCount(SqstF::sqcs));
    }
}
BENCHMARK(BM_PasteCopiesOfOneSequence)->Arg(500)->Unit(benchmark::kMillisecond);

}  // namespace
