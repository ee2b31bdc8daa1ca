// Record channels against the simulated device: whole-record reads, field
// writes, merging, and the retries after failures.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "devlink/CDevRequestQueue.h"
#include "platform/RunLoop.h"
#include "records/ShowKinds.h"
#include "tests/devlink/DeviceTestUtil.h"

using namespace devtest;
using enginetest::RunFor;
using enginetest::RunUntil;

namespace {

// Fields of the sequence settings used here.
constexpr u8 kUssc = 0;  // u8
constexpr u8 kTgmk = 2;  // u32
constexpr u8 kSqfm = 4;  // u8

struct Applied {
    u32 count = 0;
    static void Fn(void* self) { ++static_cast<Applied*>(self)->count; }
};

struct ClientDone {
    u32 calls = 0;
    bool success = false;
    static void Fn(void* self, bool ok) {
        auto* c = static_cast<ClientDone*>(self);
        ++c->calls;
        c->success = ok;
    }
};

class Channel : public DeviceLinkTest {
protected:
    void SetUp() override {
        DeviceLinkTest::SetUp();
        if (HasFatalFailure()) return;
        RegisterAllRecordKinds();
        AddDevice(305, 1);
        fQueue = std::make_unique<CReqQueue>(&fSet, 305);
        fDoc = std::make_unique<CRecordDoc>(CRecord::New(CRecordSchema::Find(kFamKvt, kKindSqst)));
        ASSERT_NE(fDoc->Root(), nullptr);
    }
    void TearDown() override {
        fChannel.reset();
        fQueue.reset();
        DeviceLinkTest::TearDown();
    }
    CDevRequestQueue& Open(void* context = nullptr) {
        fChannel = std::make_unique<CDevRequestQueue>(fQueue.get(), fDoc->Root(), "/.cmd/udseqset",
                                                      context ? context : &fApplied, Applied::Fn);
        return *fChannel;
    }
    CRecord* Rec() { return fDoc->Root(); }
    std::string DeviceValue(const char* field) {
        return Field(fSim.Cmd(std::string("chan-get serno=305 path=/.cmd/udseqset/") + field),
                     "value");
    }
    // (path, value) of every write the device took, in order.
    std::vector<std::pair<std::string, std::string>> Writes() {
        std::vector<std::pair<std::string, std::string>> out;
        for (const std::string& l : LogOf("chan"))
            if (Field(l, "op") == "write") out.emplace_back(Field(l, "path"), Field(l, "value"));
        return out;
    }
    // Device-side times (ms) of the whole-record read requests.
    std::vector<long> WholeReadTimes() {
        std::vector<long> out;
        for (const std::string& l : LogOf("pkt"))
            if (Field(l, "dir") == "in" && Field(l, "op") == "RRQ" &&
                Field(l, "path") == "/.cmd/udseqset/")
                out.push_back(std::strtol(Field(l, "t").c_str(), nullptr, 10));
        return out;
    }
    bool Idle(u32 ms = 5000) {
        return RunUntil([&] { return !fChannel->IsBusy() && fQueue->IsIdle(); }, ms);
    }

