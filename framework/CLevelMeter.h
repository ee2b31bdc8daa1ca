#pragma once
// Level meters: a bar lit from 0 to a maximum, in colours or with a pair of
// images, and the threshold meter on which the user drags a marker. A meter
// taller than wide grows upwards from the bottom, else rightwards.

#include "framework/LFrameStyle.h"
#include "framework/LPane.h"
#include "framework/LPngImage.h"

inline constexpr const char* CThresholdMeter_Threshold = "CThresholdMeter_Threshold";
inline constexpr const char* CThresholdMeter_Point = "CThresholdMeter_Point";

class CLevelMeter : public LPane {
public:
    explicit CLevelMeter(LPane* parent);

    LMessage HandleMessage(const LMessage& msg) override;
    i32 TouchesRgn(const LRgn& region) override;
    i32 GetPrefWidth(LDrawCtx* ctx, i32 hint) override;
    i32 GetPrefHeight(LDrawCtx* ctx, i32 hint) override;
    void Draw(LDrawCtx& ctx) override;

    // Clamped to 0..maximum; redraws only what changed between the lit parts.
    void SetLevel(i32 level);
    void SetMax(u32 max) { fMax = i32(max > 0x7FFFFFFFu ? 0x7FFFFFFFu : max); }
    // Image mode: the lit colour is dropped.
    void SetImages(const LImageRef& lit, const LImageRef& unlit, u32 baseLength);
    void SetOffColor(const LPenRef& pen);
    void SetFrameStyle(const LFrameStyle* style) { fFrameStyle = style; }
    // Between the lit ends of two levels (each clamped); empty when equal.
    LRgn GetSpanRgn(i32 a, i32 b) const;

    i32 Level() const { return fLevel; }
    i32 Max() const { return fMax; }
    bool IsVertical() const { return fBounds.Height() > fBounds.Width(); }
    // Lit pixels for a level; computed in 64 bits, since the scene list's
    // maximum is a duration in ms.
    i32 LitLength(i32 level) const;
    LRect LitRect(i32 level) const;

protected:
    i32 Clamp(i32 level) const { return level < 0 ? 0 : (level > fMax ? fMax : level); }
    i32 Length() const { return IsVertical() ? fBounds.Height() : fBounds.Width(); }

    i32 fMax = 10;
    i32 fLevel = 0;
    u32 fBase = 0;
    LPenRef fLitColor;
    LPenRef fOffColor;
    LImageRef fLitImage;
    LImageRef fOffImage;
    const LFrameStyle* fFrameStyle = nullptr;
};

class CThresholdMeter : public CLevelMeter {
public:
    explicit CThresholdMeter(LPane* parent);

    LMessage HandleMessage(const LMessage& msg) override;
    void Draw(LDrawCtx& ctx) override;

    void SetPoint(i32 point);
    void SetPointVisible(u8 shown);
    i32 Point() const { return fPoint; }
    // The point under a position in the bounds' coordinates; 0 for a collapsed meter.
    i32 PointAt(LPoint pt) const;

private:
    void TrackTo(LPoint pt);

    i32 fPoint = 0;
    u8 fPointShown = 1;
};
