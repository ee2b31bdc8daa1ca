#include "framework/LEditText.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "base/LScrap.h"
#include "base/TextFormat.h"
#include "framework/CUndoQ.h"
#include "framework/InputState.h"
#include "framework/LDrawObj.h"
#include "framework/LFrame.h"
#include "framework/LFrameStyle.h"
#include "framework/LMenu.h"
#include "framework/LWindow.h"
#include "framework/MousePoint.h"
#include "services/WindowServices.h"

namespace {

// Set while "LEditText_Down" travels; cleared when it comes back unused.
bool sDownConsumed = false;

// Bytes of the UTF-8 character starting with lead (a stray byte counts as one).
u32 CharLength(const u8* s, u32 left) {
    const u8 c = s[0];
    u32 n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
    n = std::min(n, left);
    for (u32 i = 1; i < n; ++i) {
        if ((s[i] & 0xC0) != 0x80) return i;
    }
    return n;
}

void MarkKey(bool used) {
    if (LKeyboard* kb = LKeyboard::Instance()) kb->fUsed = used ? 1 : 0;
}

const struct {
    const char* command;
    LFieldCommand native;
} kClipCommands[] = {{LStdCmd_Cut, LFieldCommand::kCut},
                     {LStdCmd_Copy, LFieldCommand::kCopy},
                     {LStdCmd_Paste, LFieldCommand::kPaste},
                     {LStdCmd_Delete, LFieldCommand::kDelete}};

}  // namespace

// ---- CEditText

CEditText::CEditText(LEditText* owner, const LRect& frame, const LRect& text, u32 wrapMode,
                     const LFont& font, bool secure, bool readOnly)
    : LHandler(nullptr), fOwner(owner), fFrame(frame), fText(text), fFont(font), fWrap(wrapMode) {
    LNativeFieldOptions o;
    LDrawEnv env;
    owner->GetDrawEnv(&env);
    o.window = env.fWindow;
    o.textRect = text;
    o.textRect.Offset(env.fOriginX, env.fOriginY);
    o.font = font.IsEmpty() ? nullptr : font.GetNativeFont();
    o.wrapMode = wrapMode;
    o.secure = secure;
    o.readOnly = readOnly;
    fField = ControlServices().MakeTextField(this, o);
}

CEditText::~CEditText() {
    delete fField;
}

i32 CEditText::FilterText(const LString& typed, LString* kept) {
    // Decided per character, so that a refused character never leaves half its bytes.
    const u8* s = reinterpret_cast<const u8*>(typed.CStr());
    const u32 n = typed.Length();
    if (n == 0) return kAsTyped;
    std::string out;
    for (u32 i = 0; i < n;) {
        const u32 len = CharLength(s + i, n - i);
        if (fOwner->AcceptChar(s + i)) out.append(reinterpret_cast<const char*>(s + i), len);
        i += len;
    }
    if (out.empty()) return kRefuse;
    if (out.size() == n) return kAsTyped;
    *kept = LString(out.c_str(), u32(out.size()));
    return kKept;
}

void CEditText::FieldTextChanged() {
    fChanged = 1;
    Send(CEditText_Change, this, fOwner);
}

void CEditText::FieldScrolled() {
    Send(CEditText_Scroll, this, fOwner);
}

LString CEditText::GetText() {
    fChanged = 0;
    return fField ? fField->Text() : LString();
}

void CEditText::SetText(const LString& text) {
    fChanged = 0;
    if (fField) fField->SetText(text);
}

bool CEditText::HasSelection() const {
    u32 start, length;
    GetSelection(&start, &length);
    return length > 0;
}

bool CEditText::IsAllSelected() const {
    if (!fField) return true;
    u32 start, length;
    fField->GetSelection(&start, &length);
    return start == 0 && length >= fField->Text().Length();
}

void CEditText::SelectAll() {
    if (fField) fField->SelectAll();
}

void CEditText::SetSelection(u32 start, u32 length) {
    if (fField) fField->SetSelection(start, length);
}

void CEditText::GetSelection(u32* start, u32* length) const {
    *start = *length = 0;
    if (fField && fField->HasEditor()) fField->GetSelection(start, length);
}

void CEditText::SetFrames(const LRect& frame, const LRect& text) {
    fFrame = frame;
    fText = text;
    if (!fField) return;
    LDrawEnv env;
    fOwner->GetDrawEnv(&env);
    LRect r = text;
    r.Offset(env.fOriginX, env.fOriginY);
    fField->SetFrame(r);
}

void CEditText::MouseDown() {
    if (fField) fField->MouseDown();
}

