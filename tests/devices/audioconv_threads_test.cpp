// Audio conversion on its pool thread, checked against ffmpeg's own decode.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>
#include <thread>
#include <vector>

#include "base/Clock.h"
#include "base/FileOps.h"
#include "base/Paths.h"
#include "devices/audio/CAudioConvJob.h"
#include "devlink/FileJobQueue.h"
#include "tests/devices/AudioTestUtil.h"
#include "tests/devlink/VirtualRunLoop.h"
#include "tools/testkit/KillRounds.h"
#include "tools/testkit/SimDeviceProcess.h"

using namespace audiotest;

namespace {

bool Eventually(const std::function<bool()>& pred, int ms = 20000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (; !pred(); SleepMs(1))
        if (std::chrono::steady_clock::now() > end) return false;
    return true;
}

struct Completions {
    std::atomic<int> count{0};
    std::atomic<u32> stateSeen{99};
    std::atomic<bool> onMain{false};
    std::atomic<const CAudioConvertJob*> job{nullptr};
    std::thread::id main = std::this_thread::get_id();
    static void Fn(void* self) {
        auto* c = static_cast<Completions*>(self);
        const CAudioConvertJob* job = c->job;
        c->stateSeen = job ? job->GetState() : 98;
        c->onMain = c->onMain || std::this_thread::get_id() == c->main;
        ++c->count;
    }
};

// Holds the worker after its first step until it is cancelled or released.
std::atomic<bool> gRelease{false};
std::atomic<int> gHeld{0};
void Hold(const CAudioConvertJob* job) {
    if (gHeld++ > 0) return;
    while (!gRelease && !job->Cancelled()) SleepMs(1);
}

class AudioConv : public ::testing::Test {
protected:
    void SetUp() override {
        gRelease = false, gHeld = 0;
        CWavWriter::sHooks = WavWriterHooks();
        CAudioConvertJob::sFailBuffer = false;
    }
    void TearDown() override {
        CAudioConvertJob::sStepHook = nullptr;
        CWavWriter::sHooks = WavWriterHooks();
        CAudioConvertJob::sFailBuffer = false;
    }
    std::string Dest(const std::string& name = "out.wav") {
        const std::string p = dir.Path() + "/" + name;
        std::ofstream(p) << "stale";
        return p;
    }
    std::string Aiff24() { return Make(dir.Path(), "s24.aiff", "-ac 2 -c:a pcm_s24be"); }
    bool Ended(const CAudioConvertJob& j) {
        return Eventually([&] { return j.GetState() >= CAudioConvertJob::kDone; });
    }
    testtftp::TempDir dir;
};

struct FormatCase {
    const char* name;
    const char* out;
    const char* in;
    u32 rate, channels, bits;
    const char* raw;
    bool damaged = false;  // junk in the middle: the frames it spoils are left out
};

TEST_F(AudioConv, FormatsAndPcmMatchTheProgramsOwnDecode) {
    const FormatCase cases[] = {
        {"s24.aiff", "-ac 2 -c:a pcm_s24be", "sine=f=440:r=48000:d=1", 48000, 2, 24, "s24le"},
        {"mono.mp3", "-ac 1 -b:a 128k", "sine=f=440:r=44100:d=1", 44100, 1, 16, "s16le"},
        {"stereo.mp3", "-ac 2 -b:a 192k", "sine=f=330:r=44100:d=1", 44100, 2, 16, "s16le"},
        {"f32.wav", "-ac 2 -c:a pcm_f32le", "sine=f=440:r=44100:d=1", 44100, 2, 32, "s32le"},
        {"u8.wav", "-ac 1 -c:a pcm_u8", "sine=f=440:r=22050:d=1", 22050, 1, 16, "s16le"},
        {"alac.m4a", "-ac 2 -c:a alac", "sine=f=440:r=44100:d=1", 44100, 2, 16, "s16le"},
        {"six.flac", "-ac 6 -c:a flac", "sine=f=440:r=48000:d=1", 48000, 6, 16, "s16le"},
        {"damaged.mp3", "-ac 2", "sine=f=440:r=44100:d=2", 44100, 2, 16, "s16le", true},
        // 3003 bytes of data: a pad byte follows
        {"odd.aiff", "-ac 1 -c:a pcm_s24be", "sine=r=8000:d=1,atrim=end_sample=1001", 8000, 1, 24,
         "s24le"},
    };
    for (const FormatCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string src = Make(dir.Path(), c.name, c.out, c.in);
        ASSERT_FALSE(src.empty());
        if (c.damaged) {
            ASSERT_TRUE(Sh("printf '%3000s' | tr ' ' '\\377' | dd of='" + src +
                           "' bs=1 seek=12000 conv=notrunc status=none"));
        }
        const std::string dst = Dest(std::string(c.name) + ".wav");
        CAudioConvertJob job;
        Completions done;
        done.job = &job;
        ASSERT_TRUE(job.Start(src.c_str(), dst.c_str(), &done, Completions::Fn));
        ASSERT_TRUE(Ended(job));
        EXPECT_EQ(job.GetState(), CAudioConvertJob::kDone);
        ASSERT_TRUE(Eventually([&] { return done.count > 0; }));
        job.Stop();
        EXPECT_EQ(done.count, 1);
        EXPECT_EQ(done.stateSeen, CAudioConvertJob::kDone) << "completion after the final state";
        EXPECT_FALSE(done.onMain);
        EXPECT_EQ(OpenCount(src) + OpenCount(dst), 0);

        const Wave w = ReadWave(dst);
        ASSERT_TRUE(w.ok);
        const u32 width = (c.bits + 7) >> 3;
        EXPECT_EQ(w.probe, std::string("pcm_s") + std::to_string(c.bits) + "le," +
                               std::to_string(c.rate) + "," + std::to_string(c.channels) + "," +
                               std::to_string(c.bits));
        const std::vector<u8> file = ReadAll(dst);
        EXPECT_EQ(file[32] | file[33] << 8, int(width * c.channels)) << "block align";
        EXPECT_EQ(LeU32(file, 4), file.size() - 8) << "RIFF size";
        EXPECT_EQ(LeU32(file, 40), w.data.size()) << "data size";
        EXPECT_EQ(file.size(), 44 + (w.data.size() + 1) / 2 * 2);
        EXPECT_EQ(w.data, RawDecode(src, c.raw)) << "PCM byte for byte";
        EXPECT_EQ(job.FramesDone(), w.frames);
        EXPECT_LE(job.LargestStep(), CAudioConvertJob::kStepLimit);
    }
}

TEST_F(AudioConv, StepsHoldTheMostWholeFramesThatFit) {
    const std::pair<u32, u32> steps[] = {{6, 65532},     {4, 65536},     {3, 65535}, {12, 65532},
                                         {65536, 65536}, {65537, 65537}, {0, 0}};
    for (auto [frame, bytes] : steps) EXPECT_EQ(CAudioConvertJob::StepBytes(frame), bytes) << frame;
    const std::pair<u32, u32> bits[] = {{0, 16}, {8, 16}, {16, 16}, {24, 24}, {32, 32}, {64, 32}};
    for (auto [in, out] : bits) EXPECT_EQ(CAudioConvertJob::OutputBits(in), out) << in;

    const std::string src = Aiff24(), dst = Dest();
    CAudioConvertJob job;
    ASSERT_TRUE(job.Start(src.c_str(), dst.c_str(), nullptr, nullptr));
    EXPECT_EQ(job.FramesPerRead(), 10922u);
    EXPECT_EQ(job.BufferBytes(), 65532u);
    ASSERT_TRUE(Ended(job));
    EXPECT_EQ(job.LargestStep(), 65532u) << "48000 frames move 10922 at a time";
}

TEST_F(AudioConv, ConverterStartsOnceFromIdleAndClosesWhatItOpenedOnFailure) {
    const std::string src = Aiff24(), dst = Dest();
    struct Case {
        const char* name;
        std::string source, destination;
    } cases[] = {
        {"no source", dir.Path() + "/missing.aiff", dst},
        {"no destination", src, dir.Path() + "/nofolder/out.wav"},
        {"destination not made by the caller", src, dir.Path() + "/notmade.wav"},
    };
    for (const Case& c : cases) {
        CAudioConvertJob job;
        EXPECT_FALSE(job.Start(c.source.c_str(), c.destination.c_str(), nullptr, nullptr))
            << c.name;
        EXPECT_EQ(job.GetState(), CAudioConvertJob::kFailed) << c.name;
        EXPECT_EQ(OpenCount(src) + OpenCount(dst), 0) << c.name;
        EXPECT_FALSE(job.Start(src.c_str(), dst.c_str(), nullptr, nullptr)) << "not from state 3";
    }
    CAudioConvertJob job;
    ASSERT_TRUE(job.Start(src.c_str(), dst.c_str(), nullptr, nullptr));
    ASSERT_TRUE(Ended(job));
    job.Stop();
    EXPECT_EQ(job.GetState(), CAudioConvertJob::kIdle);
    EXPECT_FALSE(job.Start(src.c_str(), dst.c_str(), nullptr, nullptr)) << "started once";
}

TEST_F(AudioConv, HolderPollsProgressAndRefusesASecondStart) {
    const std::string src = Aiff24(), dst = Dest();
    std::ofstream(dir.Path() + "/x.mp3") << "x.mp3 holding text";
    CAudioConvJob holder;
    Completions done;
    const VideoConvSettings video;
    EXPECT_FALSE(holder.Start(LString((dir.Path() + "/x.mp3").c_str()), LString(dst.c_str()), video,
                              1, &done, Completions::Fn));
    EXPECT_EQ(holder.PollState(), MAudioConvJob::kIdle) << "a failed start leaves 0";
    EXPECT_EQ(holder.GetProgress(), 1.0f);

    CAudioConvertJob::sStepHook = Hold;
    ASSERT_TRUE(
        holder.Start(LString(src.c_str()), LString(dst.c_str()), video, 1, &done, Completions::Fn));
    done.job = holder.Converter();
    ASSERT_TRUE(Eventually([] { return gHeld > 0; }));
    EXPECT_FALSE(
        holder.Start(LString(src.c_str()), LString(dst.c_str()), video, 1, &done, Completions::Fn));
    EXPECT_EQ(holder.PollState(), MAudioConvJob::kRunning);
    EXPECT_EQ(holder.GetProgress(), f32(10922.0 / 48000.0));
    gRelease = true;
    ASSERT_TRUE(Eventually([&] { return holder.PollState() != MAudioConvJob::kRunning; }));
    EXPECT_EQ(holder.PollState(), MAudioConvJob::kDone);
    EXPECT_EQ(holder.PollState(), MAudioConvJob::kDone) << "kept while not running";
    EXPECT_EQ(holder.GetProgress(), 1.0f);
    holder.Reset();
    EXPECT_EQ(holder.PollState(), MAudioConvJob::kIdle);
    EXPECT_EQ(done.count, 1);
    EXPECT_EQ(done.stateSeen, CAudioConvertJob::kDone);
}

TEST_F(AudioConv, ResetReturnsOnlyAfterBothFilesAreClosed) {
    const std::string src = Aiff24(), dst = Dest();
    CAudioConvertJob::sStepHook = Hold;
    Completions done;
    for (bool throughQueue : {false, true}) {
        SCOPED_TRACE(throughQueue ? "queue" : "holder");
        gHeld = 0;
        CVirtualRunLoop loop;
        CAudioConvJob holder;
        CKvsFileJobQueue queue(nullptr, nullptr, nullptr, nullptr, nullptr, &holder);
        if (throughQueue) {
            queue.AddJob(1, LString(src.c_str()));
            loop.RunDue();
            EXPECT_FALSE(queue.GetConvertName().IsEmpty());
        } else {
            ASSERT_TRUE(holder.Start(LString(src.c_str()), LString(dst.c_str()),
                                     VideoConvSettings(), 1, &done, Completions::Fn));
        }
        ASSERT_TRUE(Eventually([] { return gHeld > 0; }));
        EXPECT_EQ(OpenCount(src), 1);
        throughQueue ? queue.CancelAll() : holder.Reset();
        EXPECT_EQ(OpenCount(src) + OpenCount(dst), 0);
        EXPECT_EQ(holder.PollState(), MAudioConvJob::kIdle);
        EXPECT_EQ(done.count, 0) << "no completion after a cancel";
        EXPECT_TRUE(queue.IsIdle());
    }
}

// Without a device an upload would end with status 2, not 1.
TEST_F(AudioConv, QueueGivesStatus1AndUploadsNothingWhenTheConversionFails) {
    const std::string good = Aiff24(), text = dir.Path() + "/x.mp3";
    std::ofstream(text) << "x.mp3 holding text";
    for (int fault : {0, 1}) {
        SetUp();
        fault ? void(CWavWriter::sHooks.dataLimit = 48000 * 6 - 1)
              : void(CWavWriter::sHooks.failClose = true);
        CVirtualRunLoop loop;
        CAudioConvJob holder;
        CKvsFileJobQueue queue(nullptr, nullptr, nullptr, nullptr, nullptr, &holder);
        queue.AddJob(1, LString(text.c_str()));
        queue.AddJob(1, LString(good.c_str()));
        ASSERT_TRUE(Eventually([&] {
            loop.RunUntil([] { return false; }, 5);
            loop.AdvanceToNext(200);
            return queue.IsIdle();
        }));
        LString path;
        u32 status = 0;
        for (const std::string& name : {text, good}) {
            ASSERT_TRUE(queue.TakeFinished(&path, &status));
            EXPECT_EQ(std::string(path.CStr()), name);
            EXPECT_EQ(status, CKvsFileJobQueue::kNotAccepted) << name << " " << fault;
        }
    }
}

// Listens on loopback: a playlist naming it must not make the decoder connect.
struct Listener {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    u16 port = 0;
    Listener() {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t n = sizeof a;
        if (bind(fd, reinterpret_cast<sockaddr*>(&a), n) == 0 && listen(fd, 4) == 0 &&
            getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n) == 0)
            port = ntohs(a.sin_port);
    }
    ~Listener() { close(fd); }
    bool Connected() {
        pollfd p{fd, POLLIN, 0};
        return poll(&p, 1, 0) > 0;
    }
};

