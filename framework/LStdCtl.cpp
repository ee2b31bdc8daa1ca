#include "framework/LStdCtl.h"

#include <algorithm>
#include <cmath>

#include "framework/InputState.h"
#include "framework/LTextBox.h"
#include "framework/MousePoint.h"

namespace {

LMessage Answer(const char* name, LHandler* source, LHandler* target) {
    return LMessage{name, source, target};
}

}  // namespace

// ---- LStdCtl

LStdCtl::LStdCtl(LPane* parent, const LTextStyle& style, LControlKind kind, bool continuous)
    : LPane(parent, parent), fFont(style.fFont) {
    LDrawEnv env;
    GetDrawEnv(&env);
    fHost = env.fWindow;
    if (style.fExplicit) {
        fNative = static_cast<LNativeControl*>(const_cast<void*>(style.fPointer));
    } else {
        fNative = ControlServices().MakeControl(kind, this, fHost, continuous);
    }
    if (fNative) {
        if (!WantsEnabled()) fNative->SetEnabled(false);
        ApplyFont();
    }
    SyncFrame();
}

LStdCtl::~LStdCtl() {
    fFrameTimer.Stop();
    if (fNative) fNative->Remove();
    delete fNative;
    fNative = nullptr;
}

void LStdCtl::ApplyFont() {
    if (!fNative) return;
    LNativeFont* font = fFont.IsEmpty() ? nullptr : fFont.GetNativeFont();
    fNative->SetFont(font);
    fNative->SetSmall(font && font->PointSize() <= ControlServices().SmallSystemFontSize());
}

void LStdCtl::ApplyEnabled() {
    if (!fNative) return;
    const bool want = WantsEnabled();
    if (fNative->IsEnabled() != want) fNative->SetEnabled(want);
}

void LStdCtl::SyncFrame() {
    if (!fNative) return;
    if (!IsShown() || fBounds.IsEmpty()) {
        fNative->Remove();
        return;
    }
    if (ControlServices().HostIsDrawing(fHost)) {
        // Moving views while the host draws upsets it: place for real afterwards.
        fNative->SetLocalFrame(fBounds.Width(), fBounds.Height());
        fFrameTimer.Start(0u);
        return;
    }
    LDrawEnv env;
    GetDrawEnv(&env);
    LRect frame = MapNativeFrame(GetNativeBounds()).GetBounds();
    frame.Offset(env.fOriginX, env.fOriginY);
    LRect visible = env.fClip.GetBounds();
    visible.Intersect(frame);
    if (visible.IsEmpty()) {
        fNative->Remove();
    } else if (visible == frame) {
        fNative->PlaceWhole(frame);
    } else {
        fNative->PlaceClipped(visible, frame);
    }
}

LRgn LStdCtl::MapNativeFrame(const LRect& rect) {
    return LRgn(rect);
}

void LStdCtl::StateChanged(u32 op) {
    switch (op) {
        case kOpShow:
        case kOpContainerShown:
            if (IsShown()) {
                SyncFrame();
                if (op == kOpContainerShown && fNative) fNative->RedisplayVisible();
            }
            break;
        case kOpHide:
        case kOpContainerHidden: {
            const u32 need = op == kOpHide ? kContainerShown : kVisible;
            if (!(fState & need)) break;
            if (op == kOpContainerHidden && fNative) fNative->RedisplayVisible();
            SyncFrame();
            if (fContainer) {
                LRgn area = MapNativeFrame(fBounds);
                fContainer->InvalidateRect(area, area);
            }
            break;
        }
        case kOpEnable:
        case kOpDisable:
        case kOpContainerActive:
        case kOpContainerInactive:
        case kOpDim:
        case kOpUndim:
        case kOpContainerDim:
        case kOpContainerUndim:
            ApplyEnabled();
            break;
        case kOpMoved:
            SyncFrame();
            break;
        case kOpStyleChanged:
            ApplyFont();
            break;
        default:
            LPane::StateChanged(op);
            break;
    }
}

void LStdCtl::BoundsChanged(const LRect& old) {
    LPane::BoundsChanged(old);
    SyncFrame();
}

i32 LStdCtl::TouchesRgn(const LRgn& region) {
    if (!(fState & kVisible)) return 0;
    LRgn area = MapNativeFrame(fBounds);
    area.Intersect(region);
    return area.IsEmpty() ? 0 : 1;
}