void CEditText::GetScroll(i32* x, i32* y) {
    if (fField) fField->GetScroll(&fScrollX, &fScrollY);
    *x = fScrollX;
    *y = fScrollY;
}

void CEditText::SetScroll(i32 x, i32 y) {
    i32 ox, oy;
    GetScroll(&ox, &oy);
    if (ox == x && oy == y) return;
    fScrollX = x;
    fScrollY = y;
    if (fField) fField->ScrollTo(x, y);
}

void CEditText::SetBackground(const LPenRef& pen) {
    if (fField) fField->SetBackground(pen.Get());
}

void CEditText::SetTextColor(const LPenRef& pen) {
    if (fField) fField->SetTextColor(pen.Get());
}

void CEditText::Activate(bool on) {
    // Asked again on every activation: the window takes the keyboard back for
    // itself when it comes to the front, and a field that once had it would
    // otherwise keep showing its caret while the keys go past it.
    if (on && fField) fField->MakeFirstResponder();
}

void CEditText::EndCompletion() {
    if (fField) fField->EndCompletion();
}

bool CEditText::CanDo(LFieldCommand command) const {
    const bool editable = !fOwner->IsReadOnly();
    switch (command) {
        case LFieldCommand::kCopy:
            return HasSelection();
        case LFieldCommand::kCut:
        case LFieldCommand::kDelete:
            return editable && HasSelection();
        case LFieldCommand::kPaste: {
            LTextScrap probe;
            LClipboard* clip = LClipboard::Instance();
            return editable && clip && clip->CanProvide(probe);
        }
        case LFieldCommand::kUndo:
            return editable && fField && fField->CanUndo();
        case LFieldCommand::kRedo:
            return editable && fField && fField->CanRedo();
    }
    return false;
}

void CEditText::Do(LFieldCommand command) {
    if (fField && CanDo(command)) fField->Command(command);
}

bool CEditText::HandleCommand(const LMessage& msg) {
    if (msg.Is(LKeyboard_Char)) {
        LKeyboard* kb = LKeyboard::Instance();
        if (kb && kb->fChar == 27) return false;
        MarkKey(false);
        return true;
    }
    // While the field is edited the clipboard's commands are its own: the list
    // or frame around it enables them for its rows, and a Cut meant for a name
    // cut its row.
    if (msg.Is(LMenuBar_Ready)) {
        auto* bar = static_cast<LMenuBar*>(msg.source);
        for (const auto& c : kClipCommands)
            if (CanDo(c.native)) bar->EnableCommand(c.command);
        Send(LMessage::CopyRetarget(msg, fOwner->Parent()));
        bar->ForEachItem(this, [](void* self, LMenuItem* item) {
            for (const auto& c : kClipCommands)
                if (item->HasCommand(c.command) && !static_cast<CEditText*>(self)->CanDo(c.native))
                    item->ResetState();
        });
        return true;
    }
    if (msg.Is(LMenuItem_Selected)) {
        auto* item = static_cast<LMenuItem*>(msg.source);
        for (const auto& c : kClipCommands) {
            if (!item->HasCommand(c.command)) continue;
            Do(c.native);
            return true;
        }
        return false;
    }
    if (msg.Is(LMouse_Cursor)) {
        WindowServices().SetStdCursor(kCursorIBeam);
        return true;
    }
    return false;
}

// ---- LEditText

LEditText::LEditText(LPane* parent, u32 wrapMode, u32 flags)
    : LPane(parent, parent), fFlags(flags), fWrap(wrapMode) {
    fState |= kOpaque;
    MakePenById(&fBackground, 6);
    if ((flags & kScrollBars) && wrapMode != 0) {
        fVBar = new LScrollBar(this, 1, 1);
        if (wrapMode == 1) fHBar = new LScrollBar(this, 0, 1);
    }
}

LEditText::~LEditText() {
    SetState(kOpHide);
    delete fEngine;
    fEngine = nullptr;
    delete fVBar;
    delete fHBar;
}

i32 LEditText::VBarWidth() const {
    return fVBar ? fVBar->GetPrefWidth(nullptr, 0) : 0;
}

i32 LEditText::HBarHeight() const {
    return fHBar ? fHBar->GetPrefHeight(nullptr, 0) : 0;
}

LRect LEditText::TextRect() const {
    const i32 h = HMargin(), v = VMargin();
    return LRect(fBounds.left + h, fBounds.top + v, fBounds.right - (VBarWidth() + h),
                 fBounds.bottom - (HBarHeight() + v));
}

