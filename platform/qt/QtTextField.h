#pragma once
// The native editor of a focused text pane: a QLineEdit for single lines and
// secure fields, else a plain QTextEdit without frame, bars or margin. Every
// insertion (typing, paste, Shift+Insert, the middle button's selection, input
// methods) passes the owner's filter first; typed text goes straight to the
// widget, other keys are the framework's first.

#include <QLineEdit>
#include <QPointer>
#include <QTextEdit>

#include "services/ControlServices.h"

class QtTextField final : public LNativeTextField {
public:
    QtTextField(LNativeFieldOwner* owner, const LNativeFieldOptions& options);
    ~QtTextField() override;

    LString Text() const override;
    void SetText(const LString& text) override;
    bool HasEditor() const override { return fWidget != nullptr; }
    void GetSelection(u32* start, u32* length) const override;
    void SetSelection(u32 start, u32 length) override;
    void SelectAll() override;
    void SetFrame(const LRect& textRect) override;
    void MouseDown() override;
    void GetScroll(i32* x, i32* y) const override;
    void ScrollTo(i32 x, i32 y) override;
    void SetBackground(const LPen* pen) override;
    void SetTextColor(const LPen* pen) override;
    bool IsFirstResponder() const override;
    void MakeFirstResponder() override;
    void EndCompletion() override {}
    void Command(LFieldCommand command) override;
    bool CanUndo() const override;
    bool CanRedo() const override;

    QWidget* Widget() const { return fWidget; }
    QLineEdit* Line() const { return fLine; }
    QTextEdit* Box() const { return fBox; }
    bool Secure() const { return fSecure; }

    // Runs typed or pasted text through the owner's filter: false when refused,
    // else *kept is what enters.
    bool Filter(const QString& typed, QString* kept);
    // Inserts at the caret (replacing the selection) what the filter keeps.
    void InsertFiltered(const QString& text);
    // A user's change of the text.
    void UserChanged();
    // The middle button pastes the X11 selection where it was pressed.
    void PasteSelection(const QPoint& global);

    // While on, engines refuse input methods (an ASCII-only field).
    static void SetAsciiOnly(bool on);
    static bool AsciiOnly();

    bool fProgrammatic = false;
    QString fAccepted;  // the line's text as last accepted

private:
    LNativeFieldOwner* fOwner;
    QPointer<QWidget> fWidget;
    QLineEdit* fLine = nullptr;
    QTextEdit* fBox = nullptr;
    bool fSecure;
    bool fResponder = false;
    bool fTold = false;  // the owner heard of a change since a command began
};

// The field a widget (or its viewport) edits for; null once the field is gone.
QtTextField* QtFieldOf(QWidget* widget);
