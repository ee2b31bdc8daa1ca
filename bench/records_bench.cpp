// Encode and decode of a play-settings-sized record tree: 2,000 sequences of 20
// scenes each, with kinds registered here.

#include <benchmark/benchmark.h>
#include <malloc.h>

#include "base/CMemStrm.h"
#include "records/CRecord.h"
#include "records/PropRecord.h"

namespace {

using namespace RecField;
constexpr u32 kFam = FourCC("BNCH");

const RecFieldDesc kSceneFields[] = {
    U32(FourCC("scid")),    Str(FourCC("name"), ""),   U32(FourCC("fade"), 1000),
    U32(FourCC("hold"), 0), F32(FourCC("levl"), 1, 3), U8(FourCC("mode")),
    U8(FourCC("loop")),     I32(FourCC("ofst")),       Array(FourCC("chan"), kRecU8),
};
const RecFieldDesc kSeqFields[] = {
    U32(FourCC("sqid")), Str(FourCC("name"), ""),   U32(FourCC("trig")),
    U8(FourCC("prio")),  F32(FourCC("rate"), 1, 2), List(FourCC("scns"), kFam, FourCC("SCNE")),
};
const RecFieldDesc kPlayFields[] = {
    U32(FourCC("vers"), 1),
    Str(FourCC("titl"), ""),
    List(FourCC("seqs"), kFam, FourCC("SEQU")),
};
CRecordSchema gScene(kFam, FourCC("SCNE"), 9, kSceneFields);
CRecordSchema gSeq(kFam, FourCC("SEQU"), 6, kSeqFields);
CRecordSchema gPlay(kFam, FourCC("PLAY"), 3, kPlayFields);

CRecord* BuildTree() {
    CRecord* play = CRecord::New(&gPlay);
    play->SetString(nullptr, 1, LString("benchmark show"));
    u8 chans[32];
    for (u32 s = 0; s < 2000; ++s) {
        CRecord* seq = CRecord::New(&gSeq);
        seq->SetU32(nullptr, 0, s + 1);
        seq->SetString(nullptr, 1, LString(("Sequence " + std::to_string(s)).c_str()));
        seq->SetU32(nullptr, 2, s * 7);
        seq->SetF32(nullptr, 4, 0, f32(s % 100) / 4);
        for (u32 c = 0; c < 20; ++c) {
            CRecord* sc = CRecord::New(&gScene);
            sc->SetU32(nullptr, 0, s * 20 + c);
            sc->SetString(nullptr, 1, LString(("Scene " + std::to_string(c)).c_str()));
            sc->SetU32(nullptr, 3, c * 100);
            sc->SetF32(nullptr, 4, 0, f32(c) / 8);
            for (u32 k = 0; k < sizeof(chans); ++k) chans[k] = u8(s + c + k);
            sc->SetArray(nullptr, 8, chans, sizeof(chans));
            seq->InsertItem(nullptr, 5, c, sc);
        }
        play->InsertItem(nullptr, 2, s, seq);
    }
    return play;
}

void BM_Encode(benchmark::State& state) {
    CRecord* tree = BuildTree();
    LDataBuf buf;
    u64 bytes = 0;
    for (auto _ : state) {
        CMemStrm s(buf);
        PropRecord::Write(&s, tree);
        bytes = s.Position();
        benchmark::DoNotOptimize(buf.Data());
    }
    state.SetBytesProcessed(i64(bytes) * state.iterations());
    state.counters["chunk_bytes"] = double(bytes);
    CRecord::Destroy(tree);
}
BENCHMARK(BM_Encode)->Unit(benchmark::kMillisecond);

void BM_Decode(benchmark::State& state) {
    CRecord* tree = BuildTree();
    LDataBuf buf;
    u64 bytes;
    {
        CMemStrm s(buf);
        PropRecord::Write(&s, tree);
        bytes = s.Position();
    }
    CRecord::Destroy(tree);
    {
        // Heap held by one decoded tree, against the chunk's size.
        const size_t before = mallinfo2().uordblks;
        CMemStrm s(buf.Data(), u32(bytes));
        CRecord* r = PropRecord::ReadNew(&s);
        const size_t after = mallinfo2().uordblks;
        state.counters["tree_per_chunk_byte"] = double(after - before) / double(bytes);
        CRecord::Destroy(r);
    }
    for (auto _ : state) {
        CMemStrm s(buf.Data(), u32(bytes));
        CRecord* r = PropRecord::ReadNew(&s);
        benchmark::DoNotOptimize(r);
        state.PauseTiming();
        CRecord::Destroy(r);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(i64(bytes) * state.iterations());
}
BENCHMARK(BM_Decode)->Unit(benchmark::kMillisecond);

// Merging into a tree of the same shape: values overwritten in place.
void BM_DecodeInto(benchmark::State& state) {
    CRecord* tree = BuildTree();
    LDataBuf buf;
    u64 bytes;
    {
        CMemStrm s(buf);
        PropRecord::Write(&s, tree);
        bytes = s.Position();
    }
    for (auto _ : state) {
        CMemStrm s(buf.Data(), u32(bytes));
        benchmark::DoNotOptimize(PropRecord::ReadInto(&s, tree, false));
    }
    state.SetBytesProcessed(i64(bytes) * state.iterations());
    CRecord::Destroy(tree);
}
BENCHMARK(BM_DecodeInto)->Unit(benchmark::kMillisecond);

}  // namespace
