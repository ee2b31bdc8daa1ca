// The Art-Net monitor on a stand-in port.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "devices/monitors/CKvsNetMon.h"
#include "devlink/ArtDmx.h"
#include "records/CRecordDoc.h"
#include "records/DeviceKinds.h"
#include "records/RecordKinds.h"
#include "tests/devlink/VirtualRunLoop.h"
#include "tests/framework/FakeServices.h"
#include "tools/testkit/ArtDmxSender.h"

namespace {

// With the length field set when lengthField >= 0, and cut to cut bytes when given.
std::vector<u8> ArtDmx(u16 port, std::vector<u8> data, i32 lengthField = -1, u32 cut = 0) {
    std::vector<u8> d = artdmxtest::Datagram(port, data.data(), u32(data.size()));
    if (lengthField >= 0) {
        d[16] = u8(u32(lengthField) >> 8);
        d[17] = u8(lengthField & 0xFF);
    }
    if (cut) d.resize(cut);
    return d;
}

struct Sink : LHandler {
    LMessage HandleMessage(const LMessage& msg) override {
        if (msg.Is(CKvsNetMon_Change)) changes.push_back(*now);
        return LMessage();
    }
    std::vector<u32> changes;
    u32* now = nullptr;
};

// The port as a queue of datagrams; a sender of kFail stands for a failing client.
struct FakeMon : CKvsNetMon {
    explicit FakeMon(LHandler* next, u32* clock)
        : CKvsNetMon(next, 1, "kvtest-unused"), now(clock) {}
    void OpenPort() override { ++opens, connected = openWorks; }
    void ClosePort() override { ++closes, connected = false; }
    bool PortConnected() override { return connected; }
    i32 ReceivePort(u32* sender, u8* buffer, u32 size) override {
        if (queue.empty()) return 0;
        const auto [from, bytes] = queue.front();
        queue.pop_front();
        if (from == kFail) return -1;
        *now += msPerDatagram;
        *sender = from;
        const u32 n = std::min<u32>(u32(bytes.size()), size);
        std::copy(bytes.begin(), bytes.begin() + n, buffer);
        return i32(n);
    }
    void WakeAgain() override { ++wakes; }
    void Push(u32 sender, std::vector<u8> bytes) { queue.emplace_back(sender, std::move(bytes)); }
    void Fail() { Push(kFail, {}); }

