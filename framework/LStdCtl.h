#pragma once
// Panes hosting one native control each: push buttons, check boxes and radio
// buttons, pop-up lists, scroll bars, state buttons, progress bars and sliders.
// The pane keeps the native control's frame, visibility, enabled state and font
// in step with itself and turns the control's action into messages.

#include <vector>

#include "framework/LFont.h"
#include "framework/LPane.h"
#include "framework/LPngImage.h"
#include "framework/LTimer.h"
#include "services/ControlServices.h"

inline constexpr const char* LStdCtl_Selected = "LStdCtl_Selected";
inline constexpr const char* LStdCheck_Change = "LStdCheck_Change";
inline constexpr const char* LPopupList_Changed = "LPopupList_Changed";
inline constexpr const char* LTitlePane_Constructing = "LTitlePane_Constructing";
inline constexpr const char* LTitlePane_Destructing = "LTitlePane_Destructing";
inline constexpr const char* LScrollBar_Change = "LScrollBar_Change";
inline constexpr const char* LScrollBar_Up = "LScrollBar_Up";
inline constexpr const char* LScrollBar_Dw = "LScrollBar_Dw";
inline constexpr const char* LScrollBar_PgUp = "LScrollBar_PgUp";
inline constexpr const char* LScrollBar_PgDw = "LScrollBar_PgDw";
inline constexpr const char* LScrollBar_Thumb = "LScrollBar_Thumb";
inline constexpr const char* CStateButton_Push = "CStateButton_Push";
inline constexpr const char* CStateButton_Unpush = "CStateButton_Unpush";
inline constexpr const char* CStateButton_DblClk = "CStateButton_DblClk";
inline constexpr const char* CSlider_Click = "CSlider_Click";
inline constexpr const char* CSlider_Change = "CSlider_Change";

class LStdCtl : public LPane, public LNativeControlOwner {
public:
    // A style with its explicit flag set hands over a ready native control (its
    // pointer, an LNativeControl the pane then owns); otherwise one of `kind` is made.
    LStdCtl(LPane* parent, const LTextStyle& style, LControlKind kind, bool continuous = false);
    ~LStdCtl() override;

    LMessage HandleMessage(const LMessage& msg) override;
    void StateChanged(u32 op) override;
    void BoundsChanged(const LRect& old) override;
    i32 TouchesRgn(const LRgn& region) override;
    void Draw(LDrawCtx& ctx) override;

    // The area the native frame covers for a pane rectangle.
    virtual LRgn MapNativeFrame(const LRect& rect);
    virtual LRect GetNativeBounds() { return fBounds; }
    // The answer to a press at a local point; the base hands it to the control.
    virtual LMessage TrackMouse(LPoint local);
    virtual void SendSelected();

    void NativeAction() override { SendSelected(); }
    bool ClickTakesKeys() const override { return true; }
    void SetTitle(const LString& title);
    LString GetTitle() const;
    LNativeControl* Native() const { return fNative; }
    const LFont& Font() const { return fFont; }
    // Puts the native control where the pane is visible in its window.
    void SyncFrame();

protected:
    // Enabled exactly when enabled and container active, neither dimmed.
    bool WantsEnabled() const { return (fState & 0x3A) == 0x0A; }
    void ApplyEnabled();
    void ApplyFont();
    // Baseline offset for a height: ascender + (h + descender - ascender) / 2.
    i32 Baseline(i32 height);
    i32 FontLineHeight();
    i32 TextWidth(const char* text);
    void CellSize(i32* w, i32* h) const;
    // The press position for mouse messages, in container coordinates.
    LPoint MouseLocal();

    void* fHost = nullptr;
    LFont fFont;
    LNativeControl* fNative = nullptr;
    LTimer fFrameTimer{this};
};

class LStdButton : public LStdCtl {
public:
    LStdButton(LPane* parent, const LTextStyle& style = DefaultTextStyle());
    i32 GetPrefWidth(LDrawCtx* ctx, i32 hint) override;
    i32 GetPrefHeight(LDrawCtx* ctx, i32 hint) override;
    void SetDefault(bool on);
    bool IsDefault() const { return fDefault; }
    void Highlight(bool on);

private:
    u8 fDefault = 0;
};

class LStdCheck : public LStdCtl {
public:
    LStdCheck(LPane* parent, const LTextStyle& style = DefaultTextStyle());
    LMessage HandleMessage(const LMessage& msg) override;
    void SendSelected() override;
    i32 GetPrefWidth(LDrawCtx* ctx, i32 hint) override;
    i32 GetPrefHeight(LDrawCtx* ctx, i32 hint) override;
    u8 GetState() const;
    void SetState(u8 state);

protected:
    LStdCheck(LPane* parent, const LTextStyle& style, LControlKind kind);
    u8 fValue = 0;
};

// Radio buttons of a group form a ring through their next pointers.
class CRadioBtn : public LStdCheck {
public:
    CRadioBtn(LPane* parent, const LTextStyle& style = DefaultTextStyle());
    ~CRadioBtn() override;
    LMessage HandleMessage(const LMessage& msg) override;
    void SendSelected() override;
    LRgn MapNativeFrame(const LRect& rect) override;
    void SetNext(CRadioBtn* next) { fNext = next; }
    CRadioBtn* Next() const { return fNext; }
    void SelectIndex(i32 n);
    i32 SelectedIndex() const;

private:
    // Calls fn for every button of the ring from this one, each once, stopping
    // early when fn answers false; a broken ring ends the walk.
    template <class F>
    void Walk(F fn) const;

