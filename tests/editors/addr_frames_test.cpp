// The Art-Net port address and sACN universe frames: what a stored value
// shows and what the fields, loaded or typed, store again.
#include <gtest/gtest.h>

#include "editors/CArtNetAddrF.h"
#include "framework/AppSingletons.h"
#include "tests/framework/FakeControls.h"
#include "tests/framework/FakeWindows.h"

TEST(AddrFrames, StoredShownAndStoredAgain) {
    static LResFile appFile(AppResFileRef());
    SetDefaultResChain(&appFile);
    FakeServices services;
    FakeControls controls;
    FakeWindows windows{services};
    CMainLoopBase app;
    LFrame win(&app, nullptr, LPaneOpt::Window(kWindowOrdinary, 0));
    CArtNetAddrF artNet(&win, &win, "KVSSCNTRGANT", "KVSSCNTRGDLG", 4);
    CSacnUniF sacn(&win, &win, "KVSSCNTRGSAC", "KVSSCNTRGDLG", 7);
    // Bit 15 and above are no part of the net; the universe shows within 1..32768.
    const struct {
        u32 stored, net, shownSacn, art, sacn;
    } loaded[] = {{0, 0, 1, 0, 0},
                  {1, 0, 2, 1, 1},
                  {0x7FFF, 127, 32768, 0x7FFF, 32767},
                  {0x8123, 1, 32768, 0x123, 32767},
                  {0xFFFFFFFF, 127, 32768, 0x7FFF, 32767}};
    for (const auto& c : loaded) {
        artNet.SetAddress(c.stored);
        sacn.SetUniverse(c.stored);
        EXPECT_EQ(artNet.fNet.GetValue(), c.net) << c.stored;
        EXPECT_EQ(sacn.fUni.GetValue(), c.shownSacn) << c.stored;
        EXPECT_EQ(artNet.GetAddress(), c.art) << c.stored;
        EXPECT_EQ(sacn.GetUniverse(), c.sacn) << c.stored;
    }
    // Typed, never fixed: rounded and held in range; no number stores 0 (universe 1).
    const struct {
        const char* text;
        u32 art, sacn;
    } typed[] = {
        {"nan", 0, 0},     {"-nan", 0, 0},          {"", 0, 0}, {"-3", 0, 0}, {"2.5", 0x333, 2},
        {"1.4", 0x111, 0}, {"40000", 0x7FFF, 32767}};
    for (const auto& t : typed) {
        for (CNumVol* f : {&artNet.fNet, &artNet.fSub, &artNet.fUni, &sacn.fUni})
            f->SetText(LString(t.text));
        EXPECT_EQ(artNet.GetAddress(), t.art) << t.text;
        EXPECT_EQ(sacn.GetUniverse(), t.sacn) << t.text;
    }
}
