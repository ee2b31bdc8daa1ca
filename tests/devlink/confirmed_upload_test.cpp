// Uploads confirmed on the device (by listing or by reading back) against the
// simulated device, with the one disorder a transfer cannot see: DATA 5 after
// DATA 6 and ACK 5 before ACK 6. The device drops the early block yet
// acknowledges it, and never completes the file.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "devlink/ConfirmedUpload.h"
#include "tests/devlink/DeviceTestUtil.h"
#include "tests/devlink/FileTestUtil.h"

using namespace devtest;
using namespace filetest;

namespace {

constexpr u16 kSerial = 305;

// Blocks 5 and 6 swapped on the way in, and their acknowledgements swapped on the way out.
const char* const kCrossed[] = {"fault reorder dir=in opcode=DATA block=5 count=1",
                                "fault reorder dir=out opcode=ACK block=6 count=1"};

std::vector<u8> Pattern(size_t n, u32 seed) {
    std::vector<u8> b(n);
    for (size_t i = 0; i < n; ++i) b[i] = u8((i * 131 + seed * 7919 + (i >> 9)) & 255);
    return b;
}

class Confirmed : public DeviceLinkTest {
protected:
    void SetUp() override {
        DeviceLinkTest::SetUp();
        if (HasFatalFailure()) return;
        AddDevice(kSerial, 1);
        // The device gives up on the file it never completed well within the test.
        ASSERT_EQ(fSim.Cmd("set serno=305 idle=1500").rfind("ok", 0), 0u);
        fQueue = std::make_unique<CReqQueue>(&fSet, kSerial);
    }
    void TearDown() override {
        fQueue.reset();
        DeviceLinkTest::TearDown();
    }
    std::string Host(const std::string& devicePath) {
        return fDir.Path() + "/" + std::to_string(kSerial) + devicePath;
    }
    static void Done(void* self, CConfirmedUpload*) { ++*static_cast<u32*>(self); }
    // The requests the device took, "OP path", in order.
    std::vector<std::string> Requests() {
        std::vector<std::string> out;
        for (const std::string& l : LogOf("req"))
            if (Field(l, "ans") != "again") out.push_back(Field(l, "op") + " " + Field(l, "path"));
        return out;
    }

    std::unique_ptr<CReqQueue> fQueue;
};

TEST_F(Confirmed, OnlyAFileTheDeviceHoldsCounts) {
    const struct {
        const char* what;
        u32 how;
        size_t size;
        bool crossed, older;
        u32 outcome;
    } cases[] = {
        {"read back, clean", CConfirmedUpload::kByReadBack, 100000, false, false,
         CConfirmedUpload::kConfirmed},
        {"read back, crossed", CConfirmedUpload::kByReadBack, 100000, true, false,
         CConfirmedUpload::kNotConfirmed},
        {"read back, crossed over an older file", CConfirmedUpload::kByReadBack, 100000, true, true,
         CConfirmedUpload::kNotConfirmed},
        {"listed, clean over an older file", CConfirmedUpload::kByListing, 100000, false, true,
         CConfirmedUpload::kConfirmed},
        {"listed, crossed", CConfirmedUpload::kByListing, 100000, true, false,
         CConfirmedUpload::kNotConfirmed},
        {"listed, crossed over an older file of that size", CConfirmedUpload::kByListing, 100000,
         true, true, CConfirmedUpload::kNotConfirmed},
        {"one block, nothing to check", CConfirmedUpload::kByReadBack, 300, false, false,
         CConfirmedUpload::kConfirmed},
    };
    u32 n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ++n;
        const std::string path = "/sdc/kevrecfiles/f" + std::to_string(n) + ".drc";
        const std::vector<u8> bytes = Pattern(c.size, n);
        const std::vector<u8> older = Pattern(c.size, n + 1000);
        std::filesystem::create_directories(Host("/sdc/kevrecfiles"));
        if (c.older) WriteFile(Host(path), older);
        fSim.Cmd("log clear");
        if (c.crossed) {
            for (const char* rule : kCrossed) ASSERT_EQ(fSim.Cmd(rule).rfind("ok", 0), 0u);
        }

        u32 calls = 0;
        CConfirmedUpload upload(fQueue.get(), &calls, Done);
        if (c.how == CConfirmedUpload::kByReadBack) {
            upload.StartReadBack(path.c_str(), bytes.data(), bytes.size(), 0);
        } else {
            auto* body = new CGrowMemStrm;
            body->Write(bytes.data(), bytes.size());
            body->SetPosition(0);
            upload.StartListed(path.c_str(), body, bytes.size(), 0);
        }
        ASSERT_TRUE(fLoop.RunUntil([&] { return upload.Done(); }, 20000));
        EXPECT_EQ(calls, 1u);
        EXPECT_EQ(upload.Outcome(), c.outcome);
        // The transfer itself reported success every time: only the check tells.
        EXPECT_EQ(std::vector<u32>(upload.Status(), upload.Status() + 3),
                  (std::vector<u32>{0, 0, 0}));
        EXPECT_EQ(upload.SentBytes(), c.size);
        fSim.Cmd("fault-clear");
        ASSERT_TRUE(fSim.WaitIdle(10000));
        const std::vector<u8> held = ReadFile(Host(path));
        EXPECT_EQ(held == bytes, c.outcome == CConfirmedUpload::kConfirmed);
        if (c.older) {
            EXPECT_TRUE(held == bytes || held == older);
        }

        std::vector<std::string> steps;
        if (c.how == CConfirmedUpload::kByListing)
            steps = {"RRQ /.cmd/fmls///sdc/kevrecfiles", "WRQ " + path,
                     "RRQ /.cmd/fmls///sdc/kevrecfiles"};
        else if (c.size >= CConfirmedUpload::kOneBlock)
            steps = {"WRQ " + path, "RRQ " + path};
        else
            steps = {"WRQ " + path};
        EXPECT_EQ(Requests(), steps);
    }
}

TEST_F(Confirmed, AFailedWriteKeepsItsWordsAndACancelCallsNothing) {
    const std::vector<u8> bytes = Pattern(20000, 1);
    ASSERT_EQ(
        fSim.Cmd("fault error code=3 dir=in opcode=WRQ path=/sdc/full count=1").rfind("ok", 0), 0u);
    u32 calls = 0;
    CConfirmedUpload refused(fQueue.get(), &calls, Done);
    refused.StartReadBack("/sdc/full", bytes.data(), bytes.size(), 0);
    ASSERT_TRUE(fLoop.RunUntil([&] { return refused.Done(); }));
    EXPECT_EQ(refused.Outcome(), CConfirmedUpload::kWriteFailed);
    EXPECT_EQ(std::vector<u32>(refused.Status(), refused.Status() + 3),
              (std::vector<u32>{0, 3, 3}));
    EXPECT_EQ(calls, 1u);

    // Cancelled while the write is under way: no completion, the queue free again.
    ASSERT_EQ(fSim.Cmd("fault drop dir=in opcode=WRQ path=/sdc/slow").rfind("ok", 0), 0u);
    {
        CConfirmedUpload cancelled(fQueue.get(), &calls, Done);
        cancelled.StartReadBack("/sdc/slow", bytes.data(), bytes.size(), 0);
        fLoop.Advance(3000);
        EXPECT_TRUE(cancelled.Writing());
        cancelled.Cancel();
        EXPECT_EQ(cancelled.Outcome(), CConfirmedUpload::kCancelled);
    }
    EXPECT_TRUE(fQueue->IsIdle());
    fLoop.Advance(60000);
    EXPECT_EQ(calls, 1u);
}

}  // namespace