struct FaultCase {
    const char* name;
    std::function<std::string()> source;  // made by the case
    std::function<void()> arrange;
    bool starts;
    u32 final = CAudioConvertJob::kFailed;
};

// A pool whose jobs cannot run: no worker thread starts.
struct NoThreadPool : CThreadPool {
    bool StartWorker(CPoolWorker*) override { return false; }
};

TEST_F(AudioConv, LimitsAndFaultsEndWithBothFilesClosed) {
    const std::string aiff = Aiff24();
    Listener web;
    ASSERT_NE(web.port, 0);
    NoThreadPool noThreads;
    CThreadPool* pool = nullptr;
    const FaultCase cases[] = {
        {"sizes cannot be written at close", [&] { return aiff; },
         [] { CWavWriter::sHooks.failClose = true; }, true},
        {"a write fails", [&] { return aiff; }, [] { CWavWriter::sHooks.failWriteAt = 100000; },
         true},
        {"stated length passes the WAV limit", [&] { return aiff; },
         [] { CWavWriter::sHooks.dataLimit = 48000 * 6 - 1; }, false},
        {"stated length at the limit", [&] { return aiff; },
         [] { CWavWriter::sHooks.dataLimit = 48000 * 6; }, true, CAudioConvertJob::kDone},
        {"data past the stated length and the limit",
         [&] {
             // The header says 1000 frames; 48000 follow.
             const std::string p = Make(dir.Path(), "lie.aiff", "-ac 2 -c:a pcm_s16be");
             std::vector<u8> b = ReadAll(p);
             b[22] = 0, b[23] = 0, b[24] = 0x03, b[25] = 0xE8;
             std::ofstream(p, std::ios::binary).write(reinterpret_cast<char*>(b.data()), b.size());
             return p;
         },
         [] { CWavWriter::sHooks.dataLimit = 20000; }, true},
        {"no buffer for the worker", [&] { return aiff; },
         [] { CAudioConvertJob::sFailBuffer = true; }, true},
        {"no thread for the job", [&] { return aiff; }, [&] { pool = &noThreads; }, false},
        {"noise under an audio name",
         [&] {
             std::string p = dir.Path() + "/noise.mp3";
             std::ofstream out(p, std::ios::binary);
             for (u32 i = 0, x = 12345; i < 20000; ++i)
                 out.put(char((x = x * 1103515245 + 12345) >> 16));
             return p;
         },
         [] {}, false},
        {"the rate changes midway",
         [&] {
             const std::string a = Make(dir.Path(), "a.mp3", "-ac 1", "sine=r=44100:d=1");
             const std::string b = Make(dir.Path(), "b.mp3", "-ac 1", "sine=r=48000:d=1");
             Sh("cat '" + a + "' '" + b + "' > '" + dir.Path() + "/mix.mp3'");
             return dir.Path() + "/mix.mp3";
         },
         [] {}, true},
        {"a playlist naming a web server",
         [&] {
             const std::string p = dir.Path() + "/list.m3u8";
             std::ofstream(p) << "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1,\nhttp://127.0.0.1:"
                              << web.port << "/a.ts\n#EXT-X-ENDLIST\n";
             return p;
         },
         [] {}, false},
    };
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        pool = nullptr;
        const std::string src = c.source(), dst = Dest();
        c.arrange();
        Completions done;
        {
            CAudioConvertJob job(pool);
            done.job = &job;
            EXPECT_EQ(job.Start(src.c_str(), dst.c_str(), &done, Completions::Fn), c.starts);
            EXPECT_TRUE(Ended(job));
            EXPECT_EQ(job.GetState(), c.final);
            if (c.starts) {
                EXPECT_TRUE(Eventually([&] { return done.count == 1; }));
            }
            job.Stop();  // returns: nothing left waiting
        }
        EXPECT_EQ(done.count, c.starts ? 1 : 0);
        if (c.starts) {
            EXPECT_EQ(done.stateSeen, c.final);
        }
        EXPECT_EQ(OpenCount(src) + OpenCount(dst), 0);
    }
    EXPECT_FALSE(web.Connected());
}

