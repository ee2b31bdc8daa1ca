// The carried firmware: packages expanded from LZSS streams of literals built
// here, and the update against simulated devices on loopback, its modal turns
// and blocking waits moving the virtual clock.
#include <fstream>
#include <iterator>

#include "base/LHandle.h"
#include "devices/CFirmwareUpdate.h"
#include "framework/StdDialogs.h"
#include "tests/devlink/DeviceTestUtil.h"

namespace {

using Bytes = std::vector<u8>;

// The packed form: every byte a literal (flag 1, 8 bits), then the end mark
// (flag 0, offset 0) unless left out, padded, then the 8 bytes never read.
Bytes Pack(const Bytes& plain, bool endMark = true, u8 trailer = 0xFF) {
    Bytes out;
    u32 acc = 0, n = 0;
    auto bits = [&](u32 v, int count) {
        for (int i = count - 1; i >= 0; --i) {
            acc = (acc << 1) | ((v >> i) & 1);
            if (++n == 8) {
                out.push_back(u8(acc));
                acc = n = 0;
            }
        }
    };
    for (u8 b : plain) {
        bits(1, 1);
        bits(b, 8);
    }
    if (endMark) bits(0, 18);
    if (n) bits(0, int(8 - n));
    out.insert(out.end(), 8, trailer);
    return out;
}

Bytes Image(u16 kind, u16 version, u32 size = 40) {
    Bytes b{u8(kind), u8(kind >> 8), u8(version), u8(version >> 8)};
    for (u32 i = 4; i < size; ++i) b.push_back(u8(i * 7));
    return b;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

const Bytes kName{2, 'k', 'v', 0};
const Bytes kHeader = Cat({{3}, Bytes(24, 0x5A)});
const Bytes kItem4{4, 1, 2, 3, 4, 'm', 'a', 'i', 'n', 0, 1, 2, 3, 4, 5, 6, 7, 8};

TEST(FirmwarePackage, ItemsAndLimits) {
    const Bytes image = Image(9, 12);
    const Bytes first = Pack(Cat({kItem4, image}));
    const struct {
        const char* what;
        Bytes package;
        bool carries;
    } cases[] = {
        {"item 4 first", first, true},
        {"names and headers before it", Pack(Cat({kName, kHeader, kName, kItem4, image})), true},
        {"no end mark: the trailer is not read", Pack(Cat({kItem4, image}), false), true},
        {"8 bytes", Bytes(first.begin(), first.begin() + 8), false},
        {"9 bytes: item 4 cut short", Bytes(first.begin(), first.begin() + 9), false},
        {"short header", Pack(Cat({{3}, Bytes(23, 1)})), false},
        {"unknown item", Pack(Cat({{5}, kItem4, image})), false},
        {"item 4 without an image", Pack(kItem4), false},
        {"item 4 without its 8 bytes", Pack(Bytes(kItem4.begin(), kItem4.end() - 3)), false},
    };
    for (const auto& c : cases) {
        LDataBuf out;
        EXPECT_EQ(ExpandFirmwarePackage(c.package.data(), u32(c.package.size()), &out), c.carries)
            << c.what;
        const Bytes got(out.Data(), out.Data() + out.Capacity());
        EXPECT_EQ(got, c.carries ? image : Bytes()) << c.what;
    }
    // The application ships no firmware: nothing to offer.
    LResFile app(AppResFileRef());
    LDataBuf none;
    EXPECT_FALSE(LoadFirmwareImage(&none, &app));
    EXPECT_EQ(none.Capacity(), 0u);
}

TEST(FirmwarePackage, OnlyWholeMainExecutablesAreUsable) {
    const struct {
        Bytes image;
        bool usable;
    } cases[] = {{Image(9, 3, 16), true}, {Image(8, 3), false}, {Image(9, 3, 15), false}};
    for (const auto& c : cases) {
        EXPECT_EQ(FirmwareImageUsable(c.image.data(), u32(c.image.size())), c.usable)
            << c.image.size() << " " << int(c.image[0]);
    }
}

// Notes what the update shows; its turns and blocks move the virtual clock.
struct Ui : MFwUpdateUi {
    CVirtualRunLoop* loop;
    u32 answer = 1;
    std::string shown;
    u32 progressClosed = 0, lastClose = 0;
    std::vector<u32> blocks;
    void OpenProgress(const LString& m, u32 max) override {
        shown += "open(" + std::string(m.View()) + "," + std::to_string(max) + ") ";
    }
    void SetProgress(u32) override {}
    void DisableButton() override { shown += "disable "; }
    u32 ModalStep(u32 limitMs) override {
        loop->RunUntil([] { return false; }, 15);
        if (!loop->AdvanceToNext(limitMs)) loop->Advance(limitMs);
        return 0;
    }
    void CloseProgress() override {
        ++progressClosed;
        lastClose = loop->NowMs();
    }
    u32 AskVersions(const LString& d, const LString& i) override {
        shown += "ask(" + std::string(d.View()) + "," + std::string(i.View()) + ") ";
        return answer;
    }
    void ShowMessage(const LString& t) override { shown += "msg(" + std::string(t.View()) + ")"; }
    void Block(u32 ms) override {
        blocks.push_back(ms);
        loop->Advance(ms);
    }
};

class FirmwareUpdate : public devtest::DeviceLinkTest {
protected:
    void SetUp() override {
        DeviceLinkTest::SetUp();
        SetDefaultResChain(&fApp);
    }
    void TearDown() override {
        SetDefaultResChain(nullptr);
        DeviceLinkTest::TearDown();
    }
    std::string ExecPath(u16 serial) {
        return fDir.Path() + "/" + std::to_string(serial) + "/sys/KVMainExecutable.bin";
    }
    Bytes Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    std::string Cmds(u16 serial) {
        std::string out;
        for (const std::string& l : LogOf("cmd"))
            if (Field(l, "dev") == std::to_string(serial)) out += Field(l, "op") + " ";
        return out;
    }
    LResFile fApp{AppResFileRef()};
};

std::string Msg(u32 item) {
    return "msg(" + std::string(StdDialogText("KVSDOC", item).View()) + ")";
}

TEST_F(FirmwareUpdate, VersionsAnswersAndEnds) {
    const Bytes carried = Image(9, 21, 5000);
    const std::string read = "open(" + std::string(StdDialogText("KVSDOC", 3).View()) + ",0) ";
    const std::string write =
        "open(" + std::string(StdDialogText("KVSDOC", 4).View()) + ",5000) disable ";
    const struct {
        const char* what;
        Bytes running;  // empty: no file on the device
        std::string setup, fault;
        u32 answer, item;
        std::string shown, cmds;
    } cases[] = {
        {"good", Image(9, 20), "ms=0", "", 1, 5, "ask(20,21) " + write + Msg(5),
         "fsflush restart "},
        {"kind 8 shows ?", Image(8, 20), "ms=0", "", 2, 0, "ask(?,21) ", ""},
        {"no executable", {}, "ms=0", "", 2, 0, "ask(?,21) ", ""},
        {"restart unconfirmed", Image(9, 20), "ms=400 before=1", "", 1, 9,
         "ask(20,21) " + write + Msg(9), "fsflush restart "},
        {"write refused", Image(9, 20), "ms=0", "error code=3", 1, 6,
         "ask(20,21) " + write + Msg(6), "fsflush restart "},
        {"write unanswered", Image(9, 20), "ms=0", "drop", 1, 7, "ask(20,21) " + write + Msg(7),
         "fsflush restart "},
    };
    u16 serial = 400;
    for (const auto& c : cases) {
        ++serial;
        AddDevice(serial, serial - 400);
        if (!c.running.empty()) {
            std::ofstream(ExecPath(serial), std::ios::binary)
                .write(reinterpret_cast<const char*>(c.running.data()),
                       std::streamsize(c.running.size()));
        }
        ASSERT_TRUE(fSim.Cmd("restart-set serno=" + std::to_string(serial) + " " + c.setup)
                        .rfind("ok", 0) == 0);
        if (!c.fault.empty()) {
            ASSERT_TRUE(fSim.Cmd("fault " + c.fault + " serno=" + std::to_string(serial) +
                                 " dir=in opcode=WRQ path=/sys/KVMainExecutable.bin")
                            .rfind("ok", 0) == 0);
        }
        Ui ui;
        ui.loop = &fLoop;
        ui.answer = c.answer;
        const u32 item = UpdateFirmware(&fSet, serial, carried.data(), u32(carried.size()), ui);
        const u32 end = fLoop.NowMs();
        EXPECT_EQ(item, c.item) << c.what;
        EXPECT_EQ(ui.shown, read + c.shown) << c.what;
        fLoop.RunUntil([&] { return Cmds(serial) == c.cmds; }, 2000);
        EXPECT_EQ(Cmds(serial), c.cmds) << c.what;
        const bool written = c.item == 5 || c.item == 9;
        EXPECT_EQ(Read(ExecPath(serial)), written ? carried : c.running) << c.what;
        if (c.item == 0) {
            EXPECT_TRUE(ui.blocks.empty()) << c.what;
        }
        if (c.item) {
            EXPECT_EQ(ui.blocks.front(), 1000u) << c.what;
            // After a written image the next poll waits for the restarting device.
            EXPECT_EQ(end - ui.lastClose >= 5000, written) << c.what << " " << end - ui.lastClose;
        }
        if (!c.fault.empty()) fSim.Cmd("fault-clear");
    }
}

// DATA 5 after DATA 6 and ACK 5 before ACK 6: the device drops the early block
// yet acknowledges it and never puts the image in place, while the transfer looks
// whole. The image read back tells; the failed write still gets flush and restart.
TEST_F(FirmwareUpdate, AnImageTheDeviceDoesNotGiveBackFailsTheUpdate) {
    const Bytes carried = Image(9, 21, 100000);
    const Bytes running = Image(9, 20, 100000);
    const std::string write =
        "open(" + std::string(StdDialogText("KVSDOC", 4).View()) + ",100000) disable ";
    const struct {
        const char* what;
        bool crossed;
        u32 item;
    } cases[] = {{"whole", false, 5}, {"crossed", true, 6}};
    u16 serial = 500;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ++serial;
        AddDevice(serial, serial - 480);
        const std::string dev = " serno=" + std::to_string(serial);
        std::ofstream(ExecPath(serial), std::ios::binary)
            .write(reinterpret_cast<const char*>(running.data()), std::streamsize(running.size()));
        ASSERT_EQ(fSim.Cmd("set" + dev + " idle=1500").rfind("ok", 0), 0u);
        ASSERT_EQ(fSim.Cmd("restart-set" + dev + " ms=0").rfind("ok", 0), 0u);
        if (c.crossed) {
            ASSERT_EQ(
                fSim.Cmd("fault reorder dir=in opcode=DATA block=5 count=1" + dev).rfind("ok", 0),
                0u);
            ASSERT_EQ(
                fSim.Cmd("fault reorder dir=out opcode=ACK block=6 count=1" + dev).rfind("ok", 0),
                0u);
        }
        Ui ui;
        ui.loop = &fLoop;
        EXPECT_EQ(UpdateFirmware(&fSet, serial, carried.data(), u32(carried.size()), ui), c.item);
        EXPECT_EQ(ui.shown, "open(" + std::string(StdDialogText("KVSDOC", 3).View()) +
                                ",0) ask(20,21) " + write + Msg(c.item));
        std::vector<std::string> requests;
        for (const std::string& l : LogOf("req"))
            if (Field(l, "dev") == std::to_string(serial) && Field(l, "ans") != "again")
                requests.push_back(Field(l, "op") + " " + Field(l, "path"));
        EXPECT_EQ(requests,
                  (std::vector<std::string>{
                      "RRQ /sys/KVMainExecutable.bin", "WRQ /sys/KVMainExecutable.bin",
                      "RRQ /sys/KVMainExecutable.bin", "RRQ /.cmd/fsflush", "WRQ /.cmd/restart"}));
        fSim.Cmd("fault-clear");
        ASSERT_TRUE(fSim.WaitIdle(10000));
        EXPECT_EQ(Read(ExecPath(serial)), c.crossed ? running : carried);
    }
}

}  // namespace
