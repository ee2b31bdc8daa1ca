// The device commands of the device window against simulated devices inside
// namespaces of the test's own (root only): the dialogs run headless, their
// modal turns answered by the script of each case and moving the virtual clock.
#include <stdlib.h>
#include <time.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "devices/CDevSettingsDlgs.h"
#include "devices/CKvsDevDoc.h"
#include "devices/DevCommands.h"
#include "devlink/NetIf.h"
#include "devlink/StatNodes.h"
#include "framework/InputState.h"
#include "framework/LMenu.h"
#include "framework/StdDialogs.h"
#include "records/AppPrefsDoc.h"
#include "records/DeviceKinds.h"
#include "records/NsqPrefKinds.h"
#include "records/RecordKinds.h"
#include "base/Paths.h"
#include "devices/CKvsDevCtlWin.h"
#include "records/CChunkFile.h"
#include "records/ShowKinds.h"
#include "tests/devices/PlayTest.h"
#include "tests/devlink/NetnsHarness.h"
#include "tests/devlink/UdpTally.h"
#include "tests/devlink/VirtualRunLoop.h"
#include "tests/framework/FakeControls.h"
#include "tests/framework/FakeWindows.h"
#include "tools/testkit/RowOnlyDevView.h"
#include "tools/testkit/SimDeviceProcess.h"

using namespace testtftp;

namespace {

struct LoopClock : FakeServices {
    explicit LoopClock(CVirtualRunLoop* l) : loop(l) {}
    u32 NowMs() override { return loop->NowMs(); }
    CVirtualRunLoop* loop;
};

// Above the document: answers each dialog's modal turn with the script, which
// presses a button of it (nothing pressed: the turn just lets time pass).
struct Top : LHandler {
    std::function<void(LDialog*)> script;
    std::function<void()> turn;
    LMessage HandleMessage(const LMessage& msg) override {
        if (msg.Is(LHandler_Mode)) {
            if (auto* d = dynamic_cast<LDialog*>(msg.source); d && script) {
                script(d);
            } else if (turn) {
                turn();
            }
            return LMessage();
        }
        return LHandler::HandleMessage(msg);
    }
};

void Press(LDialog* d, bool ok) {
    LHandler::Send(LStdCtl_Selected, ok ? d->DefaultButton() : d->CancelButton(), d);
}

struct Ask : MDevCmdAsk {
    bool answer = false;
    std::function<void()> during;
    bool Confirm(const LString&) override {
        if (during) during();
        return answer;
    }
};

class DevCommands : public ::testing::Test {
protected:
    void SetUp() override {
        if (!NetnsHarness::IsRoot()) GTEST_SKIP() << "needs root to build network namespaces";
        ASSERT_EQ(net.Setup(::testing::UnitTest::GetInstance()->current_test_info()->name()), "");
        sim = std::make_unique<SimDeviceProcess>(NetnsHarness::NsPath(net.DevNs()));
        ASSERT_TRUE(sim->Ok());
        static LResFile appFile(AppResFileRef());
        SetDefaultResChain(&appFile);
        controls.fClock = &fake.fNow;
        RegisterAllRecordKinds();
        prdv = std::make_unique<CRecordDoc>(CRecord::New(CRecordSchema::Find(kFamKvs, kKindPrdv)));
        pref = std::make_unique<CRecordDoc>(CRecord::New(CRecordSchema::Find(kFamKvs, kKindPref)));
        SetAppPrefsDoc(pref.get());
        setenv("TZ", "NST3:30", 1);
        tzset();
    }
    void TearDown() override {
        SetAppPrefsDoc(nullptr);
        unsetenv("TZ");
        tzset();
    }
    void Add(u32 serno, const char* addr) {
        const std::string r = sim->AddDevice(serno, addr, dir.Path());
        ASSERT_EQ(r.rfind("ok", 0), 0u) << r;
    }
    void InApp(const std::function<void()>& body) {
        ASSERT_TRUE(net.InNs(net.AppNs(), [&] {
            testtftp::Eth0Prefs prefs;
            CLocalAddrWatch watch(&prefs);
            top.turn = [this] { Step(); };
            doc = std::make_unique<CKvsDevDoc>(&top, prdv->Root(), &view);
            body();
            doc.reset();
        }));
    }
    // The devices answer in real time: the clock moves on only when nothing is on its way.
    void Step() {
        SettleTraffic(loop, *sim, tally);
        const i32 wait = LTimer::NextWaitMs(nullptr, nullptr, true);
        if (wait == 0) {
            LTimer::FireDue(loop.NowMs(), nullptr, nullptr, true);
        } else if (!loop.AdvanceToNext(u32(wait))) {
            loop.Advance(u32(wait));
        }
    }
    bool RunUntil(const std::function<bool()>& pred, u32 limitMs) {
        const u32 start = loop.NowMs();
        while (!pred()) {
            if (loop.NowMs() - start > limitMs) return false;
            Step();
        }
        return true;
    }
    // Requests the devices took in, as "serial:path[:serno]" ("-" without one).
    std::vector<std::string> Asked(const std::string& path) {
        std::vector<std::string> out;
        for (const std::string& l : sim->Log()) {
            if (l.rfind("pkt ", 0) != 0 || SimDeviceProcess::Field(l, "path") != path ||
                SimDeviceProcess::Field(l, "dir") != "in")
                continue;
            const std::string s = SimDeviceProcess::Field(l, "opt.serno");
            const std::string e = SimDeviceProcess::Field(l, "dev") + ":" + (s.empty() ? "-" : s);
            if (out.empty() || out.back() != e) out.push_back(e);
        }
        return out;
    }
    // The devices of the "cmd" lines of op, or the "[value]"s of the "chan" lines of path.
    std::string Seen(const char* kind, const char* key, const std::string& match) {
        std::string out;
        for (const std::string& l : sim->Log()) {
            if (l.rfind(std::string(kind) + " ", 0) != 0 ||
                SimDeviceProcess::Field(l, key) != match)
                continue;
            out += *kind == 'c' && kind[1] == 'm' ? SimDeviceProcess::Field(l, "dev") + " "
                                                  : "[" + SimDeviceProcess::Field(l, "value") + "]";
        }
        return out;
    }
    std::string Ran(const std::string& op) { return Seen("cmd", "op", op); }
    std::string Chan(const std::string& path) { return Seen("chan", "path", path); }
    CKvsDevCtl* Ctl() { return doc->SelectedController(); }
    bool Idle() {
        return RunUntil(
            [&] { return !Ctl()->SettingsChannel().IsBusy() && !Ctl()->CommandChannel().IsBusy(); },
            20000);
    }

