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
#include "tests/devlink/NetnsHarness.h"
#include "tests/framework/FakeControls.h"
#include "tests/framework/FakeWindows.h"
#include "tools/testkit/SimDeviceProcess.h"

using namespace testtftp;

namespace {

TEST(AuxPlayMarks, FollowTheStatusPoll) {
    if (!NetnsHarness::IsRoot()) GTEST_SKIP() << "needs root to build network namespaces";
    NetnsHarness net;
    ASSERT_EQ(net.Setup("AuxPlayMarks"), "");
    SimDeviceProcess sim(NetnsHarness::NsPath(net.DevNs()));
    ASSERT_TRUE(sim.Ok());
    TempDir dir;
    ASSERT_EQ(
        sim.Cmd("add-device serno=305 addr=198.18.1.12/24 listen=any root=" + dir.Path() + "/305")
            .rfind("ok", 0),
        0u);
    static LResFile appFile(AppResFileRef());
    SetDefaultResChain(&appFile);
    RegisterAllRecordKinds();
    CVirtualRunLoop loop;
    LoopClock clock{&loop};
    FakeControls controls;
    FakeWindows windows{clock};
    LMouse mouse;
    LKeyboard keyboard;
    View view;
    CRecordDoc seq(NewSeqSettingsRecord());
    CRecord* plays = seq.Root()->GetChild(SqstF::axps);
    for (int i = 0; i < 3; ++i) AddAuxPlay(plays, nullptr);
    CRecord* third = plays->GetListItem(AplsF::plys, 2);
    for (int i = 0; i < 3; ++i) AddAuxTrigger(third, nullptr);
    auto run = [&](const std::function<bool()>& pred) {
        return RunVirtual(loop, pred, 5000, [&] { sim.Cmd("devices"); });
    };
    ASSERT_TRUE(net.InNs(net.AppNs(), [&] {
        testtftp::Eth0Prefs prefs;
        CLocalAddrWatch watch(&prefs);
        auto doc = std::make_unique<CKvsDevDoc>(nullptr, nullptr, &view);
        view.doc = doc.get();
        ASSERT_TRUE(run([&] { return doc->FindController(305) != nullptr; }));
        CKvsDevCtl* ctl = doc->FindController(305);
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
            EXPECT_TRUE(run([&] { return marks() == s.marks; })) << s.aptg << " " << marks();
        }
        list.reset();
        doc.reset();
    }));
}

}  // namespace
