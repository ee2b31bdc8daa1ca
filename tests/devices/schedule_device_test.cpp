// The schedule window against a simulated device on loopback: a row's play
// button and the in-schedule check box reach the device, which follows them;
// on loopback the status poll does not run, so the test hands the device's
// state to the controller itself.
#include <gtest/gtest.h>

#include "devices/CKvsDevCtl.h"
#include "editors/CKvsSchEditFrm.h"
#include "editors/CKvsSchList.h"
#include "editors/CKvsSchWin.h"
#include "records/AppPrefsDoc.h"
#include "records/CChunkStrm.h"
#include "records/DeviceKinds.h"
#include "records/NsqPrefKinds.h"
#include "records/PropRecord.h"
#include "records/Schedule.h"
#include "records/ShowKinds.h"
#include "records/ShowOps.h"
#include "tests/devices/PlayTest.h"
#include "tests/devlink/DeviceTestUtil.h"
#include "tests/framework/FakeControls.h"
#include "tests/framework/FakeWindows.h"

namespace {

struct Turns : LHandler {
    CVirtualRunLoop* loop;
    LMessage HandleMessage(const LMessage& msg) override {
        if (!msg.Is(LHandler_Mode)) return LHandler::HandleMessage(msg);
        loop->RunUntil([] { return false; }, 10);
        if (!loop->AdvanceToNext(100)) loop->Advance(100);
        return LMessage();
    }
};

class ScheduleDevice : public devtest::DeviceLinkTest {
protected:
    void SetUp() override {
        DeviceLinkTest::SetUp();
        static LResFile appFile(AppResFileRef());
        SetDefaultResChain(&appFile);
        turns.loop = &fLoop;
    }
    // The values the device logged for a command field, blank-separated.
    std::string Sent(const char* field) {
        std::string out;
        for (const std::string& l : LogOf("chan"))
            if (Field(l, "path") == std::string("/.cmd/udkvtcmd/") + field)
                out += Field(l, "value") + " ";
        return out;
    }
    std::string DeviceState(const char* field) {
        const std::string a =
            fSim.Cmd("chan-get serno=305 path=/.cmd/udkvtstat/" + std::string(field));
        return Field(a, "value");
    }
    FakeServices services;
    FakeControls controls;
    FakeWindows windows{services};
    Turns turns;
};

TEST_F(ScheduleDevice, PlaysAndTheCheckBoxReachTheDevice) {
    AddDevice(305, 1);
    CRecordDoc show(NewSeqSettingsRecord());
    for (u32 i = 0; i < 4; ++i)
        InsertNewScheduleEvent(show.Root()->GetChild(SqstF::schd), nullptr, i);
    {
        LDataBuf buffer;
        CMemStrm strm(buffer);
        PropRecord::Write(&strm, show.Root());
        playtest::WriteFile(fDir.Path() + "/show.chunk",
                            std::string(reinterpret_cast<char*>(buffer.Data()), strm.Position()));
    }
    ASSERT_EQ(
        fSim.Cmd("chan-load serno=305 path=/.cmd/udseqset file=" + fDir.Path() + "/show.chunk")
            .rfind("ok", 0),
        0u);
    CKvsDevCtl ctl(&turns, &fSet, 305);
    ASSERT_TRUE(fLoop.RunUntil([&] { return !ctl.SettingsChannel().IsBusy(); }));
    fSim.Cmd("log clear");
    CKvsSchWin win(&turns, nullptr, &ctl, show.Root());
    CKvsSchList& list = *win.EditFrame()->fList;
    auto* cell = static_cast<CKvsSchCell*>(list.GetCellFrame(LCell{0, 3}, false));
    for (int press = 0; press < 2; ++press) {
        LHandler::Send(CStateButton_Push, &cell->fPlay, cell);
        ASSERT_TRUE(fLoop.RunUntil([&] { return Sent("plsn").size() > 14u * u32(press); }));
    }
    EXPECT_EQ(Sent("plsn"), "/schd/flts/3 /schd/flts/3 ");
    EXPECT_EQ(ctl.Record(CKvsDevCtl::kCommands)->GetString(DvcmF::plsn), LString(""));
    EXPECT_EQ(DeviceState("scen"), "3");
    ctl.Record(CKvsDevCtl::kState)->SetU32(nullptr, DvssF::scen, 3);
    EXPECT_EQ(list.Current(), 3);

    LStdCheck& check = win.EditFrame()->fCheck;
    for (const u8 state : {0, 1}) {
        check.SetState(state);
        LHandler::Send(LStdCheck_Change, &check, win.EditFrame());
        ASSERT_TRUE(fLoop.RunUntil([&] { return DeviceState("insc") == (state ? "0" : "1"); }));
    }
    EXPECT_EQ(Sent("sisc"), "1 0 ");
    EXPECT_EQ(ctl.Record(CKvsDevCtl::kCommands)->GetI32(DvcmF::sisc), -1);
}

}  // namespace
