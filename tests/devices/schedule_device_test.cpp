// The schedule window against a simulated device: on loopback a row's play and
// the in-schedule check box reach the device, which follows them (the status
// poll does not run there, so the test hands the state over itself); in
// namespaces of the test's own (root only: the poll broadcasts) a press is
// followed to its mark.
#include <gtest/gtest.h>

#include "devices/CKvsDevCtl.h"
#include "devices/CKvsDevDoc.h"
#include "devlink/NetIf.h"
#include "editors/CKvsSchEditFrm.h"
#include "editors/CKvsSchList.h"
#include "editors/CKvsSchWin.h"
#include "framework/InputState.h"
#include "records/CChunkStrm.h"
#include "records/NsqPrefKinds.h"
#include "records/PropRecord.h"
#include "records/Schedule.h"
#include "records/ShowKinds.h"
#include "records/ShowOps.h"
#include "tests/devices/DevScreenTest.h"
#include "tests/devices/NetnsDeviceTest.h"
#include "tests/devices/PlayTest.h"
#include "tests/devlink/DeviceTestUtil.h"
#include "tests/devlink/NetnsHarness.h"
#include "tests/framework/FakeControls.h"
#include "tests/framework/FakeWindows.h"

using namespace testtftp;

namespace {

// A show of four events, on the device too.
struct Show {
    Show(SimDeviceProcess& sim, const std::string& dir) {
        for (u32 i = 0; i < 4; ++i)
            InsertNewScheduleEvent(doc.Root()->GetChild(SqstF::schd), nullptr, i);
        LDataBuf buffer;
        CMemStrm strm(buffer);
        PropRecord::Write(&strm, doc.Root());
        playtest::WriteFile(dir + "/show.chunk",
                            std::string(reinterpret_cast<char*>(buffer.Data()), strm.Position()));
        ok = sim.Cmd("chan-load serno=305 path=/.cmd/udseqset file=" + dir + "/show.chunk")
                 .rfind("ok", 0) == 0;
    }
    CRecordDoc doc{NewSeqSettingsRecord()};
    bool ok;
};

void Push(CKvsSchList& list, i32 row) {
    auto* c = static_cast<CKvsSchCell*>(list.GetCellFrame(LCell{0, row}, false));
    LHandler::Send(CStateButton_Push, &c->fPlay, c);
}

class ScheduleDevice : public devtest::DeviceLinkTest {
protected:
    // The values the device logged for a command field, blank-separated.
    std::string Sent(const char* field) {
        std::string out;
        for (const std::string& l : LogOf("chan"))
            if (Field(l, "path") == std::string("/.cmd/udkvtcmd/") + field)
                out += Field(l, "value") + " ";
        return out;
    }
    std::string DeviceState(const char* field) {
        return Field(fSim.Cmd("chan-get serno=305 path=/.cmd/udkvtstat/" + std::string(field)),
                     "value");
    }
    FakeServices services;
    FakeControls controls;
    FakeWindows windows{services};
};

TEST_F(ScheduleDevice, PlaysAndTheCheckBoxReachTheDevice) {
    static LResFile appFile(AppResFileRef());
    SetDefaultResChain(&appFile);
    playtest::Root turns;
    turns.loop = &fLoop;
    AddDevice(305, 1);
    Show show(fSim, fDir.Path());
    ASSERT_TRUE(show.ok);
    CKvsDevCtl ctl(&turns, &fSet, 305);
    ASSERT_TRUE(fLoop.RunUntil([&] { return !ctl.SettingsChannel().IsBusy(); }));
    fSim.Cmd("log clear");
    CKvsSchWin win(&turns, nullptr, &ctl, show.doc.Root());
    CKvsSchList& list = *win.EditFrame()->fList;
    for (u32 press = 1; press <= 2; ++press) {
        Push(list, 3);
        ASSERT_TRUE(fLoop.RunUntil([&] { return Sent("plsn").size() >= 13 * press; }));
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

using ScheduleMarks = devtest::NetnsDeviceTest;

// A loaded machine runs the simulated device late: answers that take a tenth of a
// second or more of real time must not be taken for a silent device while the
// virtual clock moves on.
TEST_F(ScheduleMarks, APressFollowedToTheMark) {
    Show show(*fSim, dir.Path());
    ASSERT_TRUE(show.ok);
    for (const char* delayMs : {"0", "150"}) {
        ASSERT_EQ(fSim->Cmd(std::string("set-delay serno=305 delay-ms=") + delayMs).rfind("ok", 0),
                  0u);
        InApp([&](CKvsDevDoc&, CKvsDevCtl& ctl) {
            LFrame win(nullptr, nullptr, LPaneOpt::Window(kWindowOrdinary, 0));
            auto list = std::make_unique<CKvsSchList>(&win, &ctl, show.doc.Root(), nullptr);
            list->SetBounds(LRect(0, 0, 700, 300));
            for (const i32 row : {3, 1}) {
                Push(*list, row);
                EXPECT_TRUE(Run([&] { return list->Current() == row; })) << row << " " << delayMs;
            }
            list.reset();
        });
    }
}

}  // namespace
