#pragma once
// The navigator: the frame around a list pane with its scroll bars, optional
// column and row header lists and a corner pane, and the themed list-box
// border. It keeps bars and headers in step with the list and turns bar
// clicks and the wheel into scrolling.

#include "framework/LFrame.h"
#include "framework/LListPane.h"

class LScrollBar;

inline constexpr const char* LListNavi_Navi = "LListNavi_Navi";

class LListNavi : public LFrame {
public:
    enum : u32 {
        kVerticalBar = 1,
        kHorizontalBar = 2,
        kVerticalBarLeft = 4,
        kHorizontalBarTop = 8,
        kColumnHeaderBelow = 16,
        kRowHeaderRight = 32,
    };

    LListNavi(LPane* owner, u32 options, bool clickTakesFocus);
    ~LListNavi() override;

    LMessage HandleMessage(const LMessage& msg) override;
    void InvalidateRect(const LRgn& redraw, const LRgn& erase) override;
    void StateChanged(u32 op) override;
    void BoundsChanged(const LRect& old) override;
    i32 TouchesRgn(const LRgn& region) override;
    i32 GetPrefWidth(LDrawCtx* ctx, i32 hint) override;
    i32 GetPrefHeight(LDrawCtx* ctx, i32 hint) override;
    void Draw(LDrawCtx& ctx) override;

    void CreateScrollBars();
    void SetList(LListPane* list);
    void ScrollToColumn(i32 col);
    void ScrollToRow(i32 row);
    void UpdateScrollBars();
    void Layout();

    LListPane* List() const { return fList; }
    LScrollBar* HBar() const { return fHBar; }
    LScrollBar* VBar() const { return fVBar; }
    i32 ColumnStep() const { return fColStep; }
    i32 RowStep() const { return fRowStep; }

    // Set by the owner; the navigator only places them.
    LListPane* fColHeader = nullptr;
    LListPane* fRowHeader = nullptr;
    LPane* fCorner = nullptr;

private:
    LMessage HandleBar(const LMessage& msg, bool horizontal);
    LRgn BorderRing(const LRect& bounds, u32 state) const;
    i32 PrefAlong(bool width, i32 hint);
    void InvalidateRing(u32 state);

    LListPane* fList = nullptr;
    LScrollBar* fHBar = nullptr;
    LScrollBar* fVBar = nullptr;
    u32 fOptions;
    i32 fColStep = 1;
    i32 fRowStep = 1;
    u8 fClickTakesFocus;
};
