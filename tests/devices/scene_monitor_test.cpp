// The scene monitor and the universe address window against a simulated device
// on loopback: the position poll and its pace, when it stops, a frame deleted
// with a read under way, the bar's and the play button's writes, the address
// edits as single field writes, and "cUnvAdr" in the control window's menu.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "devices/CKvsDevCtl.h"
#include "editors/CKvsScnEdF.h"
#include "editors/CKvsScnList.h"
#include "editors/CKvsScnMonF.h"
#include "editors/CKvsUvadList.h"
#include "editors/CUvadWin.h"
#include "framework/CMainLoop.h"
#include "framework/InputState.h"
#include "framework/LMenu.h"
#include "records/AppPrefsDoc.h"
#include "records/DeviceKinds.h"
#include "records/NsqPrefKinds.h"
#include "records/PrefNodes.h"
#include "records/ShowKinds.h"
#include "records/Universes.h"
#include "tests/devices/DevScreenTest.h"
#include "tests/devices/HostDeviceTest.h"
#include "tests/devlink/DeviceTestUtil.h"
#include "tests/framework/FakeControls.h"
#include "tests/framework/FakeWindows.h"

namespace {

constexpr u16 kSerial = 3604;

class SceneMonitor : public devtest::HostDeviceTest {
protected:
    void RegisterKinds() override {
        RegisterAllRecordKinds();
        RegisterPrefNodeKinds();
    }
    void SetUp() override {
        HostDeviceTest::SetUp();
        AddDevice(kSerial, 1);
        OpenHost(app.get(), kSerial, LRect(100, 100, 700, 500));
        CRecord* seq = CRecord::New(CRecordSchema::Find(kFamKvt, kKindSqnc));
        for (i32 t : {0, 10000, 20000}) {
            CRecord* sc = CRecord::New(CRecordSchema::Find(kFamKvt, kKindScen));
            sc->SetI32(nullptr, ScenF::sntm, t);
            seq->InsertItem(nullptr, SqncF::scns, seq->GetListCount(SqncF::scns), sc);
        }
        seqDoc.Root()->InsertItem(nullptr, SqstF::sqcs, 0, seq);
    }
    void TearDown() override {
        delete edit;
        HostDeviceTest::TearDown();
    }
    CKvsScnEdF* Make() {
        edit = new CKvsScnEdF(host.get(), host.get(), ctl.get(), seqDoc.Root());
        edit->SetBounds(LRect(0, 0, 600, 400));
        edit->SetSequence(seqDoc.Root()->GetListItem(SqstF::sqcs, 0));
        edit->List()->SelectCell(LCell{0, 2});
        return edit;
    }
    std::string Sim(const std::string& cmd) { return fSim.Cmd(cmd); }
    bool Run(const std::function<bool()>& pred, u32 limitMs = 10000) {
        // The deferred updates run as the event loop's pass would run them.
        return RunVirtual(
            fLoop,
            [&] {
                LHandler::Send(CMainLoopBase_Deferred, app->RunLoop(), app.get());
                return pred();
            },
            limitMs, [this] { fSim.Cmd("devices"); });
    }
    u32 Reads(const char* path) {
        u32 n = 0;
        for (const std::string& l : LogOf("req"))
            if (Field(l, "path") == path && Field(l, "op") == "RRQ") ++n;
        return n;
    }
    std::vector<std::string> Writes(const std::string& prefix) {
        std::vector<std::string> out;
        for (const std::string& l : LogOf("chan"))
            if (Field(l, "path").rfind(prefix, 0) == 0)
                out.push_back(Field(l, "path") + "=" + Field(l, "value"));
        return out;
    }
    void Playing(const char* path) { ctl->State()->SetString(nullptr, DvssF::crsn, LString(path)); }