LRect LEditText::FrameRect() const {
    LRect r = fBounds;
    r.Inset(Border(), Border());
    r.right -= VBarWidth();
    r.bottom -= HBarHeight();
    return r;
}

LRect LEditText::FrameOutline() const {
    LRect r = FrameRect();
    if (fVBar) r.right = fBounds.right;
    if (fHBar) r.bottom = fBounds.bottom;
    return r;
}

bool LEditText::OneLine() const {
    return fWrap == 0 || (fFlags & kPassword);
}

LRect LEditText::FieldRect() const {
    LRect r = TextRect();
    // A line of the font's rounded height has no room for the dots over a
    // capital nor for the underscore below it: they take the margin. (Lines
    // that scroll keep to the text rectangle, as the native field's do.)
    if (!OneLine()) return r;
    const LRect frame = FrameRect();
    r.top = std::min(r.top, frame.top);
    r.bottom = std::max(r.bottom, frame.bottom);
    return r;
}

bool LEditText::IsTextWhollyVisible() {
    const LRect text = FieldRect();
    if (text.IsEmpty() || !IsShown()) return false;
    LDrawEnv env;
    GetDrawEnv(&env);
    LRect r = text;
    r.Offset(env.fOriginX, env.fOriginY);
    LRect visible = env.fClip.GetBounds();
    visible.Intersect(r);
    return visible == r;
}

void LEditText::InvalidateOutline() {
    LRect outer = FrameOutline();
    outer.Inset(-4, -4);
    LRgn area(outer);
    area.Subtract(LRgn(TextRect()));
    InvalidateRect(area, area);
}

void LEditText::InvalidateTextRect() {
    LRgn area(FieldRect());
    InvalidateRect(area, area);
}

CEditText* LEditText::CreateEngine() {
    auto* e =
        new CEditText(this, FrameRect(), FieldRect(), fWrap, fFont, fFlags & kPassword, fReadOnly);
    e->SetBackground(fBackground);
    e->SetTextColor(fTextColor);
    e->SetText(fText);
    return e;
}

void LEditText::ReleaseEngine(CEditText* engine) {
    fText = engine->GetText();
    delete engine;
}

void LEditText::Attach() {
    if (fEngine || fStatic || (fState & (kDimmed | kContainerDimmed)) || !IsTextWhollyVisible())
        return;
    const i32 hx = fHBar ? fHBar->GetValue() : 0;
    const i32 vy = fVBar ? fVBar->GetValue() : 0;
    fEngine = CreateEngine();
    fEngine->Activate(true);
    fEngine->SetScroll(hx, vy);
    UpdateBars();
}

void LEditText::Detach(bool unfocused) {
    if (fEngine) {
        fEngine->EndCompletion();
        CEditText* e = fEngine;
        fEngine = nullptr;
        ReleaseEngine(e);
    }
    if (unfocused) {
        InvalidateTextRect();
        if (!fEditEnded) NotifyUnfocused();
        fEditEnded = 0;
        fTyped = 0;
        ShowKeptBack();
    }
}

void LEditText::ShowKeptBack() {
    if (!fKeptBack || KeepsTyping()) return;
    fKeptBack = 0;
    SetText(fKeptText);
}

void LEditText::EndOpenEdit(bool store) {
    if (!(fState & kFocused) || fEditEnded) return;
    fEditEnded = 1;
    const bool typed = fTyped;
    fTyped = 0;
    fHeld = 0;
    if (!store || !typed) {
        ShowKeptBack();
        return;
    }
    fEnding = 1;
    NotifyUnfocused();
    fEnding = 0;
    // Refused and focused again: still being edited, so that the focus loss
    // to come ends it (and is refused) as it would have without this end.
    if (fHeld)
        fEditEnded = 0;
    else
        ShowKeptBack();
}

bool LEditText::UndoIsOwn() {
    // A dialog stores what is typed only on its OK, and no history above it
    // takes the field's edits; a window without a history (the speed
    // calculator, a device's addresses) keeps none either, nor does a panel
    // whose fields no history records (it answers the probe as none).
    LWindow* window = LWindow::FindByNative(GetNativeWindow());
    LFrame* frame = window ? window->GetFrame() : nullptr;
    if (frame && frame->StoresOnlyConfirmed()) return true;
    return !CUndoQ::FoundFrom(fParent);
}

