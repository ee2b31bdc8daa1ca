#include "framework/CHeaderFrame.h"

#include <algorithm>
#include <string>
#include <vector>

#include "framework/InputState.h"
#include "framework/LDrawObj.h"
#include "framework/layout/LLayoutVM.h"

// ---- CRespText

CRespText::CRespText(LPane* parent, u32 alignment, u8 paintBackground)
    : LTextPane(parent), fPaintBackground(paintBackground), fAlign(alignment) {
    // Labels are dimmed so the mouse passes them by; these are clicked.
    SetState(kOpUndim);
    SetAlignment(alignment);
    MakePenById(&fSelColor, 3);
}

void CRespText::SetItemAlignment(u32 alignment) {
    fAlign = alignment;
    SetAlignment(alignment);
}

LMessage CRespText::HandleMessage(const LMessage& msg) {
    LMouse* mouse = LMouse::Instance();
    if (mouse && msg.source == mouse && msg.Is(LMouse_Click))
        return LMessage{CRespText_Click, this, fParent};
    // Nobody took the click: it goes on as an ordinary one.
    if (mouse && msg.source == this && msg.Is(CRespText_Click))
        return LMessage{LMouse_Click, mouse, fParent};
    return LPane::HandleMessage(msg);
}

void CRespText::SetSelected(bool selected, const LPenRef& color) {
    if (color) fSelColor = color;
    if (bool(fSelected) == selected) return;
    fSelected = selected;
    LPenRef text;
    if (selected) MakePenById(&text, kPenSelectedText);
    fColor = text;
    fBox.SetColor(text);
    if (IsShown()) InvalidateRect(LRgn(fBounds), selected ? LRgn() : LRgn(fBounds));
}

void CRespText::Draw(LDrawCtx& ctx) {
    if (fSelected)
        LSolidFill(fBounds, fSelColor).Draw(ctx);
    else if (fPaintBackground && ctx.fBackground)
        LSolidFill(fBounds, ctx.fBackground).Draw(ctx);
    DrawText(ctx);
}

// ---- CHeaderFrame

CHeaderFrame::CHeaderFrame(LPane* parent, u32 alignment, u8 selectable, u8 paintBackground)
    : LFrame(parent, parent),
      fAlign(alignment),
      fPaintBackground(paintBackground),
      fSelectable(selectable) {
    MakePenById(&fSelColor, 3);
}

CRespText* CHeaderFrame::Item(i32 index) const {
    if (index < 0) return nullptr;
    return dynamic_cast<CRespText*>(static_cast<LPane*>(fChildren.Nth(u32(index))));
}

i32 CHeaderFrame::ItemPrefWidth(i32 index, LDrawCtx* ctx) const {
    CRespText* title = Item(index);
    return title ? title->GetPrefWidth(ctx, 0) : 0;
}

void CHeaderFrame::SetTitleWidths(const CHeaderFrame* header, i32 count, LLayoutVM& vm,
                                  LDrawCtx* ctx) {
    for (i32 i = 0; i < count; ++i)
        vm.SetGlobal(("hdr" + std::to_string(i)).c_str(), header ? header->ItemPrefWidth(i, ctx) : 0);
}

i32 CHeaderFrame::IndexOf(const LPane* pane) const {
    i32 i = 0;
    for (LLink* l = fChildren.Head(); !l->IsEnd(); l = l->Next(), ++i)
        if (static_cast<LPane*>(l) == pane) return i;
    return -1;
}

void CHeaderFrame::PlaceRect(CRespText* item, LRect r) {
    if (r.right < r.left + 1) r.right = r.left + 1;
    if (r.bottom < r.top + 1) r.bottom = r.top + 1;
    item->SetBounds(r);
}

CRespText* CHeaderFrame::AddItem(const LString& text, const LTextStyle& style, LDrawCtx*) {
    auto* item = new CRespText(this, fAlign, fPaintBackground);
    item->SetText(text);
    // An unset style keeps the label's own font.
    if (!style.fFont.IsEmpty()) item->SetStyle(style.fFont);
    item->SetBounds(LRect(0, 0, 1, 1));
    return item;
}

