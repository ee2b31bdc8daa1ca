#include "tests/framework/FakeServices.h"

#include <cstdio>

#include "framework/LTimer.h"

namespace {

std::string Num(f64 v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

std::string Num(i32 v) {
    return std::to_string(v);
}
std::string Num(u32 v) {
    return std::to_string(v);
}

std::string RectText(const LRect& r) {
    return Num(r.left) + "," + Num(r.top) + "," + Num(r.right) + "," + Num(r.bottom);
}

}  // namespace

void FakeGraphics::SaveState() {
    ++fDepth;
    fCalls.push_back("save");
}

void FakeGraphics::RestoreState() {
    --fDepth;
    fCalls.push_back("restore");
}

void FakeGraphics::SetBlendMode(LBlendMode mode) {
    static const char* names[] = {"normal", "difference", "multiply", "screen"};
    fCalls.push_back(std::string("blend ") + names[u8(mode) & 3]);
}

void FakeGraphics::ApplyPen(const LPen& pen) {
    switch (pen.fKind) {
        case LPen::kById:
            fCalls.push_back("pen id " + Num(pen.fId));
            break;
        case LPen::kByGray:
            fCalls.push_back("pen grey " + Num(pen.fRgba));
            break;
        default:
            fCalls.push_back("pen rgba " + Num(pen.fRgba));
            break;
    }
}

void FakeGraphics::Translate(i32 dx, i32 dy) {
    fCalls.push_back("translate " + Num(dx) + "," + Num(dy));
}

void FakeGraphics::SetClipRects(const LRect* rects, u32 count) {
    std::string s = "clip";
    for (u32 i = 0; i < count; ++i) s += " " + RectText(rects[i]);
    fCalls.push_back(s);
}

void FakeGraphics::FillRects(const CGRect* rects, u32 count) {
    std::string s = "fill";
    for (u32 i = 0; i < count; ++i) {
        const CGRect& g = rects[i];
        s += " " + Num(g.x) + "," + Num(g.y) + "," + Num(g.x + g.width) + "," + Num(g.y + g.height);
    }
    fCalls.push_back(s);
}

void FakeGraphics::SetLineWidth(f64 width) {
    fCalls.push_back("width " + Num(width));
}
void FakeGraphics::MoveTo(i32 x, i32 y) {
    fCalls.push_back("move " + Num(x) + "," + Num(y));
}
void FakeGraphics::LineTo(i32 x, i32 y) {
    fCalls.push_back("line " + Num(x) + "," + Num(y));
}
void FakeGraphics::FillPath() {
    fCalls.push_back("fillpath");
}
void FakeGraphics::StrokePath() {
    fCalls.push_back("stroke");
}

void FakeGraphics::DrawTextFieldFrame(const LRect& rect, bool active, bool focused) {
    fCalls.push_back("textframe " + RectText(rect) + (active ? " active" : "") +
                     (focused ? " focused" : ""));
}

std::string FakeGraphics::Joined() const {
    std::string s;
    for (const std::string& c : fCalls) {
        if (!s.empty()) s += "; ";
        s += c;
    }
    return s;
}

FakeFont::FakeFont(const LFontRequest& spec)
    : fSize(spec.sizeCode == 255 ? 12.0 : 12.0 + spec.sizeCode),
      fFamily(spec.sizeCode == 255 && spec.faceName ? spec.faceName : "Fake") {
    if (spec.scalePercent > 0) fSize = fSize * spec.scalePercent / 100.0;
    if (spec.userFamily) {
        fFamily = spec.userFamily;
        fSize = spec.userPoints;
    }
}

f64 FakeFont::TextWidth(const char* utf8) const {
    return 7.0 * f64(StrLen(utf8));
}

FakeServices::FakeServices() {
    InstallGraphicsServices(this);
}

FakeServices::~FakeServices() {
    InstallGraphicsServices(nullptr);
}

void FakeServices::RearmMainTimer() {
    fRearmWaits.push_back(LTimer::NextWaitMs(fModal, fWindow, fActive));
}

LNativeFontRef FakeServices::MakeNativeFont(const LFontRequest& spec) {
    ++fFontsBuilt;
    return LNativeFontRef(new FakeFont(spec));
}