LEditText::UndoRoute LEditText::OpenEditUndo(const LMessage& msg) {
    if (fReadOnly) return UndoRoute::kNone;
    const bool ready = msg.Is(LMenuBar_Ready);
    const auto* item = msg.Is(LMenuItem_Selected) ? static_cast<LMenuItem*>(msg.source) : nullptr;
    const bool undo = item && item->HasCommand(LStdCmd_Undo);
    const bool redo = item && item->HasCommand(LStdCmd_Redo);
    if (!ready && !undo && !redo) return UndoRoute::kNone;
    // Where nothing keeps the field's edits as steps, Undo and Redo are the
    // field's own, as in any text box: storing the text and passing Undo on
    // would only store it, and nothing above would take it back (or a window
    // further up would take back a step of its own).
    if (UndoIsOwn()) {
        if (!ready) {
            fEngine->Do(undo ? LFieldCommand::kUndo : LFieldCommand::kRedo);
            return UndoRoute::kDone;
        }
        auto* bar = static_cast<LMenuBar*>(msg.source);
        if (fEngine->CanDo(LFieldCommand::kUndo)) bar->EnableCommand(LStdCmd_Undo);
        if (fEngine->CanDo(LFieldCommand::kRedo)) bar->EnableCommand(LStdCmd_Redo);
        bar->SettleCommand(LStdCmd_Undo);
        bar->SettleCommand(LStdCmd_Redo);
        return UndoRoute::kNone;
    }
    if (!fTyped || fEditEnded || redo) return UndoRoute::kNone;
    if (ready) {
        // Undo takes back what is being typed even before the history holds it.
        static_cast<LMenuBar*>(msg.source)->EnableCommand(LStdCmd_Undo);
        return UndoRoute::kNone;
    }
    // The typed text is stored first, as the last step, so that Undo takes back
    // that and nothing older: left open, the edit would end later as a new
    // step that throws away the redo of what Undo just took back.
    EndOpenEdit(true);
    return UndoRoute::kUpwards;
}

void LEditText::PrepareText(i32* width, i32* height) {
    fBox.SetFont(fFont);
    fBox.SetText(GetText());
    *width = fBox.GetWidth(nullptr);
    *height = fWrap == 2 ? fBox.GetHeightForWidth(nullptr, TextRect().Width())
                         : fBox.GetTextHeight(nullptr);
}

void LEditText::UpdateBars() {
    if (!fVBar && !fHBar) return;
    i32 tw, th;
    PrepareText(&tw, &th);
    const i32 line = fBox.GetHeight(nullptr);
    const LRect r = TextRect();
    i32 sx = 0, sy = 0;
    if (fEngine) fEngine->GetScroll(&sx, &sy);
    if (fVBar) {
        fVBar->SetRange(fEngine ? sy : fVBar->GetValue(), 0, std::max(th - r.Height(), 0),
                        std::max(r.Height() - line, 1));
    }
    if (fHBar) {
        fHBar->SetRange(fEngine ? sx : fHBar->GetValue(), 0, std::max(tw - r.Width() + 2, 0),
                        std::max(r.Width() - line, 1));
    }
}

void LEditText::PlaceBars() {
    const i32 b = Border();
    const i32 vw = fVBar ? fVBar->GetPrefWidth(nullptr, 0) : 0;
    const i32 hh = fHBar ? fHBar->GetPrefHeight(nullptr, 0) : 0;
    if (fVBar) {
        fVBar->SetBounds(LRect(fBounds.right - b - vw, fBounds.top + b, fBounds.right - b,
                               fBounds.bottom - b - hh));
    }
    if (fHBar) {
        fHBar->SetBounds(LRect(fBounds.left + b, fBounds.bottom - b - hh, fBounds.right - b - vw,
                               fBounds.bottom - b));
    }
}

void LEditText::BarsState(u32 op) {
    if (fVBar) fVBar->SetState(op);
    if (fHBar) fHBar->SetState(op);
}

void LEditText::BoundsChanged(const LRect& old) {
    if (old.Width() != fBounds.Width() || old.Height() != fBounds.Height()) PlaceBars();
    UpdateBars();
    if (fEngine) {
        fEngine->SetFrames(FrameRect(), FieldRect());
        // A field moved partly out of sight cannot keep its native editor.
        if (!IsTextWhollyVisible()) SetState(kOpUnfocus);
    }
    if (IsShown() && fContainer) {
        LRect a = old, n = fBounds;
        a.Inset(-1, -1);
        n.Inset(-1, -1);
        LRgn area(a);
        area.Union(LRgn(n));
        fContainer->InvalidateRect(area, area);
    }
}

