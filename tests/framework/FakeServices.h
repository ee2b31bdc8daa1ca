#pragma once
// A headless stand-in for the platform's graphics services: a settable clock
// that wraps, a recorded re-arm of the main loop's native timer, a recording
// drawing surface and fonts with fixed metrics. Installed while it lives.

#include <string>
#include <vector>

#include "services/GraphicsServices.h"

class LHandler;

// Records every call as one line of text, e.g. "fill 0,0,10,10 1,1,2,2".
class FakeGraphics : public LNativeGraphics {
public:
    void SaveState() override;
    void RestoreState() override;
    void SetBlendMode(LBlendMode mode) override;
    void ApplyPen(const LPen& pen) override;
    void Translate(i32 dx, i32 dy) override;
    void SetClipRects(const LRect* rects, u32 count) override;
    void FillRects(const CGRect* rects, u32 count) override;
    void SetLineWidth(f64 width) override;
    void MoveTo(i32 x, i32 y) override;
    void LineTo(i32 x, i32 y) override;
    void FillPath() override;
    void StrokePath() override;
    void DrawTextFieldFrame(const LRect& rect, bool active, bool focused) override;

    std::string Joined() const;  // the calls separated by "; "
    void Clear() { fCalls.clear(); }

    std::vector<std::string> fCalls;
    i32 fDepth = 0;  // saved-state nesting, must be back at 0 after every draw
};

// Point size 12 + size code (or 10 scaled by the percentage), ascender 10,
// descender -3, 7 pixels per byte of text, family "Fake" or the face name; the
// user's family and points of a slot font replace both.
class FakeFont : public LNativeFont {
public:
    explicit FakeFont(const LFontRequest& spec);
    f64 PointSize() const override { return fSize; }
    f64 Ascender() const override { return 10; }
    f64 Descender() const override { return -3; }
    LString FamilyName() const override { return fFamily; }
    f64 TextWidth(const char* utf8) const override;

    f64 fSize;
    LString fFamily;
};

class FakeServices : public LGraphicsServices {
public:
    FakeServices();
    ~FakeServices() override;

    u32 NowMs() override { return fNow; }
    void RearmMainTimer() override;
    void GetKeyThresholds(i32* initial, i32* repeat) override {
        *initial = fInitialThreshold;
        *repeat = fRepeatThreshold;
    }
    LNativeFontRef MakeNativeFont(const LFontRequest& spec) override;

    void Advance(u32 ms) { fNow += ms; }

    u32 fNow = 0;
    // The main loop's view when it re-arms: what LTimer::NextWaitMs answered.
    LHandler* fModal = nullptr;
    LHandler* fWindow = nullptr;
    bool fActive = true;
    std::vector<i32> fRearmWaits;
    i32 fInitialThreshold = 30;
    i32 fRepeatThreshold = 6;
    i32 fFontsBuilt = 0;
};
