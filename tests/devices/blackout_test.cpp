#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <new>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "base/Resources.h"
#include "devices/CKvsDevCtl.h"
#include "devlink/FileJobQueue.h"
#include "devices/DevTransfer.h"
#include "devices/CKvsUploads.h"
#include "devices/files/CKvsRenDlg.h"
#include "devices/files/CKvsFileDrop.h"
#include "devices/files/DeviceFileOps.h"
#include "devices/recordings/BlackoutRecording.h"
#include "devices/recordings/CDrcBlackoutStrm.h"
#include "devices/recordings/CKvsBoDlg.h"
#include "framework/InputState.h"
#include "framework/StdDialogs.h"
#include "records/AppPrefsDoc.h"
#include "records/CRecordDoc.h"
#include "records/DeviceKinds.h"
#include "records/NsqPrefKinds.h"
#include "records/PrefNodes.h"
#include "records/RecordKinds.h"
#include "tests/devices/DrcDecoder.h"
#include "tests/devlink/DeviceTestUtil.h"
#include "tests/framework/ControlPanes.h"
#include "tests/framework/FakeControls.h"
#include "tests/framework/FakeWindows.h"

// Every allocation is counted: reading a recording must make none.
namespace {

std::atomic<u64> gNews{0};

}  // namespace