void LStdCtl::Draw(LDrawCtx& ctx) {
    // A control with a window draws itself; one without is painted into the context.
    if (!fNative || fNative->HasWindow()) return;
    ctx.ApplyClip();
    fNative->DrawInto(ctx.fNative, fBounds);
}

LPoint LStdCtl::MouseLocal() {
    return MousePointIn(this);
}

LMessage LStdCtl::TrackMouse(LPoint local) {
    (void)local;
    if (fNative) fNative->MouseDown();
    return LMessage();
}

void LStdCtl::SendSelected() {
    Send(LStdCtl_Selected, this, fParent);
}

LMessage LStdCtl::HandleMessage(const LMessage& msg) {
    if (msg.Is(LMouse_Click) && msg.source == LMouse::Instance() && msg.source) {
        if (!IsFocusable()) return LPane::HandleMessage(msg);
        const LPoint local = MouseLocal();
        if (fNative && !fNative->HasWindow()) SyncFrame();
        RequestClickFocus();
        return TrackMouse(local);
    }
    if (msg.Is(LTimer_Expire) && msg.source == &fFrameTimer) {
        SyncFrame();
        return LMessage();
    }
    return LPane::HandleMessage(msg);
}

void LStdCtl::SetTitle(const LString& title) {
    if (fNative && !(fNative->Title() == title)) fNative->SetTitle(title);
}

LString LStdCtl::GetTitle() const {
    return fNative ? fNative->Title() : LString();
}

i32 LStdCtl::Baseline(i32 height) {
    LNativeFont* f = fFont.IsEmpty() ? nullptr : fFont.GetNativeFont();
    if (!f) return 0;
    return i32(f->Ascender() + (height + f->Descender() - f->Ascender()) / 2);
}

i32 LStdCtl::FontLineHeight() {
    LNativeFont* f = fFont.IsEmpty() ? nullptr : fFont.GetNativeFont();
    return f ? i32(std::ceil(f->Ascender() - f->Descender())) : 0;
}

i32 LStdCtl::TextWidth(const char* text) {
    return LTextBox::MeasureText(fFont, text, StrLen(text));
}

void LStdCtl::CellSize(i32* w, i32* h) const {
    *w = *h = 0;
    if (fNative) fNative->GetCellSize(w, h);
}

// ---- LStdButton

LStdButton::LStdButton(LPane* parent, const LTextStyle& style)
    : LStdCtl(parent, style, LControlKind::kPushButton) {}

i32 LStdButton::GetPrefWidth(LDrawCtx*, i32 hint) {
    i32 w, h;
    CellSize(&w, &h);
    if (hint == -13) return TextWidth("x");
    if (hint == -11) return 8;
    if (hint == 0) return std::max(w, 58);
    return w;
}

i32 LStdButton::GetPrefHeight(LDrawCtx* ctx, i32 hint) {
    if (hint == -12) return Baseline(fBounds.Height());
    if (hint == -10) return Baseline(GetPrefHeight(ctx, 0));
    i32 w, h;
    CellSize(&w, &h);
    return h;
}

void LStdButton::SetDefault(bool on) {
    fDefault = on;
    if (fNative) fNative->SetKeyEquivalent(on ? "\r" : "");
}

void LStdButton::Highlight(bool on) {
    if (fNative) fNative->Highlight(on);
}

// ---- LStdCheck

LStdCheck::LStdCheck(LPane* parent, const LTextStyle& style)
    : LStdCheck(parent, style, LControlKind::kCheckBox) {
    // A zero-width space: the box keeps its title cell without showing text.
    if (fNative) fNative->SetTitle("\xE2\x80\x8B");
}

LStdCheck::LStdCheck(LPane* parent, const LTextStyle& style, LControlKind kind)
    : LStdCtl(parent, style, kind) {}

u8 LStdCheck::GetState() const {
    return fNative && fNative->GetState() != 0 ? 1 : 0;
}

void LStdCheck::SetState(u8 state) {
    fValue = state;
    if (fNative) fNative->SetState(state);
}

void LStdCheck::SendSelected() {
    // The platform toggled the box already; whether it changes is the handlers' call.
    if (fNative) fNative->SetState(fValue);
    Send(LStdCtl_Selected, this, fParent);
}

