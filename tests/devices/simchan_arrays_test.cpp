// kvsimdev's chan-get shows a channel record's arrays as hex and its lists as
// counts, so that tests can compare the glyph fonts a write carried.
#include <gtest/gtest.h>

#include <fstream>
#include <unistd.h>

#include "base/CMemStrm.h"
#include "records/NsqPrefKinds.h"
#include "records/PropRecord.h"
#include "records/RecordKinds.h"
#include "records/ScreenLayout.h"
#include "records/ShowKinds.h"
#include "tools/testkit/SimDeviceProcess.h"

namespace {

TEST(SimChannels, ArraysInHexListsAsCounts) {
    RegisterAllRecordKinds();
    testtftp::SimDeviceProcess sim;
    ASSERT_TRUE(sim.Ok()) << testtftp::SimDeviceProcess::ProgramPath();
    testtftp::TempDir dir;
    const std::string addr = "127.0." + std::to_string(getpid() % 200 + 20) + ".77";
    ASSERT_EQ(sim.Cmd("add-device serno=41 addr=" + addr + " root=" + dir.Path() + "/d port=61007")
                  .rfind("ok", 0),
              0u);
    CRecord* play = CRecord::New(CRecordSchema::Find(kFamKvt, kKindPlys));
    CRecord* ui = NewUiLayoutRecord();
    CRecord* font = UiFontsAddFont(ui->GetChild(KvuiF::fnts));
    const u8 info[3] = {0, 7, 0xAB};
    const u32 cps[2] = {65, 0x1F600};
    font->SetArray(nullptr, UfntF::finf, info, 3);
    font->SetArray(nullptr, UfntF::ucps, cps, 2);
    play->ReplaceChild(nullptr, PlysF::uifs, ui);
    LDataBuf buffer;
    CMemStrm strm(buffer);
    PropRecord::Write(&strm, play);
    const std::string file = dir.Path() + "/play.chunk";
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(buffer.Data()), std::streamsize(strm.Position()));
    CRecord::Destroy(play);
    ASSERT_EQ(sim.Cmd("chan-load serno=41 path=/.cmd/udplayset file=" + file).rfind("ok", 0), 0u);
    const std::pair<const char*, const char*> cases[] = {
        {"/uifs/fnts/fnts", "1"},
        {"/uifs/fnts/fnts/0/finf", "0007ab"},
        {"/uifs/fnts/fnts/0/ucps", "4100000000f60100"},
        {"/uifs/fnts/fnts/0/gimg", "-"},
    };
    for (const auto& [path, value] : cases)
        EXPECT_EQ(sim.Cmd(std::string("chan-get serno=41 path=/.cmd/udplayset") + path),
                  std::string("ok value=") + value)
            << path;
}

}  // namespace
