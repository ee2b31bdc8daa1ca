#pragma once
// Picture panes: one shared image; the opener (the disclosure triangle that
// opens and closes a section, with a short moving image between the states);
// and the swipe pane, which turns drags into relative steps that coast on with
// falling speed after release.

#include "framework/LPane.h"
#include "framework/LPngImage.h"
#include "framework/LTimer.h"

inline constexpr const char* COpener_Selected = "COpener_Selected";
inline constexpr const char* COpener_Change = "COpener_Change";
inline constexpr const char* CSwipePane_Swipe = "CSwipePane_Swipe";
inline constexpr const char* CSwipePane_DblClk = "CSwipePane_DblClk";

class CPicturePane : public LPane {
public:
    enum : u32 { kFitBounds = 0, kCentred = 1, kFitted = 2 };
    explicit CPicturePane(LPane* parent);

    i32 GetPrefWidth(LDrawCtx* ctx, i32 hint) override;
    i32 GetPrefHeight(LDrawCtx* ctx, i32 hint) override;
    void Draw(LDrawCtx& ctx) override;

    void SetImage(const LImageRef& image);
    void SetFitMode(u32 mode) { fFit = mode; }
    const LImageRef& Image() const { return fImage; }
    // Where an image is drawn in the bounds under the fit mode.
    LRect ImageRect(const LSharedImage* image) const;

protected:
    u32 fFit = kFitBounds;
    LImageRef fImage;
};

class COpener : public CPicturePane {
public:
    // The shared images, in the order they are loaded.
    enum : u32 {
        kClosed = 0,
        kClosedHlt,
        kOpened,
        kOpenedHlt,
        kMoving,
        kOpenedIna,
        kClosedIna,
        kImageCount
    };
    explicit COpener(LPane* parent);
    ~COpener() override;

    LMessage HandleMessage(const LMessage& msg) override;
    void StateChanged(u32 op) override;
    i32 GetPrefWidth(LDrawCtx* ctx, i32 hint) override;
    i32 GetPrefHeight(LDrawCtx* ctx, i32 hint) override;

    void SetOpen(bool open);
    bool IsOpen() const { return fOpen; }

    // Whether the shared set is loaded (for tests of its life).
    static const LSharedImage* SharedImage(u32 which);

private:
    void Show(u32 which);
    void ShowResting();

    u8 fOpen = 0;
    u8 fPressed = 0;
    u8 fInside = 0;
    LTimer fTimer{this};
};

class CSwipePane : public LPane {
public:
    enum : u32 { kIdle = 0, kPressed = 1, kDragging = 2, kCoasting = 3 };
    explicit CSwipePane(LPane* parent);

    LMessage HandleMessage(const LMessage& msg) override;

    LPoint GetClickPoint();
    i32 StepX() const { return fDx; }
    i32 StepY() const { return fDy; }
    u32 Phase() const { return fPhase; }

private:
    LPoint fLast;
    u32 fTime = 0;
    f32 fVx = 0, fVy = 0;
    f32 fRestX = 0, fRestY = 0;
    LTimer fTimer{this};
    i32 fDx = 0, fDy = 0;
    u32 fPhase = kIdle;
};
