#pragma once
// Headless native controls, text fields and images for the control tests. The
// controls act as the panes rely on (a check box toggles itself before its
// action, a radio button turns itself on, a text field passes typed and pasted
// text through its owner's filter); every call is recorded. Installed while it lives.

#include <string>
#include <vector>

#include "services/ControlServices.h"

class FakeControl : public LNativeControl {
public:
    FakeControl(LControlKind kind, LNativeControlOwner* owner, void* host);
    ~FakeControl() override;

    bool HasWindow() const override { return fInHost; }
    void Remove() override;
    void SetLocalFrame(i32 width, i32 height) override;
    void PlaceWhole(const LRect& frame) override;
    void PlaceClipped(const LRect& visible, const LRect& frame) override;
    // Native tracking: a press on a button ends released inside it.
    void MouseDown() override;
    void SetEnabled(bool enabled) override;
    bool IsEnabled() const override { return fEnabled; }
    void SetFont(LNativeFont* font) override;
    void SetSmall(bool small) override { fSmall = small; }
    void SetTitle(const LString& title) override;
    LString Title() const override { return LString(fTitle.c_str()); }
    void GetCellSize(i32* width, i32* height) const override;
    void SetState(i32 state) override { fState = state; }
    i32 GetState() const override { return fState; }
    void Highlight(bool on) override;
    void SetKeyEquivalent(const char* key) override { fKey = key; }
    void SetImage(LNativeImage* image) override { fImage = image; }
    void RemoveAllItems() override { fItems.clear(); }
    void InsertItem(const LString& title, i32 index) override;
    i32 ItemCount() const override { return i32(fItems.size()); }
    i32 SelectedItem() const override { return fSelected; }
    void SelectItem(i32 index) override;
    void SetFloatValue(f32 value) override { fValue = value; }
    void SetKnobProportion(f32 proportion) override { fProportion = proportion; }
    f32 FloatValue() const override { return fValue; }
    i32 HitPart() const override { return fHitPart; }
    void SetMinMax(f64 min, f64 max) override;
    void SetIntValue(i32 value) override { fInt = value; }
    i32 IntValue() const override { return fInt; }
    LRect KnobRect() const override { return fKnob; }
    void SetVertical(bool vertical) override { fVertical = vertical; }
    void SetMaxValue(f64 max) override { fMax = max; }
    void SetIndeterminate(bool on) override { fIndeterminate = on; }
    void SetDoubleValue(f64 value) override { fDouble = value; }

    // What a user does.
    void Click();                   // buttons: a check box toggles, a radio turns on
    void Choose(i32 index);         // pop-up
    void Hit(i32 part, f32 value);  // scroller
    void Slide(i32 value, i32 knobDx);

    void Log(const std::string& s) { fCalls.push_back(s); }
    std::string Joined() const;

    LControlKind fKind;
    LNativeControlOwner* fOwner;
    void* fHost;
    bool fInHost = false;
    bool fClipped = false;
    LRect fFrame;
    LRect fVisible;
    bool fEnabled = true;
    bool fSmall = false;
    f64 fFontSize = 0;
    std::string fTitle;
    i32 fState = 0;
    bool fHighlighted = false;
    std::string fKey;
    LNativeImage* fImage = nullptr;
    std::vector<std::string> fItems;
    i32 fSelected = -1;
    f32 fValue = 0;
    f32 fProportion = 0;
    i32 fHitPart = 0;
    f64 fMin = 0, fMax = 0, fDouble = 0;
    bool fIndeterminate = false;
    i32 fInt = 0;
    LRect fKnob{0, 0, 10, 10};
    bool fVertical = false;
    std::vector<std::string> fCalls;
};

class FakeTextField : public LNativeTextField {
public:
    FakeTextField(LNativeFieldOwner* owner, const LNativeFieldOptions& options);
    ~FakeTextField() override;

    LString Text() const override { return LString(fText.c_str()); }
    void SetText(const LString& text) override;
    bool HasEditor() const override { return fFirstResponder; }
    void GetSelection(u32* start, u32* length) const override;
    void SetSelection(u32 start, u32 length) override;
    void SelectAll() override { SetSelection(0, u32(fText.size())); }
    void SetFrame(const LRect& textRect) override { fRect = textRect; }
    void MouseDown() override { fMouseDowns++; }
    void GetScroll(i32* x, i32* y) const override;
    void ScrollTo(i32 x, i32 y) override;
    void SetBackground(const LPen*) override {}
    void SetTextColor(const LPen*) override {}
    bool IsFirstResponder() const override { return fFirstResponder; }
    void MakeFirstResponder() override { fFirstResponder = true; }
    void EndCompletion() override {}
    void Command(LFieldCommand command) override;
    bool CanUndo() const override { return !fUndo.empty(); }
    bool CanRedo() const override { return !fRedo.empty(); }

    // Typed or pasted text replaces the selection after the owner's filter.
    void Type(const std::string& text);

    LNativeFieldOwner* fOwner;
    LNativeFieldOptions fOptions;
    std::string fText;
    std::vector<std::string> fUndo;  // the texts before the user's changes, the last last
    std::vector<std::string> fRedo;  // the texts undone, the last last
    u32 fSelStart = 0;
    u32 fSelLength = 0;
    i32 fScrollX = 0, fScrollY = 0;
    bool fFirstResponder = false;
    i32 fMouseDowns = 0;
    LRect fRect;
};

class FakeControls : public LControlServices {
public:
    FakeControls();
    ~FakeControls() override;

    LNativeControl* MakeControl(LControlKind kind, LNativeControlOwner* owner, void* host,
                                bool continuous) override;
    LNativeTextField* MakeTextField(LNativeFieldOwner* owner,
                                    const LNativeFieldOptions& options) override;
    void DrawText(LNativeGraphics* graphics, LNativeFont* font, const char* utf8, u32 length, i32 x,
                  i32 baseline) override;
    LNativeImageRef MakeImage(const u8* png, u32 size) override;
    i32 ScrollerWidth(void* window) override { return window ? 15 : 16; }
    void LaunchUrl(const LString& url) override { fUrls.push_back(std::string(url.View())); }
    void FlashPause(u32 ms) override;
    f64 SmallSystemFontSize() override { return 11.0; }
    bool SliderSize(i32* width, i32* height) override;
    void* SelectAsciiInputSource() override;
    void RestoreInputSource(void* saved) override;
    bool HostIsDrawing(void* host) override { return host && host == fDrawingHost; }
    void* MakeEmbeddedView(void* panel, LEmbeddedOwner* owner) override;
    void SetEmbeddedSize(void* view, i32 width, i32 height) override;
    void ReleaseEmbeddedView(void* view) override;

    // The newest living control of a kind, the living text field.
    FakeControl* Last(LControlKind kind) const;

    std::vector<FakeControl*> fControls;  // living ones
    FakeTextField* fField = nullptr;
    i32 fFieldsMade = 0;
    std::string fClipboard;  // what Paste inserts and Copy and Cut fill
    std::vector<std::string> fUrls;
    std::vector<u32> fPauses;
    std::string fInputSource = "user";
    void* fDrawingHost = nullptr;
    i32 fImagesMade = 0;
    // The one embedded view: its owner and size, null once released.
    LEmbeddedOwner* fEmbedded = nullptr;
    i32 fEmbeddedW = 0, fEmbeddedH = 0;
    // Advanced by each flash pause, so that pauses take time on the fake clock.
    u32* fClock = nullptr;
};

FakeControls& TheFakeControls();
