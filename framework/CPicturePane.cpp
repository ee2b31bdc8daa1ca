#include "framework/CPicturePane.h"

#include <algorithm>
#include <cmath>

#include "framework/InputState.h"
#include "framework/MousePoint.h"

// ---- CPicturePane

CPicturePane::CPicturePane(LPane* parent) : LPane(parent, parent) {
    LSharedImage::InitEmptyRef(&fImage);
    SetState(kOpDim);
}

i32 CPicturePane::GetPrefWidth(LDrawCtx*, i32) {
    return ImageWidth(fImage.Get());
}

i32 CPicturePane::GetPrefHeight(LDrawCtx*, i32) {
    return ImageHeight(fImage.Get());
}

LRect CPicturePane::ImageRect(const LSharedImage* image) const {
    const i32 w = ImageWidth(image), h = ImageHeight(image);
    if (fFit == kFitBounds || w <= 0 || h <= 0) return fBounds;
    i32 dw = w, dh = h;
    if (fFit == kFitted) {
        // Keep the proportions: the side that fits worse decides.
        const i64 bw = fBounds.Width(), bh = fBounds.Height();
        if (bw * h <= bh * w) {
            dw = i32(bw);
            dh = i32(bw * h / w);
        } else {
            dh = i32(bh);
            dw = i32(bh * w / h);
        }
    }
    const i32 left = fBounds.left + (fBounds.Width() - dw) / 2;
    const i32 top = fBounds.top + (fBounds.Height() - dh) / 2;
    return LRect(left, top, left + dw, top + dh);
}

void CPicturePane::SetImage(const LImageRef& image) {
    if (image.Get() == fImage.Get()) return;
    LImageRef old = fImage;
    fImage = image;
    if (!IsShown()) return;
    // Only what changes: the new image's area and what the old one covered.
    LRgn area;
    if (image && image->IsValid()) area = LRgn(ImageRect(image.Get()));
    if (old && old->IsValid()) area.Union(LRgn(ImageRect(old.Get())));
    if (!area.IsEmpty()) InvalidateRect(area, area);
}

void CPicturePane::Draw(LDrawCtx& ctx) {
    if (fImage && fImage->IsValid()) DrawSharedImage(ctx, fImage.Get(), ImageRect(fImage.Get()));
}

// ---- COpener

namespace {

const char* const kOpenerNames[COpener::kImageCount] = {
    "COPENERCLOSED", "COPENERCLOSEDHLT", "COPENEROPENED",   "COPENEROPENEDHLT",
    "COPENERMOVING", "COPENEROPENEDINA", "COPENERCLOSEDINA"};

struct OpenerSet {
    u32 live = 0;
    LImageRef images[COpener::kImageCount];
    i32 prefW = 1;
    i32 prefH = 1;
} sOpeners;

}  // namespace

COpener::COpener(LPane* parent) : CPicturePane(parent) {
    if (sOpeners.live++ == 0) {
        sOpeners.prefW = sOpeners.prefH = 1;
        for (u32 i = 0; i < kImageCount; ++i) {
            sOpeners.images[i] = LoadPngImage(kOpenerNames[i]);
            if (i == kClosed || i == kOpened || i == kMoving) {
                sOpeners.prefW = std::max(sOpeners.prefW, ImageWidth(sOpeners.images[i].Get()));
                sOpeners.prefH = std::max(sOpeners.prefH, ImageHeight(sOpeners.images[i].Get()));
            }
        }
    }
    SetState(kOpUndim);
    fFit = kCentred;
    ShowResting();
}

COpener::~COpener() {
    fTimer.Stop();
    LSharedImage::InitEmptyRef(&fImage);
    if (--sOpeners.live == 0) {
        for (LImageRef& image : sOpeners.images) image.Reset();
    }
}

const LSharedImage* COpener::SharedImage(u32 which) {
    return which < kImageCount ? sOpeners.images[which].Get() : nullptr;
}

void COpener::Show(u32 which) {
    SetImage(sOpeners.images[which]);
}

void COpener::ShowResting() {
    const bool enabled = fState & kEnabled;
    if (fOpen)
        Show(enabled ? kOpened : kOpenedIna);
    else
        Show(enabled ? kClosed : kClosedIna);
}

void COpener::SetOpen(bool open) {
    if (fOpen == open) return;
    fOpen = open;
    ShowResting();
}

i32 COpener::GetPrefWidth(LDrawCtx*, i32) {
    return sOpeners.prefW;
}

i32 COpener::GetPrefHeight(LDrawCtx*, i32) {
    return sOpeners.prefH;
}

