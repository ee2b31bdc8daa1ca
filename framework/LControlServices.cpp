// The installer of the platform's control services and the headless defaults:
// no native controls or fields, nothing drawn, the standard scroller width.

#include "platform/ControlServices.h"

namespace {

class HeadlessControls final : public LControlServices {
public:
    LNativeControl* MakeControl(LControlKind, LNativeControlOwner*, void*, bool) override {
        return nullptr;
    }
    LNativeTextField* MakeTextField(LNativeFieldOwner*, const LNativeFieldOptions&) override {
        return nullptr;
    }
    void DrawText(LNativeGraphics*, LNativeFont*, const char*, u32, i32, i32) override {}
    LNativeImageRef MakeImage(const u8*, u32) override { return LNativeImageRef(); }
    i32 ScrollerWidth(void*) override { return 16; }
    void LaunchUrl(const LString&) override {}
    void FlashPause(u32) override {}
    f64 SmallSystemFontSize() override { return 11.0; }
    bool SliderSize(i32*, i32*) override { return false; }
    void* SelectAsciiInputSource() override { return nullptr; }
    void RestoreInputSource(void*) override {}
    bool HostIsDrawing(void*) override { return false; }
    void* MakeEmbeddedView(void*, LEmbeddedOwner*) override { return nullptr; }
    void SetEmbeddedSize(void*, i32, i32) override {}
    void ReleaseEmbeddedView(void*) override {}
};

HeadlessControls sHeadless;
LControlServices* sInstalled = nullptr;

}  // namespace

void InstallControlServices(LControlServices* services) {
    sInstalled = services;
}

LControlServices& ControlServices() {
    return sInstalled ? *sInstalled : sHeadless;
}
