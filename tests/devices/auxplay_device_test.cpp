// The aux-play window's test button against a simulated device on loopback,
// and the simulated device's trigger marks set as an array.
#include <memory>
#include <string>
#include <vector>

#include "devices/CKvsDevCtl.h"
#include "editors/CKvsAxPlyWin.h"
#include "framework/InputState.h"
#include "records/AppPrefsDoc.h"
#include "records/DeviceKinds.h"
#include "records/NsqPrefKinds.h"
#include "records/ShowKinds.h"
#include "records/Triggers.h"
#include "tests/devices/DevScreenTest.h"
#include "tests/devices/PlayTest.h"
#include "tests/devices/PlayDeviceTest.h"
#include "tests/devlink/DeviceTestUtil.h"
#include "tests/framework/FakeControls.h"
#include "tests/framework/FakeWindows.h"

namespace {

constexpr u16 kSerial = 306;

class AuxPlayDevice : public devtest::PlayDeviceTest {
protected:
    void SetUp() override {
        PlayDeviceTest::SetUp();
        AddDevice(kSerial, 1);
        ASSERT_NO_FATAL_FAILURE(OpenController(kSerial));
        edit = std::make_unique<CKvsPlayCmd>(&root, &owner, ctl.get());
        ASSERT_NO_FATAL_FAILURE(LoadEdit(*edit));
    }
    void TearDown() override {
        edit.reset();
        ctl.reset();
        PlayDeviceTest::TearDown();
    }
    // The values written to a command field, in order.
    std::vector<std::string> Writes(const std::string& path) {
        std::vector<std::string> out;
        for (const std::string& l : LogOf("chan"))
            if (Field(l, "path") == path) out.push_back(Field(l, "value"));
        return out;
    }

    std::unique_ptr<CKvsPlayCmd> edit;
};

TEST_F(AuxPlayDevice, TestButtonFiresTheTriggerEachPress) {
    CRecord* plays = edit->SeqSettings()->GetChild(SqstF::axps);
    for (int i = 0; i < 3; ++i) AddAuxPlay(plays, nullptr);
    CRecord* third = plays->GetListItem(AplsF::plys, 2);
    for (int i = 0; i < 2; ++i) AddAuxTrigger(third, nullptr);
    CKvsAxPlyWin win(edit.get(), nullptr, ctl.get(), edit->SeqSettings());
    win.fList->SelectCell(LCell{0, 2});
    win.BindSelected();
    fSim.Cmd("log clear");
    auto* cell = static_cast<CAxPlyTrgCell*>(win.fTrgList->GetCellFrame(LCell{0, 1}, false));
    const std::string path = "/.cmd/udkvtcmd/aptg";
    for (size_t n = 1; n <= 2; ++n) {
        LHandler::Send(CStateButton_Push, &cell->fTest, cell);
        ASSERT_TRUE(Run([&] { return Writes(path).size() >= n; })) << n;
    }
    // The log escapes the blank.
    EXPECT_EQ(Writes(path), (std::vector<std::string>{"2%201", "2%201"}));
}

TEST_F(AuxPlayDevice, StatusTriggerMarksTakeANumberList) {
    const std::string set = "chan-set serno=306 path=/.cmd/udkvtstat/aptg value=";
    EXPECT_EQ(fSim.Cmd(set + "0,5,-1"), "ok count=3");
    EXPECT_EQ(fSim.Cmd(set + ""), "ok count=0");
    EXPECT_EQ(fSim.Cmd(set + "1,x").rfind("err", 0), 0u);
}

}  // namespace