LMessage LStdCheck::HandleMessage(const LMessage& msg) {
    LKeyboard* kb = LKeyboard::Instance();
    if (msg.Is(LKeyboard_Down) && kb && kb->fChar == ' ' && (fState & kFocused) && IsUsable() &&
        !kb->IsCommandDown()) {
        // Space acts on the focused box as on its native control: as a click.
        SendSelected();
        return LMessage();
    }
    if (msg.source == this && msg.Is(LStdCtl_Selected)) {
        const i32 native = fNative ? fNative->GetState() : 0;
        SetState(native < 1 ? 1 : 0);
        return Answer(LStdCheck_Change, this, fParent);
    }
    return LStdCtl::HandleMessage(msg);
}

i32 LStdCheck::GetPrefWidth(LDrawCtx*, i32) {
    i32 w, h;
    CellSize(&w, &h);
    return w;
}

i32 LStdCheck::GetPrefHeight(LDrawCtx* ctx, i32 hint) {
    if (hint == -12) return Baseline(fBounds.Height());
    if (hint == -10) return Baseline(GetPrefHeight(ctx, 0));
    if (hint == -1) return FontLineHeight() + 2;
    i32 w, h;
    CellSize(&w, &h);
    return (w > 0 && h > 0) ? h : 16;
}

// ---- CRadioBtn

CRadioBtn::CRadioBtn(LPane* parent, const LTextStyle& style)
    : LStdCheck(parent, style, LControlKind::kRadioButton) {}

CRadioBtn::~CRadioBtn() {
    // Leave the ring, so that no button keeps pointing at this one.
    CRadioBtn* before = nullptr;
    Walk([&](CRadioBtn* b) {
        if (b->fNext == this) before = b;
        return before == nullptr;
    });
    if (before) before->fNext = fNext == before ? nullptr : fNext;
    fNext = nullptr;
}

template <class F>
void CRadioBtn::Walk(F fn) const {
    // One round: a ring broken elsewhere must not keep the walk going for ever.
    std::vector<const CRadioBtn*> seen;
    for (const CRadioBtn* b = this; b; b = b->fNext) {
        if (std::find(seen.begin(), seen.end(), b) != seen.end()) return;
        seen.push_back(b);
        if (!fn(const_cast<CRadioBtn*>(b))) return;
    }
}

void CRadioBtn::SendSelected() {
    if (fNative) fNative->SetState(0);
    Send(LStdCtl_Selected, this, fParent);
}

LMessage CRadioBtn::HandleMessage(const LMessage& msg) {
    if (msg.source == this && msg.Is(LStdCtl_Selected)) {
        if (GetState()) return LMessage();
        SelectIndex(0);
        return Answer(LStdCheck_Change, this, fParent);
    }
    return LStdCheck::HandleMessage(msg);
}

void CRadioBtn::SelectIndex(i32 n) {
    i32 i = 0;
    Walk([&](CRadioBtn* b) {
        b->SetState(i++ == n ? 1 : 0);
        return true;
    });
}

i32 CRadioBtn::SelectedIndex() const {
    i32 i = 0, found = -1;
    Walk([&](CRadioBtn* b) {
        if (b->GetState()) found = i;
        ++i;
        return found < 0;
    });
    return found;
}

LRgn CRadioBtn::MapNativeFrame(const LRect& rect) {
    LRect r = rect;
    r.top -= 1;
    r.bottom += 1;
    return LRgn(r);
}

// ---- LPopupList

LPopupList::LPopupList(LPane* parent, const LTextStyle& style, u32 flags)
    : LStdCtl(parent, style, LControlKind::kPopup), fFlags(flags) {
    if (fNative) fNative->RemoveAllItems();
}

LPopupList::~LPopupList() {
    if (fNative) fNative->RemoveAllItems();
}

LMessage LPopupList::HandleMessage(const LMessage& msg) {
    if (msg.source == this && msg.Is(LStdCtl_Selected)) {
        const i32 chosen = fNative ? fNative->SelectedItem() : -1;
        if (chosen == fSelected) return LMessage();
        fSelected = chosen;
        return Answer(LPopupList_Changed, this, fParent);
    }
    if (msg.Is(LTitlePane_Constructing)) {
        if (!fTitlePane) fTitlePane = static_cast<LPane*>(msg.source);
        return LMessage();
    }
    if (msg.Is(LTitlePane_Destructing) && msg.source == fTitlePane && fTitlePane) {
        fTitlePane = nullptr;
        return LMessage();
    }
    return LStdCtl::HandleMessage(msg);
}

