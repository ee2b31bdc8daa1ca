// The status poll keeps its period, about a second with a device selected, while
// a device's answer stalls halfway or one of the controllers has a transfer that
// never ends. Two devices in namespaces of the test's own (root only), on the
// virtual clock.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "devices/CKvsDevDoc.h"
#include "tests/devices/DevDocNsTest.h"

using namespace testtftp;

namespace {

struct Never {
    static void Fn(void* self, CStrm*, const u32*) { ++static_cast<Never*>(self)->calls; }
    u32 calls = 0;
};

class PollPeriod : public devtest::DevDocNsTest {
protected:
    void SetUp() override {
        DevDocNsTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        Add(305, "198.18.1.12/24");
        Add(1201, "198.18.1.11/24");
    }
    // The virtual times at which polls started during the next ms, with the gaps
    // between them.
    std::vector<u32> PollGaps(u32 ms) {
        std::vector<u32> starts;
        u32 last = doc->PollStart();
        const u32 from = loop.NowMs();
        RunUntil(
            [&] {
                if (doc->PollStart() != last) starts.push_back(last = doc->PollStart());
                return loop.NowMs() - from >= ms;  // the clock starts near its wrap
            },
            ms + 1000);
        std::vector<u32> gaps;
        for (size_t i = 1; i < starts.size(); ++i) gaps.push_back(starts[i] - starts[i - 1]);
        return gaps;
    }
};

TEST_F(PollPeriod, KeptWhileAnAnswerStallsOrAControllersTransferNeverEnds) {
    const struct {
        const char* name;
        const char* fault;  // on the simulated devices
        bool endless;       // a keep-trying request to 1201 that nobody answers
        u32 longest;        // the longest gap between two poll starts
    } cases[] = {
        {"nothing wrong", nullptr, false, 1000},
        // 305 acknowledges the poll's options, then its state never comes.
        {"an answer stalls after its option acknowledgement",
         "fault drop dir=out serno=305 opcode=DATA", false,
         1000 + 1000 + CKvsDevDoc::kPollPeerIdleMs},
        {"a controller's transfer never ends",
         "fault drop dir=in serno=1201 path=/sdc/never", true, 1000},
    };
    InApp([&] {
        ASSERT_TRUE(RunUntil([&] { return doc->RefreshState() == CKvsDevDoc::kSteady; }, 30000));
        ASSERT_EQ(doc->ControllerCount(), 2u);
        ASSERT_EQ(view.row, 0);  // 305: a device is selected
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name);
            if (c.fault) {
                ASSERT_EQ(sim->Cmd(c.fault).rfind("ok", 0), 0u);
            }
            Never never;
            CKvsDevCtl* other = doc->FindController(1201);
            ASSERT_NE(other, nullptr);
            if (c.endless)
                other->ChannelQueue().Enqueue(&never, Never::Fn, "/sdc/never", 0, nullptr,
                                              nullptr, CReqQueue::kKeepTrying);
            const std::vector<u32> gaps = PollGaps(10000);
            ASSERT_GE(gaps.size(), 10000u / (c.longest + 1000)) << ::testing::PrintToString(gaps);
            for (u32 gap : gaps) EXPECT_LE(gap, c.longest) << ::testing::PrintToString(gaps);
            EXPECT_EQ(never.calls, 0u);
            other->ChannelQueue().CancelAll(&never, Never::Fn);
            sim->Cmd("fault-clear");
        }
    });
}

}  // namespace
