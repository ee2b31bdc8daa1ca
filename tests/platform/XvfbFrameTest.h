#pragma once
// Real-input tests on one X server with openbox, shared by a suite; skipped without
// Xvfb, openbox or xdotool. XvfbFrameTest also gives each test a fresh frame of its
// own kind, raised and active before it starts.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "ControlFixture.h"
#include "XvfbHarness.h"
#include "XvfbKeys.h"

class XvfbSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        gX = new XvfbHarness;
        if (gX->Ok()) gEnv = new ControlEnv("xcb");
        gKeys = new PacedKeys(*gX);
    }
    static void TearDownTestSuite() {
        delete gKeys;
        delete gEnv;
        delete gX;
        gEnv = nullptr;
        gX = nullptr;
        gKeys = nullptr;
    }
    // Callers check IsSkipped() after it before doing their own set-up.
    void SetUp() override {
        if (!gX->Ok()) GTEST_SKIP() << "no Xvfb, openbox or xdotool";
    }

    // Waits until the shown window is active, asking the window manager when
    // it does not happen by itself, and has been for 150 ms.
    static bool Activate(MWindow* w) {
        if (!WaitUntil([&] { return w->isActiveWindow(); }, 1000))
            gX->Xdotool("windowactivate " + std::to_string(w->winId()));
        return WaitUntil([&] { return w->isActiveWindow() && w->ActiveForMs() > 150; });
    }

    // Keys ("ctrl+a BackSpace") and text typed at a person's pace into the
    // active window, the loop running between them; back once all were taken.
    static bool KeysPaced(const std::string& keys) { return gKeys->Keys(keys); }
    static bool TypePaced(const std::string& text) { return gKeys->Text(text); }

    static inline XvfbHarness* gX = nullptr;
    static inline PacedKeys* gKeys = nullptr;
    static inline ControlEnv* gEnv = nullptr;
};

template <class Frame>
class XvfbFrameTest : public XvfbSuite {
protected:
    void SetUp() override {
        XvfbSuite::SetUp();
        if (IsSkipped()) return;
        frame = std::make_unique<Frame>();
        frame->Front(
            [&] { gX->Xdotool("windowactivate " + std::to_string(frame->Native()->winId())); });
        ASSERT_GT(frame->Native()->ActiveForMs(), 150u);
    }

    std::unique_ptr<Frame> frame;
};
