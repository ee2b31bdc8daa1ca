#pragma once
// The colour button: a self-tracking push button that shows a colour swatch,
// split along its diagonal to preview transparency, or a short caption.

#include "framework/LPane.h"
#include "framework/LTextBox.h"

inline constexpr const char* CColorBtn_rClicked = "CColorBtn::rClicked";
inline constexpr const char* CColorBtn_rSelected = "CColorBtn::rSelected";

class CColorBtn : public LPane {
public:
    enum : u32 { kFlat = 1 };
    CColorBtn(LPane* parent, u32 style);

    LMessage HandleMessage(const LMessage& msg) override;
    void StateChanged(u32 op) override;
    void BoundsChanged(const LRect& old) override;
    i32 GetPrefWidth(LDrawCtx* ctx, i32 hint) override;
    i32 GetPrefHeight(LDrawCtx* ctx, i32 hint) override;
    void Draw(LDrawCtx& ctx) override;

    void SetColor(const u8 rgb[3]);
    void SetAlpha(f32 alpha) { fAlpha = alpha; }
    void SetText(const LString& text);
    void SetFont(const LFont& font);

    bool IsPressed() const { return fPressed; }
    LRect ContentRect() const;
    LRgn FrameRgn() const;

private:
    bool Flat() const { return fStyle == kFlat; }
    void SetPressed(bool pressed);
    void DrawFace(LDrawCtx& ctx, const LRect& r);

    f32 fRed = 1, fGreen = 1, fBlue = 1, fAlpha = 1;
    LTextBox fCaption;
    u8 fPressed = 0;
    u32 fStyle;
};
