#pragma once
// A suite of real-input tests on one X server with openbox: each test gets a fresh
// frame of its own kind, raised and active before it starts. Skipped without Xvfb,
// openbox or xdotool.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "ControlFixture.h"
#include "XvfbHarness.h"

template <class Frame>
class XvfbFrameTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gX = new XvfbHarness;
        if (gX->Ok()) gEnv = new ControlEnv("xcb");
    }
    static void TearDownTestSuite() {
        delete gEnv;
        delete gX;
        gEnv = nullptr;
        gX = nullptr;
    }
    void SetUp() override {
        if (!gX->Ok()) GTEST_SKIP() << "no Xvfb, openbox or xdotool";
        frame = std::make_unique<Frame>();
        frame->Front(
            [&] { gX->Xdotool("windowactivate " + std::to_string(frame->Native()->winId())); });
        ASSERT_GT(frame->Native()->ActiveForMs(), 150u);
    }

    static inline XvfbHarness* gX = nullptr;
    static inline ControlEnv* gEnv = nullptr;
    std::unique_ptr<Frame> frame;
};
