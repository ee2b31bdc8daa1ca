// A request cancelled after it went out and the next one started at once, while the
// device holds its first answers back: the next one completes with its own file.

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/devlink/DeviceTestUtil.h"
#include "tests/devlink/FileTestUtil.h"

using namespace devtest;
using namespace filetest;
using enginetest::Pattern;

namespace {

struct Done {
    u32 calls = 0;
    bool ok = false;
    std::vector<u8> data;
    static void Fn(void* self, CStrm* strm, const u32* status) {
        auto* d = static_cast<Done*>(self);
        ++d->calls;
        d->ok = status[0] == 0 && status[1] == 0 && status[2] == 0;
        if (auto* m = static_cast<CMemStrm*>(strm)) d->data.assign(m->Data(), m->Data() + m->End());
    }
};

using Cancel = DeviceLinkTest;

TEST_F(Cancel, NextRequestNeverCompletesWithTheCancelledOnesAnswer) {
    auto source = [](const std::vector<u8>& bytes) {
        auto* strm = new CGrowMemStrm;
        strm->Write(bytes.data(), bytes.size());
        strm->SetPosition(0);
        return strm;
    };
    // 301 answers with an OACK, 302 ignores the options (DATA 1 or ACK 0 first); every
    // other first answer is held back 2 ms. Cancelled transfers end soon on the device.
    const u16 serials[2] = {301, 302};
    std::string roots[2];
    std::vector<std::unique_ptr<CReqQueue>> queues;
    for (u32 i = 0; i < 2; ++i) {
        AddDevice(serials[i], i + 1);
        roots[i] = fDir.Path() + "/" + std::to_string(serials[i]);
        fSim.Cmd("set serno=" + std::to_string(serials[i]) + " rto=50 retries=2 idle=300" +
                 (i ? " options=ignore" : ""));
        queues.push_back(std::make_unique<CReqQueue>(&fSet, serials[i]));
    }
    for (const char* rule : {"opcode=OACK", "opcode=DATA block=1", "opcode=ACK block=0"}) {
        const std::string a =
            fSim.Cmd(std::string("fault delay dir=out ms=2 percent=50 seed=15 ") + rule);
        ASSERT_EQ(a.rfind("ok", 0), 0u) << a;
    }
    fSim.Cmd("packet-log off");
    const std::vector<u8> x = Pattern(300, 1), y = Pattern(400, 2);
    for (const std::string& root : roots) {
        WriteFile(root + "/sdc/x.bin", x);
        WriteFile(root + "/sdc/y.bin", y);
    }

    u32 wrong = 0, succeeded = 0;
    for (u32 round = 0; round < 1000; ++round) {
        const u32 dev = round % 2;
        const bool write = (round / 2) % 2 == 1;
        CReqQueue& q = *queues[dev];
        const std::string mine = "/sdc/w" + std::to_string(round) + ".bin";
        const std::vector<u8> bytes = Pattern(100 + round % 400, round + 3);
        Done first, next;
        if (write) {
            q.Enqueue(&first, Done::Fn, "/sdc/cancelled.bin", 1, source(Pattern(50, round)),
                      nullptr, 0);
            q.CancelAll(&first, Done::Fn);
            q.Enqueue(&next, Done::Fn, mine.c_str(), 1, source(bytes), nullptr, 0);
        } else {
            q.Enqueue(&first, Done::Fn, "/sdc/x.bin", 0, new CGrowMemStrm, nullptr, 0);
            q.CancelAll(&first, Done::Fn);
            q.Enqueue(&next, Done::Fn, "/sdc/y.bin", 0, new CGrowMemStrm, nullptr, 0);
        }
        // The clock stands still: a request that got no answer of its own waits for ever.
        ASSERT_TRUE(fLoop.RunUntil([&] { return next.calls > 0 && q.IsIdle(); })) << round;
        EXPECT_EQ(first.calls, 0u);
        succeeded += next.ok;
        wrong += next.ok && (write ? ReadFile(roots[dev] + mine) != bytes : next.data != y);
    }
    EXPECT_EQ(wrong, 0u);
    EXPECT_EQ(succeeded, 1000u);  // the held answers only delay
    // No cancelled write ever received the next one's blocks.
    for (const std::string& root : roots)
        EXPECT_FALSE(std::filesystem::exists(root + "/sdc/cancelled.bin"));
}

}  // namespace
