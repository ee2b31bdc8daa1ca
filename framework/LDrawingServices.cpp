// The installer of the platform's drawing services and the headless defaults.

#include "services/DrawingServices.h"

namespace {

class HeadlessDrawing final : public LDrawingServices {
public:
    LNativeBitmap* MakeBitmap(u8*, const LBitmapFormat&) override { return nullptr; }
    LNativeCursorRef MakeCursor(const u8*, u32, i32, i32) override { return LNativeCursorRef(); }
    LNativeCursorRef SystemCursor(const char*) override { return LNativeCursorRef(); }
    void SetCursor(LNativeCursor*) override {}
    i32 RunFontPanel(bool, LFontSpec*, void*, LFontPanelCallback, u32) override {
        return kFontPanelNone;
    }
    void CloseFontPanel(void*, LFontPanelCallback) override {}
};

HeadlessDrawing sHeadless;
LDrawingServices* sInstalled = nullptr;

}  // namespace

void InstallDrawingServices(LDrawingServices* services) {
    sInstalled = services;
}

LDrawingServices& DrawingServices() {
    return sInstalled ? *sInstalled : sHeadless;
}

i32 RunFontPanel(bool modal, LFontSpec* spec, void* owner, LFontPanelCallback callback, u32 flags) {
    if (!spec) return kFontPanelNone;
    return DrawingServices().RunFontPanel(modal, spec, owner, callback, flags);
}

void CloseFontPanel(void* owner, LFontPanelCallback callback) {
    DrawingServices().CloseFontPanel(owner, callback);
}
