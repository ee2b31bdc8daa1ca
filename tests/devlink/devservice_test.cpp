// Device services against the simulated device, with a progress and message
// double whose modal turns run the run loop.

#include "base/Resources.h"
#include "devlink/DeviceService.h"
#include "devlink/CDevRequestQueue.h"
#include "framework/StdDialogs.h"
#include "platform/RunLoop.h"
#include "tests/devlink/FileLinkTestUtil.h"

namespace {

std::string Item(u32 n) {
    LResId id{0, kServiceTextsName};
    LString s;
    return LStrListRes(&id, nullptr, FourCC("CST#")).GetItem(&s, n).CStr();
}

// Records what the service shows: "open <message>", progress values, messages
// by item, "close"; a turn after a cancel would show as "late".
struct FakeUi : MDevServiceUi {
    void OpenProgress(LHandler*, const LString& message, u32 maximum) override {
        shown += message.CStr() == Item(4) && maximum == 100 ? "open " : "wrong-open ";
    }
    void SetProgress(u32 value) override { shown += std::to_string(value) + " "; }
    u32 ModalStep(u32 limitMs) override {
        if (cancelled || limitMs > 200) shown += "late ";
        if ((cancelled = cancelWhen && cancelWhen())) return 1;
        turn(limitMs);
        return 0;
    }
    void CloseProgress() override { shown += "close"; }
    void ShowMessage(LHandler*, const LString& text) override {
        for (u32 i = 0; i < 14; ++i)
            if (text.CStr() == Item(i)) shown += " item" + std::to_string(i);
    }
    std::string shown;
    bool cancelled = false;
    std::function<bool()> cancelWhen;
    std::function<void(u32)> turn;
};

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
        // A turn waits for the transfer in flight; with none, or a silent device, time passes.
        ui.turn = [this](u32 ms) {
            if (fQueue->IsIdle() || !Settle([&] { return fQueue->IsIdle(); }, 50)) Advance(ms);
        };
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
    const std::string onRequest = " dir=in opcode=WRQ path=/.cmd/svcreq//";
    const struct {
        std::vector<std::string> replies;  // scripted poll replies
        std::string fault;                 // followed by the service name
        std::string result, shown;
    } cases[] = {
        {{"42%20x", "100%20r"}, "", "true x:r", "open 42 close"},
        {{"%EF%BB%BF+100%20%20two%20words"}, "", "true x:two words", "open close"},
        {{"-1"}, "", "false x:", "open close item6"},
        {{"-3"}, "", "false x:", "open close item8"},
        {{"-8%20gone"}, "", "false x:", "open close item13"},
        {{"-20"}, "", "false x:", "open close item6"},
        {{}, "fault error code=1" + onRequest, "false x:", "open close item2"},
        {{}, "fault drop" + onRequest, "false x:", "open close item1"},
        // Cancelled while the poll is awaited: nothing shown, nothing left behind.
        {{}, "fault drop dir=in opcode=RRQ path=/.cmd/svcpol//", "false x:", "open close"},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string name = "drctrim//c" + std::to_string(n++) + ".drc//0//10";
        for (const std::string& r : c.replies)
            ASSERT_TRUE(Ok("svc-reply serno=305 name=" + name + " text=" + r));
        if (!c.fault.empty()) {
            ASSERT_TRUE(Ok(c.fault + name));
        }
        std::vector<long> polls;  // when the device saw them
        auto seen = [&] {
            polls.clear();
            for (const std::string& l : LogOf("pkt"))
                if (Field(l, "dir") == "in" && Field(l, "path") == "/.cmd/svcpol//" + name)
                    polls.push_back(std::strtol(Field(l, "t").c_str(), nullptr, 10));
            return !polls.empty();
        };
        FakeUi ui;
        if (c.fault.find("svcpol") != std::string::npos) ui.cancelWhen = seen;
        const u32 t0 = LTickMs();
        EXPECT_EQ(Run(name, ui) + " / " + ui.shown, c.result + " / " + c.shown);
        const u32 took = LTickMs() - t0;
        EXPECT_TRUE(fQueue->IsIdle() && fQueue->PendingCount() == 0) << name;
        EXPECT_TRUE(n != 1 || (seen() && polls.size() == 2 && took >= 2000 && took < 2200)) << took;
    }
    EXPECT_EQ(Field(LogOf("svc")[0], "body"), "<job/>");
}

