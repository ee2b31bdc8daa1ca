#pragma once
// Header frames: a row or column of clickable text items above or beside a
// list, one of which may be selected. Rows (CHeaderFrameH) span the frame's
// width and are stacked on their baselines by the caller; columns
// (CHeaderFrameV) span its height and sit side by side without overlapping.

#include "framework/LFrame.h"
#include "framework/LTextPane.h"

inline constexpr const char* CRespText_Click = "CRespText_Click";
inline constexpr const char* CHeaderFrame_Selected = "CHeaderFrame_Selected";
inline constexpr const char* CHeaderFrame_Place = "CHeaderFrame_Place";

// A text label that reports clicks to its parent handler.
class CRespText : public LTextPane {
public:
    CRespText(LPane* parent, u32 alignment, u8 paintBackground);

    LMessage HandleMessage(const LMessage& msg) override;
    void Draw(LDrawCtx& ctx) override;

    void SetSelected(bool selected, const LPenRef& color);
    void SetItemAlignment(u32 alignment);
    bool IsSelected() const { return fSelected; }
    u32 ItemAlignment() const { return fAlign; }
    bool CanBeHit() { return FindPaneAt(LPoint{fBounds.left, fBounds.top}) != nullptr; }

private:
    u8 fPaintBackground;
    u8 fSelected = 0;
    u32 fAlign;
    LPenRef fSelColor;
};

class CHeaderFrame : public LFrame {
public:
    CHeaderFrame(LPane* parent, u32 alignment, u8 selectable, u8 paintBackground);

    LMessage HandleMessage(const LMessage& msg) override;
    void StateChanged(u32 op) override;
    void BoundsChanged(const LRect& old) override;
    // Answer whether the text (or style) changed.
    virtual bool SetItemText(i32 index, const LString& text) = 0;
    virtual bool SetItemStyle(i32 index, const LTextStyle& style, LDrawCtx* ctx) = 0;

    CRespText* AddItem(const LString& text, const LTextStyle& style, LDrawCtx* ctx);
    void ShowItem(i32 index, bool show);
    // Answers whether the index differs from the previous selection.
    bool SelectItem(i32 index);
    void SetPlaceListener(LHandler* listener) { fPlaceListener = listener; }

    CRespText* Item(i32 index) const;
    // The width a title asks for; 0 without one. A column narrower than its
    // title cuts it.
    i32 ItemPrefWidth(i32 index, LDrawCtx* ctx) const;
    // The widths of a header's first count titles as a row layout's globals
    // hdr0, hdr1, ...: the row's columns widen to the titles over them. 0
    // without a header.
    static void SetTitleWidths(const CHeaderFrame* header, i32 count, LLayoutVM& vm,
                               LDrawCtx* ctx);
    i32 IndexOf(const LPane* pane) const;
    i32 Selected() const { return fSelected; }

protected:
    // Every rectangle an item gets is at least one pixel each way.
    static void PlaceRect(CRespText* item, LRect r);

    u32 fAlign;
    u8 fPaintBackground;
    u8 fSelectable;
    i32 fSelected = -1;
    LHandler* fPlaceListener = nullptr;
    LPenRef fSelColor;
};

class CHeaderFrameH : public CHeaderFrame {
public:
    using CHeaderFrame::CHeaderFrame;

    void BoundsChanged(const LRect& old) override;
    i32 GetPrefWidth(LDrawCtx* ctx, i32 hint) override;
    // A header of one row is at least as tall as its title.
    i32 GetPrefHeight(LDrawCtx* ctx, i32 hint) override;
    bool SetItemText(i32 index, const LString& text) override;
    bool SetItemStyle(i32 index, const LTextStyle& style, LDrawCtx* ctx) override;

    // Puts the item's text baseline at y.
    void PlaceItemAtY(i32 index, i32 y, LDrawCtx* ctx);
};

class CHeaderFrameV : public CHeaderFrame {
public:
    using CHeaderFrame::CHeaderFrame;

    void BoundsChanged(const LRect& old) override;
    // Other font sizes: each title takes its new width where it stands.
    void StateChanged(u32 op) override;
    // As wide as the titles reach where their columns put them: a layout
    // that gives the header less cuts the last title.
    i32 GetPrefWidth(LDrawCtx* ctx, i32 hint) override;
    i32 GetPrefHeight(LDrawCtx* ctx, i32 hint) override;
    bool SetItemText(i32 index, const LString& text) override;
    bool SetItemStyle(i32 index, const LTextStyle& style, LDrawCtx* ctx) override;

    // alignment 0: x is the left edge, 1 the centre, 2 the right edge.
    void PlaceItemAtX(i32 index, i32 x, u32 alignment, LDrawCtx* ctx);

private:
    void Replace(CRespText* item, LDrawCtx* ctx);
    void Reflow(LDrawCtx* ctx);
    // A title placed past the right edge asks the layout around for room,
    // once for each width it needs.
    void AskForRoom(LDrawCtx* ctx);

    i32 fAskedWidth = 0;
};
