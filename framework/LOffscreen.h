#pragma once
// Offscreen bitmaps: a pixel buffer the offscreen owns with a native drawing
// context over it, a cached image of the pixels while nobody draws, and pixel
// accessors by depth.

#include "base/LRef.h"
#include "services/DrawingServices.h"

class LOffscreen final : public LRefObj {
public:
    enum : u32 { kFlagAlpha = 4 };

    ~LOffscreen() override;

    // depth 32 (or more), 16, or with gray 8 or 1. Leaves out empty when the
    // bitmap cannot be made: no size, a buffer too large, no native context.
    static void New(TRef<LOffscreen>* out, u32 width, u32 height, u32 depth, bool gray, u32 flags);
    // The row length for a depth: the pixels rounded up to 16 bytes; 0 when it
    // does not fit 32 bits.
    static u64 RowBytesFor(u32 width, u32 depth, bool gray);

    // Zeros, and row bytes 1, for a null offscreen.
    static void GetSize(const LOffscreen* off, u32* width, u32* height);
    static u32 RowBytes(const LOffscreen* off);
    static u32 BitsPerPixel(const LOffscreen* off);
    static u8* PixelBuffer(const LOffscreen* off);
    // The graphics to draw into; each call must be matched by EndDraw.
    static LNativeGraphics* BeginDraw(LOffscreen* off);
    static void EndDraw(LOffscreen* off);
    // An image of the pixels: the cached one, or a fresh copy, cached only when
    // nobody is drawing.
    static LRef CopyImage(LOffscreen* off);

private:
    LOffscreen() = default;

    u32 fWidth = 0;
    u32 fHeight = 0;
    u32 fRowBytes = 0;
    u32 fBitsPerPixel = 0;
    u8* fBuffer = nullptr;
    LNativeBitmap* fContext = nullptr;
    LRef fImage;
    u32 fDrawCount = 0;
    LNativeGraphics* fGraphics = nullptr;
};
using LOffscreenRef = TRef<LOffscreen>;

// Reads and writes pixels of one depth. Positions outside the bitmap read 0 and
// write nothing.
class CPixAcc {
public:
    CPixAcc(u32 rowBytes, u8* base, u32 width, u32 height)
        : fRowBytes(rowBytes), fBase(base), fWidth(width), fHeight(height) {}
    virtual ~CPixAcc() = default;
    virtual u32 GetPixel(u32 x, u32 y) const;
    virtual void SetPixel(u32 x, u32 y, u32 value);
    // Widens each pixel of the run to u32; nothing when the run leaves the row.
    virtual void ReadPixels(u32 x, u32 y, u32* out, u32 count) const;
    // Packed colour: red in bits 0-7, green 8-15, blue 16-23.
    virtual u32 PixelToColor(u32 pixel) const {
        (void)pixel;
        return 0;
    }
    virtual u32 ColorToPixel(const u8 rgb[3]) const {
        (void)rgb;
        return 0;
    }

protected:
    virtual u32 Load(const u8* p) const {
        (void)p;
        return 0;
    }
    virtual void Store(u8* p, u32 value) const {
        (void)p;
        (void)value;
    }
    virtual u32 Bytes() const { return 0; }
    u8* At(u32 x, u32 y) const;

    u32 fRowBytes;
    u8* fBase;
    u32 fWidth;
    u32 fHeight;
};

class CPixAcc8 final : public CPixAcc {
public:
    using CPixAcc::CPixAcc;
    u32 PixelToColor(u32 pixel) const override;
    u32 ColorToPixel(const u8 rgb[3]) const override;

private:
    u32 Load(const u8* p) const override { return *p; }
    void Store(u8* p, u32 value) const override { *p = u8(value); }
    u32 Bytes() const override { return 1; }
};

class CPixAcc16 final : public CPixAcc {
public:
    using CPixAcc::CPixAcc;
    u32 PixelToColor(u32 pixel) const override;
    u32 ColorToPixel(const u8 rgb[3]) const override;

private:
    u32 Load(const u8* p) const override;
    void Store(u8* p, u32 value) const override;
    u32 Bytes() const override { return 2; }
};

class CPixAcc32 final : public CPixAcc {
public:
    using CPixAcc::CPixAcc;
    u32 PixelToColor(u32 pixel) const override;
    u32 ColorToPixel(const u8 rgb[3]) const override;

private:
    u32 Load(const u8* p) const override;
    void Store(u8* p, u32 value) const override;
    u32 Bytes() const override { return 4; }
};

// An offscreen's pixels through the accessor of its depth; other depths, or an
// offscreen without a context, get the shared do-nothing accessor.
class CBitmapPixels {
public:
    CBitmapPixels(const LOffscreenRef& off);
    ~CBitmapPixels();
    CBitmapPixels(const CBitmapPixels&) = delete;
    CBitmapPixels& operator=(const CBitmapPixels&) = delete;

    CPixAcc* Accessor() const { return fAcc; }
    u32 Width() const { return fWidth; }
    u32 Height() const { return fHeight; }

private:
    LOffscreenRef fOff;
    u32 fWidth = 0;
    u32 fHeight = 0;
    CPixAcc* fAcc;
    bool fDrawing = false;
};
