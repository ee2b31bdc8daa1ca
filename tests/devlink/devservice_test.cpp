// Device services against the simulated device, with a progress and message
// double whose modal turns run the run loop.

#include "base/Resources.h"
#include "devlink/DeviceService.h"
#include "devlink/RecordChannel.h"
#include "platform/RunLoop.h"
#include "tests/devlink/FileLinkTestUtil.h"

using filelink::Pump;

namespace {

struct FakeUi : MDevServiceUi {
    void OpenProgress(LHandler*, const LString& message, u32 maximum) override {
        opened = std::string(message.CStr()) + "/" + std::to_string(maximum);
    }
    void SetProgress(u32 value) override { progress.push_back(value); }
    u32 ModalStep(u32 limitMs) override {
        EXPECT_LE(limitMs, 200u);
        if (cancelled) ++stepsAfterCancel;
        if (cancelWhen && cancelWhen()) return cancelled = 1;
        RunLoopRunOnce(limitMs);
        return 0;
    }
    void CloseProgress() override { ++closed; }
    void ShowMessage(LHandler*, const LString& text) override { messages.push_back(text.CStr()); }

    std::string opened;
    std::vector<u32> progress;
    std::vector<std::string> messages;
    u32 closed = 0, cancelled = 0, stepsAfterCancel = 0;
    std::function<bool()> cancelWhen;
};

std::string Item(u32 n) {
    LResId id{0, kServiceTextsName};
    LStrListRes list(&id, nullptr, FourCC("CST#"));
    LString s;
    return list.GetItem(&s, n).CStr();
}

class Service : public filelink::FileLinkTest {
protected:
    void SetUp() override {
        FileLinkTest::SetUp();
        fChain.AddSource(&fApp);
        SetDefaultResChain(&fChain);
    }
    void TearDown() override {
        SetDefaultResChain(nullptr);
        FileLinkTest::TearDown();
    }
    // Answers the result followed by the text appended to "x:".
    std::string Run(const std::string& name, FakeUi& ui) {
        LTextStream text;
        text.Put("x:");
        auto* body = new CGrowMemStrm();
        body->Write("<job/>", 6);
        const bool ok = RunDeviceService(this, nullptr, fQueue.get(), name.c_str(), text, body, ui);
        return (ok ? "true " : "false ") + std::string(text.CStr());
    }

    LResFile fApp{AppResFileRef()};
    LResChain fChain;
};

TEST_F(Service, RepliesFailuresAndCancel) {
    Shorten(*fQueue, 40, 3);
    const std::string onRequest = " dir=in opcode=WRQ path=/.cmd/svcreq//";
    const struct {
        std::vector<std::string> replies;  // scripted poll replies
        std::string fault;                 // followed by the service name
        std::string result;
        i32 item;  // the message shown, -1 none
    } cases[] = {
        {{"42%20x", "100%20r"}, "", "true x:r", -1},
        {{"%EF%BB%BF+100%20%20two%20words"}, "", "true x:two words", -1},
        {{"-1"}, "", "false x:", 6},
        {{"-3"}, "", "false x:", 8},
        {{"-8%20gone"}, "", "false x:", 13},
        {{"-20"}, "", "false x:", 6},
        {{}, "fault error code=1" + onRequest, "false x:", 2},
        {{}, "fault drop" + onRequest, "false x:", 1},
        // Cancelled while the poll is awaited.
        {{}, "fault drop dir=in opcode=RRQ path=/.cmd/svcpol//", "false x:", -1},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string name = "drctrim//c" + std::to_string(n++) + ".drc//0//10";
        const std::string poll = "/.cmd/svcpol//" + name;
        for (const std::string& r : c.replies)
            ASSERT_TRUE(Ok("svc-reply serno=305 name=" + name + " text=" + r));
        if (!c.fault.empty()) {
            ASSERT_TRUE(Ok(c.fault + name));
        }
        std::vector<long> polls;  // when the device saw them
        auto seen = [&] {
            polls.clear();
            for (const std::string& l : LogOf("pkt"))
                if (Field(l, "dir") == "in" && Field(l, "path") == poll)
                    polls.push_back(std::strtol(Field(l, "t").c_str(), nullptr, 10));
            return !polls.empty();
        };
        FakeUi ui;
        if (c.fault.find("svcpol") != std::string::npos) ui.cancelWhen = seen;
        EXPECT_EQ(Run(name, ui), c.result) << name;
        EXPECT_EQ(ui.opened, Item(4) + "/100");
        EXPECT_TRUE(ui.closed == 1 && ui.stepsAfterCancel == 0) << name;
        EXPECT_EQ(ui.messages, c.item < 0 ? std::vector<std::string>{}
                                          : std::vector<std::string>{Item(u32(c.item))})
            << name;
        EXPECT_TRUE(fQueue->IsIdle() && fQueue->PendingCount() == 0) << "nothing left behind";
        if (n == 1 && seen()) {
            EXPECT_EQ(ui.progress, std::vector<u32>{42});
            ASSERT_EQ(polls.size(), 2u);
            EXPECT_GE(polls[1] - polls[0], 1950);
            EXPECT_LE(polls[1] - polls[0], 2400);
        }
    }
    EXPECT_EQ(Field(LogOf("svc")[0], "body"), "<job/>");
}

// A parent that turns "LHandler_Mode" into run-loop turns, as the main loop does.
struct ModalParent : LHandler {
    u32 turns = 0;
    LMessage HandleMessage(const LMessage& msg) override {
        if (!msg.Is(LHandler_Mode)) return LHandler::HandleMessage(msg);
        ++turns;
        RunLoopRunOnce(10);
        return LMessage();
    }
};

TEST_F(Service, PulseRefreshWritesBothPulsesAndKeepsTurning) {
    CRecordDoc cmd(CRecord::New(CRecordSchema::Find(kFamKvt, kKindDvcm)));
    CDevRequestQueue channel(fQueue.get(), cmd.Root(), "/.cmd/udkvtcmd",
                             CDevRequestQueue::NoRereadContext(), nullptr);
    ModalParent parent;
    LHandler screen(&parent);
    const u32 start = LTickMs();
    PulseRefreshAndWait(&screen, cmd.Root());
    EXPECT_GE(LTickMs() - start, 500u);
    EXPECT_GT(parent.turns, 0u);
    ASSERT_TRUE(Pump([&] { return !channel.IsBusy() && fQueue->IsIdle(); }, 3000));
    std::string writes;
    for (const std::string& l : LogOf("chan"))
        writes += Field(l, "path") + "=" + Field(l, "value") + " ";
    EXPECT_EQ(writes, "/.cmd/udkvtcmd/plsn=/ /.cmd/udkvtcmd/frfl=1 ");
    EXPECT_TRUE(cmd.Root()->GetString(DvcmF::plsn).IsEmpty());
    EXPECT_EQ(cmd.Root()->GetU8(DvcmF::frfl), 0);
}

}  // namespace
