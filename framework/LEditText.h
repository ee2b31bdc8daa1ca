#pragma once
// The text field. Unfocused it draws its text itself; focused and wholly
// visible it hosts a native text field (the engine) that does the editing.
// Typed characters pass a per-class character test; changes, keys the field
// does not use and the loss of focus are reported as messages.
// LAsciiEdit switches the keyboard to an ASCII-capable input source while it
// is focused; LNumEdit accepts number characters only and trims its text to a number.

#include "framework/LFont.h"
#include "framework/LPane.h"
#include "framework/LStdCtl.h"
#include "framework/LTextBox.h"
#include "services/ControlServices.h"

inline constexpr const char* LEditText_Change = "LEditText_Change";
inline constexpr const char* LEditText_Unfocused = "LEditText_Unfocused";
inline constexpr const char* LEditText_Down = "LEditText_Down";
inline constexpr const char* CEditText_Change = "CEditText_Change";
inline constexpr const char* CEditText_Scroll = "CEditText_Scroll";
inline constexpr const char* LNumEdit_Enter = "LNumEdit_Enter";

class LEditText;

// Held while fields are filled again from what is stored (a list's row bound
// anew, a frame reloaded after a change): a field the user is typing in keeps
// what is typed, and shows the stored text once the edit is over.
class LFieldRefresh {
public:
    LFieldRefresh() { ++sDepth; }
    ~LFieldRefresh() { --sDepth; }
    LFieldRefresh(const LFieldRefresh&) = delete;
    LFieldRefresh& operator=(const LFieldRefresh&) = delete;
    static bool Active() { return sDepth > 0; }

private:
    static inline u32 sDepth = 0;
};

// The engine: the native field of a focused text pane.
class CEditText : public LHandler, public LNativeFieldOwner {
public:
    CEditText(LEditText* owner, const LRect& frame, const LRect& text, u32 wrapMode,
              const LFont& font, bool secure, bool readOnly);
    ~CEditText() override;

    LString GetText();
    void SetText(const LString& text);
    bool HasSelection() const;
    bool IsAllSelected() const;
    void SelectAll();
    void SetSelection(u32 start, u32 length);
    void GetSelection(u32* start, u32* length) const;
    void SetFrames(const LRect& frame, const LRect& text);
    void MouseDown();
    void GetScroll(i32* x, i32* y);
    void SetScroll(i32 x, i32 y);
    void SetBackground(const LPenRef& pen);
    void SetTextColor(const LPenRef& pen);
    void Activate(bool on);
    void EndCompletion();
    // Menu commands and keys the native field takes; true when the message ends here.
    bool HandleCommand(const LMessage& msg);
    // Whether the clipboard command, Undo or Redo has something to act on in the field.
    bool CanDo(LFieldCommand command) const;
    // The command on the native field, where it has something to act on.
    void Do(LFieldCommand command);
    bool Changed() const { return fChanged; }
    LNativeTextField* Field() const { return fField; }
    u32 WrapMode() const { return fWrap; }

    i32 FilterText(const LString& typed, LString* kept) override;
    void FieldTextChanged() override;
    void FieldScrolled() override;

private:
    LEditText* fOwner;
    LRect fFrame;
    LRect fText;
    LFont fFont;
    i32 fScrollX = 0;
    i32 fScrollY = 0;
    u8 fChanged = 0;
    LNativeTextField* fField = nullptr;
    u32 fWrap;
};

class LEditText : public LPane {
public:
    enum : u32 {
        kNoHMargin = 1,
        kNoVMargin = 2,
        kPassword = 4,
        kBorderless = 8,
        kScrollBars = 16,
    };
    LEditText(LPane* parent, u32 wrapMode = 0, u32 flags = 0);
    ~LEditText() override;

    LMessage HandleMessage(const LMessage& msg) override;
    void StateChanged(u32 op) override;
    void BoundsChanged(const LRect& old) override;
    i32 TouchesRgn(const LRgn& region) override;
    LPane* FindPaneAt(LPoint pt) override;
    i32 GetPrefWidth(LDrawCtx* ctx, i32 hint) override;
    i32 GetPrefHeight(LDrawCtx* ctx, i32 hint) override;
    void Draw(LDrawCtx& ctx) override;
    bool AdvanceFocus(u32 direction, bool restart) override;
    void EndOpenEdit(bool store) override;

    virtual CEditText* CreateEngine();
    virtual void ReleaseEngine(CEditText* engine);
    virtual void DrawText(LDrawCtx& ctx, const LRect& rect);
    // Width and height of the text as laid out in the text rectangle.
    virtual void PrepareText(i32* width, i32* height);
    // Whether the character starting at byte goes into the field.
    virtual bool AcceptChar(const u8* byte);
    virtual void NotifyChange();
    virtual void NotifyUnfocused();

