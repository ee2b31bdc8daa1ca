#pragma once
// The Qt side of the drawing services: offscreen bitmaps as QImages over the
// offscreen's own buffer, cursors, and the font panel as a QFontDialog.

#include <QCursor>
#include <QFontDialog>
#include <QImage>
#include <QPainter>
#include <memory>

#include "services/ControlServices.h"
#include "services/DrawingServices.h"
#include "platform/qt/QtPainterGraphics.h"

// Pixels drawable into a graphics, scaled to fill the rectangle.
class QtImage final : public LNativeImage {
public:
    explicit QtImage(const QImage& image) : fImage(image) {}
    void Draw(LNativeGraphics* graphics, const LRect& rect) override;
    QImage fImage;
};

// A drawable image from PNG bytes; null when they are no PNG.
LNativeImageRef QtMakeImage(const u8* png, u32 size);
// One line of text with its baseline at y, in the graphics' current colour.
void QtDrawText(LNativeGraphics* graphics, LNativeFont* font, const char* utf8, u32 length, i32 x,
                i32 baseline);

class QtBitmap final : public LNativeBitmap {
public:
    QtBitmap(u8* pixels, const LBitmapFormat& format, QImage::Format qtFormat);
    LNativeGraphics* BeginGraphics() override;
    void EndGraphics() override;
    LRef CopyImage() override;
    const QImage& Image() const { return fImage; }

private:
    QImage fImage;
    QPainter fPainter;
    std::unique_ptr<QtPainterGraphics> fGraphics;
};

class QtCursor final : public LNativeCursor {
public:
    explicit QtCursor(const QCursor& cursor) : fCursor(cursor) {}
    QCursor fCursor;
};

// The cursor of a standard kind: 2 the I-beam, 3 the crosshair, else the arrow.
QCursor QtStdCursor(u32 kind);
// Makes a cursor current on the window under the pointer, else the active one.
void QtApplyCursor(const QCursor& cursor);

class QtDrawingServices final : public LDrawingServices {
public:
    QtDrawingServices();
    ~QtDrawingServices() override;

    LNativeBitmap* MakeBitmap(u8* pixels, const LBitmapFormat& format) override;
    LNativeCursorRef MakeCursor(const u8* png, u32 size, i32 hotX, i32 hotY) override;
    LNativeCursorRef SystemCursor(const char* name) override;
    void SetCursor(LNativeCursor* cursor) override;
    i32 RunFontPanel(bool modal, LFontSpec* spec, void* owner, LFontPanelCallback callback,
                     u32 flags) override;
    void CloseFontPanel(void* owner, LFontPanelCallback callback) override;

    // The last cursor made current.
    const QCursor& CurrentCursor() const { return fCursor; }
    // The font panel of the binding, null when none.
    QFontDialog* FontPanel() const { return fPanel; }

private:
    void Report(const QFont& font);

    QCursor fCursor;
    QFontDialog* fPanel = nullptr;
    void* fOwner = nullptr;
    LFontPanelCallback fCallback = nullptr;
    LFontSpec fStart;
    u32 fFlags = 0;
};

// The description of a QFont as the font panel reports it.
void QtFontToSpec(const QFont& font, LFontSpec* spec);
QFont QtFontFromSpec(const LFontSpec& spec);
