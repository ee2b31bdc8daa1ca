// The Art-Net port address and sACN universe frames: what a stored value
// shows and what the fields, typed or loaded, store again.
#include <gtest/gtest.h>

#include "editors/CArtNetAddrF.h"
#include "framework/AppSingletons.h"
#include "framework/InputState.h"
#include "framework/StdDialogs.h"
#include "tests/framework/FakeControls.h"
#include "tests/framework/FakeWindows.h"

namespace {

class AddrFrames : public ::testing::Test {
protected:
    AddrFrames() { controls.fClock = &services.fNow; }

    // Before the frames: they take their texts and layouts as they are built.
    struct Resources {
        Resources() {
            static LResFile appFile(AppResFileRef());
            SetDefaultResChain(&appFile);
        }
    } resources;
    FakeServices services;
    FakeControls controls;
    FakeWindows windows{services};
    LMouse mouse;
    LKeyboard keyboard;
    CMainLoopBase app;
    LFrame win{&app, nullptr, LPaneOpt::Window(kWindowOrdinary, 0)};
    CArtNetAddrF artNet{&win, &win, "KVSSCNTRGANT", "KVSSCNTRGDLG", 4};
    CSacnUniF sacn{&win, &win, "KVSSCNTRGSAC", "KVSSCNTRGDLG", 7};
};

TEST_F(AddrFrames, ArtNetAddressSplitAndJoined) {
    const struct {
        u32 stored;
        f64 net, sub, uni;
        u32 saved;
    } cases[] = {{0, 0, 0, 0, 0},
                 {0x123, 1, 2, 3, 0x123},
                 {0x7FFF, 127, 15, 15, 0x7FFF},
                 // Bit 15 and above are no part of the net.
                 {0x8123, 1, 2, 3, 0x123},
                 {0xFFFFFFFF, 127, 15, 15, 0x7FFF}};
    for (const auto& c : cases) {
        artNet.SetAddress(c.stored);
        EXPECT_EQ(artNet.fNet.GetValue(), c.net) << c.stored;
        EXPECT_EQ(artNet.fSub.GetValue(), c.sub) << c.stored;
        EXPECT_EQ(artNet.fUni.GetValue(), c.uni) << c.stored;
        EXPECT_EQ(artNet.GetAddress(), c.saved) << c.stored;
    }
    // Typed text that never was fixed: rounded, held in range, no number is 0.
    const struct {
        const char *net, *sub, *uni;
        u32 saved;
    } typed[] = {{"2.5", "1.4", "", 0x310},
                 {"nan", "-3", "99", 0x00F},
                 {"200", "16", "-0.4", 0x7FF0},
                 {"-nan", "inf", "1e9", 0x0FF}};
    for (const auto& t : typed) {
        artNet.fNet.SetText(LString(t.net));
        artNet.fSub.SetText(LString(t.sub));
        artNet.fUni.SetText(LString(t.uni));
        EXPECT_EQ(artNet.GetAddress(), t.saved) << t.net << " " << t.sub << " " << t.uni;
    }
    EXPECT_STREQ(artNet.fNetLabel.GetText().CStr(), StdDialogText("KVSSCNTRGDLG", 4).CStr());
    EXPECT_STREQ(artNet.fUniLabel.GetText().CStr(), StdDialogText("KVSSCNTRGDLG", 6).CStr());
}

TEST_F(AddrFrames, SacnUniverseShownFromOneStoredFromZero) {
    const struct {
        u32 stored;
        f64 shown;
        u32 saved;
    } cases[] = {{0, 1, 0},
                 {1, 2, 1},
                 {32766, 32767, 32766},
                 {32767, 32768, 32767},
                 {32768, 32768, 32767},
                 {0xFFFFFFFF, 32768, 32767}};
    for (const auto& c : cases) {
        sacn.SetUniverse(c.stored);
        EXPECT_EQ(sacn.fUni.GetValue(), c.shown) << c.stored;
        EXPECT_EQ(sacn.GetUniverse(), c.saved) << c.stored;
    }
    // No number, nothing or below the range stores universe 1, never 0 less one.
    const struct {
        const char* text;
        u32 saved;
    } typed[] = {{"nan", 0}, {"", 0}, {"-3", 0}, {"0", 0}, {"10.4", 9}, {"40000", 32767}};
    for (const auto& t : typed) {
        sacn.fUni.SetText(LString(t.text));
        EXPECT_EQ(sacn.GetUniverse(), t.saved) << t.text;
    }
    EXPECT_STREQ(sacn.fLabel.GetText().CStr(), StdDialogText("KVSSCNTRGDLG", 7).CStr());
}

}  // namespace