void LEditText::StateChanged(u32 op) {
    LPane::StateChanged(op);
    switch (op) {
        case kOpShow:
        case kOpHide:
            InvalidateOutline();
            BarsState(op);
            break;
        case kOpContainerShown:
        case kOpContainerActive:
        case kOpContainerInactive:
            BarsState(op);
            break;
        case kOpContainerHidden:
            // Out of sight the typed text is no longer being edited: its window
            // closed or its view switched, and it would be lost without a word.
            if (fTyped) EndOpenEdit(true);
            Detach(false);
            BarsState(op);
            break;
        case kOpMoved:
            if (fEngine) fEngine->SetFrames(FrameRect(), FieldRect());
            // Given the keys out of sight, then scrolled into it: it takes them now.
            if (!fEngine && (fState & kFocused)) Attach();
            BarsState(op);
            break;
        case kOpFocus:
            fTyped = 0;
            fEditEnded = 0;
            fHeld = 0;
            fKeptBack = 0;
            InvalidateOutline();
            Attach();
            break;
        case kOpUnfocus:
            InvalidateOutline();
            Detach(true);
            break;
        case kOpWindowKey:
        case kOpWindowUnkey:
            if (fState & kFocused) {
                InvalidateOutline();
                BarsState(op);
            }
            break;
        case kOpStyleChanged:
            SetState(kOpUnfocus);
            UpdateBars();
            InvalidateRect(LRgn(fBounds), LRgn(fBounds));
            break;
        default:
            break;
    }
    if (fEngine) fEngine->Activate((fState & (kFocused | kWindowKey)) == (kFocused | kWindowKey));
}

LString LEditText::GetText() {
    return fEngine ? fEngine->GetText() : fText;
}

void LEditText::SetText(const LString& text) {
    if (KeepsTyping()) {
        fKeptBack = 1;
        fKeptText = text;
        return;
    }
    // Whatever is set now is newer than a refresh kept back.
    fKeptBack = 0;
    if (fEngine) {
        if (!(fEngine->GetText() == text)) {
            fEngine->SetText(text);
            UpdateBars();
        }
        return;
    }
    if (text == fText) return;
    fText = text;
    InvalidateTextRect();
    UpdateBars();
}

void LEditText::SetStyle(const LFont& font) {
    if (font == fFont) return;
    fFont = font;
    if (fEngine) {
        SetState(kOpUnfocus);
        SetState(kOpFocus);
    } else {
        InvalidateTextRect();
    }
}

void LEditText::SetReadOnly(bool on) {
    if (fReadOnly == on) return;
    fReadOnly = on;
    SetState(kOpUnfocus);
}

void LEditText::SetStatic(bool on) {
    if (fStatic == on) return;
    fStatic = on;
    SetState(kOpUnfocus);
    InvalidateOutline();
    InvalidateRect(LRgn(fBounds), LRgn(fBounds));
}

void LEditText::RequestFocus() {
    if (fEnding) fHeld = 1;
    if ((fState & (kFocused | kWindowKey)) != (kFocused | kWindowKey)) {
        LPane::RequestFocus();
    } else if (fEngine) {
        fEngine->SelectAll();
        // Focused already, it may still have to take the keys back.
        fEngine->Activate(true);
    }
}

void LEditText::ActivateEngine() {
    if (fEngine) fEngine->SelectAll();
}

bool LEditText::HasSelection() const {
    return fEngine && fEngine->HasSelection();
}

i32 LEditText::MeasureText(const LString& text) const {
    return LTextBox::MeasureText(fFont, text.CStr(), text.Length());
}

bool LEditText::AcceptChar(const u8*) {
    return true;
}

void LEditText::NotifyChange() {
    Send(LEditText_Change, this, fParent);
}

void LEditText::NotifyUnfocused() {
    Send(LEditText_Unfocused, this, fParent);
}

