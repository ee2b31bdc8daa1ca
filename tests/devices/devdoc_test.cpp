// The status poll in namespaces of the test's own (root only), on the virtual
// clock; serials outside 1..65535 are never taken for a device.
#include <net/if.h>

#include <cerrno>
#include <fstream>
#include <map>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/Resources.h"
#include "devices/CKvsDevDoc.h"
#include "devices/DevSearchStatus.h"
#include "devlink/NetIf.h"
#include "framework/AppSingletons.h"
#include "records/DeviceKinds.h"
#include "tests/devlink/NetnsHarness.h"
#include "tests/devices/DevDocNsTest.h"
#include "tools/testkit/SimDeviceProcess.h"

using namespace testtftp;

namespace {

class DevDoc : public devtest::DevDocNsTest {
protected:
    std::vector<u32> Serials() {
        std::vector<u32> out;
        CKvsDevSet& set = doc->DeviceSet();
        for (u32 i = 0; i < set.Count(); ++i) out.push_back(set.At(i)->GetU32(DevcF::serial));
        return out;
    }
};

TEST_F(DevDoc, TwoDevicesSortedFirstSelectedStateReadAndPollEverySecond) {
    Add(1201, "198.18.1.11/24");
    Add(305, "198.18.1.12/24");
    Add(77, "198.19.7.13/24");
    // 77 answers like a server without options: no "serno", so no device.
    for (const char* cmd :
         {"set serno=77 options=ignore", "chan-set serno=305 path=/.cmd/udkvtstat/bumt value=1",
          "chan-set serno=305 path=/.cmd/udkvtstat/crtc value=2026-01-02T03:04:05Z"})
        ASSERT_EQ(sim->Cmd(cmd).rfind("ok", 0), 0u) << cmd;
    InApp([&] {
        const u32 t0 = loop.NowMs();
        ASSERT_TRUE(doc->PollInFlight());
        // The refresh's two passes: 85, 170, then 0 when the second ends.
        ASSERT_TRUE(RunUntil([&] { return doc->RefreshState() == CKvsDevDoc::kSteady; }, 30000));
        view.progress.resize(4);
        EXPECT_EQ(view.progress, (std::vector<u32>{85, 170, 170, 0}));
        EXPECT_EQ(Serials(), (std::vector<u32>{305, 1201}));
        EXPECT_EQ(view.row, 0);
        ASSERT_NE(doc->FindController(view.serial), nullptr);
        EXPECT_EQ(view.shownState, doc->FindController(view.serial)->State());
        CKvsDevCtl* ctl = doc->FindController(305);
        ASSERT_NE(ctl, nullptr);
        EXPECT_EQ(ctl->State()->GetU8(DvssF::bumt), 1);
        EXPECT_STREQ(ctl->State()->GetString(DvssF::crtc).CStr(), "2026-01-02T03:04:05Z");
        EXPECT_EQ(doc->DeviceSet().Find(1201)->GetU32(DevcF::address), 0xC612010Bu);
        EXPECT_EQ(doc->ControllerCount(), 2u);
        ASSERT_EQ(sim->Cmd("remove-device serno=77").rfind("ok", 0), 0u);
        // With a device selected each poll starts 1000 ms after the previous one.
        ASSERT_TRUE(RunUntil([&] { return doc->PollInFlight(); }, 3000));
        EXPECT_EQ(loop.NowMs() - t0, 2000u);
        ASSERT_TRUE(RunUntil([&] { return !doc->PollInFlight(); }, 3000));
        ASSERT_TRUE(RunUntil([&] { return doc->PollInFlight(); }, 3000));
        EXPECT_EQ(loop.NowMs() - t0, 3000u);
        // Outside a refresh a silent device stays.
        ASSERT_EQ(sim->Cmd("remove-device serno=1201").rfind("ok", 0), 0u);
        ASSERT_TRUE(RunUntil([&] { return loop.NowMs() - t0 >= 6000; }, 4000));
        EXPECT_EQ(Serials(), (std::vector<u32>{305, 1201}));
        // A refresh during a poll starts no second one and removes what answered neither pass.
        RunUntil([&] { return doc->PollInFlight(); }, 2000);
        const size_t before = view.progress.size();
        doc->StartRefresh();
        EXPECT_TRUE(doc->PollInFlight());
        // The bar moves at once, not when the search under way ends.
        ASSERT_EQ(view.progress.size(), before + 1);
        EXPECT_EQ(view.progress.back(), 85u);
        EXPECT_EQ(view.status, "");
        // Virtual time is cheap: on a loaded machine an answer may miss a send and
        // the pass runs on to its next one.
        ASSERT_TRUE(RunUntil([&] { return doc->RefreshState() == CKvsDevDoc::kSteady; }, 30000));
        EXPECT_EQ(Serials(), (std::vector<u32>{305}));
        EXPECT_EQ(doc->ControllerCount(), 2u);
        // A body that is no state record leaves the state as it was.
        ASSERT_EQ(sim->Cmd("set-status serno=305 text=hello").rfind("ok", 0), 0u);
        ASSERT_TRUE(RunUntil([&] { return doc->PollInFlight(); }, 3000));
        ASSERT_TRUE(RunUntil([&] { return !doc->PollInFlight(); }, 3000));
        EXPECT_EQ(ctl->State()->GetU8(DvssF::bumt), 1);
        // A changed address makes that device's controller read its settings again.
        ASSERT_TRUE(RunUntil([&] { return !ctl->SettingsChannel().IsBusy(); }, 3000));
        doc->DeviceSet().Find(305)->SetU32(nullptr, DevcF::address, 0xC612010D);
        EXPECT_TRUE(ctl->SettingsChannel().IsBusy());
    });
}

TEST_F(DevDoc, AStateCutShortOrOverlongWaitsForTheNextPoll) {
    Add(305, "198.18.1.12/24");
    InApp([&] {
        ASSERT_TRUE(RunUntil([&] { return doc->RefreshState() == CKvsDevDoc::kSteady; }, 30000));
        CKvsDevCtl* ctl = doc->FindController(305);
        ASSERT_NE(ctl, nullptr);
        const char* const damages[] = {"half=1", "length=0xFFFFFFF0", "cut=20", "extra=3"};
        u32 level = 10;
        for (const char* how : damages) {
            SCOPED_TRACE(how);
            ++level;
            // The first field and one further on: a cut keeps neither.
            for (const char* field : {"ntsy", "sqid"})
                ASSERT_EQ(sim->Cmd(std::string("chan-set serno=305 path=/.cmd/udkvtstat/") + field +
                                   " value=" + std::to_string(level))
                              .rfind("ok", 0),
                          0u);
            ASSERT_EQ(
                sim->Cmd(std::string("reply-damage serno=305 path=/.cmd/udkvtstat count=1 ") + how)
                    .rfind("ok", 0),
                0u);
            auto state = [&] {
                return std::vector<u32>{ctl->State()->GetU8(DvssF::ntsy),
                                        ctl->State()->GetU32(DvssF::sqid)};
            };
            const std::vector<u32> before = state();
            ASSERT_TRUE(RunUntil([&] { return doc->PollInFlight(); }, 3000));
            ASSERT_TRUE(RunUntil([&] { return !doc->PollInFlight(); }, 3000));
            // The device answered: it stays listed, its state as it was.
            EXPECT_EQ(Serials(), (std::vector<u32>{305}));
            EXPECT_EQ(state(), before);
            ASSERT_TRUE(RunUntil([&] { return doc->PollInFlight(); }, 3000));
            ASSERT_TRUE(RunUntil([&] { return !doc->PollInFlight(); }, 3000));
            EXPECT_EQ(state(), (std::vector<u32>{level, level}));
            ASSERT_EQ(sim->Cmd("reply-damage serno=305 clear").rfind("ok", 0), 0u);
        }
    });
}

// Two devices answer as serial 1201 from two addresses: the one row follows
// whichever answered last, and every move reads the settings anew, so a read
// ends while the user's setting waits. Use DHCP clicked three times, 5 s
// apart: nothing breaks, and the last click reaches the device the row shows.
TEST_F(DevDoc, TwoAnswerersOfOneSerialAndASettingChangedThreeTimes) {
    Add(1201, "198.18.1.11/24");
    Add(1202, "198.18.1.12/24");
    ASSERT_EQ(sim->Cmd("set serno=1202 claim=1201").rfind("ok", 0), 0u);
    InApp([&] {
        ASSERT_TRUE(RunUntil([&] { return doc->RefreshState() == CKvsDevDoc::kSteady; }, 30000));
        EXPECT_EQ(Serials(), (std::vector<u32>{1201}));
        CKvsDevCtl* ctl = doc->FindController(1201);
        ASSERT_NE(ctl, nullptr);
        u8 use = ctl->Settings()->GetU8(DvstF::usdh);
        for (int click = 0; click < 3; ++click) {
            use = use ? 0 : 1;
            ctl->Settings()->SetU8(nullptr, DvstF::usdh, use);
            const u32 at = loop.NowMs();
            RunUntil([&] { return loop.NowMs() - at >= 5000; }, 6000);
        }
        // The moves go on: once the setting is no longer waiting, the device the
        // row shows (whichever answered last) holds it or, when the row moved on
        // since, the other answerer that took it does.
        ASSERT_TRUE(RunUntil([&] { return ctl->SettingsChannel().UnsentPaths().empty(); }, 30000));
        u32 holding = 0;
        for (const char* serno : {"1201", "1202"})
            holding += sim->Cmd(std::string("chan-get serno=") + serno +
                                " path=/.cmd/udkvtset/usdh") == "ok value=" + std::to_string(use);
        EXPECT_GE(holding, 1u);
        EXPECT_EQ(Serials(), (std::vector<u32>{1201}));
    });
}

// Strangers answer the status poll: one whose answer never ends, as far as a
// state goes (refused at its limit: it holds nothing), one that trickles a
// block every 1.5 s (let go at its round's end). The real device is polled
// every round all along, its state shown as it changes, a round apart as
// with no stranger about, and the memory stays where it was.
TEST_F(DevDoc, StrangersEndlessOrTricklingAnswersHoldNoOneBack) {
    const struct {
        const char* name;
        std::vector<std::string> stranger;
        u32 rounds;
    } rows[] = {
        {"endless", {"set-status serno=999 size=8388608"}, 60},
        {"trickling",
         {"set-status serno=999 size=4194304", "set serno=999 rto=60000 trickle-ms=1500"},
         // Each round its next block goes to a poll that has ended: the test's
         // clock waits for it a while before it is given up.
         4},
    };
    auto peakKb = [] {
        std::ifstream f("/proc/self/status");
        for (std::string line; std::getline(f, line);)
            if (line.rfind("VmHWM:", 0) == 0) return std::stoul(line.substr(6));
        return 0ul;
    };
    Add(305, "198.18.1.12/24");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Add(999, "198.18.1.11/24");
        for (const std::string& cmd : row.stranger)
            ASSERT_EQ(sim->Cmd(cmd).rfind("ok", 0), 0u) << cmd;
        ASSERT_EQ(sim->Cmd("log clear").rfind("ok", 0), 0u);
        InApp([&] {
            ASSERT_TRUE(
                RunUntil([&] { return doc->RefreshState() == CKvsDevDoc::kSteady; }, 30000));
            CKvsDevCtl* ctl = doc->FindController(305);
            ASSERT_NE(ctl, nullptr);
            ASSERT_EQ(view.row, 0);
            const unsigned long before = peakKb();
            std::vector<u32> starts;
            for (u32 round = 1; round <= row.rounds; ++round) {
                ASSERT_EQ(sim->Cmd("chan-set serno=305 path=/.cmd/udkvtstat/sqid value=" +
                                   std::to_string(round))
                              .rfind("ok", 0),
                          0u);
                ASSERT_TRUE(RunUntil([&] { return doc->PollInFlight(); }, 3000)) << round;
                starts.push_back(loop.NowMs());
                ASSERT_TRUE(RunUntil([&] { return !doc->PollInFlight(); }, 3000)) << round;
                EXPECT_EQ(ctl->State()->GetU32(DvssF::sqid), round);
            }
            for (size_t i = 1; i < starts.size(); ++i)
                EXPECT_EQ(starts[i] - starts[i - 1], 1000u) << i;
            const unsigned long grown = peakKb() - before;
            RecordProperty(std::string("peak_growth_kb_") + row.name, std::to_string(grown));
            EXPECT_LT(grown, 20u * 1024u);
        });
        // What the stranger got to send of one answer: up to the limit, a block more.
        std::map<std::string, u32> blocks;
        for (const std::string& l : sim->Log())
            if (l.rfind("pkt ", 0) == 0 && SimDeviceProcess::Field(l, "dev") == "999" &&
                SimDeviceProcess::Field(l, "op") == "DATA" &&
                SimDeviceProcess::Field(l, "dir") == "out")
                blocks[SimDeviceProcess::Field(l, "x")] =
                    std::max(blocks[SimDeviceProcess::Field(l, "x")],
                             u32(std::stoul(SimDeviceProcess::Field(l, "block"))));
        for (const auto& [x, most] : blocks) EXPECT_LE(most, 64u * 1024u / 1420u + 2u) << x;
        ASSERT_EQ(sim->Cmd("remove-device serno=999").rfind("ok", 0), 0u);
        ASSERT_EQ(sim->Cmd("fault-clear").rfind("ok", 0), 0u);
    }
}

