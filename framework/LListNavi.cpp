#include "framework/LListNavi.h"

#include <algorithm>
#include <cstdlib>

#include "framework/InputState.h"
#include "framework/LStdCtl.h"
#include "framework/LThemeFrame.h"
#include "framework/LWindow.h"
#include "services/WindowServices.h"

namespace {

// The list-box border: one pixel around the navigator's inset bounds.
const CBevelDrawer& BorderStyle() {
    static const CBevelDrawer sStyle;
    return sStyle;
}

LRect Inset1(const LRect& r) {
    LRect i = r;
    i.Inset(1, 1);
    return i;
}

i32 Pref(LPane* p, bool width) {
    if (!p) return 0;
    LDrawCtx ctx;
    return width ? p->GetPrefWidth(&ctx, 0) : p->GetPrefHeight(&ctx, 0);
}

}  // namespace

LListNavi::LListNavi(LPane* owner, u32 options, bool clickTakesFocus)
    : LFrame(owner, owner), fOptions(options), fClickTakesFocus(clickTakesFocus) {
    CreateScrollBars();
}

LListNavi::~LListNavi() {
    delete fHBar;
    fHBar = nullptr;
    delete fVBar;
    fVBar = nullptr;
}

void LListNavi::CreateScrollBars() {
    auto make = [this](LScrollBar*& bar, bool wanted, u32 orientation) {
        if (wanted && !bar) {
            bar = new LScrollBar(this, orientation, 1);
            if (IsShown()) bar->SetState(kOpContainerShown);
            if ((fState & 10) == 10) bar->SetState(kOpContainerActive);
        } else if (!wanted && bar) {
            delete bar;
            bar = nullptr;
        }
    };
    make(fVBar, fOptions & kVerticalBar, 1);
    make(fHBar, fOptions & kHorizontalBar, 0);
}

void LListNavi::SetList(LListPane* list) {
    if (fList) fList->SetState(kOpHide);
    fList = list;
    if (fList) fList->SetState(kOpShow);
    Layout();
    auto scroll = [this] {
        if (fHBar) ScrollToColumn(fHBar->GetValue());
        if (fVBar) ScrollToRow(fVBar->GetValue());
    };
    scroll();
    UpdateScrollBars();
    scroll();
}

void LListNavi::ScrollToColumn(i32 col) {
    LListPane* t = fList ? fList : fColHeader;
    if (!t) return;
    const i32 first = std::clamp(col, 0, std::max(t->GetMaxScrollCol(), t->First().col));
    t->SetScrollPos(LCell{first, t->First().row});
    if (fList && fColHeader) fColHeader->SetScrollPos(LCell{first, fColHeader->First().row});
}

void LListNavi::ScrollToRow(i32 row) {
    LListPane* t = fList ? fList : fRowHeader;
    if (!t) return;
    const i32 first = std::clamp(row, 0, std::max(t->GetMaxScrollRow(), t->First().row));
    t->SetScrollPos(LCell{t->First().col, first});
    if (fList && fRowHeader) fRowHeader->SetScrollPos(LCell{fRowHeader->First().col, first});
}

void LListNavi::UpdateScrollBars() {
    if (fHBar) {
        LListPane* r = fList ? fList : fColHeader;
        if (!r) {
            fHBar->SetRange(0, 0, 0, 1);
        } else {
            fColStep = r->CellWidth() < 9 ? 16 / r->CellWidth() : 1;
            fHBar->SetRange(r->First().col, 0, std::max(r->GetMaxScrollCol(), r->First().col),
                            std::max(r->GetVisibleColsFull() - 1, 1));
        }
    }
    if (fVBar) {
        LListPane* r = fList ? fList : fRowHeader;
        if (!r) {
            fVBar->SetRange(0, 0, 0, 1);
        } else {
            fRowStep = r->CellHeight() < 9 ? 16 / r->CellHeight() : 1;
            fVBar->SetRange(r->First().row, 0, std::max(r->GetMaxScrollRow(), r->First().row),
                            std::max(r->GetVisibleRowsFull() - 1, 1));
        }
    }
}

LMessage LListNavi::HandleBar(const LMessage& msg, bool horizontal) {
    LListPane* r = fList ? fList : (horizontal ? fColHeader : fRowHeader);
    if (!r) return LFrame::HandleMessage(msg);
    LScrollBar* bar = horizontal ? fHBar : fVBar;
    const i32 first = horizontal ? r->First().col : r->First().row;
    const i32 step = std::max(horizontal ? fColStep : fRowStep, 1);
    const i32 page = std::max((horizontal ? r->GetVisibleColsFull() : r->GetVisibleRowsFull()) -
                                  (horizontal ? fColStep : fRowStep),
                              1);
    i32 target;
    if (msg.Is(LScrollBar_Thumb))
        target = bar->GetValue();
    else if (msg.Is(LScrollBar_Up))
        target = first - step;
    else if (msg.Is(LScrollBar_Dw))
        target = first + step;
    else if (msg.Is(LScrollBar_PgUp))
        target = first - page;
    else if (msg.Is(LScrollBar_PgDw))
        target = first + page;
    else
        return LFrame::HandleMessage(msg);
    if (horizontal)
        ScrollToColumn(target);
    else
        ScrollToRow(target);
    Send(LListNavi_Navi, this, fParent);
    return PassFocusRequest();
}