    CRadioBtn* fNext = nullptr;
};

class LPopupList : public LStdCtl {
public:
    enum : u32 { kSorted = 1, kFixedWidth = 2 };
    LPopupList(LPane* parent, const LTextStyle& style = DefaultTextStyle(), u32 flags = 0);
    ~LPopupList() override;
    LMessage HandleMessage(const LMessage& msg) override;
    LRgn MapNativeFrame(const LRect& rect) override;
    i32 GetPrefWidth(LDrawCtx* ctx, i32 hint) override;
    i32 GetPrefHeight(LDrawCtx* ctx, i32 hint) override;
    void AddItem(const LString& title);
    // An empty title inserts a separator; the index is kept within 0..count.
    void InsertItem(const LString& title, i32 index);
    i32 Select(i32 index);
    i32 GetSelected() const { return fSelected; }
    i32 Count() const { return i32(fItems.size()); }
    LPane* TitlePane() const { return fTitlePane; }

private:
    i32 fSelected = -1;
    std::vector<LString> fItems;
    u32 fFlags;
    LPane* fTitlePane = nullptr;
};

class LScrollBar : public LStdCtl {
public:
    LScrollBar(LPane* parent, u32 orientation, u8 continuous);
    LMessage HandleMessage(const LMessage& msg) override;
    // Scrolling leaves the keys where they are.
    bool ClickTakesKeys() const override { return false; }
    void StateChanged(u32 op) override;
    void SendSelected() override;
    i32 GetPrefWidth(LDrawCtx* ctx, i32 hint) override;
    i32 GetPrefHeight(LDrawCtx* ctx, i32 hint) override;
    void SetRange(i32 value, i32 min, i32 max, i32 page);
    i32 GetValue() const;
    void SetValue(i32 value);
    bool IsVertical() const { return fOrientation == 1; }
    i32 Min() const { return fMin; }
    i32 Max() const { return fMax; }
    i32 Page() const { return fPage; }
    bool IsContinuous() const { return fContinuous != 0; }

private:
    i32 ScrollerWidth();
    u32 fOrientation;
    i32 fPage = 1;
    u8 fContinuous;
    i32 fMin = 0;
    i32 fMax = 0;
};

class CStateButton : public LStdCtl {
public:
    enum : u32 { kSmall = 2 };
    CStateButton(LPane* parent, const LTextStyle& style = DefaultTextStyle(), u32 options = 0);
    LMessage HandleMessage(const LMessage& msg) override;
    LMessage TrackMouse(LPoint local) override;
    i32 GetPrefWidth(LDrawCtx* ctx, i32 hint) override;
    i32 GetPrefHeight(LDrawCtx* ctx, i32 hint) override;
    void SetImage(const LImageRef& image);
    void SetState(u32 state);
    bool IsHighlighted() const { return fTrack & 2; }

protected:
    void SetHighlighted(bool on);
    LImageRef fImage;
    u8 fSmall;
    u32 fTrack = 0;
    u32 fStamp;
};

class CPlusButton : public CStateButton {
public:
    explicit CPlusButton(LPane* parent);
};

class CProgressBar : public LStdCtl {
public:
    explicit CProgressBar(LPane* parent);
    bool ClickTakesKeys() const override { return false; }
    i32 GetPrefWidth(LDrawCtx* ctx, i32 hint) override;
    i32 GetPrefHeight(LDrawCtx* ctx, i32 hint) override;
    void SetMax(i32 max);
    void SetValue(i32 value);
    i32 Max() const { return fMax; }
    i32 Value() const { return fValue; }

private:
    i32 fMax = 100;
    i32 fValue = 0;
};

class CSlider : public LStdCtl {
public:
    explicit CSlider(LPane* parent);
    LMessage TrackMouse(LPoint local) override;
    void SendSelected() override;
    void BoundsChanged(const LRect& old) override;
    void Draw(LDrawCtx& ctx) override;
    i32 GetPrefWidth(LDrawCtx* ctx, i32 hint) override;
    i32 GetPrefHeight(LDrawCtx* ctx, i32 hint) override;
    // Sends "CSlider_Click"; false stops the press.
    virtual bool ClickStarting();
    void SetRange(i32 min, i32 max);
    void SetValue(i32 value);
    i32 GetValue() const;
};

// A plain pane drawn by a callback.
class CCallbackCtl : public LPane {
public:
    using DrawFn = void (*)(void* context, CCallbackCtl* pane, LDrawCtx& ctx);
    CCallbackCtl(LPane* parent, void* context = nullptr, DrawFn draw = nullptr)
        : LPane(parent, parent), fContext(context), fDraw(draw) {}
    void SetCallback(void* context, DrawFn draw) {
        fContext = context;
        fDraw = draw;
    }
    void Draw(LDrawCtx& ctx) override;

private:
    void* fContext;
    DrawFn fDraw;
};
