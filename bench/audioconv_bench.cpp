// Audio conversion against the ffmpeg program on the same one-hour sources, and
// how soon a running conversion lets go when it is reset. The sources are made
// once by the ffmpeg program from its noise source into $KEVO_AUDIO_BENCH_DIR
// (default /tmp/kevo-audio-bench-UID) and reused; outputs are removed after each run.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>

#include "base/Clock.h"
#include "devices/audio/CAudioConvJob.h"

namespace {

struct Source {
    const char* name;
    const char* make;  // ffmpeg output options
    const char* pcm;   // what the program is asked to write
    const char* format;
};
const Source kMp3{"noise.mp3", "-ar 44100 -ac 2 -c:a libmp3lame -b:a 320k", "pcm_s16le", "mp3"};
const Source kAiff{"noise.aiff", "-ar 48000 -ac 2 -c:a pcm_s24be", "pcm_s24le", "aiff"};

std::string Dir() {
    const char* d = std::getenv("KEVO_AUDIO_BENCH_DIR");
    return d ? d : "/tmp/kevo-audio-bench-" + std::to_string(geteuid());
}

std::string Make(const Source& s) {
    const std::string path = Dir() + "/" + s.name;
    if (access(path.c_str(), R_OK) != 0) {
        const std::string part = path + ".part";
        const std::string cmd = "mkdir -p '" + Dir() +
                                "' && ffmpeg -nostdin -v error -y -f lavfi -i "
                                "'anoisesrc=r=48000:d=3600:seed=7' " +
                                s.make + " -f " + s.format + " '" + part + "' && mv '" + part +
                                "' '" + path + "'";
        if (std::system(cmd.c_str()) != 0) return {};
    }
    return path;
}

struct Done {
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    static void Fn(void* self) {
        auto* d = static_cast<Done*>(self);
        std::lock_guard<std::mutex> l(d->m);
        d->done = true;
        d->cv.notify_all();
    }
    void Wait() {
        std::unique_lock<std::mutex> l(m);
        cv.wait(l, [&] { return done; });
    }
};

std::string EmptyFile(const char* name) {
    const std::string p = Dir() + "/" + name;
    std::ofstream(p, std::ios::trunc);
    return p;
}

void Ours(benchmark::State& st, const Source* s) {
    const std::string src = Make(*s);
    if (src.empty()) return st.SkipWithError("could not make the source");
    for (auto _ : st) {
        const std::string out = EmptyFile("ours.wav");
        Done done;
        CAudioConvJob job;
        if (!job.Start(LString(src.c_str()), LString(out.c_str()), VideoConvSettings(), 1, &done,
                       Done::Fn))
            return st.SkipWithError("did not start");
        done.Wait();
        if (job.PollState() != MAudioConvJob::kDone) st.SkipWithError("failed");
        job.Reset();
        unlink(out.c_str());
    }
}

void Program(benchmark::State& st, const Source* s) {
    const std::string src = Make(*s);
    if (src.empty()) return st.SkipWithError("could not make the source");
    const std::string out = Dir() + "/program.wav";
    for (auto _ : st) {
        const std::string cmd =
            "ffmpeg -nostdin -v error -y -i '" + src + "' -c:a " + s->pcm + " '" + out + "'";
        if (std::system(cmd.c_str()) != 0) st.SkipWithError("ffmpeg failed");
        unlink(out.c_str());
    }
}

// From the call of Reset to its return, half a second into the conversion.
void ResetWhileRunning(benchmark::State& st) {
    const std::string src = Make(kAiff);
    if (src.empty()) return st.SkipWithError("could not make the source");
    for (auto _ : st) {
        const std::string out = EmptyFile("reset.wav");
        CAudioConvJob job;
        job.Start(LString(src.c_str()), LString(out.c_str()), VideoConvSettings(), 1, nullptr,
                  nullptr);
        SleepMs(500);
        if (job.PollState() != MAudioConvJob::kRunning) st.SkipWithError("ended too soon");
        const auto t0 = std::chrono::steady_clock::now();
        job.Reset();
        st.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        unlink(out.c_str());
    }
}

BENCHMARK_CAPTURE(Ours, mp3_1h, &kMp3)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK_CAPTURE(Program, mp3_1h, &kMp3)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK_CAPTURE(Ours, aiff24_1h, &kAiff)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK_CAPTURE(Program, aiff24_1h, &kAiff)
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime();
BENCHMARK(ResetWhileRunning)->Unit(benchmark::kMicrosecond)->Iterations(10)->UseManualTime();

}  // namespace
