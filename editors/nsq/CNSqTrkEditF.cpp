#include "editors/nsq/CNSqTrkEditF.h"

#include <algorithm>
#include <cmath>

#include "base/Calendar.h"
#include "editors/nsq/CNSqTimeScale.h"
#include "framework/LDrawObj.h"
#include "framework/LFont.h"
#include "framework/LTextBox.h"
#include "framework/layout/LLayoutVM.h"
#include "records/NsqPrefKinds.h"

namespace {

LPenRef Gray(u32 level) {
    LPenRef p;
    MakePenByGray(&p, level);
    return p;
}

// The width of "0" in the ruler's font: the editor's unit of text.
u32 MeasureUnit() {
    LTextBox box;
    box.SetText(LString("0"));
    box.SetFont(LFont(3));
    LDrawCtx ctx;
    const i32 w = box.GetWidth(&ctx);
    return w > 0 ? u32(w) : 6;
}

}  // namespace

// ---- the ruler

CNSqTrkEditPane::CNSqTrkEditPane(LPane* container, CNSqTimeScale* scale)
    : LPane(container, container), fScale(scale) {}

i32 CNSqTrkEditPane::GetPrefHeight(LDrawCtx* ctx, i32) {
    LTextBox box;
    box.SetFont(LFont(3));
    return box.GetInkAbove(ctx) + box.GetHeight(ctx) + box.GetInkBelow(ctx);
}

void CNSqTrkEditPane::Draw(LDrawCtx& ctx) {
    LClipScope clip(ctx, LRgn(fBounds));
    LSolidFill(fBounds, Gray(4)).Draw(ctx);
    const double step = fScale->Grid();
    const double scale = fScale->Scale();
    if (!(step > 0) || !(scale > 0)) return;
    const double view = fScale->ViewTime();
    const double end = view + fBounds.Width() * scale;
    const i32 decimals = TimeStepDecimals(step);
    const i32 labelW = i32(step / scale - 1);
    const LPenRef line = Gray(0);
    for (double t = FloorToMultiple(view, step); t < end; t += step) {
        const i32 x = i32((t - view) / scale) + fBounds.left;
        LSolidFill(LRect(x, fBounds.top, x + 1, fBounds.bottom), line).Draw(ctx);
        if (labelW <= 0) continue;
        const LRect r(x + 1, fBounds.top, x + 1 + labelW, fBounds.bottom);
        LClipScope label(ctx, LRgn(r));
        LString text;
        FormatDuration(&text, decimals, t);
        LTextBox box;
        box.SetText(text);
        box.SetFont(LFont(3));
        LRect at = r;
        at.top += box.GetInkAbove(&ctx);
        box.SetRect(at);
        box.Draw(ctx);
    }
}

// ---- the frame

CNSqTrkEditF::CNSqTrkEditF(LPane* container, CNSqTimeScale* scale, LMenu* sceneMenu)
    : LFrame(container, container), fScale(scale) {
    fCtl = new LFrame(this, this);
    fPlus = new CPlusButton(fCtl);
    fSlider = new CSlider(fCtl);
    fSlider->SetRange(-200, 200);
    fCtl->SetLayoutByName("NSQTEDITTRKCF", 1);
    fRuler = new CNSqTrkEditPane(this, scale);
    fSwipe = new CSwipePane(this);
    fNavi = new LListNavi(this, LListNavi::kVerticalBar, true);
    fList = new CNSqUTrkList(fNavi, scale, sceneMenu);
    fNavi->SetList(fList);
    fBar = new LScrollBar(this, 0, 1);
    SetLayoutByName("NSQTEDITTRKF", 1);
    fScale->Doc().AddListener(this, OnScale);
    // Measured now, not only when the style changes: a window switched to this
    // editor by its view pop-up sees no style change, and its grid would
    // follow the unit of no font.
    fScale->SetUnit(MeasureUnit());
    SyncControls();
}

CNSqTrkEditF::~CNSqTrkEditF() {
    fScale->Doc().RemoveListener(this, OnScale);
}

void CNSqTrkEditF::SetSequence(CRecord* sequence) {
    fSeq = sequence;
    fScale->Selection().SetSequence(sequence);
    fList->SetSequence(sequence);
}

double CNSqTrkEditF::ClickTime() {
    const LPoint p = fSwipe->GetClickPoint();
    return fScale->ViewTime() + (p.x - fSwipe->Bounds().left) * fScale->Scale();
}

void CNSqTrkEditF::SyncControls() {
    fSlider->SetValue(CNSqTimeScale::SliderForScale(f32(fScale->Scale())));
    const auto r = fScale->ScrollRangeFor(fSwipe->Bounds().Width() * fScale->Scale());
    fBar->SetRange(r.value, 0, r.max, std::max(r.page, 1));
}

void CNSqTrkEditF::StateChanged(u32 op) {
    LFrame::StateChanged(op);
    if (op == kOpStyleChanged) fScale->SetUnit(MeasureUnit());
}

void CNSqTrkEditF::PreLayoutVM(LDrawCtx* ctx, LLayoutVM& vm) {
    LFrame::PreLayoutVM(ctx, vm);
    // The ruler starts where the scene area does.
    vm.SetGlobal("splt", fNavi->GetPrefWidth(ctx, -3) + fList->NameColumnWidth());
}

void CNSqTrkEditF::BoundsChanged(const LRect& old) {
    LFrame::BoundsChanged(old);
    SyncControls();
}

LMessage CNSqTrkEditF::HandleMessage(const LMessage& msg) {
    if (msg.source == fSwipe && msg.Is(CSwipePane_Swipe)) {
        const double t = fScale->ViewTime() - fSwipe->StepX() * fScale->Scale();
        fScale->SetViewTime(t, 0);
        return LMessage();
    }
    if (msg.source == fBar && msg.Is(LScrollBar_Change)) {
        fScale->SetViewTime(fBar->GetValue() / 1000.0, fSwipe->Bounds().Width() * fScale->Scale());
        return LMessage();
    }
    if (msg.source == fSlider && msg.Is(CSlider_Change)) {
        fScale->SetScale(CNSqTimeScale::ScaleForSlider(fSlider->GetValue()));
        // The view above remembers the zoom.
        return LFrame::HandleMessage(msg);
    }
    if (msg.source == fPlus && msg.Is(LStdCtl_Selected)) {
        fList->AddTrack();
        return LMessage();
    }
    return LFrame::HandleMessage(msg);
}

void CNSqTrkEditF::OnScale(void* self, CRecordNote* note) {
    auto* f = static_cast<CNSqTrkEditF*>(self);
    if (note->kind != CRecordNote::kChanged) return;
    f->SyncControls();
    f->fRuler->InvalidateRect(LRgn(f->fRuler->Bounds()), LRgn());
    f->fList->InvalidateSceneArea();
}