TEST(WavFormat, HeaderFieldsMustFit) {
    struct {
        WavFormat f;
        bool fits;
    } cases[] = {
        {{48000, 2, 24}, true},      {{0, 2, 16}, false},
        {{44100, 0, 16}, false},     {{44100, 65535, 8}, true},
        {{44100, 65536, 8}, false},  {{44100, 32768, 16}, false},  // block align 65536
        {{65535, 16383, 32}, true},  {{65536, 16384, 32}, false},  // byte rate 2^32
        {{4294967295u, 1, 8}, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.f.Fits(), c.fits) << c.f.rate << " " << c.f.channels << " " << c.f.bits;
}

}  // namespace

// ---------------------------------------------------------------- killed and full-disk conversions

namespace {

std::string SelfExe() {
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, size_t(n)) : std::string();
}

std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        out.push_back(e.path().filename().string());
    return out;
}

// What the upload queue does with a dropped file: a temporary WAV, converted into.
bool ConvertOnce(const std::string& src, const LString& folder) {
    CTempFile wav("kvscnv", &folder);
    LString local;
    if (wav.Failed() || FileUrlToPosixPath(&local, wav.Path()).IsEmpty()) return false;
    CAudioConvertJob job;
    if (!job.Start(src.c_str(), local.CStr(), nullptr, nullptr)) return false;
    Eventually([&] { return job.GetState() >= CAudioConvertJob::kDone; });
    const bool done = job.GetState() == CAudioConvertJob::kDone;
    job.Stop();
    return done;
}

}  // namespace

