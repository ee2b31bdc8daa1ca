#include "editors/nsq/CNSqUTrkVw_CClk.h"

#include <algorithm>
#include <cmath>

#include "editors/nsq/CNSqTimeScale.h"
#include "editors/nsq/CNSqUTrkList.h"
#include "framework/InputState.h"
#include "framework/LDrawObj.h"
#include "framework/LFont.h"
#include "framework/LTextBox.h"
#include "framework/MousePoint.h"
#include "records/NsqPrefKinds.h"
#include "records/NsqSets.h"

namespace {

u32 TimeOf(const CRecord* track, u32 i) {
    return track->GetListItem(StrkF::scns, i)->GetU32(SscnF::time);
}

u32 Count(const CRecord* track) {
    return track->GetListCount(StrkF::scns);
}

// Times past the u32 range of milliseconds count as its end.
u32 ToMs(double seconds) {
    const double ms = std::trunc(seconds * 1000.0);
    return ms <= 0 ? 0 : ms >= 4294967295.0 ? 4294967295u : u32(ms);
}

LPenRef Gray(u32 level) {
    LPenRef p;
    MakePenByGray(&p, level);
    return p;
}

LPenRef Color(u8 r, u8 g, u8 b) {
    LPenRef p;
    MakePenByColor(&p, (u32(r) << 24) | (u32(g) << 16) | (u32(b) << 8) | 0xFF, 0);
    return p;
}

LPenRef SceneColor(NSqSceneColor c) {
    switch (c) {
        case NSqSceneColor::kSequence:
            return Gray(2);
        case NSqSceneColor::kDmx:
            return Color(192, 192, 64);
        case NSqSceneColor::kAudio:
            return Color(192, 128, 192);
        case NSqSceneColor::kVideo:
            return Color(128, 192, 192);
        default:
            return Gray(1);
    }
}

// From the pane's edge to a scene box's inside: the gap and the frame line.
constexpr i32 kBoxInset = 4;

void Frame(LDrawCtx& ctx, const LRect& r, const LPenRef& pen) {
    CFillStyle f;
    f.fRect = r;
    f.fHLineWidth = 2;
    f.fVLineWidth = 2;
    f.fPen = pen;
    f.Draw(ctx);
}

}  // namespace

LRect NSqSceneBox(CNSqTimeScale& scale, const CRecord* track, u32 i, const LRect& pane) {
    const u32 time = TimeOf(track, i);
    u32 end;
    if (i + 1 < Count(track)) {
        end = TimeOf(track, i + 1);
    } else {
        end = std::max(time, ToMs(scale.PosToTime(pane.Width() + 4)));
    }
    CNSqSceneInfo info;
    if (scale.Kinds()) scale.Kinds()->DescribeScene(track->GetListItem(StrkF::scns, i), &info);
    const u32 visible = std::min(end - time, info.length);
    const i32 left = scale.TimeToPos(time / 1000.0);
    const i32 width = scale.TimeToPos((u64(time) + visible) / 1000.0) - left;
    LRect r;
    r.left = left + pane.left;
    r.right = r.left + std::max(width, kNSqMinSceneWidth);
    r.top = pane.top + 2;
    r.bottom = pane.bottom - 2;
    return r;
}

void NSqTrackBoxes(CNSqTimeScale& scale, const CRecord* track, const LRect& pane,
                   std::vector<CNSqSceneBox>* out) {
    out->clear();
    if (!track || Count(track) == 0) return;
    const i32 at = NSqTrkFindSceneAt(track, ToMs(scale.ViewTime()));
    const u32 rightMs = ToMs(scale.PosToTime(pane.Width()));
    const u32 n = Count(track);
    for (u32 i = at < 0 ? 0 : u32(at); i < n && TimeOf(track, i) < rightMs; ++i) {
        CNSqSceneBox b;
        b.index = i;
        b.box = NSqSceneBox(scale, track, i, pane);
        const CRecord* scene = track->GetListItem(StrkF::scns, i);
        if (scale.Kinds()) scale.Kinds()->DescribeScene(scene, &b.info);
        b.selected = scale.Selection().IsSelected(scene);
        const u32 t = TimeOf(track, i);
        b.markLeft = i > 0 && scale.IsNarrow(t - TimeOf(track, i - 1));
        b.markRight = i + 1 < n && scale.IsNarrow(TimeOf(track, i + 1) - t);
        b.textRight =
            i + 1 < n ? scale.TimeToPos(TimeOf(track, i + 1) / 1000.0) + pane.left : b.box.right;
        out->push_back(b);
    }
}

