// Device services against the simulated device under the framework's progress
// and message dialogs, headless, their modal turns moving the virtual clock.

#include "base/Resources.h"
#include "devlink/CDevRequestQueue.h"
#include "devlink/DevServiceDialogs.h"
#include "devlink/DeviceService.h"
#include "framework/StdDialogs.h"
#include "tests/devlink/FileLinkTestUtil.h"

namespace {

std::string Item(u32 n) {
    LResId id{0, kServiceTextsName};
    LString s;
    return LStrListRes(&id, nullptr, FourCC("CST#")).GetItem(&s, n).CStr();
}

// Owns the dialogs and runs their modal turns, as the main loop would: notes
// what they show ("open" for the progress message, "itemN" for a message, which
// it answers with OK), and presses the progress dialog's button when asked to.
struct DialogTurns : LHandler {
    std::function<void()> turn;
    std::function<bool()> pressWhen;
    std::string shown;
    bool pressed = false;
    LMessage HandleMessage(const LMessage& msg) override {
        if (!msg.Is(LHandler_Mode)) return LHandler::HandleMessage(msg);
        if (auto* m = dynamic_cast<CSimpleMessageDialog*>(msg.source)) {
            for (u32 i = 0; i < 14; ++i)
                if (m->fMessage.GetText().CStr() == Item(i)) shown += " item" + std::to_string(i);
            Send(LStdCtl_Selected, &m->fOk, m);
        } else if (auto* p = dynamic_cast<CSimpleProgressDialog*>(msg.source)) {
            if (shown.empty()) shown = p->fMessage.GetText().CStr() == Item(4) ? "open" : "?";
            if (pressed) shown += " late";
            if ((pressed = pressWhen && pressWhen()))
                Send(LStdCtl_Selected, &p->fButton, p);
            else
                turn();
        } else {
            turn();
        }
        return LMessage();
    }
};

// The framework's dialogs, noting the progress values.
struct Dialogs : CDevServiceDialogs {
    std::string* shown;
    void SetProgress(u32 v) override {
        *shown += " " + std::to_string(v);
        CDevServiceDialogs::SetProgress(v);
    }
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
        {{"42%20x", "100%20r"}, "", "true x:r", "open 42"},
        {{"%EF%BB%BF+100%20%20two%20words"}, "", "true x:two words", "open"},
        {{"-1"}, "", "false x:", "open item6"},
        {{"-3"}, "", "false x:", "open item8"},
        {{"-8%20gone"}, "", "false x:", "open item13"},
        {{"-20"}, "", "false x:", "open item6"},
        {{}, "fault error code=1" + onRequest, "false x:", "open item2"},
        {{}, "fault drop" + onRequest, "false x:", "open item1"},
        // Cancelled while the poll is awaited: nothing shown, nothing left behind.
        {{}, "fault drop dir=in opcode=RRQ path=/.cmd/svcpol//", "false x:", "open"},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string name = "drctrim//c" + std::to_string(n++) + ".drc//0//10";
        for (const std::string& r : c.replies)
            ASSERT_TRUE(Ok("svc-reply serno=305 name=" + name + " text=" + r));
        if (!c.fault.empty()) {
            ASSERT_TRUE(Ok(c.fault + name));
        }
        const std::string poll = "/.cmd/svcpol//" + name;
        DialogTurns owner;
        Dialogs dialogs;
        dialogs.shown = &owner.shown;
        // A turn waits for the transfer in flight; with none, or a silent device, time passes.
        owner.turn = [this] {
            if (fQueue->IsIdle() || !Settle([&] { return fQueue->IsIdle(); }, 250)) Advance(200);
        };
        if (c.fault.find("svcpol") != std::string::npos)
            owner.pressWhen = [&] { return Asked(poll); };
        LTextStream text;
        text.Put("x:");
        auto* body = new CGrowMemStrm();
        body->Write("<job/>", 6);
        const u32 t0 = LTickMs();
        const bool ok =
            RunDeviceService(nullptr, &owner, fQueue.get(), name.c_str(), text, body, dialogs);
        const u32 took = LTickMs() - t0;
        EXPECT_EQ((ok ? "true " : "false ") + std::string(text.CStr()) + " / " + owner.shown,
                  c.result + " / " + c.shown);
        EXPECT_TRUE(!dialogs.Progress() && fQueue->IsIdle() && !fQueue->PendingCount()) << name;
        EXPECT_TRUE(n != 1 || (Asked(poll) == 2 && took >= 2000 && took < 3000)) << took;
    }
    EXPECT_EQ(Field(LogOf("svc")[0], "body"), "<job/>");
}

TEST_F(Service, PulseRefreshWritesBothPulsesAndKeepsTurning) {
    CRecordDoc cmd(CRecord::New(CRecordSchema::Find(kFamKvt, kKindDvcm)));
    CDevRequestQueue channel(fQueue.get(), cmd.Root(), "/.cmd/udkvtcmd",
                             CDevRequestQueue::NoRereadContext(), nullptr);
    u32 turns = 0;
    DialogTurns parent;  // here plain modal turns of 10 ms
    parent.turn = [&] { ++turns, Advance(10); };
    LHandler screen(&parent);
    const u32 start = LTickMs();
    PulseRefreshAndWait(&screen, cmd.Root());
    EXPECT_TRUE(LTickMs() - start >= 500 && turns == 50) << turns;
    ASSERT_TRUE(Drive([&] { return !channel.IsBusy() && fQueue->IsIdle(); }));
    std::string writes;
    for (const std::string& l : LogOf("chan"))
        writes += Field(l, "path") + "=" + Field(l, "value") + " ";
    EXPECT_EQ(writes, "/.cmd/udkvtcmd/plsn=/ /.cmd/udkvtcmd/frfl=1 ");
    EXPECT_TRUE(cmd.Root()->GetString(DvcmF::plsn).IsEmpty() && !cmd.Root()->GetU8(DvcmF::frfl));
}

}  // namespace