// Converts $KV_WAV_SRC into temporaries of $KV_WAV_DIR over and over, marking each
// for the killer; or, with KV_FULL set, once onto a full disk.
TEST(WavSafety, ConvertChild) {
    const char* src = getenv("KV_WAV_SRC");
    const char* dir = getenv("KV_WAV_DIR");
    if (!src || !dir) GTEST_SKIP() << "run by the kill and full-disk tests";
    LString folder;
    PosixPathToFileUrl(&folder, LString(dir));
    if (!getenv("KV_FULL")) {
        for (;;) {
            testkit::MarkSave('b');
            ConvertOnce(src, folder);
            testkit::MarkSave('e');
        }
    }
    ASSERT_TRUE(testkit::FillDisk(dir, "filler"));
    EXPECT_FALSE(ConvertOnce(src, folder));
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"filler"});
}

// Conversions killed at random moments leave at most their own temporary, which
// the next run that makes one in that folder removes.
TEST(WavSafety, KilledConversionsLeaveNothingBehind) {
    testtftp::TempDir dir;
    const std::string src =
        Make(dir.Path(), "src.mp3", "-ac 2 -b:a 128k", "sine=f=440:r=44100:d=3");
    ASSERT_FALSE(src.empty());
    const std::string temp = dir.Path() + "/temp", runs = dir.Path() + "/runs";
    std::filesystem::create_directories(temp);
    std::mt19937 rng(4126);
    u32 midSave = 0;
    for (u32 i = 0; i < 8; ++i) {
        std::filesystem::remove_all(runs);
        std::filesystem::create_directories(runs);
        const testkit::KillResult k = testkit::KillDuringSavesExec(
            {SelfExe(), "--gtest_filter=WavSafety.ConvertChild"},
            {"KV_WAV_SRC=" + src, "KV_WAV_DIR=" + temp, "TMPDIR=" + runs}, 60000, 20000, rng);
        ASSERT_TRUE(k.started);
        midSave += k.midSave;
        // Each killed run leaves at most the one it was writing (its predecessors' were
        // swept when it made its first).
        EXPECT_LE(Entries(temp).size(), 1u);
    }
    // The next temporary made in the folder clears what the dead runs left.
    LString folder;
    PosixPathToFileUrl(&folder, LString(temp.c_str()));
    {
        CTempFile next("kvscnv", &folder);
        ASSERT_FALSE(next.Failed());
        EXPECT_EQ(Entries(temp).size(), 1u);
    }
    EXPECT_TRUE(Entries(temp).empty());
    std::printf("8 killed conversions, %u inside a conversion\n", midSave);
}

// A full disk: the conversion fails and its temporary goes.
TEST(WavSafety, FullDiskFailsAndLeavesNothing) {
    if (geteuid() != 0) GTEST_SKIP() << "needs a mount namespace";
    testtftp::TempDir dir;
    const std::string src =
        Make(dir.Path(), "src.mp3", "-ac 2 -b:a 128k", "sine=f=440:r=44100:d=3");
    ASSERT_FALSE(src.empty());
    const std::string temp = dir.Path() + "/temp";
    std::filesystem::create_directories(temp);
    const std::string cmd =
        "unshare -m --propagation private sh -c 'mount -t tmpfs -o size=96k "
        "kvsmall " +
        temp + " && TMPDIR=" + dir.Path() + " KV_WAV_SRC=" + src + " KV_WAV_DIR=" + temp +
        " KV_FULL=1 exec " + SelfExe() + " --gtest_filter=WavSafety.ConvertChild' >/dev/null 2>&1";
    EXPECT_EQ(system(cmd.c_str()), 0);
}