LMessage LEditText::HandleMessage(const LMessage& msg) {
    if (fEngine && msg.source == fEngine) {
        if (msg.Is(CEditText_Change)) {
            fTyped = 1;
            fEditEnded = 0;
            fHeld = 0;
            NotifyChange();
            UpdateBars();
            return LMessage();
        }
        if (msg.Is(CEditText_Scroll)) {
            UpdateBars();
            return LMessage();
        }
    }
    if (fEngine) {
        const UndoRoute undo = OpenEditUndo(msg);
        if (undo == UndoRoute::kUpwards) return LMessage::CopyRetarget(msg, fParent);
        if (undo == UndoRoute::kDone) return LMessage();
    }
    if (fEngine && fEngine->HandleCommand(msg)) return LMessage();
    // A command the field leaves to the list or frame around it (Duplicate)
    // acts on what the field shows: the typed value is stored first, as Return
    // would store it.
    if (fEngine && msg.Is(LMenuItem_Selected) && fTyped && !fEditEnded && !fReadOnly)
        EndOpenEdit(true);

    LKeyboard* kb = LKeyboard::Instance();
    if (msg.Is(LKeyboard_Down) && fEngine && kb) {
        const bool modifier =
            kb->IsShiftDown() || kb->IsControlDown() || kb->IsOptionDown() || kb->IsCommandDown();
        const i32 nav = kb->GetNavKey();
        const u32 ch = kb->fChar;
        bool native = false;
        if (nav == 1 || nav == 2) {
            native = modifier || !fEngine->IsAllSelected();
        } else if (nav == 3 || nav == 4) {
            native = modifier || (fWrap != 0 && !fEngine->IsAllSelected());
        } else if (ch == 3 || ch == 13) {
            native = fWrap == 1 || fWrap == 2;
        } else if (ch == 8 || ch == 127) {
            // Whatever the field holds: a Backspace too many in an emptied
            // name must not delete the row around it. The list's Delete is
            // its menu item, or the key while the list itself has the focus.
            native = true;
        } else if (ch == 9) {
            native = fWrap == 1;
        }
        if (native) {
            MarkKey(false);
            return LMessage();
        }
        sDownConsumed = true;
        Send(LEditText_Down, this, fParent);
        if (sDownConsumed) {
            MarkKey(true);
            return LMessage();
        }
        return LPane::HandleMessage(msg);
    }
    // A field that holds the focus without its editor (cut off by a narrow
    // window) still keeps the Delete keys: the list around it would delete its row.
    if (msg.Is(LKeyboard_Down) && !fEngine && !fStatic && kb && (fState & kFocused) &&
        (kb->fChar == 8 || kb->fChar == 127)) {
        MarkKey(true);
        return LMessage();
    }
    if (msg.source == this && msg.Is(LEditText_Down)) {
        sDownConsumed = false;
        return LMessage();
    }

    LMouse* mouse = LMouse::Instance();
    if (mouse && msg.source == mouse && !fStatic && !(fState & (kDimmed | kContainerDimmed))) {
        const bool inText = TextRect().Contains(MousePointIn(this));
        if (msg.Is(LMouse_Cursor) && inText) {
            WindowServices().SetStdCursor(kCursorIBeam);
            return LMessage();
        }
        if (msg.Is(LMouse_Click) && inText) {
            // A field partly out of sight cannot host its editor: the click is ignored.
            if (!IsTextWhollyVisible()) return LMessage();
            LPane::RequestFocus();
            if (fEngine) {
                fEngine->MouseDown();
                InvalidateTextRect();
            }
            return LMessage();
        }
    }
    if (msg.Is(LScrollBar_Change) && msg.source && (msg.source == fVBar || msg.source == fHBar)) {
        if (fEngine)
            fEngine->SetScroll(fHBar ? fHBar->GetValue() : 0, fVBar ? fVBar->GetValue() : 0);
        else
            InvalidateTextRect();
        return LMessage();
    }
    if (msg.Is(LPane_Destructing) && msg.source && (msg.source == fVBar || msg.source == fHBar))
        return LMessage();
    if (msg.Is(LPane_Constructing) && msg.source != this) {
        auto* child = static_cast<LPane*>(msg.source);
        if ((fState & (kEnabled | kContainerActive)) == (kEnabled | kContainerActive))
            child->SetState(kOpContainerActive);
        if ((fState & (kVisible | kContainerShown)) == (kVisible | kContainerShown))
            child->SetState(kOpContainerShown);
        if (fState & kWindowKey) child->SetState(kOpWindowKey);
        return LMessage();
    }
    if (msg.Is(LMouse_Wheel) && mouse) {
        const i32 dx = mouse->GetWheelX(), dy = mouse->GetWheelY();
        LScrollBar* bar = std::abs(dy) >= std::abs(dx) ? fVBar : fHBar;
        const i32 d = std::abs(dy) >= std::abs(dx) ? -dy : -dx;
        // A field without a bar does not use the wheel: the frame around it may.
        if (!bar) return LPane::HandleMessage(msg);
        const i32 before = bar->GetValue();
        bar->SetValue(before + d);
        if (bar->GetValue() != before) return LMessage{LScrollBar_Change, bar, this};
        return LMessage();
    }
    return LPane::HandleMessage(msg);
}

i32 LEditText::TouchesRgn(const LRgn& region) {
    if (fFlags & kBorderless) return LPane::TouchesRgn(region);
    if (!(fState & kVisible)) return 0;
    LRect r = FrameOutline();
    r.Inset(-Border(), -Border());
    return region.IntersectsRect(r) ? 1 : 0;
}

