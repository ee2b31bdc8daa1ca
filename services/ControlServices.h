#pragma once
// What the framework's control panes need of the platform: the native controls
// they host, the native text field that edits a focused text pane, text and
// image drawing, the keyboard input source and a few metrics. The Qt
// layer (or a test fake) installs an implementation; without one every control
// pane runs without a native view.

#include <cmath>

#include "base/LRect.h"
#include "base/LRef.h"
#include "base/LString.h"
#include "services/GraphicsServices.h"

// Told by a native control when the user acted on it (button pressed, item
// chosen, scroller or slider moved).
class LNativeControlOwner {
public:
    virtual void NativeAction() = 0;

protected:
    ~LNativeControlOwner() = default;
};

enum class LControlKind : u8 {
    kPushButton = 0,
    kCheckBox = 1,
    kRadioButton = 2,
    kPopup = 3,
    kScroller = 4,
    kStateButton = 5,
    kProgress = 6,
    kSlider = 7,
};

// Scroller parts as the action reports them.
enum : i32 {
    kScrollPartNone = 0,
    kScrollPartPageUp = 1,
    kScrollPartKnob = 2,
    kScrollPartPageDown = 3,
    kScrollPartUp = 4,
    kScrollPartDown = 5,
    kScrollPartKnobSlot = 6,
};

class LNativeImage : public LRefObj {
public:
    virtual void Draw(LNativeGraphics* graphics, const LRect& rect) = 0;
};
using LNativeImageRef = TRef<LNativeImage>;

// One hosted control. Rectangles are in the host's (window content) coordinates
// with a top-left origin. Operations a kind has no use for do nothing.
class LNativeControl {
public:
    virtual ~LNativeControl() = default;

    // Placement.
    virtual bool HasWindow() const = 0;
    // Out of the host; any clip container is dropped.
    virtual void Remove() = 0;
    // The frame at 0,0 (while the host is drawing, the real placement waits).
    virtual void SetLocalFrame(i32 width, i32 height) = 0;
    // Wholly visible: a direct child of the host.
    virtual void PlaceWhole(const LRect& frame) = 0;
    // Partly visible: shown through a clip container covering `visible`.
    virtual void PlaceClipped(const LRect& visible, const LRect& frame) = 0;
    virtual void RedisplayVisible() {}
    // Draws the control into a graphics context (a control without a window,
    // e.g. inside a list cell image).
    virtual void DrawInto(LNativeGraphics* graphics, const LRect& rect) {
        (void)graphics;
        (void)rect;
    }
    // Starts the native tracking of the current mouse press.
    virtual void MouseDown() {}

    virtual void SetEnabled(bool enabled) = 0;
    virtual bool IsEnabled() const = 0;
    virtual void SetFont(LNativeFont* font) { (void)font; }
    virtual void SetSmall(bool small) { (void)small; }
    virtual void SetTitle(const LString& title) { (void)title; }
    virtual LString Title() const { return LString(); }
    // The size the control's cell asks for; 0, 0 when it has no content.
    virtual void GetCellSize(i32* width, i32* height) const {
        *width = 0;
        *height = 0;
    }

    // Buttons.
    virtual void SetState(i32 state) { (void)state; }
    virtual i32 GetState() const { return 0; }
    virtual void Highlight(bool on) { (void)on; }
    virtual void SetKeyEquivalent(const char* key) { (void)key; }
    virtual void SetImage(LNativeImage* image) { (void)image; }

    // Pop-up list. An empty title inserts a separator.
    virtual void RemoveAllItems() {}
    virtual void InsertItem(const LString& title, i32 index) {
        (void)title;
        (void)index;
    }
    virtual i32 ItemCount() const { return 0; }
    virtual i32 SelectedItem() const { return -1; }
    virtual void SelectItem(i32 index) { (void)index; }

    // Scroller: value and knob proportion in 0..1, the part last hit.
    virtual void SetFloatValue(f32 value) { (void)value; }
    virtual void SetKnobProportion(f32 proportion) { (void)proportion; }
    virtual f32 FloatValue() const { return 0; }
    virtual i32 HitPart() const { return kScrollPartNone; }

    // Slider.
    virtual void SetMinMax(f64 min, f64 max) {
        (void)min;
        (void)max;
    }
    virtual void SetIntValue(i32 value) { (void)value; }
    virtual i32 IntValue() const { return 0; }
    virtual LRect KnobRect() const { return LRect(); }
    virtual void SetVertical(bool vertical) { (void)vertical; }

    // Progress indicator.
    virtual void SetMaxValue(f64 max) { (void)max; }
    virtual void SetIndeterminate(bool on) { (void)on; }
    virtual void SetDoubleValue(f64 value) { (void)value; }
};

// Told by a native text field about the user's edits.
class LNativeFieldOwner {
public:
    enum : i32 { kRefuse = 0, kAsTyped = 1, kKept = 2 };
    // Decides a replacement text before it enters the field: kRefuse leaves the
    // field unchanged, kAsTyped lets it in, kKept inserts *kept instead.
    virtual i32 FilterText(const LString& typed, LString* kept) = 0;
    virtual void FieldTextChanged() = 0;
    virtual void FieldScrolled() = 0;

protected:
    ~LNativeFieldOwner() = default;
};

struct LNativeFieldOptions {
    void* window = nullptr;  // the host (window content)
    LRect textRect;
    LNativeFont* font = nullptr;
    u32 wrapMode = 0;  // 0 single line, 1 lines, 2 wrapped lines
    bool secure = false;
    bool readOnly = false;
};