void* operator new(size_t n) {
    gNews.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void* operator new(size_t n, const std::nothrow_t&) noexcept {
    gNews.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(n ? n : 1);
}
// Kept out of line: g++ otherwise inlines them into gtest's factories, pairs the
// inlined free with the new it sees there and warns of a mismatch.
__attribute__((noinline)) void operator delete(void* p) noexcept {
    std::free(p);
}
__attribute__((noinline)) void operator delete(void* p, size_t) noexcept {
    std::free(p);
}

namespace {

using Bytes = std::vector<u8>;

// The recording as the frames' own rules build it: one encoder per universe,
// every frame appended in memory.
Bytes Reference(u32 universes, u32 seconds, u8 level) {
    std::vector<CDrcFrameEncoder> enc(universes);
    for (u32 u = 0; u < universes; ++u) enc[u].Init(u);
    u8 slots[kDmxSlots];
    slots[0] = 0;
    std::fill(slots + 1, slots + kDmxSlots, level);
    Bytes file;
    u8 frame[kDrcMaxFrame];
    for (u32 t = 0; t <= seconds * 1000; t += 500)
        for (u32 u = 0; u < universes; ++u) {
            const u32 n = enc[u].Encode(true, t, slots, kDmxSlots, frame, sizeof frame);
            file.insert(file.end(), frame, frame + n);
        }
    return file;
}

Bytes ReadAll(CStrm& s, u64 chunk) {
    Bytes out;
    Bytes buf(chunk);
    for (;;) {
        u64 n = chunk;
        s.Read(buf.data(), &n);
        if (n == 0) break;
        out.insert(out.end(), buf.begin(), buf.begin() + long(n));
    }
    return out;
}

using drctest::Hex;

TEST(BlackoutStream, TheFramesOfTheRecording) {
    const struct {
        u32 universes, seconds;
        u8 level;
        u64 size;
    } cases[] = {
        {1, 10, 0, 315}, {1, 10, 255, 337}, {2, 10, 0, 630},
        {17, 3, 128, 0}, {3, 1, 7, 0},      {1, 999, 1, 0},
    };
    for (const auto& c : cases) {
        const Bytes want = Reference(c.universes, c.seconds, c.level);
        if (c.size) {
            EXPECT_EQ(want.size(), c.size);
        }
        CDrcBlackoutStrm s(c.universes, c.seconds * 1000, c.level);
        EXPECT_EQ(s.Size(), want.size()) << c.universes << " " << c.seconds;
        for (u64 chunk : {1u, 7u, 512u, 1428u, 100000u}) {
            s.SetPosition(0);
            EXPECT_EQ(ReadAll(s, chunk), want) << c.universes << " " << c.seconds << " " << chunk;
        }
        drctest::Decoder d;
        ASSERT_EQ(d.Decode(want), "");
        EXPECT_EQ(d.frames.size(), (c.seconds * 2 + 1) * c.universes);
    }

    // 1 universe, 10 s, level 0: key frames at whole seconds, all-zero differences between.
    const Bytes one = Reference(1, 10, 0);
    drctest::Decoder d;
    ASSERT_EQ(d.Decode(one), "");
    ASSERT_EQ(d.frames.size(), 21u);
    EXPECT_EQ(Hex(one.data(), 15), "00 00 C2 01 80 80 80 80 00 80 00 FF FF FF FE");
    EXPECT_EQ(d.frames[1].kind, 0x40);
    EXPECT_EQ(Hex(one.data() + d.frames[1].offset + 10, 5), "00 FF FF FF FE");
    for (const drctest::Frame& f : d.frames) EXPECT_EQ(f.kind, f.timeMs % 1000 ? 0x40 : 0xC0);

    // Two universes: by time, then by port.
    const Bytes twoBytes = Reference(2, 1, 9);
    drctest::Decoder two;
    ASSERT_EQ(two.Decode(twoBytes), "");
    std::string order;
    for (const drctest::Frame& f : two.frames)
        order += std::to_string(f.timeMs) + ":" + std::to_string(f.port) + " ";
    EXPECT_EQ(order, "0:0 0:1 500:0 500:1 1000:0 1000:1 ");
    EXPECT_EQ(Hex(twoBytes.data() + two.frames[1].offset + 8, 2), "01 80");
}

TEST(BlackoutStream, ReadsBackFromAnywhere) {
    // The upload goes back to its first unacknowledged block, across steps too.
    const Bytes want = Reference(5, 6, 200);
    CDrcBlackoutStrm s(5, 6000, 200);
    std::mt19937 rng(39);
    Bytes got(want.size(), 0);
    u64 pos = 0;
    for (int i = 0; i < 3000; ++i) {
        if (rng() % 3 == 0) pos = rng() % want.size();
        s.SetPosition(pos);
        u64 n = 1 + rng() % 700;
        Bytes buf(n);
        s.Read(buf.data(), &n);
        ASSERT_EQ(n, std::min<u64>(buf.size(), want.size() - pos)) << pos;
        ASSERT_TRUE(std::equal(buf.begin(), buf.begin() + long(n), want.begin() + long(pos)))
            << pos;
        EXPECT_EQ(s.Position(), pos + n);
        pos = pos + n >= want.size() ? 0 : pos + n;
    }
    s.SetPosition(want.size() + 10);
    u64 n = 10;
    u8 buf[10];
    s.Read(buf, &n);
    EXPECT_EQ(n, 0u);
}

TEST(BlackoutStream, TheLargestRecordingIsNeverHeld) {
    // 32768 universes for 999 s: a gigabyte, sized before the first byte.
    EXPECT_EQ(CDrcBlackoutStrm(32768, 999000, 255).Size(), 1048084480u);
    EXPECT_EQ(CDrcBlackoutStrm(32768, 999000, 0).Size(), 982548480u);
    for (u32 bad : {0u, 32769u}) EXPECT_NE(CDrcBlackoutStrm(bad, 1000, 0).Error(), CStrm::kErrNone);
    // Reading allocates nothing, however long the recording.
    for (u32 seconds : {1u, 999u}) {
        CDrcBlackoutStrm s(300, seconds * 1000, 255);
        u8 block[1428];
        const u64 before = gNews.load();
        u64 total = 0;
        for (u64 n = sizeof block; n == sizeof block; total += n) {
            n = sizeof block;
            s.Read(block, &n);
        }
        EXPECT_EQ(total, s.Size());
        EXPECT_EQ(gNews.load() - before, 0u) << seconds;
    }
}

TEST(BlackoutNames, FileNames) {
    const struct {
        const char* typed;
        const char* file;
    } cases[] = {
        {"blackout", "blackout.drc"}, {"a/b", "a_b.drc"},     {"show.x", "show.drc"},
        {"a\tb", "a_b.drc"},          {".x", "_x.drc"},       {"../up", "_.drc"},
        {"show.drc", "show.drc"},     {"x\x7f", "x\x7f.drc"},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(BlackoutFileName(LString(c.typed)).CStr(), c.file) << c.typed;
}

// ---- the dialog and the operation

// Answers each dialog's modal turn with the case's script; the progress dialog's
// turns move the run loop on.
struct Top : LHandler {
    std::function<void(LDialog*)> script;
    LMessage HandleMessage(const LMessage& msg) override {
        if (msg.Is(LHandler_Mode)) {
            if (auto* d = dynamic_cast<LDialog*>(msg.source); d && script) script(d);
            return LMessage();
        }
        return LHandler::HandleMessage(msg);
    }
};

struct LoopClock : FakeServices {
    explicit LoopClock(CVirtualRunLoop* l) : loop(l) {}
    u32 NowMs() override { return loop->NowMs(); }
    CVirtualRunLoop* loop;
};

void Press(LDialog* d, bool ok) {
    LHandler::Send(LStdCtl_Selected, ok ? d->DefaultButton() : d->CancelButton(), d);
}

class Blackout : public devtest::DeviceLinkTest {
protected:
    void SetUp() override {
        DeviceLinkTest::SetUp();
        static LResFile appFile(AppResFileRef());
        SetDefaultResChain(&appFile);
        controls.fClock = &fake.fNow;
        RegisterAllRecordKinds();
        prefs = std::make_unique<CRecordDoc>(CRecord::New(CRecordSchema::Find(kFamKvs, kKindPref)));
        SetAppPrefsDoc(prefs.get());
        top.script = [this](LDialog* d) { Turn(d); };
    }
    void TearDown() override {
        SetAppPrefsDoc(nullptr);
        DeviceLinkTest::TearDown();
    }
    CRecord* Node() { return prefs->Root()->GetChild(PrefF::blko); }
    void Step() {
        fLoop.RunUntil([] { return false; }, 20);
        const i32 wait = LTimer::NextWaitMs(nullptr, nullptr, true);
        if (wait == 0)
            LTimer::FireDue(fLoop.NowMs(), nullptr, nullptr, true);
        else if (!fLoop.AdvanceToNext(u32(wait)))
            fLoop.Advance(u32(wait));
    }
    // What the dialogs of one run showed and were answered.
    void Turn(LDialog* d) {
        if (auto* rn = dynamic_cast<CKvsRenDlg*>(d)) {
            shown += "rename ";
            rn->fName.SetText(LString(renameTo.c_str()));
            LHandler::Send(LEditText_Change, &rn->fName, rn);
            Press(d, true);
        } else if (auto* bo = dynamic_cast<CKvsBoDlg*>(d)) {
            shown += "dialog ";
            progressTurns = 0;
            listed = false;
            if (fill) fill(*bo);
            Press(d, dialogOk);
        } else if (auto* m = dynamic_cast<CSimpleMessageDialog*>(d)) {
            const bool two = (m->fCancelBtn.State() & 1) != 0;
            shown += std::string(two ? "ask[" : "say[") +
                     std::string(m->fMessage.GetText().View()) + "] ";
            Press(d, two ? replace : true);
        } else if (auto* p = dynamic_cast<CSimpleProgressDialog*>(d);
                   p && p->fMessage.GetText() == StdDialogText("KVSFILEOP", 13)) {
            // The card's recordings read before the name is taken.
            if (!listed) shown += "list ";
            listed = true;
            Step();
        } else if (p) {
            if (progressTurns++ == 0) shown += "progress ";
            barMax = p->fBar.Max();
            barValues.push_back(p->fBar.Value());
            if (cancelAtTurn >= 0 && progressTurns > cancelAtTurn) {
                Press(d, true);
                return;
            }
            Step();
        }
    }
    std::string Text(u32 n) { return std::string(StdDialogText("KVSBOCRT", n).View()); }
    std::string Say(u32 n) { return "say[" + Text(n) + "] "; }
    std::string DevicePath(u16 serial, const std::string& name) {
        return fDir.Path() + "/" + std::to_string(serial) + "/sdc/kevrecfiles/" + name;
    }
    Bytes DeviceFile(u16 serial, const std::string& name) {
        std::ifstream in(DevicePath(serial, name), std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    u32 WritesSeen() {
        u32 n = 0;
        for (const std::string& l : LogOf("req")) n += Field(l, "op") == "WRQ";
        return n;
    }
    // A device with a recordings folder; its controller counts file list signals.
    std::unique_ptr<CKvsDevCtl> Device(u16 serial, u32 index) {
        AddDevice(serial, index);
        std::filesystem::create_directories(fDir.Path() + "/" + std::to_string(serial) +
                                            "/sdc/kevrecfiles");
        auto ctl = std::make_unique<CKvsDevCtl>(&top, &fSet, serial);
        ctl->Doc(CKvsDevCtl::kContents).AddListener(&listSignals, [](void* self, CRecordNote* n) {
            if (n->record->Kind() == kKindDcts && n->field == DctsF::listChanged)
                ++*static_cast<u32*>(self);
        });
        return ctl;
    }

    LoopClock fake{&fLoop};
    FakeControls controls;
    FakeWindows windows{fake};
    LMouse mouse;
    LKeyboard keyboard;
    std::unique_ptr<CRecordDoc> prefs;
    Top top;
    // The script of one run.
    std::function<void(CKvsBoDlg&)> fill;
    bool dialogOk = true, replace = true;
    std::string renameTo;
    i32 cancelAtTurn = -1;
    // What it saw.
    std::string shown;
    i32 progressTurns = 0, barMax = 0;
    bool listed = false;
    u32 listSignals = 0;
    std::vector<i32> barValues;
};

TEST_F(Blackout, DialogShowsTheLastUniverseAndNeedsAName) {
    CKvsBoDlg d(&top);
    const struct {
        f32 universes;
        const char* address;
    } cases[] = {{17, "0/1/0"}, {32768, "127/15/15"}, {40000, "127/15/15"}, {0, "0/0/0"}};
    for (const auto& c : cases) {
        d.fUniverses.SetValue(c.universes);
        LHandler::Send(CNumVol_Fix, &d.fUniverses, &d);
        EXPECT_STREQ(d.fAddress.GetText().CStr(), c.address) << c.universes;
    }
    const struct {
        CNumVol* field;
        f32 below, above, min, max;
    } ranges[] = {{&d.fUniverses, 0, 40000, 1, 32768},
                  {&d.fLevel, -5, 300, 0, 255},
                  {&d.fDuration, 0, 1000, 1, 999}};
    for (const auto& r : ranges) {
        r.field->SetValue(r.below);
        EXPECT_EQ(r.field->GetValue(), r.min);
        r.field->SetValue(r.above);
        EXPECT_EQ(r.field->GetValue(), r.max);
    }
    for (const char* name : {"", "x", ""}) {
        d.fName.SetText(LString(name));
        LHandler::Send(LEditText_Change, &d.fName, &d);
        EXPECT_EQ(d.fOk.IsUsable(), *name != 0) << name;
    }
}

TEST_F(Blackout, WholeOperationOnASimulatedDevice) {
    const u16 serial = 3901;
    const auto dev = Device(serial, 1);
    CKvsDevCtl& ctl = *dev;
    // Shown with the defaults, stored when confirmed.
    fill = [](CKvsBoDlg& d) {
        EXPECT_EQ(d.fUniverses.GetValue(), 1);
        EXPECT_EQ(d.fDuration.GetValue(), 10);
        EXPECT_EQ(d.fLevel.GetValue(), 0);
        EXPECT_STREQ(d.fName.GetText().CStr(), "blackout");
    };
    EXPECT_EQ(CreateBlackoutRecording(&top, ctl), kTransferOk);
    EXPECT_EQ(shown, "dialog list progress " + Say(2));
    EXPECT_EQ(DeviceFile(serial, "blackout.drc"), Reference(1, 10, 0));
    EXPECT_EQ(barMax, 315);  // 315 bytes: a divisor of 1
    EXPECT_EQ(listSignals, 1u);
    EXPECT_EQ(NodeGetIntOr(Node(), "pts", -1), 1);
    EXPECT_EQ(NodeGetIntOr(Node(), "dur", -1), 10);
    EXPECT_EQ(NodeGetIntOr(Node(), "val", -1), 0);

    // Other values, a name to clean, and lost blocks that send the upload back.
    fSim.Cmd("fault drop dir=in opcode=DATA percent=10 seed=5");
    shown.clear();
    barValues.clear();
    fill = [](CKvsBoDlg& d) {
        d.fUniverses.SetValue(40);
        d.fDuration.SetValue(30);
        d.fLevel.SetValue(255);
        d.fName.SetText(LString("show/one.x"));
    };
    EXPECT_EQ(CreateBlackoutRecording(&top, ctl), kTransferOk);
    EXPECT_EQ(shown, "dialog list progress " + Say(2));
    const Bytes want = Reference(40, 30, 255);
    EXPECT_EQ(DeviceFile(serial, "show_one.drc"), want);
    EXPECT_EQ(barMax, i32(want.size() / (want.size() / 256)));
    for (size_t i = 1; i < barValues.size(); ++i) EXPECT_LE(barValues[i], barMax);
    EXPECT_EQ(NodeGetIntOr(Node(), "pts", -1), 40);
    LString nam;
    EXPECT_STREQ(NodeGetStrOr(&nam, Node(), "nam", "").CStr(), "show/one.x");
    fSim.Cmd("fault-clear");

    // Cancel in the dialog: nothing sent, nothing stored.
    shown.clear();
    fSim.Cmd("log clear");
    dialogOk = false;
    fill = [](CKvsBoDlg& d) { d.fUniverses.SetValue(5); };
    EXPECT_EQ(CreateBlackoutRecording(&top, ctl), kBlackoutNotSent);
    EXPECT_EQ(shown, "dialog ");
    EXPECT_EQ(NodeGetIntOr(Node(), "pts", -1), 40);
    EXPECT_EQ(WritesSeen(), 0u);
    dialogOk = true;

    // A name the recordings list holds: asked first; refused, nothing is sent but
    // the values are kept.
    NodeListInsertSorted(ctl.Record(CKvsDevCtl::kContents), 0, "show_one.drc", "1", "x");
    replace = false;
    shown.clear();
    fill = [](CKvsBoDlg& d) { d.fDuration.SetValue(2); };
    EXPECT_EQ(CreateBlackoutRecording(&top, ctl), kBlackoutNotSent);
    EXPECT_EQ(shown, "dialog list ask[" + Text(0) + "] ");
    EXPECT_EQ(NodeGetIntOr(Node(), "dur", -1), 2);
    EXPECT_EQ(WritesSeen(), 0u);
    EXPECT_EQ(DeviceFile(serial, "show_one.drc"), want);
    // Confirmed, it is replaced.
    replace = true;
    shown.clear();
    EXPECT_EQ(CreateBlackoutRecording(&top, ctl), kTransferOk);
    EXPECT_EQ(shown, "dialog list ask[" + Text(0) + "] progress " + Say(2));
    EXPECT_EQ(DeviceFile(serial, "show_one.drc"), Reference(40, 2, 255));
    EXPECT_EQ(listSignals, 3u);

    // A name an upload waits to write, in any case: it would replace the
    // recording made now without a word. Refused, said; nothing is sent but
    // the upload, which ends as queued.
    CKvsFileJobQueue jobs(nullptr, &ctl.FileQueue(), nullptr, nullptr, nullptr, nullptr);
    const std::string local = fDir.Path() + "/Late_gj.drc";
    std::ofstream(local) << std::string(3000, 'L');
    jobs.AddJob(0, LString(local.c_str()));
    shown.clear();
    fSim.Cmd("log clear");
    fill = [](CKvsBoDlg& d) { d.fName.SetText(LString("late_GJ")); };
    EXPECT_EQ(CreateBlackoutRecording(&top, ctl), kBlackoutNotSent);
    EXPECT_EQ(shown, "dialog list say[" + std::string(StdDialogText("KVSFILEOP", 15).View()) +
                         "late_GJ.drc] ");
    ASSERT_TRUE(fLoop.RunUntil([&] { return jobs.IsIdle(); }, 10000));
    EXPECT_EQ(WritesSeen(), 1u);
    EXPECT_EQ(DeviceFile(serial, "Late_gj.drc"), Bytes(3000, 'L'));
}

TEST_F(Blackout, FailuresAndCancel) {
    const u16 serial = 3902;
    const auto dev = Device(serial, 2);
    CKvsDevCtl& ctl = *dev;
    u32 runs = 0;
    const std::string path = "/sdc/kevrecfiles/x.drc";
    const struct {
        const char* what;
        std::string fault;
        i32 result;
    } cases[] = {
        {"refused", "fault error code=3 dir=in opcode=WRQ path=" + path, kTransferRefused},
        {"full", "fault error code=0 dir=in opcode=DATA block=2", kTransferFull},
        {"not found", "fault error code=1 dir=in opcode=WRQ path=" + path, kTransferFailed},
        {"no answer", "fault drop dir=in opcode=WRQ path=" + path, kTransferNoAnswer},
        // DATA 5 after DATA 6, ACK 5 before ACK 6: the device drops the early block
        // and acknowledges it, the transfer looks whole, the listing tells.
        {"crossed blocks",
         "fault reorder dir=in opcode=DATA block=5 count=1\n"
         "fault reorder dir=out opcode=ACK block=6 count=1",
         kTransferNotHeld},
    };
    fill = [](CKvsBoDlg& d) {
        d.fName.SetText(LString("x"));
        d.fUniverses.SetValue(64);
    };
    for (const auto& c : cases) {
        fSim.Cmd("fault-clear");
        std::istringstream rules(c.fault);
        for (std::string rule; std::getline(rules, rule);) {
            const std::string r = fSim.Cmd(rule);
            ASSERT_EQ(r.rfind("ok", 0), 0u) << r;
        }
        shown.clear();
        EXPECT_EQ(CreateBlackoutRecording(&top, ctl), c.result) << c.what;
        EXPECT_EQ(listSignals, ++runs) << c.what;
        EXPECT_EQ(shown, "dialog list progress " + Say(c.result < 7 ? u32(c.result) + 2 : 4))
            << c.what;
        EXPECT_FALSE(std::filesystem::exists(DevicePath(serial, "x.drc"))) << c.what;
    }
    fSim.Cmd("fault-clear");
    // Cancel from the first turn of the progress dialog, and later: the write is
    // withdrawn and nothing lands.
    for (i32 turn : {0, 3}) {
        shown.clear();
        cancelAtTurn = turn;
        fill = [](CKvsBoDlg& d) {
            d.fName.SetText(LString("x"));
            d.fUniverses.SetValue(2000);
            d.fDuration.SetValue(60);
        };
        fSim.Cmd("set serno=3902 pause-ms=400 pause-every=20000");
        EXPECT_EQ(CreateBlackoutRecording(&top, ctl), kTransferCancelled) << turn;
        EXPECT_EQ(listSignals, ++runs) << turn;
        EXPECT_EQ(shown, "dialog list progress " + Say(3)) << turn;
        EXPECT_TRUE(fLoop.RunUntil([&] { return ctl.FileQueue().IsIdle(); }, 100));
        EXPECT_FALSE(std::filesystem::exists(DevicePath(serial, "x.drc"))) << turn;
    }
}

// A device starts and stops a take by itself (its schedule, a trigger), and
// the program reads its status only while a view shows it. Each writer of a
// name to the card asks the device then: the name of a take it records is
// refused, whatever the program last read, and the name of one that has
// ended is free, though the last read still had it recording.
TEST_F(Blackout, EveryCardWriterAsksTheDeviceWhatItRecords) {
    enum Writer { kBlackoutFile, kRename, kDropPane, kDrop };
    enum State { kStartedUnpolled, kEndedSinceRead };
    const char* const writers[] = {"blackout", "rename", "drop on the files pane",
                                   "upload of a drop agreed before"};
    const char* const states[] = {"started by the device, no view polling",
                                  "ended since the last read"};
    const std::string recordingSaid =
        "say[" + std::string(StdDialogText("KVSFILEOP", 16).View()) + "REC0101.drc] ";
    const struct {
        u16 serial;
        u32 index;
    } devices[] = {{1201, 3}, {305, 4}};
    for (const auto& dv : devices) {
        const auto dev = Device(dv.serial, dv.index);
        CKvsDevCtl& ctl = *dev;
        const std::string sn = "serno=" + std::to_string(dv.serial);
        for (Writer w : {kBlackoutFile, kRename, kDropPane, kDrop}) {
            for (State st : {kStartedUnpolled, kEndedSinceRead}) {
                const std::string what =
                    std::to_string(dv.serial) + " " + writers[w] + ", " + states[st];
                std::filesystem::remove_all(DevicePath(dv.serial, ""));
                std::filesystem::create_directories(DevicePath(dv.serial, ""));
                std::ofstream(DevicePath(dv.serial, "Draft_c.drc")) << "draft";
                ASSERT_EQ(fSim.Cmd("chan-set " + sn + " path=/.cmd/udseqstat/stat value=0")
                              .rfind("ok", 0),
                          0u);
                // A view last read the device at rest.
                ctl.SeqStatChannel().Refresh();
                ASSERT_TRUE(fLoop.RunUntil(
                    [&] {
                        return !ctl.SeqStatChannel().IsBusy() &&
                               ctl.Record(CKvsDevCtl::kSeqStat)->GetU8(SstaF::stat) == 0;
                    },
                    5000))
                    << what;
                const std::string start =
                    "rec-self " + sn + " act=start path=/sdc/kevrecfiles/REC0101.drc";
                ASSERT_EQ(fSim.Cmd(start).rfind("ok", 0), 0u) << what;
                if (st == kEndedSinceRead) {
                    // A view read it recording; then the device stopped on its own.
                    ctl.SeqStatChannel().Refresh();
                    ASSERT_TRUE(fLoop.RunUntil(
                        [&] { return ctl.Record(CKvsDevCtl::kSeqStat)->GetU8(SstaF::stat) == 3; },
                        5000))
                        << what;
                    ASSERT_EQ(fSim.Cmd("rec-self " + sn + " act=stop").rfind("ok", 0), 0u);
                    ASSERT_TRUE(fLoop.RunUntil([&] { return ctl.FileQueue().IsIdle(); }, 100));
                }
                shown.clear();
                replace = true;
                // The card's folder as a view last listed it.
                CRecord* contents = ctl.Record(CKvsDevCtl::kContents);
                while (NodeListCount(contents, 0) > 0) {
                    LString name;
                    NodeListRemoveByName(contents, 0, NodeListText(&name, contents, 0, 0).CStr());
                }
                bool written = false;
                const Bytes local(500, 'u');
                if (w == kBlackoutFile) {
                    fill = [](CKvsBoDlg& d) { d.fName.SetText(LString("REC0101")); };
                    written = CreateBlackoutRecording(&top, ctl) == kTransferOk;
                } else if (w == kRename) {
                    renameTo = "REC0101";
                    written = !RenameDeviceFile(&top, &ctl.FileQueue(), contents,
                                                LString("Draft_c.drc"), 0)
                                   .IsEmpty();
                } else {
                    const std::string path = fDir.Path() + "/REC0101.drc";
                    std::ofstream(path, std::ios::binary)
                        .write(reinterpret_cast<const char*>(local.data()), long(local.size()));
                    // The pane checks and asks; the upload checks again as it starts.
                    ClipBox box;
                    LFrame holder(&ctl, &box);
                    CKvsFileDrop drop(&holder, &ctl);
                    // Otherwise the drop as agreed to at its check: onto the file the card holds.
                    CardAgreement agreed;
                    if (st == kEndedSinceRead) {
                        agreed.name = LString("REC0101.drc");
                        agreed.listed.found = true;
                        agreed.listed.size = 3;
                    }
                    if (w == kDropPane) {
                        drop.SetKind(0);
                        drop.AddDropped(LString(path.c_str()));
                        for (int turn = 0; turn < 400 && drop.Paths().Count() > 0; ++turn) Step();
                        ASSERT_EQ(drop.Paths().Count(), 0u) << what;
                    } else {
                        ctl.DropFiles(0, {LString(path.c_str())}, {agreed});
                    }
                    // Refused at the pane, nothing is queued at all.
                    const bool queued = ctl.Uploads() && ctl.Uploads()->Jobs().JobsAdded() > 0;
                    if (queued) {
                        CKvsFileJobQueue& jobs = ctl.Uploads()->Jobs();
                        for (int turn = 0; turn < 400 && !jobs.IsIdle(); ++turn) Step();
                        ASSERT_TRUE(jobs.IsIdle()) << what;
                        LString ended;
                        u32 status = 0;
                        written = !jobs.TakeFinished(&ended, &status);
                        if (!written) {
                            EXPECT_EQ(status, CKvsFileJobQueue::kNameTaken) << what;
                        }
                        jobs.ClearDone();
                    }
                }
                if (st == kStartedUnpolled) {
                    EXPECT_FALSE(written) << what;
                    if (w != kDrop) {
                        EXPECT_NE(shown.find(recordingSaid), std::string::npos) << what;
                    }
                    // The take lands on its name; nothing else was lost to it.
                    ASSERT_EQ(fSim.Cmd("rec-self " + sn + " act=stop").rfind("ok", 0), 0u);
                    EXPECT_EQ(DeviceFile(dv.serial, "REC0101.drc"), Bytes({'D', 'R', 'C'})) << what;
                    EXPECT_EQ(DeviceFile(dv.serial, "Draft_c.drc"),
                              Bytes({'d', 'r', 'a', 'f', 't'}))
                        << what;
                } else {
                    EXPECT_TRUE(written) << what << ": " << shown;
                    const Bytes want = w == kBlackoutFile ? Reference(1, 10, 0)
                                       : w == kRename     ? Bytes({'d', 'r', 'a', 'f', 't'})
                                                          : local;
                    EXPECT_EQ(DeviceFile(dv.serial, "REC0101.drc"), want) << what;
                }
            }
        }
    }
}

}  // namespace