LRgn LPopupList::MapNativeFrame(const LRect& rect) {
    LRect r = rect;
    r.Inset(-1, -2);
    return LRgn(r);
}

void LPopupList::InsertItem(const LString& title, i32 index) {
    index = std::clamp(index, 0, Count());
    fItems.insert(fItems.begin() + index, title);
    if (fNative) fNative->InsertItem(title, index);
    if (fSelected >= index) {
        ++fSelected;
        if (fNative) fNative->SelectItem(fSelected);
    }
}

void LPopupList::AddItem(const LString& title) {
    i32 at = Count();
    if (fFlags & kSorted) {
        for (i32 i = 0; i < Count(); ++i) {
            if (StrComparePrefix(title.CStr(), fItems[size_t(i)].CStr()) < 0) {
                at = i;
                break;
            }
        }
    }
    InsertItem(title, at);
}

i32 LPopupList::Select(i32 index) {
    index = Count() == 0 ? 0 : std::clamp(index, 0, Count() - 1);
    if (index == fSelected) return index;
    fSelected = index;
    if (fNative && Count() > 0) fNative->SelectItem(index);
    return index;
}

i32 LPopupList::GetPrefWidth(LDrawCtx*, i32 hint) {
    if (hint == -3 || (fFlags & kFixedWidth)) return 36;
    if (hint == -13) return TextWidth("M");
    i32 widest = 0;
    for (const LString& t : fItems) widest = std::max(widest, TextWidth(t.CStr()));
    return widest + 36;
}

i32 LPopupList::GetPrefHeight(LDrawCtx* ctx, i32 hint) {
    if (hint == -12) return Baseline(fBounds.Height());
    if (hint == -10) return Baseline(GetPrefHeight(ctx, 0));
    if (hint == -11 || hint == -1) return 1;
    i32 w, h;
    CellSize(&w, &h);
    return (w > 0 && h > 0) ? h : FontLineHeight() + 4;
}

// ---- LScrollBar

LScrollBar::LScrollBar(LPane* parent, u32 orientation, u8 continuous)
    : LStdCtl(parent, DefaultTextStyle(), LControlKind::kScroller, continuous != 0),
      fOrientation(orientation),
      fContinuous(continuous) {
    if (fNative) {
        // The native starts vertical; a horizontal bar drawn and dragged as a
        // vertical one moves the wrong way under the hand.
        fNative->SetVertical(IsVertical());
        fNative->SetEnabled(false);
    }
}

i32 LScrollBar::ScrollerWidth() {
    return ControlServices().ScrollerWidth(GetNativeWindow());
}

i32 LScrollBar::GetPrefWidth(LDrawCtx*, i32) {
    return IsVertical() ? ScrollerWidth() : 4 * ScrollerWidth();
}

i32 LScrollBar::GetPrefHeight(LDrawCtx*, i32) {
    return IsVertical() ? 4 * ScrollerWidth() : ScrollerWidth();
}

void LScrollBar::StateChanged(u32 op) {
    // An empty range keeps the bar disabled whatever the container does.
    if (op == kOpContainerActive && fMax <= fMin) return;
    LStdCtl::StateChanged(op);
}

void LScrollBar::SendSelected() {
    const char* name = nullptr;
    switch (fNative ? fNative->HitPart() : kScrollPartNone) {
        case kScrollPartPageUp:
            name = LScrollBar_PgUp;
            break;
        case kScrollPartKnob:
        case kScrollPartKnobSlot:
            name = LScrollBar_Thumb;
            break;
        case kScrollPartPageDown:
            name = LScrollBar_PgDw;
            break;
        case kScrollPartUp:
            name = LScrollBar_Up;
            break;
        case kScrollPartDown:
            name = LScrollBar_Dw;
            break;
        default:
            return;
    }
    Send(name, this, fParent);
}

LMessage LScrollBar::HandleMessage(const LMessage& msg) {
    if (msg.source == this) {
        i32 step = 0;
        bool mine = true;
        if (msg.Is(LScrollBar_Up)) {
            step = -1;
        } else if (msg.Is(LScrollBar_Dw)) {
            step = 1;
        } else if (msg.Is(LScrollBar_PgUp)) {
            step = -fPage;
        } else if (msg.Is(LScrollBar_PgDw)) {
            step = fPage;
        } else if (!msg.Is(LScrollBar_Thumb)) {
            mine = false;
        }
        if (mine) {
            const i32 before = GetValue();
            SetValue(before + step);
            if (step != 0 && GetValue() == before) return LMessage();
            return Answer(LScrollBar_Change, this, fParent);
        }
    }
    return LStdCtl::HandleMessage(msg);
}