void COpener::StateChanged(u32 op) {
    CPicturePane::StateChanged(op);
    if (op == kOpEnable || op == kOpDisable) ShowResting();
}

LMessage COpener::HandleMessage(const LMessage& msg) {
    LMouse* mouse = LMouse::Instance();
    if (mouse && msg.source == mouse) {
        if (msg.Is(LMouse_Click)) {
            fPressed = 1;
            fInside = 1;
            Show(fOpen ? kOpenedHlt : kClosedHlt);
            return LMessage{LPane_ReqCapture, this, fParent};
        }
        if (msg.Is(LMouse_Move)) {
            const u8 inside = fBounds.Contains(MousePointIn(this)) ? 1 : 0;
            if (fPressed && inside != fInside) {
                fInside = inside;
                if (inside)
                    Show(fOpen ? kOpenedHlt : kClosedHlt);
                else
                    Show(fOpen ? kOpened : kClosed);
            }
            return LMessage();
        }
        if (msg.Is(LMouse_Release)) {
            if (!fPressed) return LMessage();
            fPressed = 0;
            Show(fOpen ? kOpened : kClosed);
            // Released outside: the press is taken back.
            if (!fBounds.Contains(MousePointIn(this))) return LMessage();
            return LMessage{COpener_Selected, this, fParent};
        }
    }
    if (msg.source == this && msg.Is(COpener_Selected)) {
        fOpen = !fOpen;
        Show(kMoving);
        fTimer.Start(250u);
        return LMessage{COpener_Change, this, fParent};
    }
    if (msg.source == &fTimer && msg.Is(LTimer_Expire)) {
        ShowResting();
        return LMessage();
    }
    return CPicturePane::HandleMessage(msg);
}

// ---- CSwipePane

CSwipePane::CSwipePane(LPane* parent) : LPane(parent, parent) {}

LPoint CSwipePane::GetClickPoint() {
    return MousePointIn(this);
}

LMessage CSwipePane::HandleMessage(const LMessage& msg) {
    LMouse* mouse = LMouse::Instance();
    const u32 now = GraphicsServices().NowMs();
    if (mouse && msg.source == mouse) {
        if (msg.Is(LMouse_Click)) {
            fLast = mouse->Position();
            fTime = now;
            fTimer.Stop();
            fPhase = kPressed;
            return LMessage{LPane_ReqCapture, this, fParent};
        }
        if (msg.Is(LMouse_Move)) {
            const LPoint p = mouse->Position();
            fDx = p.x - fLast.x;
            fDy = p.y - fLast.y;
            const u32 dt = std::max<u32>(now - fTime, 1);
            fVx = std::clamp(f32(fDx) / f32(dt), -1.0f, 1.0f);
            fVy = std::clamp(f32(fDy) / f32(dt), -1.0f, 1.0f);
            fLast = p;
            fTime = now;
            fPhase = kDragging;
            fTimer.Start(50u);
            return LMessage{CSwipePane_Swipe, this, fParent};
        }
        if (msg.Is(LMouse_Release)) {
            if (fPhase == kDragging) {
                fRestX = fRestY = 0;
                fPhase = kCoasting;
                fTimer.StartRepeating(33u);
            } else {
                fPhase = kIdle;
            }
            if (mouse->CountClicks() == 1) return LMessage{CSwipePane_DblClk, this, fParent};
            return LMessage();
        }
    }
    if (msg.source == &fTimer && msg.Is(LTimer_Expire)) {
        if (fPhase == kDragging) {
            // The pointer rested: a release now does not fling.
            fVx = fVy = 0;
            return LMessage();
        }
        if (fPhase != kCoasting) return LMessage();
        const i32 dt = i32(now - fTime);
        if (dt <= 0) return LMessage();
        const f32 speed = std::sqrt(fVx * fVx + fVy * fVy);
        const f32 slow = 0.0005f * f32(dt);
        f32 nx = 0, ny = 0;
        if (speed > slow) {
            nx = fVx * (speed - slow) / speed;
            ny = fVy * (speed - slow) / speed;
        } else {
            fTimer.Stop();
            fPhase = kIdle;
        }
        const f32 sx = fRestX + (fVx + nx) * 0.5f * f32(dt);
        const f32 sy = fRestY + (fVy + ny) * 0.5f * f32(dt);
        fDx = i32(std::lround(sx));
        fDy = i32(std::lround(sy));
        fRestX = sx - f32(fDx);
        fRestY = sy - f32(fDy);
        fVx = nx;
        fVy = ny;
        fTime = now;
        return LMessage{CSwipePane_Swipe, this, fParent};
    }
    return LPane::HandleMessage(msg);
}