LPane* LEditText::FindPaneAt(LPoint pt) {
    if (fVBar)
        if (LPane* p = fVBar->FindPaneAt(pt)) return p;
    if (fHBar)
        if (LPane* p = fHBar->FindPaneAt(pt)) return p;
    return IsHitTestable() && TextRect().Contains(pt) ? this : nullptr;
}

bool LEditText::AdvanceFocus(u32, bool) {
    // A field out of sight is no field to type into, unless a frame around
    // scrolls it into sight as it takes the keys.
    auto* frame = dynamic_cast<LFrame*>(fContainer);
    if (!IsTextWhollyVisible() && !(frame && frame->ScrollsChildIntoSight(fBounds))) return false;
    LPane::RequestFocus();
    if ((fState & kFocused) && fEngine) fEngine->SelectAll();
    return false;
}

i32 LEditText::GetPrefWidth(LDrawCtx* ctx, i32 hint) {
    if (hint == -13) return LTextBox::MeasureText(fFont, "M", 1);
    if (hint == -11 || hint == -1) return ((fFlags & kNoHMargin) ? 2 : 3) + Border();
    if (hint == -2) return 2 * HMargin() + 2 + VBarWidth();
    fBox.SetFont(fFont);
    fBox.SetText(GetText());
    return fBox.GetWidth(ctx) + 2 * HMargin() + 3 + VBarWidth();
}

i32 LEditText::GetPrefHeight(LDrawCtx* ctx, i32 hint) {
    const i32 bit1 = (fFlags & kNoVMargin) ? 0 : 1;
    fBox.SetFont(fFont);
    if (hint == -12 || hint == -10) return fBox.GetLineBottom(ctx) + bit1 + Border();
    if (hint == -11 || hint == -1) return bit1 + Border();
    if (hint == -2) return 2 * VMargin() + HBarHeight();
    fBox.SetText(GetText());
    const i32 textH = fWrap == 0 ? fBox.GetHeight(ctx) : fBox.GetTextHeight(ctx);
    i32 h = textH + 2 * VMargin() + HBarHeight();
    // One line holds every glyph of its font inside the frame: the native
    // field lowers its baseline for the glyphs that reach higher than the
    // rounded line, and the frame holds those that reach lower.
    LNativeFont* native = OneLine() && !fFont.IsEmpty() ? fFont.GetNativeFont(ctx) : nullptr;
    if (native) {
        const i32 below = i32(std::ceil(-native->InkDescender()));
        h = std::max(h, ControlServices().FieldBaseline(native, true) + below + 2 * Border());
    }
    return h;
}

void LEditText::DrawText(LDrawCtx& ctx, const LRect& rect) {
    LString text = GetText();
    if (fFlags & kPassword) text = LString(std::string(text.Length(), '*'));
    fBox.SetColor(fTextColor);
    fBox.SetWrapMode(fWrap);
    fBox.SetFont(fFont);
    fBox.SetText(text);
    // The native field's first baseline, so that the text stays put when the
    // field takes the keys.
    LNativeFont* native = fFont.IsEmpty() ? nullptr : fFont.GetNativeFont(&ctx);
    LRect r = rect;
    r.Offset(0, ControlServices().FieldBaseline(native, OneLine()) - fBox.GetAscent(&ctx));
    fBox.SetRect(r);
    fBox.Draw(ctx);
}

void LEditText::Draw(LDrawCtx& ctx) {
    if (!fStatic && !(fFlags & kBorderless)) {
        const bool lit = (fState & (kFocused | kWindowKey)) == (kFocused | kWindowKey);
        LTextFieldFrameStyle().Draw(ctx, FrameOutline(), lit ? 7 : 3);
    }
    const LRect frame = FrameRect();
    const LRect text = TextRect();
    if (fEngine) {
        if (!fStatic && fBackground) {
            LRgnFill fill;
            fill.fRegion = LRgn(frame);
            fill.fRegion.Subtract(LRgn(FieldRect()));
            fill.fPen = fBackground;
            fill.Draw(ctx);
        }
    } else {
        if (!fStatic && fBackground) LSolidFill(frame, fBackground).Draw(ctx);
        const LRect field = FieldRect();
        LClipScope clip(ctx, LRgn(field));
        const i32 sx = fHBar ? fHBar->GetValue() : 0;
        const i32 sy = fVBar ? fVBar->GetValue() : 0;
        LRect at(text.left + 2 - sx, field.top - sy, text.right + 2 - sx, field.bottom - sy);
        if (fWrap != 2) at.right = at.left + 1000000;
        DrawText(ctx, at);
    }
    if (fVBar) fVBar->Draw(ctx);
    if (fHBar) fHBar->Draw(ctx);
}

