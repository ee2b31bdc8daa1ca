#include "framework/CViewPrefs.h"

#include <cmath>

#include "base/TextFormat.h"
#include "framework/LFont.h"
#include "framework/LFrame.h"
#include "framework/LWindow.h"
#include "records/PrefNodes.h"

namespace {

constexpr const char* kFonts = "fonts";
constexpr const char* kFamily = "fam";
constexpr const char* kPoints = "pts";

LString SlotKey(u32 slot) {
    return MakeIndexedKey("", slot);
}

LString PointsText(f32 points) {
    LString s;
    return FloatToStrFixed(&s, 1, double(points));
}

}  // namespace

CViewPrefs& CViewPrefs::Instance() {
    static CViewPrefs prefs;
    return prefs;
}

void CViewPrefs::Attach(CRecord* node) {
    fNode = node;
    NotifyChanged();
}

bool CViewPrefs::IsUsablePoints(f32 points) {
    return std::isfinite(points) && points >= 1.0f && points <= 1000.0f;
}

bool CViewPrefs::GetFont(u32 slot, CViewFont* out) const {
    out->family = LString();
    out->points = 12.0f;
    const CRecord* fonts = fNode ? NodeGetSubNode(fNode, kFonts) : nullptr;
    const CRecord* entry = fonts ? NodeGetSubNode(fonts, SlotKey(slot).CStr()) : nullptr;
    if (!entry) return false;
    NodeGetText(&out->family, entry, kFamily, "");
    f32 points = 0;
    // A damaged or hand-edited size must not reach the font engine.
    if (NodeGetFloat(entry, kPoints, &points) >= 0 && IsUsablePoints(points)) out->points = points;
    return !out->family.IsEmpty();
}

void CViewPrefs::SetFont(u32 slot, const CViewFont& font) {
    if (!fNode) return;
    CRecord* fonts = NodeGetOrCreate(fNode, nullptr, kFonts);
    CRecord* entry = fonts ? NodeGetOrCreate(fonts, nullptr, SlotKey(slot).CStr()) : nullptr;
    if (!entry) return;
    // Compared as stored, so that a size with more decimals is not a change each
    // time. Clearing a slot stores no family and 0 points, as it always has.
    const bool usable = font.family.IsEmpty() || IsUsablePoints(font.points);
    const LString points = PointsText(usable ? font.points : 12.0f);
    LString oldFamily, oldPoints;
    const bool hadFamily = NodeFind(entry, kFamily, &oldFamily) >= 0;
    const bool hadPoints = NodeFind(entry, kPoints, &oldPoints) >= 0;
    if ((hadFamily || font.family.IsEmpty()) && oldFamily == font.family && hadPoints &&
        oldPoints == points)
        return;
    NodeSet(entry, nullptr, kFamily, font.family);
    NodeSet(entry, nullptr, kPoints, points);
    NotifyChanged();
}

void CViewPrefs::NotifyChanged() {
    LFont::FlushNativeCache();
    for (LWindow* w = LWindow::NextWindow(nullptr); w; w = LWindow::NextWindow(w))
        if (LFrame* frame = w->GetFrame()) Send(CViewPrefs_Changed, this, frame);
}
