#pragma once
// A font panel that only records: every run and close as a line, and the
// binding of a modeless run so that a test can report a choice through it.

#include <string>
#include <vector>

#include "platform/DrawingServices.h"

class FakeFontPanel : public LDrawingServices {
public:
    FakeFontPanel() { InstallDrawingServices(this); }
    ~FakeFontPanel() override { InstallDrawingServices(nullptr); }

    LNativeBitmap* MakeBitmap(u8*, const LBitmapFormat&) override { return nullptr; }
    LNativeCursorRef MakeCursor(const u8*, u32, i32, i32) override { return LNativeCursorRef(); }
    LNativeCursorRef SystemCursor(const char*) override { return LNativeCursorRef(); }
    void SetCursor(LNativeCursor*) override {}
    i32 RunFontPanel(bool modal, LFontSpec* spec, void* owner, LFontPanelCallback callback,
                     u32) override {
        fLog.push_back("run " + std::string(spec->familyName.View()) + " " +
                       std::to_string(int(spec->pointSize)));
        if (modal) return kFontPanelDone;
        fOwner = owner;
        fCallback = callback;
        return kFontPanelShown;
    }
    void CloseFontPanel(void* owner, LFontPanelCallback callback) override {
        if (owner != fOwner || callback != fCallback) return;
        fLog.push_back("close");
        fOwner = nullptr;
        fCallback = nullptr;
    }
    // The user picks a font in the open panel.
    void Choose(const char* family, f32 points) {
        LFontSpec spec;
        spec.familyName = family;
        spec.pointSize = points;
        if (fCallback) fCallback(fOwner, &spec, 2);
    }
    std::string Take() {
        std::string s;
        for (const std::string& l : fLog) s += (s.empty() ? "" : "; ") + l;
        fLog.clear();
        return s;
    }

    void* fOwner = nullptr;
    LFontPanelCallback fCallback = nullptr;
    std::vector<std::string> fLog;
};