// ---- LAsciiEdit

LAsciiEdit::~LAsciiEdit() {
    Restore();
}

void LAsciiEdit::Restore() {
    if (!fSwitched) return;
    fSwitched = 0;
    ControlServices().RestoreInputSource(fSaved);
    fSaved = nullptr;
}

void LAsciiEdit::StateChanged(u32 op) {
    LEditText::StateChanged(op);
    switch (op) {
        case kOpEnable:
        case kOpDisable:
        case kOpContainerActive:
        case kOpContainerInactive:
        case kOpFocus:
        case kOpUnfocus:
            if ((fState & 0x4A) == 0x4A) {
                if (!fSwitched) {
                    fSaved = ControlServices().SelectAsciiInputSource();
                    fSwitched = 1;
                }
            } else {
                Restore();
            }
            break;
        default:
            break;
    }
}

// ---- LNumEdit

LNumEdit::LNumEdit(LPane* parent, u32 numberMode, u32 flags)
    : LAsciiEdit(parent, 0, flags), fMode(numberMode) {}

bool LNumEdit::AcceptChar(const u8* byte) {
    const u8 c = *byte;
    return (c >= '0' && c <= '9') || c == '-' || (c == '.' && fMode == 1);
}

void LNumEdit::NotifyChange() {
    fEdited = 1;
    LEditText::NotifyChange();
}

void LNumEdit::NotifyUnfocused() {
    if (fEdited) {
        fEdited = 0;
        Send(LNumEdit_Enter, this, fParent);
    }
    LEditText::NotifyUnfocused();
}

void LNumEdit::EndOpenEdit(bool store) {
    if (!store && (fState & kFocused)) fEdited = 0;
    LAsciiEdit::EndOpenEdit(store);
}

LString LNumEdit::NumberPrefix(const LString& text, u32 mode) {
    const char* s = text.CStr();
    u32 n = 0;
    bool point = false;
    for (; s[n]; ++n) {
        const char c = s[n];
        if (c >= '0' && c <= '9') continue;
        if (c == '-' && n == 0) continue;
        if (c == '.' && mode == 1 && !point) {
            point = true;
            continue;
        }
        break;
    }
    return n == text.Length() ? text : LString(s, n);
}

LMessage LNumEdit::HandleMessage(const LMessage& msg) {
    LKeyboard* kb = LKeyboard::Instance();
    if (msg.Is(LKeyboard_Down) && kb) {
        const i32 nav = kb->GetNavKey();
        if (nav >= 1 && nav <= 4) return LMessage::CopyRetarget(msg, fParent);
        if (kb->fChar == 13 || kb->fChar == 3) {
            ActivateEngine();
            if (fEdited) {
                fEdited = 0;
                fTyped = 0;
                return LMessage{LNumEdit_Enter, this, fParent};
            }
        }
        if (kb->fChar == 9 && fEdited) {
            // Tab ends the edit before it moves on, also where it has nowhere to
            // go (the only field of its window); the move then ends nothing more.
            fEdited = 0;
            fTyped = 0;
            Send(LNumEdit_Enter, this, fParent);
        }
        return LAsciiEdit::HandleMessage(msg);
    }
    if (msg.source == this && msg.Is(LEditText_Change)) {
        const LString text = GetText();
        const LString number = NumberPrefix(text, fMode);
        if (!(number == text)) SetText(number);
        return LMessage();
    }
    if (msg.source == this && msg.Is(LNumEdit_Enter)) {
        if ((fState & kFocused) && kb && (kb->fChar == 13 || kb->fChar == 3))
            return LAsciiEdit::HandleMessage(LMessage{LKeyboard_Down, kb, this});
        return LMessage();
    }
    return LAsciiEdit::HandleMessage(msg);
}

i32 LNumEdit::GetLong() {
    // Held at the ends of the range: a long number typed must not wrap round
    // to a small or negative one.
    const long v = StrToLong(GetText().CStr());
    return i32(std::clamp<long>(v, INT32_MIN, INT32_MAX));
}

f32 LNumEdit::GetFloat() {
    return f32(StrToDouble(GetText().CStr()));
}

void LNumEdit::SetLong(i32 value) {
    LString s;
    NumToStr(&s, value);
    SetText(s);
}

void LNumEdit::SetFloat(u32 digits, f64 value) {
    LString s;
    FloatToStrFixed(&s, digits, value);
    SetText(s);
}