    LMouse mouse;
    LKeyboard keyboard;
    CRecordDoc seqDoc{NewSeqSettingsRecord()};
    CKvsScnEdF* edit = nullptr;
};

TEST_F(SceneMonitor, PollsThePositionWhileTheSceneOfTheDevicePlays) {
    CKvsScnMonF* mon = Make()->Monitor();
    ASSERT_EQ(Sim("chan-set serno=3604 path=/.cmd/udseqstat/sqtm value=42000"), "ok value=42000");
    ASSERT_EQ(Sim("chan-set serno=3604 path=/.cmd/udseqstat/sqet value=90000"), "ok value=90000");
    // Another scene plays: nothing is asked.
    Playing("/sqcs/0/scns/1");
    Run([] { return false; }, 1000);
    EXPECT_EQ(Reads("/.cmd/udseqstat/sqtm"), 0u);
    Playing("/sqcs/0/scns/2");
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(Run([&] { return mon->Position().GetScaledValue(1000) == 42000; }));
    const auto rtt = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(mon->Length().GetScaledValue(1000), 90000);
    EXPECT_EQ(mon->Bar().GetValue(), 42);
    EXPECT_EQ(mon->Bar().Max(), 90);
    EXPECT_EQ(Reads("/.cmd/udseqstat/sqet"), 1u);
    // The next read goes out 250 ms after the first one's answer, and moves the bar.
    ASSERT_TRUE(Run([&] { return mon->PollTimer().IsRunning(); }));
    const u32 answered = fLoop.NowMs();
    ASSERT_EQ(Sim("chan-set serno=3604 path=/.cmd/udseqstat/sqtm value=43000"), "ok value=43000");
    ASSERT_TRUE(Run([&] { return Reads("/.cmd/udseqstat/sqtm") == 2; }));
    EXPECT_EQ(fLoop.NowMs() - answered, CKvsScnMonF::kPollMs);
    ASSERT_TRUE(Run([&] { return mon->Bar().GetValue() == 43; }));
    std::printf("position update every %u ms + one round trip (%.2f ms on loopback)\n",
                CKvsScnMonF::kPollMs, std::chrono::duration<double, std::milli>(rtt).count());

    // Another scene, then the audio mode: the reads stop.
    for (u32 mode : {0u, 1u}) {
        edit->List()->SelectCell(LCell{0, 1 + i32(mode)});
        ctl->Record(CKvsDevCtl::kContents)->SetU32(nullptr, DctsF::field0, mode);
        Run([] { return false; }, 600);
        const u32 n = Reads("/.cmd/udseqstat/sqtm");
        Run([] { return false; }, 1000);
        EXPECT_EQ(Reads("/.cmd/udseqstat/sqtm"), n) << mode;
        EXPECT_FALSE(mon->IsActive());
    }
    // A frame deleted with a read under way hears nothing of it.
    ctl->Record(CKvsDevCtl::kContents)->SetU32(nullptr, DctsF::field0, 0);
    edit->List()->SelectCell(LCell{0, 2});
    const u32 before = Reads("/.cmd/udseqstat/sqtm");
    ASSERT_TRUE(Run([&] { return mon->IsActive() && !mon->PollTimer().IsRunning(); }));
    delete edit;
    edit = nullptr;
    Run([] { return false; }, 2000);
    EXPECT_EQ(Reads("/.cmd/udseqstat/sqtm"), before + 1);
}

TEST_F(SceneMonitor, BarPlayAndAddressEditsAreSingleWrites) {
    CKvsScnMonF* mon = Make()->Monitor();
    mon->Bar().SetRange(12, 0, 100, 1);
    LHandler::Send(LScrollBar_Change, &mon->Bar(), mon);
    LHandler::Send(LStdCtl_Selected, &mon->PlayButton(), mon);
    ASSERT_TRUE(Run([&] { return Writes("/.cmd/udkvtcmd/p").size() == 2; }));
    EXPECT_EQ(Writes("/.cmd/udkvtcmd/p"),
              (std::vector<std::string>{"/.cmd/udkvtcmd/paus=12000", "/.cmd/udkvtcmd/plcr=1"}));

    CRecord* uvas = ctl->Settings()->GetChild(DvstF::uvas);
    for (u32 i = 0; i < 2; ++i) InsertNewUvadRecord(uvas, nullptr, i);
    uvas->GetListItem(UvasF::uvas, 1)->SetU32(nullptr, UvadF::univ, 0x123);
    ctl->OpenUvadWindow();
    CUvadWin* win = ctl->UvadWindow();
    ASSERT_NE(win, nullptr);
    auto* cell = static_cast<CKvsUvadCell*>(win->List()->GetCellFrame(LCell{0, 1}, false));
    ASSERT_NE(cell, nullptr);
    cell->fSub.SetValue(5);
    LHandler::Send(CNumVol_Fix, &cell->fSub, &cell->fArtNet);
    cell->fCount.SetValue(10);
    LHandler::Send(CNumVol_Fix, &cell->fCount, cell);
    ASSERT_TRUE(Run([&] { return Writes("/.cmd/udkvtset/uvas/uvas/").size() == 2; }));
    EXPECT_EQ(Writes("/.cmd/udkvtset/uvas/uvas/"),
              (std::vector<std::string>{"/.cmd/udkvtset/uvas/uvas/1/univ=339",
                                        "/.cmd/udkvtset/uvas/uvas/1/flws=9"}));

    // The menu: enabled with a device, checked while the table has rows.
    for (bool rows : {true, false}) {
        if (!rows)
            while (uvas->GetListCount(UvasF::uvas)) uvas->RemoveItem(nullptr, UvasF::uvas, 0);
        LMenuBar bar(nullptr, "PLAYW");
        bar.ResetItemStates();
        LHandler::Send(LMenuBar_Ready, &bar, ctl.get());
        std::string state = "absent";
        bar.ForEachItem(&state, [](void* o, LMenuItem* item) {
            if (std::string(item->FirstCommand().CStr()) == "cUnvAdr")
                *static_cast<std::string*>(o) =
                    std::string(item->fEnabled ? "on" : "off") + (item->fChecked ? "*" : "");
        });
        EXPECT_EQ(state, rows ? "on*" : "on");
    }
    // The window goes with the controller's window.
    ctl->CloseUvadWindow();
    EXPECT_EQ(ctl->UvadWindow(), nullptr);
}

}  // namespace