    LString GetText();
    void SetText(const LString& text);
    void SetStyle(const LFont& font);
    void SetReadOnly(bool on);
    void SetStatic(bool on);
    void RequestFocus();
    void ActivateEngine();
    // The owner refused the value that ended the edit and kept the field
    // focused for another try (it asked for the focus again meanwhile).
    bool EditHeld() const { return fHeld; }
    // A refresh from what is stored would now take back what the user is typing.
    bool KeepsTyping() const { return LFieldRefresh::Active() && fEngine && fTyped && !fEditEnded; }
    bool HasSelection() const;
    i32 MeasureText(const LString& text) const;

    CEditText* Engine() const { return fEngine; }
    bool IsReadOnly() const { return fReadOnly; }
    bool IsStatic() const { return fStatic; }
    LScrollBar* VBar() const { return fVBar; }
    LScrollBar* HBar() const { return fHBar; }
    u32 WrapMode() const { return fWrap; }
    const LFont& Font() const { return fFont; }
    LRect TextRect() const;
    LRect FrameRect() const;
    LRect FrameOutline() const;
    // Where the text is drawn, by the native field or without it: one line
    // reaches the frame's top and bottom, several keep to the text rectangle.
    LRect FieldRect() const;
    // Edited in a one-line native field.
    bool OneLine() const;
    // The field's rectangle lies wholly inside the visible part of the window.
    bool IsTextWhollyVisible();

protected:
    i32 HMargin() const { return ((fFlags & kNoHMargin) ? 0 : 1) + Border(); }
    i32 VMargin() const { return ((fFlags & kNoVMargin) ? 0 : 1) + Border(); }
    i32 Border() const { return (fFlags & kBorderless) ? 0 : 1; }
    i32 VBarWidth() const;
    i32 HBarHeight() const;
    void Attach();
    void Detach(bool unfocused);
    void UpdateBars();
    void PlaceBars();
    void BarsState(u32 op);
    void InvalidateOutline();
    // The text as drawn: the field rectangle.
    void InvalidateTextRect();
    // Undo and Redo while the field is edited: under a history, Undo stores
    // the open edit so that the Undo that goes on takes it back; elsewhere
    // both are the field's own, taking back or making again its last change.
    enum class UndoRoute { kNone, kUpwards, kDone };
    UndoRoute OpenEditUndo(const LMessage& msg);
    // Whether no history keeps the field's edits: its window stores only what
    // its OK confirms (a dialog), or no undo queue is up its chain, or a frame
    // on the way records none of its fields' edits (LFrame::RecordsNoEdits).
    bool UndoIsOwn();
    // The text a refresh brought while the user typed, shown once the edit is over.
    void ShowKeptBack();

    LScrollBar* fVBar = nullptr;
    LScrollBar* fHBar = nullptr;
    LString fText;
    CEditText* fEngine = nullptr;
    u32 fFlags;
    u32 fWrap;
    LFont fFont{1};
    LPenRef fBackground;
    LPenRef fTextColor;
    u8 fReadOnly = 0;
    u8 fStatic = 0;
    u8 fTyped = 0;      // typed into since the focus came or the edit ended
    u8 fEditEnded = 0;  // ended (or dropped) while focused: the focus loss ends nothing
    u8 fEnding = 0;     // inside EndOpenEdit's notice
    u8 fHeld = 0;       // see EditHeld
    u8 fKeptBack = 0;   // a refresh's text waits in fKeptText
    LString fKeptText;
    LTextBox fBox;
};

class LAsciiEdit : public LEditText {
public:
    LAsciiEdit(LPane* parent, u32 wrapMode = 0, u32 flags = 0)
        : LEditText(parent, wrapMode, flags) {}
    ~LAsciiEdit() override;
    void StateChanged(u32 op) override;

private:
    void Restore();
    u8 fSwitched = 0;
    void* fSaved = nullptr;
};

class LNumEdit : public LAsciiEdit {
public:
    // Mode 1 allows a decimal point.
    LNumEdit(LPane* parent, u32 numberMode = 0, u32 flags = 0);

    LMessage HandleMessage(const LMessage& msg) override;
    bool AcceptChar(const u8* byte) override;
    void NotifyChange() override;
    void NotifyUnfocused() override;
    void EndOpenEdit(bool store) override;

    i32 GetLong();
    f32 GetFloat();
    void SetLong(i32 value);
    void SetFloat(u32 digits, f64 value);
    bool Edited() const { return fEdited; }

    // The longest leading part of text that is a number.
    static LString NumberPrefix(const LString& text, u32 mode);

protected:
    u32 fMode;
    u8 fEdited = 0;
};