enum class LFieldCommand : u8 {
    kCut = 0,
    kCopy = 1,
    kPaste = 2,
    kDelete = 3,
    kUndo = 4,
    kRedo = 5
};

// The native editor of a focused text pane. Positions and lengths count bytes
// of the UTF-8 text.
class LNativeTextField {
public:
    virtual ~LNativeTextField() = default;
    virtual LString Text() const = 0;
    virtual void SetText(const LString& text) = 0;
    virtual bool HasEditor() const = 0;
    virtual void GetSelection(u32* start, u32* length) const = 0;
    virtual void SetSelection(u32 start, u32 length) = 0;
    virtual void SelectAll() = 0;
    virtual void SetFrame(const LRect& textRect) = 0;
    virtual void MouseDown() = 0;
    virtual void GetScroll(i32* x, i32* y) const = 0;
    virtual void ScrollTo(i32 x, i32 y) = 0;
    virtual void SetBackground(const LPen* pen) = 0;
    virtual void SetTextColor(const LPen* pen) = 0;
    virtual bool IsFirstResponder() const = 0;
    virtual void MakeFirstResponder() = 0;
    virtual void EndCompletion() = 0;
    virtual void Command(LFieldCommand command) = 0;
    // Whether the user's last change of the text since it was last set can be
    // taken back (LFieldCommand::kUndo).
    virtual bool CanUndo() const = 0;
    // Whether a change taken back can be made again (LFieldCommand::kRedo).
    virtual bool CanRedo() const = 0;
};

// Told when the native view of an embedded pane enters a window.
class LEmbeddedOwner {
public:
    virtual void EmbeddedInWindow() = 0;

protected:
    ~LEmbeddedOwner() = default;
};

class LControlServices {
public:
    virtual ~LControlServices() = default;
    // A new native control in the host view; null when the platform has none.
    virtual LNativeControl* MakeControl(LControlKind kind, LNativeControlOwner* owner, void* host,
                                        bool continuous) = 0;
    virtual LNativeTextField* MakeTextField(LNativeFieldOwner* owner,
                                            const LNativeFieldOptions& options) = 0;
    // One line of text with its baseline at y, in the graphics' current pen.
    virtual void DrawText(LNativeGraphics* graphics, LNativeFont* font, const char* utf8,
                          u32 length, i32 x, i32 baseline) = 0;
    // How far below the top of its rectangle a native text field (one line, or
    // several) puts its first baseline in a font: a field pane drawing its own
    // text puts it there too, so that the text stays put when the field takes
    // the keys. Without a native field, a line's top is the rectangle's.
    virtual i32 FieldBaseline(LNativeFont* font, bool oneLine) {
        (void)oneLine;
        return font ? i32(std::ceil(font->Ascender())) : 0;
    }
    // A drawable image from PNG bytes; null when they cannot be decoded.
    virtual LNativeImageRef MakeImage(const u8* png, u32 size) = 0;
    // The scroller width for a window (null: none).
    virtual i32 ScrollerWidth(void* window) = 0;
    virtual void LaunchUrl(const LString& url) = 0;
    // Holds the main thread while a pressed button shows itself.
    virtual void FlashPause(u32 ms) = 0;
    // Fonts at most this large get the small control size.
    virtual f64 SmallSystemFontSize() = 0;
    // The theme's slider size; false when the theme has none.
    virtual bool SliderSize(i32* width, i32* height) = 0;
    // Switches the keyboard to an ASCII-capable input source; answers the one to
    // restore (owned by the caller, handed back to RestoreInputSource).
    virtual void* SelectAsciiInputSource() = 0;
    virtual void RestoreInputSource(void* saved) = 0;
    // True while the host view is drawing (controls then defer their placement).
    virtual bool HostIsDrawing(void* host) = 0;
    // A native view inside a panel (file panels' accessory views) that hosts a
    // frame; null when the platform has none.
    virtual void* MakeEmbeddedView(void* panel, LEmbeddedOwner* owner) = 0;
    virtual void SetEmbeddedSize(void* view, i32 width, i32 height) = 0;
    virtual void ReleaseEmbeddedView(void* view) = 0;
};

// No native controls or fields, nothing drawn, the standard scroller width: what
// runs without a platform, and a base for stand-ins that change a few of these.
class LHeadlessControls : public LControlServices {
public:
    LNativeControl* MakeControl(LControlKind, LNativeControlOwner*, void*, bool) override {
        return nullptr;
    }
    LNativeTextField* MakeTextField(LNativeFieldOwner*, const LNativeFieldOptions&) override {
        return nullptr;
    }
    void DrawText(LNativeGraphics*, LNativeFont*, const char*, u32, i32, i32) override {}
    LNativeImageRef MakeImage(const u8*, u32) override { return LNativeImageRef(); }
    i32 ScrollerWidth(void*) override { return 16; }
    void LaunchUrl(const LString&) override {}
    void FlashPause(u32) override {}
    f64 SmallSystemFontSize() override { return 11.0; }
    bool SliderSize(i32*, i32*) override { return false; }
    void* SelectAsciiInputSource() override { return nullptr; }
    void RestoreInputSource(void*) override {}
    bool HostIsDrawing(void*) override { return false; }
    void* MakeEmbeddedView(void*, LEmbeddedOwner*) override { return nullptr; }
    void SetEmbeddedSize(void*, i32, i32) override {}
    void ReleaseEmbeddedView(void*) override {}
};

// Installs the platform's control services (null goes back to the headless
// defaults). The caller keeps ownership.
void InstallControlServices(LControlServices* services);
LControlServices& ControlServices();