TEST_F(DevDoc, NobodySelectedPollsFiveSecondsAfterTheLastEnded) {
    InApp([&] {
        ASSERT_TRUE(RunUntil([&] { return doc->RefreshState() == CKvsDevDoc::kSteady; }, 60000));
        const u32 end = loop.NowMs();
        EXPECT_FALSE(doc->PollInFlight());
        ASSERT_TRUE(RunUntil([&] { return doc->PollInFlight(); }, 10000));
        EXPECT_EQ(loop.NowMs() - end, 5000u);
        EXPECT_EQ(view.row, -1);
        EXPECT_EQ(view.status, "No device answered the search.");
    });
}

TEST_F(DevDoc, ASearchThatCannotBeSentSaysWhereAndWhy) {
    // The chosen interface is down and there is no default route: the
    // broadcast cannot leave.
    ASSERT_EQ(system(("ip -n " + net.AppNs() + " link set eth0 down").c_str()), 0);
    InApp([&] {
        // Said when the send fails, not after the session's resends.
        ASSERT_TRUE(RunUntil([&] { return !view.status.empty(); }, 500));
        EXPECT_FALSE(doc->PollInFlight());
        // The chosen interface is gone and nothing else routes: no interface to name.
        EXPECT_EQ(view.status,
                  "The search could not be sent (no network interface): Network is unreachable.");
        EXPECT_EQ(view.status.find('\n'), std::string::npos);
    });
}