i32 LScrollBar::GetValue() const {
    if (fMax <= fMin || !fNative) return fMin;
    return i32(std::lround(fNative->FloatValue() * f32(fMax - fMin) + f32(fMin)));
}

void LScrollBar::SetValue(i32 value) {
    if (!fNative) return;
    f32 v = 0;
    if (fMax > fMin) v = std::clamp(f32(value - fMin) / f32(fMax - fMin), 0.0f, 1.0f);
    fNative->SetFloatValue(v);
}

void LScrollBar::SetRange(i32 value, i32 min, i32 max, i32 page) {
    fMin = min;
    fMax = max;
    fPage = page;
    if (!fNative) return;
    // The knob first: a native that has nothing to scroll keeps no value.
    if (max > min) {
        const f32 span = f32(max - min);
        fNative->SetKnobProportion(std::clamp(f32(page) / (span + f32(page)), 0.0f, 1.0f));
        fNative->SetFloatValue(std::clamp(f32(value - min) / span, 0.0f, 1.0f));
    } else {
        // The whole track: the knob of a range that has emptied would still
        // offer the scroll it had.
        fNative->SetKnobProportion(1.0f);
        fNative->SetFloatValue(0.0f);
    }
    const bool want = max > min && WantsEnabled();
    if (fNative->IsEnabled() != want) fNative->SetEnabled(want);
}

// ---- CStateButton

CStateButton::CStateButton(LPane* parent, const LTextStyle& style, u32 options)
    : LStdCtl(parent, style, LControlKind::kStateButton),
      fSmall((options & kSmall) ? 1 : 0),
      fStamp(GraphicsServices().NowMs()) {
    LSharedImage::InitEmptyRef(&fImage);
    if (fNative && fSmall) fNative->SetSmall(true);
}

void CStateButton::SetHighlighted(bool on) {
    if (IsHighlighted() == on) return;
    fTrack ^= 2;
    if (fNative) fNative->Highlight(on);
    Send(on ? CStateButton_Push : CStateButton_Unpush, this, fParent);
}

LMessage CStateButton::TrackMouse(LPoint) {
    SetHighlighted(true);
    return Answer(LPane_ReqCapture, this, fParent);
}

LMessage CStateButton::HandleMessage(const LMessage& msg) {
    LMouse* mouse = LMouse::Instance();
    if (mouse && msg.source == mouse) {
        if (msg.Is(LMouse_Click) && mouse->IsDoubleClick(&fStamp))
            return Answer(CStateButton_DblClk, this, fParent);
        if (msg.Is(LMouse_Move)) {
            SetHighlighted(fBounds.Contains(MouseLocal()));
            return LMessage();
        }
        if (msg.Is(LMouse_Release)) {
            SetHighlighted(false);
            if (fBounds.Contains(MouseLocal())) return Answer(LStdCtl_Selected, this, fParent);
            return LMessage();
        }
    }
    if (msg.source == this && msg.Is(CStateButton_DblClk) && mouse)
        return LStdCtl::HandleMessage(Answer(LMouse_Click, mouse, this));
    return LStdCtl::HandleMessage(msg);
}

void CStateButton::SetImage(const LImageRef& image) {
    if (fNative && image.Get() != fImage.Get()) {
        void* native = nullptr;
        if (image) image->GetNativeImage(&native);
        fNative->SetImage(static_cast<LNativeImage*>(native));
        if (!fNative->HasWindow()) InvalidateRect(LRgn(fBounds), LRgn(fBounds));
    }
    fImage = image;
}

void CStateButton::SetState(u32 state) {
    if (!fNative) return;
    fNative->SetState(state == 1 ? 1 : 0);
    if (!fNative->HasWindow()) InvalidateRect(LRgn(fBounds), LRgn(fBounds));
}

i32 CStateButton::GetPrefWidth(LDrawCtx*, i32 hint) {
    if (hint == -13) return TextWidth("M");
    if (hint == -11) return fSmall ? 2 : 5;
    if (!GetTitle().IsEmpty()) {
        i32 w, h;
        CellSize(&w, &h);
        return w;
    }
    return ImageWidth(fImage.Get()) + (fSmall ? 4 : 10);
}