void CHeaderFrame::ShowItem(i32 index, bool show) {
    if (CRespText* item = Item(index)) item->SetState(show ? kOpShow : kOpHide);
}

bool CHeaderFrame::SelectItem(i32 index) {
    if (index == fSelected) return false;
    if (CRespText* old = Item(fSelected)) old->SetSelected(false, LPenRef());
    CRespText* item = Item(index);
    if (item && item->CanBeHit()) {
        fSelected = index;
        item->SetSelected(true, fSelColor);
    } else {
        fSelected = -1;
    }
    return true;
}

LMessage CHeaderFrame::HandleMessage(const LMessage& msg) {
    if (msg.Is(CRespText_Click) && msg.source != this) {
        const i32 index = IndexOf(static_cast<LPane*>(msg.source));
        if (!fSelectable || index < 0 || !Item(index))
            return LMessage::CopyRetarget(msg, msg.source);
        SelectItem(index);
        return LMessage{CHeaderFrame_Selected, this, fParent};
    }
    return LFrame::HandleMessage(msg);
}

void CHeaderFrame::StateChanged(u32 op) {
    LFrame::StateChanged(op);
    if (op == kOpMoved && fPlaceListener) Send(CHeaderFrame_Place, this, fPlaceListener);
}

void CHeaderFrame::BoundsChanged(const LRect& old) {
    LFrame::BoundsChanged(old);
    if (fPlaceListener) Send(CHeaderFrame_Place, this, fPlaceListener);
}

// ---- CHeaderFrameH

void CHeaderFrameH::BoundsChanged(const LRect& old) {
    if (old.Width() != fBounds.Width()) {
        for (i32 i = 0; CRespText* item = Item(i); ++i) {
            LRect r = item->Bounds();
            r.left = 3;
            r.right = fBounds.Width() - 3;
            PlaceRect(item, r);
        }
    }
    CHeaderFrame::BoundsChanged(old);
}

i32 CHeaderFrameH::GetPrefWidth(LDrawCtx* ctx, i32) {
    if (!Item(0)) return 0;
    i32 widest = Item(0)->GetPrefWidth(ctx, 0);
    for (i32 i = 1; CRespText* item = Item(i); ++i)
        widest = std::max(widest, item->GetPrefWidth(ctx, 0));
    return widest + 6 > 0 ? widest + 6 : 0;
}

i32 CHeaderFrameH::GetPrefHeight(LDrawCtx* ctx, i32 hint) {
    i32 tallest = CHeaderFrame::GetPrefHeight(ctx, hint);
    for (i32 i = 0; CRespText* item = Item(i); ++i)
        tallest = std::max(tallest, item->GetPrefHeight(ctx, 0));
    return tallest;
}

void CHeaderFrameH::PlaceItemAtY(i32 index, i32 y, LDrawCtx* ctx) {
    CRespText* item = Item(index);
    if (!item) return;
    const i32 top = y - item->GetPrefHeight(ctx, -10);
    PlaceRect(item, LRect(3, top, fBounds.Width() - 3, top + item->GetPrefHeight(ctx, 0)));
}

bool CHeaderFrameH::SetItemText(i32 index, const LString& text) {
    CRespText* item = Item(index);
    return item && item->SetText(text);
}

bool CHeaderFrameH::SetItemStyle(i32 index, const LTextStyle& style, LDrawCtx* ctx) {
    CRespText* item = Item(index);
    if (!item) return false;
    const i32 oldBase = item->GetPrefHeight(ctx, -10);
    if (!item->SetStyle(style.fFont)) return false;
    // The baseline stays where it was.
    const i32 top = item->Bounds().top + oldBase - item->GetPrefHeight(ctx, -10);
    PlaceRect(item, LRect(3, top, fBounds.Width() - 3, top + item->GetPrefHeight(ctx, 0)));
    return true;
}

// ---- CHeaderFrameV