i32 NSqSceneHit(CNSqTimeScale& scale, const CRecord* track, i32 x, const LRect& pane) {
    if (!track) return -1;
    const double t = scale.PosToTime(x - pane.left);
    if (t < 0) return -1;
    const u32 ms = ToMs(t);
    const i32 i = NSqTrkFindSceneAt(track, ms);
    if (i < 0) return -1;
    CNSqSceneInfo info;
    if (scale.Kinds()) scale.Kinds()->DescribeScene(track->GetListItem(StrkF::scns, u32(i)), &info);
    const u32 minMs = ToMs(scale.Scale() * kNSqMinSceneWidth);
    return ms - TimeOf(track, u32(i)) < std::max(minMs, info.length) ? i : -1;
}

CNSqUTrkVw_CClk::CNSqUTrkVw_CClk(LHandler* parent, LPane* container, CNSqTimeScale* scale)
    : LPane(parent, container), fScale(scale) {}

bool CNSqUTrkVw_CClk::Click(LPoint pt, bool toggleOnly) {
    if (!fTrack || pt.y < fBounds.top + 2 || pt.y >= fBounds.bottom - 2) return false;
    const i32 hit = NSqSceneHit(*fScale, fTrack, pt.x, fBounds);
    if (hit < 0) return false;
    const CRecord* seq = fTrack->Parent();
    CNSqScnSel& sel = fScale->Selection();
    if (!seq || seq != sel.Sequence()) return false;
    const u32 row = fTrack->GetIndex();
    const bool was = sel.IsSelected(fTrack->GetListItem(StrkF::scns, u32(hit)));
    // A plain press on a selected scene keeps the selection: it is the press
    // that drags the selected scenes. Taking the scene out there would leave
    // nothing to drag.
    if (toggleOnly)
        sel.SetSelected(row, u32(hit), !was);
    else if (!was)
        sel.SelectOnly(row, u32(hit));
    fClickTime = fScale->PosToTime(pt.x - fBounds.left);
    LHandler::Send(CNSqUTrkVw_CClk_Clk, this, fParent);
    return true;
}

LMessage CNSqUTrkVw_CClk::HandleMessage(const LMessage& msg) {
    if (msg.Is(LMouse_Click)) {
        const LMouse* mouse = LMouse::Instance();
        if (Click(MousePointIn(this), mouse && mouse->IsCommandDown())) return LMessage();
    } else if (msg.Is(LMouse_Context) && fTrack) {
        fClickTime = fScale->PosToTime(MousePointIn(this).x - fBounds.left);
        LHandler::Send(CNSqUTrkVw_CClk_CtxClk, this, fParent);
        return LMessage();
    }
    return LPane::HandleMessage(msg);
}

i32 CNSqUTrkVw_CClk::GetPrefHeight(LDrawCtx* ctx, i32) {
    LTextBox box;
    box.SetFont(LFont(2));
    return kBoxInset + box.GetInkAbove(ctx) + box.GetHeight(ctx) + box.GetInkBelow(ctx) +
           kBoxInset;
}

void CNSqUTrkVw_CClk::Draw(LDrawCtx& ctx) {
    LClipScope clip(ctx, LRgn(fBounds));
    LSolidFill(fBounds, Gray(3)).Draw(ctx);
    const double scale = fScale->Scale();
    const double end = fScale->ViewTime() + fBounds.Width() * scale;
    const LPenRef grid = Gray(0);
    for (double t = fScale->CeilToGrid(fScale->ViewTime()); t < end; t += fScale->Grid()) {
        const i32 x = i32((t - fScale->ViewTime()) / scale) + fBounds.left;
        LSolidFill(LRect(x, fBounds.top, x + 1, fBounds.bottom), grid).Draw(ctx);
        if (fScale->Grid() <= 0) break;
    }
    std::vector<CNSqSceneBox> boxes;
    NSqTrackBoxes(*fScale, fTrack, fBounds, &boxes);
    LPenRef selected;
    MakePenById(&selected, 3);
    const LPenRef body = Gray(4);
    const LPenRef red = Color(255, 0, 0);
    for (const CNSqSceneBox& b : boxes) {
        const LRect& r = b.box;
        Frame(ctx, r, SceneColor(b.info.color));
        if (b.markLeft) LSolidFill(LRect(r.left, r.top, r.left + 2, r.bottom), red).Draw(ctx);
        if (b.markRight) LSolidFill(LRect(r.right - 2, r.top, r.right, r.bottom), red).Draw(ctx);
        LRect inner(r.left + 2, r.top + 2, r.right - 2, r.bottom - 2);
        if (inner.IsEmpty()) continue;
        LSolidFill(inner, b.selected ? selected : body).Draw(ctx);
        if (b.info.name.IsEmpty()) continue;
        const LRect text(inner.left, inner.top, std::max(inner.left, b.textRight), inner.bottom);
        LClipScope textClip(ctx, LRgn(text));
        LTextBox box;
        box.SetText(b.info.name);
        box.SetFont(LFont(2));
        // The line lowered by as far as the font's marks reach above it (two
        // stacked over a capital), so that the clip to the box keeps them.
        LRect line = text;
        line.top += box.GetInkAbove(&ctx);
        box.SetRect(line);
        box.Draw(ctx);
    }
}