// The owner of the framework's dialogs runs their modal turns: it presses the
// progress dialog's button at the turn asked for, and answers every message.
struct DialogTurns : LHandler {
    std::function<void()> turn;
    u32 pressAt = 0, turns = 0;
    std::vector<std::string> messages;
    LMessage HandleMessage(const LMessage& msg) override {
        if (!msg.Is(LHandler_Mode)) return LHandler::HandleMessage(msg);
        if (auto* m = dynamic_cast<CSimpleMessageDialog*>(msg.source)) {
            messages.push_back(m->fMessage.GetText().CStr());
            Send(LStdCtl_Selected, &m->fOk, m);
        } else if (auto* p = dynamic_cast<CSimpleProgressDialog*>(msg.source)) {
            if (++turns == pressAt) return Send(LStdCtl_Selected, &p->fButton, p), LMessage();
            turn();
        }
        return LMessage();
    }
};

TEST_F(Service, UnderTheFrameworkDialogs) {
    const struct {
        std::string reply, fault, result;
        u32 pressAt;
        std::vector<std::string> messages;
    } cases[] = {
        {"100%20r", "", "true x:r", 0, {}},
        {"-3", "", "false x:", 0, {Item(8)}},
        {"10", "fault drop dir=in opcode=RRQ path=/.cmd/svcpol//", "false x:", 2, {}},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string name = "drcjoin//d" + std::to_string(n++);
        ASSERT_TRUE(Ok("svc-reply serno=305 name=" + name + " text=" + c.reply));
        if (!c.fault.empty()) {
            ASSERT_TRUE(Ok(c.fault + name));
        }
        DialogTurns owner;
        owner.pressAt = c.pressAt;
        owner.turn = [this] {
            if (fQueue->IsIdle() || !Settle([&] { return fQueue->IsIdle(); }, 50)) Advance(200);
        };
        LTextStream text;
        text.Put("x:");
        const bool ok =
            RunDeviceService(nullptr, &owner, fQueue.get(), name.c_str(), text, nullptr);
        EXPECT_EQ((ok ? "true " : "false ") + std::string(text.CStr()), c.result);
        EXPECT_EQ(owner.messages, c.messages);
        EXPECT_TRUE(fQueue->IsIdle() && fQueue->PendingCount() == 0) << name;
    }
}

// A parent that turns "LHandler_Mode" into modal turns of 10 ms, as the main loop does.
struct ModalParent : LHandler {
    std::function<void()> turn;
    u32 turns = 0;
    LMessage HandleMessage(const LMessage& msg) override {
        if (!msg.Is(LHandler_Mode)) return LHandler::HandleMessage(msg);
        ++turns;
        turn();
        return LMessage();
    }
};

TEST_F(Service, PulseRefreshWritesBothPulsesAndKeepsTurning) {
    CRecordDoc cmd(CRecord::New(CRecordSchema::Find(kFamKvt, kKindDvcm)));
    CDevRequestQueue channel(fQueue.get(), cmd.Root(), "/.cmd/udkvtcmd",
                             CDevRequestQueue::NoRereadContext(), nullptr);
    ModalParent parent;
    parent.turn = [this] { Advance(10); };
    LHandler screen(&parent);
    const u32 start = LTickMs();
    PulseRefreshAndWait(&screen, cmd.Root());
    EXPECT_TRUE(LTickMs() - start >= 500 && parent.turns == 50) << parent.turns;
    ASSERT_TRUE(Drive([&] { return !channel.IsBusy() && fQueue->IsIdle(); }));
    std::string writes;
    for (const std::string& l : LogOf("chan"))
        writes += Field(l, "path") + "=" + Field(l, "value") + " ";
    EXPECT_EQ(writes, "/.cmd/udkvtcmd/plsn=/ /.cmd/udkvtcmd/frfl=1 ");
    EXPECT_TRUE(cmd.Root()->GetString(DvcmF::plsn).IsEmpty() && !cmd.Root()->GetU8(DvcmF::frfl));
}

}  // namespace
