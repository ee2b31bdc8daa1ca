// The trigger list's play marks follow the fired triggers that the status poll
// brings from a simulated device, in namespaces of the test's own (root only:
// the poll broadcasts).
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "devices/CKvsDevCtl.h"
#include "devices/CKvsDevDoc.h"
#include "devlink/NetIf.h"
#include "editors/CAxPlyTrgList.h"
#include "editors/CKvsLargeDlg.h"
#include "framework/InputState.h"
#include "records/DeviceKinds.h"
#include "records/ShowKinds.h"
#include "records/Triggers.h"
#include "tests/devices/DevScreenTest.h"
#include "tests/devices/NetnsDeviceTest.h"
#include "tests/devlink/NetnsHarness.h"
#include "tests/framework/FakeControls.h"
#include "tests/framework/FakeWindows.h"
#include "tools/testkit/SimDeviceProcess.h"

using namespace testtftp;

namespace {

using AuxPlayMarks = devtest::NetnsDeviceTest;

TEST_F(AuxPlayMarks, FollowTheStatusPoll) {
    SimDeviceProcess& sim = *fSim;
    CRecordDoc seq(NewSeqSettingsRecord());
    CRecord* plays = seq.Root()->GetChild(SqstF::axps);
    for (int i = 0; i < 3; ++i) AddAuxPlay(plays, nullptr);
    CRecord* third = plays->GetListItem(AplsF::plys, 2);
    for (int i = 0; i < 3; ++i) AddAuxTrigger(third, nullptr);
    InApp([&](CKvsDevDoc&, CKvsDevCtl& devCtl) {
        CKvsDevCtl* ctl = &devCtl;
        LFrame win(nullptr, nullptr, LPaneOpt::Window(kWindowOrdinary, 0));
        win.SetBounds(LRect(0, 0, 1400, 400));
        auto list = std::make_unique<CAxPlyTrgList>(&win, ctl, seq.Root());
        list->SetBounds(LRect(0, 0, 1400, 400));
        list->SetAuxPlay(third);
        auto marks = [&] {
            std::string m;
            for (i32 r = 0; r < 3; ++r) {
                auto* c = static_cast<CAxPlyTrgCell*>(list->GetCellFrame(LCell{0, r}, false));
                m += c && PaneSetShown(c->fMark) ? "1" : "0";
            }
            return m;
        };
        const struct {
            const char* aptg;
            const char* marks;
        } steps[] = {{"0,5,2", "001"}, {"0,5,0", "100"}, {"0,5", "000"}, {"7,7,1", "010"}};
        for (const auto& s : steps) {
            ASSERT_EQ(
                sim.Cmd(std::string("chan-set serno=305 path=/.cmd/udkvtstat/aptg value=") + s.aptg)
                    .rfind("ok", 0),
                0u);
            EXPECT_TRUE(Run([&] { return marks() == s.marks; })) << s.aptg << " " << marks();
        }
        list.reset();
    });
}

}  // namespace
