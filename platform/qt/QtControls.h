#pragma once
// Native controls as Qt widgets, children of their host view (the window's
// MWindowView or an MEmbeddedView). Qt's own notifications fire for
// programmatic changes too, so only the signals a user causes (clicked,
// activated, actionTriggered, textEdited) reach the owner. Every press on a
// control goes to the shell's mouse path first; Qt sees it only when the
// framework asks for native tracking while it handles the press.

#include <QPointer>
#include <QWidget>

#include <memory>

#include "services/ControlServices.h"

class QAbstractSlider;

// The widget a host pointer stands for: a window's content view, or the
// embedded view itself.
QWidget* QtHostView(void* host);

// The press filter on every control widget (and on the text engine and its
// viewport): presses, moves, releases and wheels go to the content view
// unless the framework asked for native tracking of this press.
class QtPressFilter : public QObject {
public:
    static QtPressFilter* Instance();
    // Called by a control's or field's MouseDown: true when a press on that
    // widget is being handed to the framework right now (Qt then gets it).
    bool WantNative(QWidget* widget);
    // The last press seen anywhere in the application (global position).
    QPoint LastPressGlobal() const { return fLastPress; }
    Qt::KeyboardModifiers LastPressModifiers() const { return fLastMods; }
    void RecordPress(QPoint global, Qt::KeyboardModifiers mods) {
        fLastPress = global;
        fLastMods = mods;
    }

    // Middle presses on a text engine go here (it pastes the selection).
    using MiddleHandler = bool (*)(QWidget* widget);
    static void SetMiddleHandler(MiddleHandler handler);

    bool eventFilter(QObject* obj, QEvent* e) override;

private:
    bool Forward(QWidget* widget, QEvent* e);

    QPointer<QWidget> fPressing;  // the widget whose press the framework is handling
    bool fWanted = false;
    QPointer<QWidget> fNativeGrab;  // the widget Qt tracks the current press in
    QPoint fLastPress;
    Qt::KeyboardModifiers fLastMods;
};

// Makes a widget one of ours: no focus (only the active engine takes it), no
// context menu of its own, no drops, every press through the filter.
void QtAdoptWidget(QWidget* widget);
// Frees a widget that may be inside one of its own events: hidden and
// detached now, deleted once Qt is back in its loop.
void QtReleaseWidget(QWidget* widget);

class QtNativeControl final : public QObject, public LNativeControl {
public:
    QtNativeControl(LControlKind kind, LNativeControlOwner* owner, void* host, bool continuous);
    ~QtNativeControl() override;

    bool HasWindow() const override { return fInHost; }
    void Remove() override;
    void SetLocalFrame(i32 width, i32 height) override;
    void PlaceWhole(const LRect& frame) override;
    void PlaceClipped(const LRect& visible, const LRect& frame) override;
    void RedisplayVisible() override;
    void DrawInto(LNativeGraphics* graphics, const LRect& rect) override;
    void MouseDown() override;
    void SetEnabled(bool enabled) override;
    bool IsEnabled() const override { return fEnabled; }
    void SetFont(LNativeFont* font) override;
    void SetTitle(const LString& title) override;
    LString Title() const override;
    void GetCellSize(i32* width, i32* height) const override;
    void SetState(i32 state) override;
    i32 GetState() const override;
    void Highlight(bool on) override;
    void SetKeyEquivalent(const char* key) override;
    void SetImage(LNativeImage* image) override;
    void RemoveAllItems() override;
    void InsertItem(const LString& title, i32 index) override;
    i32 ItemCount() const override;
    i32 SelectedItem() const override;
    void SelectItem(i32 index) override;
    void SetFloatValue(f32 value) override;
    void SetKnobProportion(f32 proportion) override;
    f32 FloatValue() const override;
    i32 HitPart() const override { return fHitPart; }
    void SetMinMax(f64 min, f64 max) override;
    void SetIntValue(i32 value) override;
    i32 IntValue() const override;
    LRect KnobRect() const override;
    void SetVertical(bool vertical) override;
    void SetMaxValue(f64 max) override;
    void SetIndeterminate(bool on) override;
    void SetDoubleValue(f64 value) override;

    QWidget* Widget() const { return fWidget; }
    LControlKind Kind() const { return fKind; }

private:
    void Act();
    void ScrollAction(int action);
    void ApplyProgress();

    LControlKind fKind;
    LNativeControlOwner* fOwner;
    QPointer<QWidget> fHost;
    QPointer<QWidget> fWidget;
    QPointer<QWidget> fClip;  // the clip container while partly visible
    bool fInHost = false;
    bool fEnabled = true;
    bool fContinuous = false;
    i32 fHitPart = kScrollPartNone;
    bool fReadPosition = false;  // FloatValue reads the knob being dragged
    f32 fProportion = 0;
    f64 fProgressMax = 100, fProgressValue = 0;
    bool fIndeterminate = false;
};

class QtControlServices final : public LControlServices {
public:
    QtControlServices();
    ~QtControlServices() override;

    LNativeControl* MakeControl(LControlKind kind, LNativeControlOwner* owner, void* host,
                                bool continuous) override;
    LNativeTextField* MakeTextField(LNativeFieldOwner* owner,
                                    const LNativeFieldOptions& options) override;
    void DrawText(LNativeGraphics* graphics, LNativeFont* font, const char* utf8, u32 length, i32 x,
                  i32 baseline) override;
    i32 FieldBaseline(LNativeFont* font, bool oneLine) override;
    LNativeImageRef MakeImage(const u8* png, u32 size) override;
    i32 ScrollerWidth(void* window) override;
    void LaunchUrl(const LString& url) override;
    void FlashPause(u32 ms) override;
    f64 SmallSystemFontSize() override { return 0; }
    bool SliderSize(i32* width, i32* height) override;
    void* SelectAsciiInputSource() override;
    void RestoreInputSource(void* saved) override;
    bool HostIsDrawing(void* host) override;
    void* MakeEmbeddedView(void* panel, LEmbeddedOwner* owner) override;
    void SetEmbeddedSize(void* view, i32 width, i32 height) override;
    void ReleaseEmbeddedView(void* view) override;

private:
    std::unique_ptr<QObject> fRecorder;  // notes every press for the text engine
};
