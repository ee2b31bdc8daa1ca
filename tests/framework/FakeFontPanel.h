#pragma once
// A font panel that records runs ("run FAMILY POINTS") and closes, and keeps
// a modeless run's binding so that a test can report a choice through it.

#include <string>
#include <utility>

#include "services/DrawingServices.h"

class FakeFontPanel : public LDrawingServices {
public:
    FakeFontPanel() { InstallDrawingServices(this); }
    ~FakeFontPanel() override { InstallDrawingServices(nullptr); }

    LNativeBitmap* MakeBitmap(u8*, const LBitmapFormat&) override { return nullptr; }
    LNativeCursorRef MakeCursor(const u8*, u32, i32, i32) override { return LNativeCursorRef(); }
    LNativeCursorRef SystemCursor(const char*) override { return LNativeCursorRef(); }
    void SetCursor(LNativeCursor*) override {}
    i32 RunFontPanel(bool, LFontSpec* spec, void* owner, LFontPanelCallback fn,
                     u32 flags) override {
        fLog += "run " + std::string(spec->familyName.View()) + " " +
                std::to_string(int(spec->pointSize));
        fFlags = flags;
        fOwner = owner;
        fCallback = fn;
        return kFontPanelShown;
    }
    void CloseFontPanel(void* owner, LFontPanelCallback fn) override {
        if (owner != fOwner || fn != fCallback) return;
        fLog += "close";
        fCallback = nullptr;
    }
    // The user picks a font in the open panel.
    void Choose(const char* family, f32 points) {
        LFontSpec spec;
        spec.familyName = family;
        spec.pointSize = points;
        if (fCallback) fCallback(fOwner, &spec, kFontPanelChanged);
    }
    // The user closes the open panel: the binding ends and its owner hears of it.
    void UserCloses() {
        const LFontPanelCallback fn = std::exchange(fCallback, nullptr);
        LFontSpec spec;
        if (fn) fn(fOwner, &spec, kFontPanelClosed);
    }
    std::string Take() { return std::exchange(fLog, std::string()); }

    void* fOwner = nullptr;
    LFontPanelCallback fCallback = nullptr;
    std::string fLog;
    u32 fFlags = 0;  // the last run's
};