LMessage LListNavi::HandleMessage(const LMessage& msg) {
    if (msg.Is(LListPane_Change) && msg.source) {
        if (fList && msg.source == fList) {
            UpdateScrollBars();
            if (fColHeader && fColHeader->First().col != fList->First().col)
                fColHeader->SetScrollPos(LCell{fList->First().col, fColHeader->First().row});
            if (fRowHeader && fRowHeader->First().row != fList->First().row)
                fRowHeader->SetScrollPos(LCell{fRowHeader->First().col, fList->First().row});
            return LMessage();
        }
        if (fColHeader && msg.source == fColHeader) {
            if (!fList) {
                UpdateScrollBars();
                return LMessage();
            }
            if (fColHeader->First().col != fList->First().col)
                fList->SetScrollPos(LCell{fColHeader->First().col, fList->First().row});
            return LMessage();
        }
        if (fRowHeader && msg.source == fRowHeader) {
            if (!fList) {
                UpdateScrollBars();
                return LMessage();
            }
            if (fRowHeader->First().row != fList->First().row)
                fList->SetScrollPos(LCell{fList->First().col, fRowHeader->First().row});
            return LMessage();
        }
        return LFrame::HandleMessage(msg);
    }
    if (fHBar && msg.source == fHBar) return HandleBar(msg, true);
    if (fVBar && msg.source == fVBar) return HandleBar(msg, false);
    LMouse* mouse = LMouse::Instance();
    if (mouse && msg.Is(LMouse_Wheel)) {
        const i32 dy = mouse->GetWheelY();
        const i32 dx = mouse->GetWheelX();
        if (std::abs(dy) >= std::abs(dx)) {
            LListPane* r = fList ? fList : fRowHeader;
            if (!fVBar || !r || r->Rows() < 2) return LFrame::HandleMessage(msg);
            const i32 steps = mouse->TakeWheelStepsY(
                std::max(r->GetVisibleRowsFull() - fRowStep, 1), r->CellHeight() / 2);
            if (steps == 0) return LMessage();
            ScrollToRow(r->First().row - steps);
        } else {
            LListPane* r = fList ? fList : fColHeader;
            if (!fHBar || !r || r->Cols() < 2) return LFrame::HandleMessage(msg);
            const i32 steps = mouse->TakeWheelStepsX(
                std::max(r->GetVisibleColsFull() - fColStep, 1), r->CellWidth() / 2);
            if (steps == 0) return LMessage();
            ScrollToColumn(r->First().col - steps);
        }
        Send(LListNavi_Navi, this, fParent);
        return LMessage();
    }
    if (fClickTakesFocus && msg.Is(LMouse_Click)) return PassFocusRequest();
    return LFrame::HandleMessage(msg);
}

void LListNavi::Layout() {
    const i32 width = fBounds.Width();
    const i32 height = fBounds.Height();
    LRect area(1, 1, width - 1, height - 1);
    LNativeWindow native = GetNativeWindow();
    const i32 g = WindowServices().GrowBoxWidth(native);
    // The window's content in the navigator's own coordinates.
    LRect w;
    {
        LDrawEnv env;
        GetDrawEnv(&env);
        const LRect content = WindowServices().GetContentRect(native);
        w = LRect(-env.fOriginX, -env.fOriginY, content.Width() - env.fOriginX,
                  content.Height() - env.fOriginY);
    }
    const i32 ch = fColHeader ? fColHeader->Bounds().Height() : 0;
    const i32 rw = fRowHeader ? fRowHeader->Bounds().Width() : 0;
    if (fColHeader) {
        if (fOptions & kColumnHeaderBelow)
            area.bottom -= ch;
        else
            area.top += ch;
    }
    if (fRowHeader) {
        if (fOptions & kRowHeaderRight)
            area.right -= rw;
        else
            area.left += rw;
    }
    const i32 bh = fHBar ? Pref(fHBar, false) : 0;
    const i32 bw = fVBar ? Pref(fVBar, true) : 0;
    if (fHBar) {
        if (fOptions & kHorizontalBarTop)
            area.top += bh;
        else
            area.bottom -= bh;
    }
    if (fVBar) {
        if (fOptions & kVerticalBarLeft)
            area.left += bw;
        else
            area.right -= bw;
    }
    if (fHBar) {
        LRect b(area.left, 0, area.right, 0);
        if (fOptions & kHorizontalBarTop) {
            b.top = 1;
            b.bottom = 1 + bh;
        } else {
            b.bottom = height - 1;
            b.top = b.bottom - bh;
            if (std::max(w.bottom, b.bottom) - g + 1 < b.bottom)
                b.right = std::min(b.right, std::max(w.right, width - 1) - g);
        }
        fHBar->SetBounds(b);
    }
    if (fVBar) {
        LRect b(0, area.top, 0, area.bottom);
        if (fOptions & kVerticalBarLeft) {
            b.left = 1;
            b.right = 1 + bw;
        } else {
            b.right = width - 1;
            b.left = b.right - bw;
            if (std::max(w.right, b.right) - g + 1 < b.right)
                b.bottom = std::min(b.bottom, std::max(w.bottom, height - 1) - g);
        }
        fVBar->SetBounds(b);
    }
    LRect colHdr, rowHdr;
    if (fColHeader) {
        colHdr = (fOptions & kColumnHeaderBelow)
                     ? LRect(area.left, area.bottom, area.right, area.bottom + ch)
                     : LRect(area.left, area.top - ch, area.right, area.top);
        fColHeader->SetBounds(colHdr);
    }
    if (fRowHeader) {
        rowHdr = (fOptions & kRowHeaderRight)
                     ? LRect(area.right, area.top, area.right + rw, area.bottom)
                     : LRect(area.left - rw, area.top, area.left, area.bottom);
        fRowHeader->SetBounds(rowHdr);
    }
    if (fList) fList->SetBounds(area);
    if (fCorner && fColHeader && fRowHeader)
        fCorner->SetBounds(LRect(rowHdr.left, colHdr.top, rowHdr.right, colHdr.bottom));
}