    static constexpr u32 kFail = ~0u;
    std::deque<std::pair<u32, std::vector<u8>>> queue;
    u32* now;
    u32 msPerDatagram = 0;
    u32 opens = 0, closes = 0, wakes = 0;
    bool connected = false, openWorks = true;
};

constexpr u32 kA = 0x7F000002, kB = 0x7F000003, kC = 0x7F000004;

struct Stage {
    Stage() {
        RegisterAllRecordKinds();
        sink.now = &fake.fNow;
        fake.fNow = 50000;
    }
    void Run(u32 ms) {
        for (u32 i = 0; i < ms; ++i) {
            fake.Advance(1);
            LTimer::FireDue(fake.fNow, nullptr, nullptr, true);
        }
    }
    CVirtualRunLoop loop;
    FakeServices fake;
    Sink sink;
    FakeMon mon{&sink, &fake.fNow};
    CRecordDoc status{NewDevStatRecord()};
    CRecord* St() { return status.Root(); }
    u32 Univ(u32 i) { return St()->GetListItem(DrcStatF::unvs, i)->GetU32(UnvsF::univ); }
    std::vector<u8> Stat(u32 i) {
        const CRecord* u = St()->GetListItem(DrcStatF::unvs, i);
        const u8* p = static_cast<const u8*>(u->GetArrayData(UnvsF::stat));
        return std::vector<u8>(p, p + u->GetArrayCount(UnvsF::stat));
    }
};

TEST(ArtDmxCheck, AcceptsOnlyWholeArtDmxDatagrams) {
    auto bytes = [](std::vector<u8> d, u32 at, u8 v) {
        d[at] = v;
        return d;
    };
    const std::vector<u8> full(512, 7);
    const struct {
        const char* what;
        std::vector<u8> datagram;
        bool ok;
        u32 port, length;
    } kRows[] = {
        {"512 channels", ArtDmx(0x12, full), true, 0x12, 512},
        {"two channels", ArtDmx(0x12, {1, 2}), true, 0x12, 2},
        {"17 bytes, L 0", ArtDmx(0, {}, -1, 17), false, 0, 0},
        {"18 bytes, L 0", ArtDmx(0, {}), true, 0, 0},
        {"ArtPoll", bytes(ArtDmx(0, {1}), 9, 0x20), false, 0, 0},
        {"no zero after Art-Net", bytes(ArtDmx(0, {1}), 7, ' '), false, 0, 0},
        {"length past the end", ArtDmx(0, {1, 2}, 3), false, 0, 0},
        {"L 65535 in 17 bytes", ArtDmx(0, {}, 65535, 17), false, 0, 0},
        {"L 65535 in 18 bytes", ArtDmx(0, {}, 65535), false, 0, 0},
        {"11 bytes", ArtDmx(0, {}, -1, 11), false, 0, 0},
        {"port bytes 0x23 0x81", ArtDmx(0x8123, {9}), true, 0x0123, 1},
        {"more than 512 channels", ArtDmx(5, std::vector<u8>(600, 1)), true, 5, 600},
    };
    for (const auto& r : kRows) {
        ArtDmxPacket p;
        const bool ok = ParseArtDmx(r.datagram.data(), u32(r.datagram.size()), &p);
        EXPECT_EQ(ok, r.ok) << r.what;
        if (!ok || !r.ok) continue;
        EXPECT_EQ(p.port, r.port) << r.what;
        EXPECT_EQ(p.length, r.length) << r.what;
        EXPECT_EQ(p.data, r.datagram.data() + 18) << r.what;
    }
}

TEST(NetMon, SlotCountsAndLevelsOfAcceptedPackets) {
    Stage s;
    std::vector<u8> full(512);
    for (u32 i = 0; i < 512; ++i) full[i] = u8(i * 3);
    const struct {
        std::vector<u8> datagram;
        u32 count;
        std::vector<u8> head;  // slots 0.. as far as given
    } kRows[] = {
        {ArtDmx(1, full), 513, {0, 0, 3, 6}},
        {ArtDmx(1, {9, 8}), 3, {0, 9, 8, 0, 0}},
        {ArtDmx(1, std::vector<u8>(700, 4)), 513, {0, 4, 4}},
    };
    for (const auto& r : kRows) {
        ASSERT_TRUE(s.mon.Accept(r.datagram.data(), u32(r.datagram.size()), kA, 1));
        const CKvsNetMon::Slot& slot = s.mon.EntryAt(0).slots[1];
        EXPECT_EQ(slot.frame.count, r.count);
        for (u32 i = 0; i < r.head.size(); ++i) EXPECT_EQ(slot.frame.slots[i], r.head[i]) << i;
    }
    EXPECT_EQ(s.mon.EntryAt(0).slots[1].frame.slots[512], 4);
}

TEST(NetMon, TwoSendersMergeAndAThirdWaitsForASilentOne) {
    Stage s;
    s.mon.SetEnabled(true);
    s.mon.Push(kA, ArtDmx(3, {10, 200}));
    s.mon.Push(kB, ArtDmx(3, {100, 50, 7}));
    s.mon.Push(kC, ArtDmx(3, {255, 255}));
    s.mon.Pump();
    ASSERT_EQ(s.mon.EntryCount(), 1u);
    EXPECT_EQ(s.mon.EntryAt(0).slots[1].sender, kA) << "the first sender takes the second slot";
    EXPECT_EQ(s.mon.EntryAt(0).slots[0].sender, kB);
    s.mon.PublishUniverses(s.St(), 0, 0);
    ASSERT_EQ(s.St()->GetListCount(DrcStatF::unvs), 1u);
    const CRecord* u = s.St()->GetListItem(DrcStatF::unvs, 0);
    EXPECT_EQ(u->GetU32(UnvsF::host), kB) << "the sender of the first slot";
    EXPECT_EQ(u->GetU8(UnvsF::hstx), 1);
    EXPECT_EQ(s.Stat(0), (std::vector<u8>{0, 100, 200, 7})) << "the larger count, the larger level";

    // B falls silent: C gets in only after B's 10 s and the next check.
    for (u32 t = 0; t < 12000; t += 500) {
        s.mon.Push(kA, ArtDmx(3, {10, 200}));
        s.mon.Push(kC, ArtDmx(3, {255, 255}));
        s.mon.Pump();
        const bool bGone = s.mon.EntryAt(0).slots[0].sender != kB;
        const bool cIn = s.mon.EntryAt(0).slots[0].sender == kC;
        EXPECT_EQ(cIn, bGone) << t;
        s.Run(500);
    }
    EXPECT_EQ(s.mon.EntryAt(0).slots[0].sender, kC);
    s.mon.PublishUniverses(s.St(), 0, kA);
    EXPECT_EQ(s.Stat(0), (std::vector<u8>{0, 255, 255}));
    EXPECT_EQ(s.St()->GetListItem(DrcStatF::unvs, 0)->GetU8(UnvsF::hstx), 0);
}

TEST(NetMon, OneChangeMessagePer33MsAndNoneForAQuietCheck) {
    Stage s;
    s.mon.SetEnabled(true);
    const u32 t0 = s.fake.fNow;
    s.Run(2000);
    EXPECT_TRUE(s.sink.changes.empty()) << "a check that frees nothing says nothing";
    for (u32 i = 0; i < 1000; ++i) s.mon.Push(kA, ArtDmx(u16(i % 40), {u8(i)}));
    s.mon.Pump();
    EXPECT_EQ(s.mon.EntryCount(), 40u);
    s.Run(100);
    ASSERT_EQ(s.sink.changes.size(), 1u);
    EXPECT_EQ(s.sink.changes[0], t0 + 2000 + 33);
    s.sink.changes.clear();
    s.Run(12000);
    EXPECT_EQ(s.mon.EntryCount(), 0u);
    EXPECT_EQ(s.sink.changes.size(), 1u);
}

TEST(NetMon, EntriesFrozenWhileOffAreDroppedByTheFirstCheckAfter) {
    Stage s;
    s.mon.SetEnabled(true);
    s.mon.Push(kA, ArtDmx(1, {1}));
    s.mon.Pump();
    s.mon.SetEnabled(false);
    EXPECT_FALSE(s.mon.ExpiryTimer().IsRunning());
    EXPECT_EQ(s.mon.closes, 1u);
    s.Run(30000);
    EXPECT_EQ(s.mon.EntryCount(), 1u) << "frozen while off";
    s.mon.SetEnabled(true);
    s.mon.Push(kB, ArtDmx(2, {1}));
    s.mon.Pump();
    EXPECT_EQ(s.mon.EntryCount(), 2u);
    s.sink.changes.clear();
    s.Run(2000);
    ASSERT_EQ(s.mon.EntryCount(), 1u);
    EXPECT_EQ(s.mon.EntryAt(0).port, 2);
    EXPECT_FALSE(s.sink.changes.empty());
}

TEST(NetMon, PublishKeepsTheListSortedAndQuiet) {
    Stage s;
    u32 notes = 0;
    struct Count {
        static void Fn(void* n, CRecordNote*) { ++*static_cast<u32*>(n); }
    };
    s.status.AddListener(&notes, Count::Fn);
    for (u16 port : {0x30, 0x10, 0x20}) s.mon.Push(kA, ArtDmx(port, {u8(port)}));
    s.mon.Push(kB, ArtDmx(0x40, {1}));
    s.mon.SetEnabled(true);
    s.mon.PublishUniverses(s.St(), 0, 0);
    ASSERT_EQ(s.St()->GetListCount(DrcStatF::unvs), 4u);
    EXPECT_EQ(s.Univ(0), 0x10u);
    EXPECT_EQ(s.Univ(3), 0x40u);
    notes = 0;
    s.mon.PublishUniverses(s.St(), 0, 0);
    EXPECT_EQ(notes, 0u) << "equal levels notify nothing";

    const struct {
        u32 only, excluded;
        std::vector<u32> univs;
    } kRows[] = {{kB, 0, {0x40}},
                 {0, kB, {0x10, 0x20, 0x30}},
                 {kC, 0, {}},
                 {0, 0, {0x10, 0x20, 0x30, 0x40}}};
    for (const auto& r : kRows) {
        s.mon.PublishUniverses(s.St(), r.only, r.excluded);
        std::vector<u32> got;
        for (u32 i = 0; i < s.St()->GetListCount(DrcStatF::unvs); ++i) got.push_back(s.Univ(i));
        EXPECT_EQ(got, r.univs) << r.only << " " << r.excluded;
    }
    notes = 0;
    s.mon.RemoveSender(kA);
    EXPECT_TRUE(s.sink.changes.empty()) << "removing a sender is silent";
    EXPECT_EQ(notes, 0u);
    EXPECT_EQ(s.mon.EntryCount(), 1u);
    s.mon.PublishUniverses(s.St(), 0, 0);
    ASSERT_EQ(s.St()->GetListCount(DrcStatF::unvs), 1u);
    EXPECT_EQ(s.Univ(0), 0x40u) << "vanished universes are removed";
    // The count goes before the stage does: it must not hear the stage's end.
    s.status.RemoveListener(&notes, Count::Fn);
}

TEST(NetMon, AFloodGivesTheMainThreadBackWithoutLosingDatagrams) {
    Stage s;
    s.mon.SetEnabled(true);
    s.mon.msPerDatagram = 1;
    for (u32 i = 0; i < 95; ++i) s.mon.Push(kA, ArtDmx(u16(i), {1}));
    s.mon.Pump();
    EXPECT_EQ(s.mon.wakes, 1u);
    EXPECT_EQ(s.mon.queue.size(), 85u) << "one pass takes 10 ms";
    while (!s.mon.queue.empty()) s.mon.Pump();
    EXPECT_EQ(s.mon.EntryCount(), 95u);
    EXPECT_EQ(s.mon.wakes, 9u) << "nine cut passes, the tenth ends on an empty port";
}

TEST(NetMon, AFailingPortIsReopenedOncePerPumpAndAtEveryCheck) {
    Stage s;
    s.mon.SetEnabled(true);
    EXPECT_EQ(s.mon.opens, 1u);
    s.mon.Fail();
    s.mon.Push(kA, ArtDmx(1, {1}));
    s.mon.Fail();
    s.mon.Push(kA, ArtDmx(2, {1}));
    s.mon.Pump();
    EXPECT_EQ(s.mon.opens, 2u);
    EXPECT_EQ(s.mon.EntryCount(), 1u) << "a second failure ends the pump";
    s.mon.openWorks = false;
    s.mon.ClosePort();
    s.Run(2000);
    EXPECT_EQ(s.mon.opens, 3u);
    s.mon.openWorks = true;
    s.Run(2000);
    EXPECT_EQ(s.mon.opens, 4u);
    EXPECT_TRUE(s.mon.connected);
    s.Run(2000);
    EXPECT_EQ(s.mon.opens, 4u) << "a connected port is left alone";
    s.mon.SetEnabled(false);
    s.mon.Fail();
    s.mon.Pump();
    EXPECT_EQ(s.mon.opens, 4u) << "no reconnect while off";
}

}  // namespace
