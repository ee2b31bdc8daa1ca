#pragma once
// Frame styles: the focus ring, the text-field frame and the bevel drawn
// around panes, and the border bands they add to a pane's redraw and erase regions.

#include "framework/LDrawCtx.h"

class LFrameStyle {
public:
    virtual i32 GetWidth() const = 0;
    virtual ~LFrameStyle() = default;
    // state: the pane's state word; bits 0-2 select when the frame shows.
    virtual void AddToRgns(const LRect& r, u32 state, LRgn* redraw, LRgn* erase) const = 0;
    virtual void Draw(LDrawCtx& ctx, const LRect& r, u32 flags) const = 0;

    // The ring from one pixel inside r to the style's width outside it.
    void GetBorderRgn(LRgn* out, const LRect& r) const;
    // Only the band of the style's width outside r.
    void GetOutsideBand(LRgn* out, const LRect& r) const;
    // The region meets r grown by the style's width (not grown for widths <= 0).
    bool TouchesRgn(const LRgn& region, const LRect& r, u32 flags) const;

protected:
    void AddBorder(const LRect& r, LRgn* redraw, LRgn* erase) const;
};

class LFocusRingStyle : public LFrameStyle {
public:
    explicit LFocusRingStyle(i32 width = 3) : fWidth(width) {}
    i32 GetWidth() const override { return fWidth; }
    void AddToRgns(const LRect& r, u32 state, LRgn* redraw, LRgn* erase) const override;
    void Draw(LDrawCtx& ctx, const LRect& r, u32 flags) const override;

    i32 fWidth;
};

class LTextFieldFrameStyle : public LFrameStyle {
public:
    i32 GetWidth() const override { return 4; }
    void AddToRgns(const LRect& r, u32 state, LRgn* redraw, LRgn* erase) const override;
    void Draw(LDrawCtx& ctx, const LRect& r, u32 flags) const override;
};

class CBevelDrawer : public LFrameStyle {
public:
    i32 GetWidth() const override { return 1; }
    void AddToRgns(const LRect& r, u32 state, LRgn* redraw, LRgn* erase) const override;
    void Draw(LDrawCtx& ctx, const LRect& r, u32 flags) const override;
};