TEST(SearchStatus, OneLineForNobodyAndForASearchThatFailed) {
    static LResFile appFile(AppResFileRef());
    SetDefaultResChain(&appFile);
    const u32 lo = if_nametoindex("lo");
    const struct {
        i32 err;
        u32 index;
        u32 devices;
        const char* text;
    } cases[] = {
        {0, lo, 0, "No device answered the search."},
        {0, lo, 3, ""},
        {ENETUNREACH, lo, 0, "The search could not be sent on lo: Network is unreachable."},
        {ENETUNREACH, lo, 2, "The search could not be sent on lo: Network is unreachable."},
        // 1,000 devices' sockets used up the descriptors: the poll's socket could not be had.
        {EMFILE, lo, 1000, "The search could not be sent on lo: Too many open files."},
        {ENODEV, 0x7FFFFFF0u, 0,
         "The search could not be sent (no network interface): No such device."},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(SearchStatusText(c.err, c.index, c.devices).CStr(), c.text)
            << c.err << c.devices;
}

TEST(DeviceSerial, OnlyPlainDecimalsFrom1To65535) {
    const struct {
        const char* text;
        bool ok;
        u16 serial;
    } cases[] = {{"1", true, 1},     {"65535", true, 65535}, {"305", true, 305},
                 {"0", false, 0},    {"65536", false, 0},    {"70000", false, 0},
                 {"", false, 0},     {"-5", false, 0},       {" 12", false, 0},
                 {"12ab", false, 0}, {"+7", false, 0},       {"99999999999", false, 0}};
    for (const auto& c : cases) {
        u16 s = 0;
        EXPECT_EQ(ParseDeviceSerial(c.text, &s), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(s, c.serial) << c.text;
        }
    }
}

}  // namespace
