// A request cancelled after it went out, and the next one started at once: the
// device holds the first answer (OACK, or DATA 1 / ACK 0 of a device without
// options) back until the next request is on its way. The next request must
// complete with its own file or fail, never with the cancelled one's.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/devlink/DeviceTestUtil.h"
#include "tests/devlink/FileTestUtil.h"

using namespace devtest;
using namespace filetest;
using enginetest::Pattern;

namespace {

struct Done {
    u32 calls = 0;
    u32 status[3] = {9, 9, 9};
    std::vector<u8> data;
    static void Fn(void* self, CStrm* strm, const u32* status) {
        auto* d = static_cast<Done*>(self);
        ++d->calls;
        for (int i = 0; i < 3; ++i) d->status[i] = status[i];
        if (auto* m = static_cast<CMemStrm*>(strm)) d->data.assign(m->Data(), m->Data() + m->End());
    }
    bool Ok() const { return status[0] == 0 && status[1] == 0 && status[2] == 0; }
};

// A stream of bytes to send, owned by the queue once enqueued.
CStrm* Source(const std::vector<u8>& bytes) {
    auto* s = new CGrowMemStrm;
    s->Write(bytes.data(), bytes.size());
    s->SetPosition(0);
    return s;
}

class Cancel : public DeviceLinkTest {};

TEST_F(Cancel, NextRequestNeverCompletesWithTheCancelledOnesAnswer) {
    // 301 answers with an OACK, 302 ignores the options (DATA 1 or ACK 0 first);
    // every other first answer is held back 2 ms. Cancelled transfers end soon on
    // the device, so that their sockets do not pile up.
    const u16 serials[2] = {301, 302};
    std::string roots[2];
    std::vector<std::unique_ptr<CReqQueue>> queues;
    for (u32 i = 0; i < 2; ++i) {
        AddDevice(serials[i], i + 1);
        roots[i] = fDir.Path() + "/" + std::to_string(serials[i]);
        const std::string s = "serno=" + std::to_string(serials[i]);
        fSim.Cmd("set " + s + " rto=50 retries=2 idle=300" + (i ? " options=ignore" : ""));
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

    u32 wrong = 0, succeeded = 0, failed = 0, stuck = 0;
    for (u32 round = 0; round < 1000; ++round) {
        const u32 dev = round % 2;
        const bool write = (round / 2) % 2 == 1;
        CReqQueue& q = *queues[dev];
        const std::string mine = "/sdc/w" + std::to_string(round) + ".bin";
        const std::vector<u8> bytes = Pattern(100 + round % 400, round + 3);
        Done first, next;
        if (write) {
            q.Enqueue(&first, Done::Fn, "/sdc/cancelled.bin", 1, Source(Pattern(50, round)),
                      nullptr, 0);
            q.CancelAll(&first, Done::Fn);
            q.Enqueue(&next, Done::Fn, mine.c_str(), 1, Source(bytes), nullptr, 0);
        } else {
            q.Enqueue(&first, Done::Fn, "/sdc/x.bin", 0, new CGrowMemStrm, nullptr, 0);
            q.CancelAll(&first, Done::Fn);
            q.Enqueue(&next, Done::Fn, "/sdc/y.bin", 0, new CGrowMemStrm, nullptr, 0);
        }
        // The clock stands still: a request that got no answer of its own waits for ever.
        if (!fLoop.RunUntil([&] { return next.calls > 0 && q.IsIdle(); }, 2000)) {
            q.CancelAll(&next, Done::Fn);
            if (++stuck == 3) break;
            continue;
        }
        EXPECT_EQ(first.calls, 0u);
        if (!next.Ok()) {
            ++failed;
            continue;
        }
        ++succeeded;
        const bool right = write ? ReadFile(roots[dev] + mine) == bytes : next.data == y;
        if (!right) ++wrong;
    }
    EXPECT_EQ(wrong, 0u);
    // The held answers only delay: every next request gets through.
    EXPECT_EQ(stuck, 0u);
    EXPECT_EQ(failed, 0u);
    EXPECT_EQ(succeeded, 1000u);
    // No cancelled write ever received the next one's blocks.
    for (const std::string& root : roots)
        EXPECT_FALSE(std::filesystem::exists(root + "/sdc/cancelled.bin"));
}

}  // namespace
