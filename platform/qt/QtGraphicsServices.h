#pragma once
// The framework clock, the main timer and native fonts on Qt.

#include "services/GraphicsServices.h"

class QtGraphicsServices : public LGraphicsServices {
public:
    // The framework clock is the process's monotonic one, for press times too
    // (X11 event times are the server's clock).
    u32 NowMs() override;
    // The main loop's one native timer (CMainLoop::RearmTimer).
    void RearmMainTimer() override;
    void GetKeyThresholds(i32* initial, i32* repeat) override;
    LNativeFontRef MakeNativeFont(const LFontRequest& request) override;
};