i32 LListNavi::GetPrefWidth(LDrawCtx*, i32 hint) {
    return PrefAlong(true, hint);
}

i32 LListNavi::GetPrefHeight(LDrawCtx*, i32 hint) {
    return PrefAlong(false, hint);
}

// Widths and heights mirror each other: the bar and header that run along the
// measured axis swap places with the ones across it.
i32 LListNavi::PrefAlong(bool width, i32 hint) {
    LPane* alongBar = width ? fHBar : fVBar;
    LPane* crossBar = width ? fVBar : fHBar;
    LPane* alongHdr = width ? fColHeader : fRowHeader;
    LPane* crossHdr = width ? fRowHeader : fColHeader;
    const i32 g = WindowServices().GrowBoxWidth(GetNativeWindow());
    const i32 ab = Pref(alongBar, width);
    const i32 cb = Pref(crossBar, width);
    const i32 hdr = std::max({0, Pref(crossHdr, width), Pref(fCorner, width)});
    switch (hint) {
        case -3:
            return 1;
        case -2:
            return (alongBar ? ab + 2 : 2) + (crossBar ? cb : g);
        case -1:
        case 3:
            return (crossBar ? cb + 2 : 2) + hdr;
        case 1:
            return std::max(Pref(fList, width), Pref(alongHdr, width)) + cb + hdr + 2;
        case 2:
            return (alongBar ? ab + 2 : 2) + cb +
                   std::max(Pref(crossHdr, width), Pref(fCorner, width));
        default:
            return std::max({0, Pref(fList, width), Pref(alongHdr, width)});
    }
}

LRgn LListNavi::BorderRing(const LRect& bounds, u32 state) const {
    LRgn ring, unused;
    LThemeFrame::AddBorderRgn(BorderStyle(), Inset1(bounds), state, &ring, &unused);
    return ring;
}

void LListNavi::InvalidateRing(u32 state) {
    const LRgn ring = BorderRing(fBounds, state);
    if (fContainer && !ring.IsEmpty()) fContainer->InvalidateRect(ring, ring);
}

void LListNavi::Draw(LDrawCtx& ctx) {
    const u32 state =
        (fClickTakesFocus && (fState & (kFocused | kWindowKey)) == (kFocused | kWindowKey)) ? 7 : 3;
    const LRect inner = Inset1(fBounds);
    ctx.ApplyClip();
    LThemeFrame::Draw(BorderStyle(), ctx, &inner, state);
    LFrame::Draw(ctx);
}

i32 LListNavi::TouchesRgn(const LRgn& region) {
    return (fState & kVisible) && BorderStyle().TouchesRgn(region, Inset1(fBounds), 0) ? 1 : 0;
}

void LListNavi::InvalidateRect(const LRgn& redraw, const LRgn& erase) {
    LRgn ring = BorderRing(LRect(0, 0, fBounds.Width(), fBounds.Height()), 6);
    ring.Intersect(redraw);
    LRgn e = erase;
    e.Union(ring);
    LFrame::InvalidateRect(redraw, e);
}

void LListNavi::StateChanged(u32 op) {
    LFrame::StateChanged(op);
    switch (op) {
        case kOpFocus:
        case kOpUnfocus:
        case kOpWindowKey:
        case kOpWindowUnkey:
            if (fClickTakesFocus && IsShown()) InvalidateRing(7);
            break;
        case kOpShow:
        case kOpHide:
            if ((fState & kContainerShown) && fContainer) InvalidateRing(7);
            break;
        case kOpStyleChanged:
            if (fColHeader || fRowHeader) {
                Layout();
                UpdateScrollBars();
            }
            break;
        default:
            break;
    }
}

void LListNavi::BoundsChanged(const LRect& old) {
    if (IsShown() && fContainer) {
        LRgn rings = BorderRing(old, 7);
        rings.Union(BorderRing(fBounds, 7));
        fContainer->InvalidateRect(rings, rings);
    }
    Layout();
    UpdateScrollBars();
    LFrame::BoundsChanged(old);
}
