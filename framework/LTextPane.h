#pragma once
// Static text labels, and the text slot: a bevelled label that can be clicked,
// focused, and filled or emptied through Cut, Copy, Paste and Delete.

#include "framework/LPane.h"
#include "framework/LTextBox.h"

inline constexpr const char* CTextSlot_Click = "CTextSlot_Click";
inline constexpr const char* CTextSlot_Changed = "CTextSlot_Changed";

class LTextPane : public LPane {
public:
    LTextPane(LPane* parent, u32 lineBreakMode = LTextBox::kOneLine);

    void StateChanged(u32 op) override;
    void BoundsChanged(const LRect& old) override;
    i32 TouchesRgn(const LRgn& region) override;
    i32 GetPrefWidth(LDrawCtx* ctx, i32 hint) override;
    i32 GetPrefHeight(LDrawCtx* ctx, i32 hint) override;
    void Draw(LDrawCtx& ctx) override;

    bool SetText(const LString& text);
    bool SetStyle(const LFont& font);
    void SetAlignment(u32 align);
    void SetColor(const LPenRef& color);
    const LString& GetText() const { return fBox.Text(); }
    const LFont& Style() const { return fBox.Font(); }
    u32 WrapMode() const { return fBox.WrapMode(); }

protected:
    void InvalidateIfShown();
    void DrawText(LDrawCtx& ctx);
    // The bounds and what the text's glyphs paint past them.
    LRect InkRect();
    // Where the text's lines are laid out: the bounds, or for a pane that
    // keeps its glyphs inside them, the bounds less the rows they reach above.
    LRect LineRect(const LRect& bounds);

    LPenRef fColor;
    LTextBox fBox;
    // Glyphs stay inside the bounds (a bevelled slot): one line is lowered by
    // how far they reach above it, and the preferred height holds them.
    bool fInkInside = false;
};

class CTextSlot : public LTextPane {
public:
    enum : u8 { kEditable = 1, kClearable = 2, kNoBevel = 4 };
    CTextSlot(LPane* parent, u8 options);

    LMessage HandleMessage(const LMessage& msg) override;
    void StateChanged(u32 op) override;
    i32 TouchesRgn(const LRgn& region) override;
    void Draw(LDrawCtx& ctx) override;

    void SetBackground(const LPenRef& pen);

private:
    bool Editable() const { return fOptions & kEditable; }
    bool Clearable() const { return fOptions & (kEditable | kClearable); }
    void Copy();
    void Clear();
    void Paste();
    void Redraw();
    LRect BevelRect() const;

    LPenRef fBackground;
    u8 fOptions;
};
