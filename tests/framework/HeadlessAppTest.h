#pragma once
// The headless application that windows and dialogs run in: the program's
// resources, the fake clock, controls and windows, the mouse and keyboard, and
// a main loop made fresh for each test.
#include <gtest/gtest.h>

#include <memory>

#include "base/Resources.h"
#include "framework/CMainLoop.h"
#include "framework/InputState.h"
#include "framework/LTimer.h"
#include "tests/framework/FakeControls.h"
#include "tests/framework/FakeWindows.h"

class HeadlessAppTest : public ::testing::Test {
protected:
    void SetUp() override {
        static LResFile appFile(AppResFileRef());
        SetDefaultResChain(&appFile);
        controls.fClock = &services.fNow;
        app = std::make_unique<CMainLoopBase>();
    }
    void TearDown() override { app.reset(); }
    // The clock moved past its start and what fell due then run, as the loop's
    // first turn would.
    void FirstTick() {
        services.Advance(1);
        LTimer::FireDue(services.fNow, nullptr, nullptr, true);
    }

    FakeServices services;
    FakeControls controls;
    FakeWindows windows{services};
    LMouse mouse;
    LKeyboard keyboard;
    std::unique_ptr<CMainLoopBase> app;
};