    Applied fApplied;
    std::unique_ptr<CReqQueue> fQueue;
    std::unique_ptr<CRecordDoc> fDoc;
    std::unique_ptr<CDevRequestQueue> fChannel;
};

TEST_F(Channel, WholeReadDecodesQuietlyAndRefreshReadsAgain) {
    ASSERT_EQ(fSim.Cmd("chan-set serno=305 path=/.cmd/udseqset/tgmk value=77").rfind("ok", 0), 0u);
    ASSERT_EQ(fSim.Cmd("chan-set serno=305 path=/.cmd/udseqset/sqfm value=3").rfind("ok", 0), 0u);
    CDevRequestQueue& ch = Open();
    RunFor(50);
    EXPECT_TRUE(WholeReadTimes().empty()) << "nothing is read before Refresh";
    ch.Refresh();
    ch.Refresh();  // merged with the waiting one... or sent after it: never more than two
    ASSERT_TRUE(RunUntil([&] { return fApplied.count >= 1; }, 5000));
    ASSERT_TRUE(Idle());
    EXPECT_EQ(Rec()->GetU32(kTgmk), 77u);
    EXPECT_EQ(Rec()->GetU8(kSqfm), 3);
    EXPECT_FALSE(fDoc->IsModified());
    RunFor(100);
    EXPECT_TRUE(Writes().empty()) << "applying the device's record must send nothing back";
    EXPECT_LE(WholeReadTimes().size(), 2u);

    // The device changes; Refresh brings the change.
    fSim.Cmd("chan-set serno=305 path=/.cmd/udseqset/tgmk value=78");
    const u32 before = fApplied.count;
    ch.Refresh();
    ASSERT_TRUE(RunUntil([&] { return fApplied.count > before; }, 5000));
    EXPECT_EQ(Rec()->GetU32(kTgmk), 78u);

    // A document that was modified stays modified.
    fDoc->SetModified(true);
    ch.Refresh();
    ASSERT_TRUE(RunUntil([&] { return fApplied.count > before + 1; }, 5000));
    EXPECT_TRUE(fDoc->IsModified());
    EXPECT_TRUE(Writes().empty());
}

TEST_F(Channel, QuickChangesOfOneFieldMergeIntoOneWrite) {
    Open();
    Rec()->SetU32(nullptr, kTgmk, 100);
    // Let the first write get under way.
    ASSERT_TRUE(RunUntil([&] { return !fQueue->IsIdle(); }, 2000));
    for (u32 v = 1; v <= 5; ++v) Rec()->SetU32(nullptr, kTgmk, v);
    ASSERT_TRUE(Idle());
    const auto w = Writes();
    ASSERT_EQ(w.size(), 2u);
    EXPECT_EQ(w[0], (std::pair<std::string, std::string>("/.cmd/udseqset/tgmk", "100")));
    EXPECT_EQ(w[1], (std::pair<std::string, std::string>("/.cmd/udseqset/tgmk", "5")));
    EXPECT_EQ(DeviceValue("tgmk"), "5");
}

TEST_F(Channel, OnlyTheLastWaitingRequestMerges) {
    Open();
    Rec()->SetU32(nullptr, kTgmk, 11);
    Rec()->SetU8(nullptr, kSqfm, 2);
    Rec()->SetU32(nullptr, kTgmk, 12);
    ASSERT_TRUE(Idle());
    const auto w = Writes();
    ASSERT_EQ(w.size(), 3u);
    EXPECT_EQ(w[0], (std::pair<std::string, std::string>("/.cmd/udseqset/tgmk", "11")));
    EXPECT_EQ(w[1], (std::pair<std::string, std::string>("/.cmd/udseqset/sqfm", "2")));
    EXPECT_EQ(w[2], (std::pair<std::string, std::string>("/.cmd/udseqset/tgmk", "12")));
}

TEST_F(Channel, FailedWholeReadIsRetriedEvery2000ms) {
    ASSERT_EQ(fSim.Cmd("fault error code=1 dir=in opcode=RRQ path=/.cmd/udseqset/ count=2")
                  .rfind("ok", 0),
              0u);
    fSim.Cmd("chan-set serno=305 path=/.cmd/udseqset/tgmk value=9");
    CDevRequestQueue& ch = Open();
    ch.Refresh();
    RunFor(300);
    // A change waits behind the read that must come first.
    Rec()->SetU8(nullptr, kUssc, 1);
    RunFor(300);
    EXPECT_TRUE(Writes().empty());
    ASSERT_TRUE(RunUntil([&] { return fApplied.count == 1; }, 7000));
    ASSERT_TRUE(Idle());
    const auto t = WholeReadTimes();
    // Two failures 2000 ms apart, then success; the retry that found the change
    // waiting queues one more read behind it.
    ASSERT_GE(t.size(), 3u);
    EXPECT_LE(t.size(), 4u);
    for (size_t i = 1; i < 3; ++i) {
        EXPECT_GE(t[i] - t[i - 1], 1900) << i;
        EXPECT_LE(t[i] - t[i - 1], 2600) << i;
    }
    EXPECT_EQ(Rec()->GetU32(kTgmk), 9u);
    const auto w = Writes();
    ASSERT_EQ(w.size(), 1u);
    EXPECT_EQ(w[0].first, "/.cmd/udseqset/ussc");
}

TEST_F(Channel, FailedWriteDropsTheWaitingWritesAndRereads) {
    ASSERT_EQ(fSim.Cmd("fault error code=2 dir=in opcode=WRQ path=/.cmd/udseqset/tgmk count=1")
                  .rfind("ok", 0),
              0u);
    fSim.Cmd("chan-set serno=305 path=/.cmd/udseqset/sqfm value=4");
    Open();
    Rec()->SetU32(nullptr, kTgmk, 5);
    ASSERT_TRUE(RunUntil([&] { return !fQueue->IsIdle(); }, 2000));
    Rec()->SetU8(nullptr, kSqfm, 1);  // waits behind the failing write, then is dropped
    ASSERT_TRUE(RunUntil([&] { return fApplied.count == 1; }, 5000));
    EXPECT_TRUE(Writes().empty());
    // The device's values, read afresh, replace the user's.
    EXPECT_EQ(Rec()->GetU32(kTgmk), 0u);
    EXPECT_EQ(Rec()->GetU8(kSqfm), 4);
    EXPECT_EQ(WholeReadTimes().size(), 1u);
}

TEST_F(Channel, FailedWriteWithoutRereadContext) {
    ASSERT_EQ(fSim.Cmd("fault error code=2 dir=in opcode=WRQ path=/.cmd/udseqset/tgmk count=1")
                  .rfind("ok", 0),
              0u);
    Open(CDevRequestQueue::NoRereadContext());
    Rec()->SetU32(nullptr, kTgmk, 5);
    ASSERT_TRUE(Idle());
    RunFor(2500);
    EXPECT_TRUE(WholeReadTimes().empty());
}

TEST_F(Channel, FieldReadsWithTheirOwnCompletion) {
    fSim.Cmd("chan-set serno=305 path=/.cmd/udseqset/tgmk value=31");
    CDevRequestQueue& ch = Open();
    ClientDone a, b, missing;
    ch.Request("/tgmk", &a, ClientDone::Fn);
    ch.Request("/tgmk", &b, ClientDone::Fn);
    ch.Request("/nosuchfield", &missing, ClientDone::Fn);
    ch.CancelFor(&b, ClientDone::Fn);
    ASSERT_TRUE(Idle());
    EXPECT_EQ(a.calls, 1u);
    EXPECT_TRUE(a.success);
    EXPECT_EQ(b.calls, 0u);
    EXPECT_EQ(missing.calls, 1u);
    EXPECT_FALSE(missing.success);
    EXPECT_EQ(Rec()->GetU32(kTgmk), 31u);
    EXPECT_EQ(fApplied.count, 0u);
    EXPECT_TRUE(Writes().empty());
    // A failed field read is not retried.
    RunFor(2300);
    EXPECT_EQ(missing.calls, 1u);
    EXPECT_TRUE(WholeReadTimes().empty());
}

}  // namespace