i32 CStateButton::GetPrefHeight(LDrawCtx*, i32) {
    if (ImageHeight(fImage.Get()) > 0) return ImageHeight(fImage.Get()) + (fSmall ? 4 : 10);
    return FontLineHeight() + 4 + (fSmall ? 0 : 2);
}

CPlusButton::CPlusButton(LPane* parent) : CStateButton(parent) {
    fFont = LFont(2);
    ApplyFont();
    SetTitle("+");
}

// ---- CProgressBar

CProgressBar::CProgressBar(LPane* parent)
    : LStdCtl(parent, DefaultTextStyle(), LControlKind::kProgress) {
    if (fNative) {
        fNative->SetMaxValue(100);
        fNative->SetIndeterminate(false);
    }
}

i32 CProgressBar::GetPrefWidth(LDrawCtx*, i32) {
    return 58;
}

i32 CProgressBar::GetPrefHeight(LDrawCtx*, i32 hint) {
    return hint == -1 ? 0 : 14;
}

void CProgressBar::SetMax(i32 max) {
    if (max == fMax) return;
    fMax = max;
    if (!fNative) return;
    if (max >= 1) {
        fNative->SetMaxValue(max);
        fNative->SetIndeterminate(false);
    } else {
        fNative->SetIndeterminate(true);
    }
}

void CProgressBar::SetValue(i32 value) {
    if (value == fValue) return;
    fValue = value;
    if (fNative) fNative->SetDoubleValue(value);
}

// ---- CSlider

namespace {
// One press at a time: every slider shares the record of the press.
struct SliderPress {
    LRect knob;
    i32 value = 0;
    bool pressed = false;
} sPress;
}  // namespace

CSlider::CSlider(LPane* parent) : LStdCtl(parent, DefaultTextStyle(), LControlKind::kSlider) {}

bool CSlider::ClickStarting() {
    Send(CSlider_Click, this, fParent);
    return true;
}

LMessage CSlider::TrackMouse(LPoint) {
    if (!fNative) return LMessage();
    sPress.knob = fNative->KnobRect();
    sPress.value = fNative->IntValue();
    sPress.pressed = true;
    if (ClickStarting()) fNative->MouseDown();
    return LMessage();
}

void CSlider::SendSelected() {
    if (sPress.pressed && fNative) {
        sPress.pressed = false;
        const LRect knob = fNative->KnobRect();
        if (std::abs(knob.left - sPress.knob.left) < 2 &&
            std::abs(knob.top - sPress.knob.top) < 2) {
            // A click on the knob is no change: the platform may have jumped a step.
            fNative->SetIntValue(sPress.value);
            return;
        }
    }
    Send(CSlider_Change, this, fParent);
}

void CSlider::BoundsChanged(const LRect& old) {
    LStdCtl::BoundsChanged(old);
    if (fNative) fNative->SetVertical(fBounds.Height() > fBounds.Width());
}

void CSlider::Draw(LDrawCtx& ctx) {
    if (IsShown()) LStdCtl::Draw(ctx);
}

i32 CSlider::GetPrefWidth(LDrawCtx*, i32) {
    i32 w = 0, h = 0;
    ControlServices().SliderSize(&w, &h);
    return w;
}

i32 CSlider::GetPrefHeight(LDrawCtx*, i32 hint) {
    if (hint == -10 || hint == -12) {
        LNativeFont* f = fFont.IsEmpty() ? nullptr : fFont.GetNativeFont();
        return f ? i32(std::ceil(f->Ascender())) : 0;
    }
    i32 w = 0, h = 0;
    if (!ControlServices().SliderSize(&w, &h)) return 22;
    return h;
}

void CSlider::SetRange(i32 min, i32 max) {
    if (fNative) fNative->SetMinMax(min, max);
}

void CSlider::SetValue(i32 value) {
    if (fNative) fNative->SetIntValue(value);
}

i32 CSlider::GetValue() const {
    return fNative ? fNative->IntValue() : 0;
}

// ---- CCallbackCtl

void CCallbackCtl::Draw(LDrawCtx& ctx) {
    if (!fDraw) return;
    LClipScope clip(ctx, LRgn(fBounds));
    fDraw(fContext, this, ctx);
}