    CVirtualRunLoop loop;
    LoopClock fake{&loop};
    FakeControls controls;
    FakeWindows windows{fake};
    LMouse mouse;
    LKeyboard keyboard;
    UdpTally tally{0xC6120102u};  // 198.18.1.2, the harness's application address
    NetnsHarness net;
    TempDir dir;
    std::unique_ptr<SimDeviceProcess> sim;
    std::unique_ptr<CRecordDoc> prdv, pref;
    testkit::RowOnlyDevView view;
    Top top;
    std::unique_ptr<CKvsDevDoc> doc;
};

TEST_F(DevCommands, AddressRotationAndMenu) {
    Add(305, "198.18.1.11/24");
    Add(1201, "198.18.1.12/24");
    Add(2000, "198.19.7.13/24");  // another subnet: reached by broadcast only
    // As a loaded machine runs it: its answers come late in real time, never in virtual.
    ASSERT_EQ(sim->Cmd("set-delay serno=2000 delay-ms=60").rfind("ok", 0), 0u);
    InApp([&] {
        ASSERT_TRUE(RunUntil([&] { return doc->RefreshState() == CKvsDevDoc::kSteady; }, 30000));
        ASSERT_EQ(doc->DeviceSet().Count(), 3u);
        CKvsDevCommands& cmds = doc->Commands();

        // The initial address: for one serial, then for all devices; then every
        // controller reads its settings again.
        // A serial typed beyond its range goes out at its limit.
        const struct {
            bool all;
            const char* typed;
            const char* serno;
        } inits[] = {{false, nullptr, ":1000"}, {false, "7000", ":2999"}, {true, nullptr, ":-"}};
        for (const auto& init : inits) {
            const bool all = init.all;
            top.script = [&](LDialog* d) {
                auto* dlg = dynamic_cast<CInitAddrDlg*>(d);
                ASSERT_NE(dlg, nullptr);
                dlg->fAll.SetState(all);
                if (init.typed) {
                    dlg->fSerial.RequestFocus();
                    dlg->fSerial.SetText(LString(init.typed));
                }
                Press(d, true);
            };
            sim->Cmd("log clear");
            EXPECT_TRUE(cmds.Run("cInitAddr"));
            top.script = nullptr;
            ASSERT_TRUE(RunUntil([&] { return cmds.PendingCount() == 0; }, 30000));
            EXPECT_EQ(prdv->Root()->GetU8(PrdvF::iaal), all ? 1 : 0);
            RunUntil([&] { return Asked("/.cmd/udkvtset/").size() >= 3; }, 20000);
            EXPECT_EQ(Asked("/.cmd/udkvtset/").size(), 3u) << all;
            const std::vector<std::string> sent = Asked("/.cmd/rstadr");
            ASSERT_FALSE(sent.empty());
            EXPECT_EQ(sent.front().substr(sent.front().find(':')), init.serno);
            EXPECT_EQ(Ran("rstadr"), all ? "305 1201 2000 " : "");
        }

        // Rotation: declined sends nothing; confirmed, the rotated device is
        // calibrated though the selection moved on meanwhile.
        Ask ask;
        cmds.SetAsk(&ask);
        sim->Cmd("log clear");
        view.row = 0;
        EXPECT_TRUE(cmds.Run("cRotateDisp"));
        ask.answer = true;
        ask.during = [&] { view.row = 1; };
        EXPECT_TRUE(cmds.Run("cRotateDisp"));
        ASSERT_TRUE(RunUntil([&] { return Ran("tchcal") != ""; }, 20000));
        RunUntil([&] { return cmds.PendingCount() == 0; }, 20000);
        EXPECT_EQ(Ran("rotdsp") + "/ " + Ran("tchcal"), "305 / 305 ");
        EXPECT_EQ(Asked("/.cmd/tchcal"), (std::vector<std::string>{"305:305"}));

        // The menu: firmware only with a usable image and no control window open.
        LMenuBar bar(nullptr, "APPW");
        auto enabled = [&] {
            bar.ResetItemStates();
            LHandler::Send(LMenuBar_Ready, &bar, doc.get());
            std::string out;
            bar.ForEachItem(&out, [](void* o, LMenuItem* item) {
                if (item->fEnabled && item->FirstCommand().CStr()[0] == 'c')
                    *static_cast<std::string*>(o) +=
                        std::string(item->FirstCommand().CStr()) + (item->fChecked ? "* " : " ");
            });
            return out;
        };
        const std::string common =
            "cSetnRefr cInitAddr cSetClock cClockRate cNetwSetn cShutDwDly cDevLang cLangEn* "
            "cLangJp cCalibTouch cRotateDisp cOpenPlaySetn ";
        EXPECT_EQ(enabled(), common);
        const std::vector<u8> kind8{8, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        cmds.SetFirmware(kind8.data(), u32(kind8.size()));
        EXPECT_EQ(enabled(), common);
        std::vector<u8> kind9 = kind8;
        kind9[0] = 9;
        cmds.SetFirmware(kind9.data(), u32(kind9.size()));
        Ctl()->Settings()->SetU32(nullptr, DvstF::uicy, FourCC("JP  "));
        EXPECT_EQ(enabled(),
                  "cSetnRefr cInitAddr cSetClock cClockRate cNetwSetn cShutDwDly "
                  "cDevLang cLangEn cLangJp* cCalibTouch cRotateDisp cSetnFwUpd cOpenPlaySetn ");
        Ctl()->ShowWindow();
        ASSERT_TRUE(Ctl()->WindowShown());
        EXPECT_EQ(enabled(),
                  "cSetnRefr cInitAddr cSetClock cClockRate cNetwSetn cShutDwDly "
                  "cDevLang cLangEn cLangJp* cCalibTouch cRotateDisp cOpenPlaySetn ");
        view.row = -1;
        EXPECT_EQ(enabled(), "cSetnRefr cInitAddr cOpenPlaySetn ");
    });
}

TEST_F(DevCommands, SettingsThroughTheirDialogs) {
    Add(305, "198.18.1.11/24");
    InApp([&] {
        ASSERT_TRUE(RunUntil([&] { return doc->RefreshState() == CKvsDevDoc::kSteady; }, 30000));
        ASSERT_TRUE(Ctl() && Idle());
        CKvsDevCommands& cmds = doc->Commands();
        CRecord* settings = Ctl()->Settings();
        CRecord* prefs = pref->Root();

        // Clock: a manual time is kept and offered again, manual; automatic clears it.
        top.script = [&](LDialog* d) {
            auto* c = dynamic_cast<CKvsClockDlg*>(d);
            ASSERT_NE(c, nullptr);
            EXPECT_FALSE(c->IsManual());
            c->SetManual(true);
            c->SetFields(CalDateTime{2030, 5, 6, 0, 7, 8, 9});
            Press(d, true);
        };
        cmds.Run("cSetClock");
        ASSERT_TRUE(Idle());
        const LString manual = ClockTextFromLocal(2030, 5, 6, 7, 8, 9);
        EXPECT_STREQ(manual.CStr(), "2030-05-06T10:38:09");
        EXPECT_STREQ(prefs->GetString(PrefF::mnck).CStr(), manual.CStr());
        EXPECT_EQ(settings->GetI32(DvstF::tmzn), -210);
        top.script = [&](LDialog* d) {
            auto* c = dynamic_cast<CKvsClockDlg*>(d);
            ASSERT_NE(c, nullptr);
            EXPECT_TRUE(c->IsManual());
            i32 f[6];
            c->GetFields(&f[0], &f[1], &f[2], &f[3], &f[4], &f[5]);
            EXPECT_EQ(std::vector<i32>(f, f + 6), (std::vector<i32>{2030, 5, 6, 7, 8, 9}));
            c->SetManual(false);
            Press(d, true);
        };
        cmds.Run("cSetClock");
        ASSERT_TRUE(Idle());
        EXPECT_STREQ(prefs->GetString(PrefF::mnck).CStr(), "");
        EXPECT_STREQ(settings->GetString(DvstF::ntsl).CStr(), "");

        // Shutdown delay: Cancel keeps it, OK stores the field; typed beyond
        // its range (and beyond a byte) it is stored at its limit, never wrapped.
        // Refused by the device: its own value comes back, and the user is told
        // which setting it refused, once.
        const struct {
            bool ok;
            const char* typed;
            u8 stored;  // with Cancel: the value before
            bool refused = false;
        } delays[] = {{false, "17", 0},
                      {true, "17", 17},
                      {true, "75", 60},
                      {true, "300", 60},
                      {true, "20", 60, true}};
        for (const auto& c : delays) {
            std::vector<std::string> told;
            top.script = [&](LDialog* d) {
                if (auto* m = dynamic_cast<CSimpleMessageDialog*>(d)) {
                    told.push_back(m->fMessage.GetText().CStr());
                    Press(d, true);
                    return;
                }
                auto* s = dynamic_cast<CKvsShtdwDlyDlg*>(d);
                ASSERT_NE(s, nullptr);
                s->fDelay.RequestFocus();
                s->fDelay.SetText(LString(c.typed));
                Press(d, c.ok);
            };
            if (c.refused) {
                // The rows before have reached the device, merged.
                ASSERT_TRUE(Idle());
                ASSERT_EQ(sim->Cmd("fault error code=2 dir=in opcode=WRQ "
                                   "path=/.cmd/udkvtset/sddl count=1")
                              .rfind("ok", 0),
                          0u);
            }
            const u8 before = settings->GetU8(DvstF::sddl);
            cmds.Run("cShutDwDly");
            if (c.refused) {
                // Read back a moment later: the device's own value.
                EXPECT_TRUE(RunUntil(
                    [&] { return !told.empty() && settings->GetU8(DvstF::sddl) == c.stored; },
                    10000));
                EXPECT_EQ(told, std::vector<std::string>{
                                    "Device 305 refused these settings and keeps its own "
                                    "values for them:\n\nShutdown delay"});
            }
            EXPECT_EQ(settings->GetU8(DvstF::sddl), c.ok ? c.stored : before) << c.typed;
        }

        // Network: text that is not an address is refused with one message and
        // the dialog stays open with nothing stored; an emptied field stores 0
        // and a time server also sends a blank clock command. A typed interval
        // beyond its range is taken at its limit.
        settings->SetU32(nullptr, DvstF::rtra, 0xC6120101u);
        settings->SetU32(nullptr, DvstF::dnsa, 0xC6120102u);
        const struct {
            u32 field;
            const char* text;
        } bad[] = {{CKvsNetwDlg::kRouter, "300.1.1.1"},
                   {CKvsNetwDlg::kDns, "abc"},
                   {CKvsNetwDlg::kAddress, "1.2.3"},
                   {CKvsNetwDlg::kMask, "1.2.3.4.5"}};
        std::set<std::string> wordings;
        for (const auto& b : bad) {
            wordings.insert(StdDialogText("NETWDLG", 12 + b.field).CStr());
            std::vector<std::string> messages;
            i32 visits = 0;
            top.script = [&](LDialog* d) {
                if (auto* m = dynamic_cast<CSimpleMessageDialog*>(d)) {
                    messages.push_back(m->fMessage.GetText().CStr());
                    Press(d, true);
                    return;
                }
                auto* n = dynamic_cast<CKvsNetwDlg*>(d);
                ASSERT_NE(n, nullptr);
                if (++visits == 1) {
                    n->fAddr[b.field].SetText(LString(b.text));
                    n->fServer.SetText(LString("ntp.changed"));
                    Press(d, true);
                } else {
                    // Still open, the bad field focused, as typed.
                    EXPECT_EQ(n->Focus(), &n->fAddr[b.field]) << b.text;
                    EXPECT_STREQ(n->fAddr[b.field].GetText().CStr(), b.text);
                    Press(d, false);
                }
            };
            cmds.Run("cNetwSetn");
            EXPECT_EQ(visits, 2) << b.text;
            // The refusal names what the field wants.
            const std::string refusal = StdDialogText("NETWDLG", 12 + b.field).CStr();
            EXPECT_EQ(messages, std::vector<std::string>{refusal}) << b.text;
            EXPECT_EQ(settings->GetU32(DvstF::rtra), 0xC6120101u) << b.text;
            EXPECT_EQ(settings->GetU32(DvstF::dnsa), 0xC6120102u) << b.text;
            EXPECT_STREQ(settings->GetString(DvstF::ntsl).CStr(), "") << b.text;
        }
        EXPECT_EQ(wordings.size(), 4u);
        EXPECT_EQ(wordings.count(""), 0u);
        top.script = [&](LDialog* d) {
            auto* n = dynamic_cast<CKvsNetwDlg*>(d);
            ASSERT_NE(n, nullptr);
            EXPECT_STREQ(n->fAddr[CKvsNetwDlg::kRouter].GetText().CStr(), "198.18.1.1");
            n->fAddr[CKvsNetwDlg::kAddress].SetText(LString("10.1.2.3"));
            n->fAddr[CKvsNetwDlg::kMask].SetText(LString("255.255.0.0"));
            n->fAddr[CKvsNetwDlg::kRouter].SetText(LString(""));
            n->fAddr[CKvsNetwDlg::kDns].SetText(LString("0.0.0.0"));
            n->fServer.SetText(LString("ntp.example"));
            n->fInterval.RequestFocus();
            n->fInterval.SetText(LString("30"));
            Press(d, true);
        };
        cmds.Run("cNetwSetn");
        EXPECT_EQ(settings->GetU32(DvstF::axad), 0x0A010203u);
        EXPECT_EQ(settings->GetU32(DvstF::axmk), 0xFFFF0000u);
        EXPECT_EQ(settings->GetU32(DvstF::rtra), 0u);
        EXPECT_EQ(settings->GetU32(DvstF::dnsa), 0u);
        EXPECT_EQ(settings->GetU8(DvstF::ntit), 24);

        // Clock rate: confirming unchanged keeps the correction; the first
        // choice stores 0; beyond half a second per hour is limited.
        const struct {
            f32 before;
            std::function<void(CKvsClkRateDlg*)> edit;
            f32 after;
        } rates[] = {
            {11.574f, nullptr, 11.574f},
            {11.574f, [](CKvsClkRateDlg* r) { r->fNone.SelectIndex(0); }, 0},
            {0,
             [](CKvsClkRateDlg* r) {
                 r->fNone.SelectIndex(CKvsClkRateDlg::kFast);
                 r->fSeconds.SetValue(12);
                 r->fDays.SetValue(1);
             },
             138.88889f},
        };
        for (const auto& c : rates) {
            settings->SetF32(nullptr, DvstF::ckrt, 0, c.before);
            top.script = [&](LDialog* d) {
                auto* r = dynamic_cast<CKvsClkRateDlg*>(d);
                ASSERT_NE(r, nullptr);
                if (c.edit) c.edit(r);
                Press(d, true);
            };
            cmds.Run("cClockRate");
            EXPECT_NEAR(settings->GetF32(DvstF::ckrt), c.after, 1e-3) << c.before;
        }
        top.script = nullptr;

        // What reached the device.
        ASSERT_TRUE(Idle());
        EXPECT_EQ(Chan("/.cmd/udkvtset/tmzn"), "[-210]");
        const std::string clock = Chan("/.cmd/udkvtcmd/srtc");
        EXPECT_EQ(clock.substr(0, 21), "[" + std::string(manual.CStr()) + "]");
        EXPECT_EQ(clock.size(), 21u + 21u + 5u) << clock;  // then automatic, then the blank
        EXPECT_EQ(clock.substr(clock.size() - 5), "[%20]");
        EXPECT_EQ(Chan("/.cmd/udkvtset/sddl"), "[60]");  // 17 went with it, merged
        EXPECT_EQ(Chan("/.cmd/udkvtset/ntsl"), "[ntp.example]");
        EXPECT_EQ(Chan("/.cmd/udkvtset/ntit"), "");  // 24 already: the limit, not 30
        EXPECT_EQ(Chan("/.cmd/udkvtset/rtra"), "[3323068673][0]");
    });
}

}  // namespace

// A play-settings file opens in a controller of its own, without a device;
// a cancelled panel makes none.
TEST_F(DevCommands, OpenPlaySettingsFile) {
    const std::string path = dir.Path() + "/show.kvplay";
    {
        CRecordDoc seq(NewSeqSettingsRecord());
        seq.Root()->SetU32(nullptr, SqstF::tgmk, 77);
        CRecordDoc play(NewPlaySetRecord());
        LDataBuf buffer;
        CChunkFile file;
        file.OpenWrite(FourCC("YKVS"), FourCC("DPLS"), buffer);
        file.WriteRecord(seq.Root());
        file.WriteRecord(play.Root());
        file.Close();
        playtest::WriteFile(
            path, std::string(reinterpret_cast<char*>(buffer.Data()), file.WrittenSize()));
    }
    LString url;
    PosixPathToFileUrl(&url, LString(path.c_str()));
    InApp([&] {
        ASSERT_TRUE(RunUntil([&] { return doc->RefreshState() == CKvsDevDoc::kSteady; }, 30000));
        playtest::FakePanels panels;
        const u32 before = doc->ControllerCount();
        panels.answers = {"", url.CStr()};
        EXPECT_TRUE(doc->Commands().Run("cOpenPlaySetn"));
        EXPECT_EQ(doc->ControllerCount(), before);
        EXPECT_TRUE(doc->Commands().Run("cOpenPlaySetn"));
        ASSERT_EQ(doc->ControllerCount(), before + 1);
        CKvsDevCtl* file = doc->FindController(0);
        ASSERT_NE(file, nullptr);
        EXPECT_TRUE(file->WindowShown());
        ASSERT_NE(file->Screen()->PlayView(), nullptr);
        EXPECT_EQ(file->Screen()->PlayView()->SeqSettings()->GetU32(SqstF::tgmk), 77u);
        EXPECT_STREQ(pref->Root()->GetString(PrefF::plst).CStr(), url.CStr());
    });
}

namespace {

// The wait at the program's end for settings still on their way runs modal
// turns, in which the status poll goes on: a device first seen then gets a
// controller of its own, which the wait follows as it does the others.
TEST_F(DevCommands, TheEndsWaitForSettingsFollowsADeviceSeenMeanwhile) {
    Add(305, "198.18.1.11/24");
    InApp([&] {
        ASSERT_TRUE(RunUntil([&] { return doc->RefreshState() == CKvsDevDoc::kSteady; }, 30000));
        ASSERT_TRUE(Ctl() && Idle());
        ASSERT_EQ(doc->ControllerCount(), 1u);
        // 305 takes no write for now: its setting stays on its way, and goes
        // once the fault is cleared.
        ASSERT_EQ(sim->Cmd("fault drop serno=305 dir=in opcode=WRQ").rfind("ok", 0), 0u);
        Ctl()->Settings()->SetU32(nullptr, DvstF::rtra, 0xC6120101u);
        ASSERT_TRUE(RunUntil([&] { return Ctl()->SettingsChannel().IsBusy(); }, 2000));
        // 1201 loses the first requests of its settings read: its controller
        // stays busy over several turns of the wait.
        ASSERT_EQ(sim->Cmd("fault drop serno=1201 dir=in opcode=RRQ path=/.cmd/udkvtset/ count=2")
                      .rfind("ok", 0),
                  0u);
        Add(1201, "198.18.1.12/24");
        EXPECT_FALSE(doc->WaitSettingsSent(1500));
        EXPECT_EQ(doc->ControllerCount(), 2u) << "1201 was not seen during the wait";
        ASSERT_EQ(sim->Cmd("fault-clear").rfind("ok", 0), 0u);
        EXPECT_TRUE(doc->WaitSettingsSent(10000));
    });
}

// A quit with a setting the device has not confirmed: the user is told which,
// under a wait he can cancel from its first turn, and his answer holds: quit
// without it (nothing goes when the device is back), or wait until it is taken.
TEST_F(DevCommands, AQuitNamesTheSettingsNotConfirmedAndWaitsOnlyIfAsked) {
    Add(305, "198.18.1.11/24");
    const struct {
        const char* what;
        bool wait;           // the answer to the question
        bool cancelFirst;    // the first wait is cancelled at its first turn
        const char* sent;    // what the device holds afterwards
        bool audio = false;  // two values of the audio format wait too
    } rows[] = {
        {"quit without it", false, false, ""},
        {"quit without it and two values of one setting", false, false, "", true},
        {"the first wait cancelled, then quit without it", false, true, ""},
        {"wait until the device is back", true, false, "[3323068673]"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        InApp([&] {
            ASSERT_TRUE(
                RunUntil([&] { return doc->RefreshState() == CKvsDevDoc::kSteady; }, 30000));
            ASSERT_TRUE(Ctl());
            CRecord* sound = Ctl()->Settings()->GetChild(DvstF::prmc)->GetChild(PrmcF::sndv);
            if (row.audio) {
                // The device holds both values: each goes on its own.
                SndDevSetRate(sound, nullptr, 44100);
                SndDevSetBits(sound, nullptr, 16);
            }
            ASSERT_TRUE(Idle());
            ASSERT_EQ(sim->Cmd("log clear").rfind("ok", 0), 0u);
            ASSERT_EQ(sim->Cmd("fault drop serno=305 dir=in opcode=WRQ").rfind("ok", 0), 0u);
            Ctl()->Settings()->SetU32(nullptr, DvstF::rtra, 0xC6120101u);
            if (row.audio) {
                SndDevSetRate(sound, nullptr, 48000);
                SndDevSetBits(sound, nullptr, 24);
            }
            std::vector<std::string> asked;
            u32 waits = 0;
            top.script = [&](LDialog* d) {
                if (auto* m = dynamic_cast<CSimpleMessageDialog*>(d)) {
                    if (m->Result() != 0) return;
                    asked.push_back(m->fMessage.GetText().CStr());
                    LPane* button = row.wait ? &m->fOk : &m->fCancelBtn;
                    LHandler::Send(LStdCtl_Selected, button, d);
                    return;
                }
                if (dynamic_cast<CSimpleProgressDialog*>(d) && d->Result() == 0) {
                    if (waits++ == 0 && row.cancelFirst) {
                        Press(d, true);
                        return;
                    }
                    // Back once the user chose to wait.
                    if (!asked.empty()) sim->Cmd("fault-clear");
                }
                Step();
            };
            EXPECT_TRUE(doc->CanClose());
            top.script = nullptr;
            ASSERT_EQ(asked.size(), 1u);
            EXPECT_NE(asked[0].find("Device 305"), std::string::npos) << asked[0];
            EXPECT_EQ(asked[0].find("did not answer"), std::string::npos) << asked[0];
            // One line each: the values inside the audio format are that setting in part.
            EXPECT_NE(asked[0].find("\n\nRouter\n"), std::string::npos) << asked[0];
            const size_t audio = asked[0].find("Audio Format (in part)");
            EXPECT_EQ(audio != std::string::npos, row.audio) << asked[0];
            if (row.audio) {
                EXPECT_EQ(asked[0].find("Audio Format", audio + 1), std::string::npos) << asked[0];
            }
            sim->Cmd("fault-clear");
            RunUntil([] { return false; }, 10000);
            EXPECT_EQ(Chan("/.cmd/udkvtset/rtra"), row.sent);
        });
    }
}

}  // namespace
