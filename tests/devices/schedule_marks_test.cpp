// A schedule row's play followed to its mark: the simulated device puts the
// event in effect and the status poll brings it back, in namespaces of the
// test's own (root only: the poll broadcasts).
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "devices/CKvsDevCtl.h"
#include "devices/CKvsDevDoc.h"
#include "devlink/NetIf.h"
#include "editors/CKvsSchList.h"
#include "framework/InputState.h"
#include "records/CChunkStrm.h"
#include "records/NsqPrefKinds.h"
#include "records/PropRecord.h"
#include "records/Schedule.h"
#include "records/ShowKinds.h"
#include "records/ShowOps.h"
#include "tests/devices/DevScreenTest.h"
#include "tests/devices/PlayTest.h"
#include "tests/devlink/NetnsHarness.h"
#include "tests/framework/FakeControls.h"
#include "tests/framework/FakeWindows.h"
#include "tools/testkit/SimDeviceProcess.h"

using namespace testtftp;

namespace {

struct Eth0 : CNetIfPrefSource {
    LString ChosenInterfaceName() override { return LString("eth0"); }
    void AddChangeListener(void*, ChangeFn) override {}
    void RemoveChangeListener(void*, ChangeFn) override {}
};

TEST(ScheduleMarks, APressFollowedToTheMark) {
    if (!NetnsHarness::IsRoot()) GTEST_SKIP() << "needs root to build network namespaces";
    NetnsHarness net;
    ASSERT_EQ(net.Setup("ScheduleMarks"), "");
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
    for (u32 i = 0; i < 4; ++i)
        InsertNewScheduleEvent(seq.Root()->GetChild(SqstF::schd), nullptr, i);
    {
        LDataBuf buffer;
        CMemStrm strm(buffer);
        PropRecord::Write(&strm, seq.Root());
        playtest::WriteFile(dir.Path() + "/show.chunk",
                            std::string(reinterpret_cast<char*>(buffer.Data()), strm.Position()));
    }
    ASSERT_EQ(sim.Cmd("chan-load serno=305 path=/.cmd/udseqset file=" + dir.Path() + "/show.chunk")
                  .rfind("ok", 0),
              0u);
    auto run = [&](const std::function<bool()>& pred) {
        return RunVirtual(loop, pred, 5000, [&] { sim.Cmd("devices"); });
    };
    ASSERT_TRUE(net.InNs(net.AppNs(), [&] {
        Eth0 prefs;
        CLocalAddrWatch watch(&prefs);
        auto doc = std::make_unique<CKvsDevDoc>(nullptr, nullptr, &view);
        view.doc = doc.get();
        ASSERT_TRUE(run([&] { return doc->FindController(305) != nullptr; }));
        CKvsDevCtl* ctl = doc->FindController(305);
        LFrame win(nullptr, nullptr, LPaneOpt::Window(kWindowOrdinary, 0));
        win.SetBounds(LRect(0, 0, 700, 300));
        auto list = std::make_unique<CKvsSchList>(&win, ctl, seq.Root(), nullptr);
        list->SetBounds(LRect(0, 0, 700, 300));
        for (const i32 row : {3, 1}) {
            auto* c = static_cast<CKvsSchCell*>(list->GetCellFrame(LCell{0, row}, false));
            LHandler::Send(CStateButton_Push, &c->fPlay, c);
            EXPECT_TRUE(run([&] { return list->Current() == row; })) << row;
        }
        list.reset();
        doc.reset();
    }));
}

}  // namespace