void CHeaderFrameV::BoundsChanged(const LRect& old) {
    if (old.Height() != fBounds.Height()) {
        for (i32 i = 0; CRespText* item = Item(i); ++i) {
            LRect r = item->Bounds();
            r.top = 0;
            r.bottom = fBounds.Height();
            PlaceRect(item, r);
        }
        Reflow(nullptr);
    }
    CHeaderFrame::BoundsChanged(old);
}

i32 CHeaderFrameV::GetPrefHeight(LDrawCtx* ctx, i32) {
    i32 tallest = 0;
    for (i32 i = 0; CRespText* item = Item(i); ++i)
        tallest = std::max(tallest, item->GetPrefHeight(ctx, 0));
    return tallest;
}

void CHeaderFrameV::StateChanged(u32 op) {
    CHeaderFrame::StateChanged(op);
    if (op != kOpStyleChanged) return;
    LDrawCtx ctx;
    for (i32 i = 0; CRespText* item = Item(i); ++i)
        if (item->State() & kVisible) Replace(item, &ctx);
}

i32 CHeaderFrameV::GetPrefWidth(LDrawCtx* ctx, i32) {
    i32 right = 0;
    for (i32 i = 0; CRespText* item = Item(i); ++i)
        if ((item->State() & kVisible) && !item->GetText().IsEmpty())
            right = std::max(right, item->Bounds().left + item->GetPrefWidth(ctx, 0));
    return right;
}

void CHeaderFrameV::PlaceItemAtX(i32 index, i32 x, u32 alignment, LDrawCtx* ctx) {
    CRespText* item = Item(index);
    if (!item || !item->CanBeHit()) return;
    const i32 w = item->GetPrefWidth(ctx, 0);
    const i32 left = alignment == 1 ? x - w / 2 : (alignment == 2 ? x - w : x);
    PlaceRect(item, LRect(left, 0, left + w, fBounds.Height()));
    item->SetItemAlignment(alignment);
    Reflow(ctx);
    AskForRoom(ctx);
}

void CHeaderFrameV::AskForRoom(LDrawCtx* ctx) {
    const i32 need = GetPrefWidth(ctx, 0);
    if (fBounds.IsEmpty() || need <= fBounds.Width() || need == fAskedWidth || !fContainer) return;
    fAskedWidth = need;
    Send(LPane_Pref, this, fContainer);
}

void CHeaderFrameV::Replace(CRespText* item, LDrawCtx* ctx) {
    const LRect& b = item->Bounds();
    const i32 w = item->GetPrefWidth(ctx, 0);
    i32 left = b.left;
    if (item->ItemAlignment() == 1)
        left = (b.left + b.right) / 2 - w / 2;
    else if (item->ItemAlignment() == 2)
        left = b.right - w;
    PlaceRect(item, LRect(left, b.top, left + w, b.bottom));
    Reflow(ctx);
    AskForRoom(ctx);
}

void CHeaderFrameV::Reflow(LDrawCtx* ctx) {
    std::vector<CRespText*> shown;
    for (i32 i = 0; CRespText* item = Item(i); ++i)
        if (item->State() & kVisible) shown.push_back(item);
    std::stable_sort(shown.begin(), shown.end(), [](CRespText* a, CRespText* b) {
        return a->Bounds().left < b->Bounds().left;
    });
    for (size_t i = 0; i < shown.size(); ++i) {
        LRect r = shown[i]->Bounds();
        r.right = r.left + shown[i]->GetPrefWidth(ctx, 0);
        if (i + 1 < shown.size()) r.right = std::min(r.right, shown[i + 1]->Bounds().left);
        PlaceRect(shown[i], r);
    }
}

bool CHeaderFrameV::SetItemText(i32 index, const LString& text) {
    CRespText* item = Item(index);
    if (!item || !item->SetText(text)) return false;
    Replace(item, nullptr);
    return true;
}

bool CHeaderFrameV::SetItemStyle(i32 index, const LTextStyle& style, LDrawCtx* ctx) {
    CRespText* item = Item(index);
    if (!item || !item->SetStyle(style.fFont)) return false;
    Replace(item, ctx);
    return true;
}
