#include "platform/qt/QtTextField.h"

#include <algorithm>
#include <cmath>

#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QInputMethod>
#include <QKeyEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QTextBlock>
#include <QValidator>

#include "framework/InputState.h"
#include "framework/LFrame.h"
#include "framework/LWindow.h"
#include "platform/qt/MEmbeddedView.h"
#include "platform/qt/QtControls.h"
#include "platform/qt/QtFonts.h"
#include "platform/qt/QtEvents.h"
#include "platform/qt/QtPainterGraphics.h"
#include "platform/qt/QtWindows.h"

namespace {

// How far below its top a line edit puts the baseline: one pixel over the
// rounded ascent, or lower, as far as the glyphs of its font reach higher than
// that (two marks stacked over a capital).
int LineBaseline(const QtNativeFont& font) {
    const int ascent = QFontMetrics(font.Font()).ascent();
    return std::max(ascent + 1, int(std::ceil(font.InkAscender())));
}

bool sAsciiOnly = false;
const char* const kFieldProperty = "kvField";

QString ToQ(const LString& s) {
    return QString::fromUtf8(s.CStr(), qsizetype(s.Length()));
}

LString FromQ(const QString& s) {
    const QByteArray b = s.toUtf8();
    return LString(b.constData(), u32(b.size()));
}

u32 BytesBefore(const QString& s, int index) {
    return u32(s.left(index).toUtf8().size());
}

int IndexOfByte(const QString& s, u32 byte) {
    const QByteArray b = s.toUtf8();
    return int(QString::fromUtf8(b.left(qsizetype(std::min<u32>(byte, u32(b.size()))))).size());
}

// Text a key types into the widget as it is: printable, without Ctrl or Meta.
bool TypesText(const QKeyEvent& k) {
    if (k.modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) return false;
    const QString t = k.text();
    return !t.isEmpty() && t.at(0).isPrint();
}

// Checks the replaced part of the line against the owner's filter.
class FieldValidator final : public QValidator {
public:
    FieldValidator(QtTextField* field, QObject* parent) : QValidator(parent), fField(field) {}
    State validate(QString& input, int& pos) const override {
        if (!fField || fField->fProgrammatic) return Acceptable;
        const QString& old = fField->fAccepted;
        int pre = 0;
        const int most = int(std::min(old.size(), input.size()));
        while (pre < most && old.at(pre) == input.at(pre)) ++pre;
        int post = 0;
        while (post < most - pre &&
               old.at(old.size() - 1 - post) == input.at(input.size() - 1 - post))
            ++post;
        const QString typed = input.mid(pre, input.size() - pre - post);
        if (typed.isEmpty()) return Acceptable;
        QString kept;
        if (!fField->Filter(typed, &kept)) return Invalid;
        if (kept != typed) {
            input = input.left(pre) + kept + input.right(post);
            pos = int(pre + kept.size());
        }
        return Acceptable;
    }
    QtTextField* fField;
};

// A line edit whose baseline stays where the field pane draws it, whatever
// glyphs are typed, with the rows above the text its own. Aligned to its top,
// its first row would be the line's, and the glyphs that reach higher would be
// cut; centred or aligned to the bottom alone, the line moves with the height
// of the glyphs typed. Aligned to the bottom, a bottom margin that follows the
// height of the text keeps the line in place.
class EngineLine final : public QLineEdit {
public:
    explicit EngineLine(QWidget* parent) : QLineEdit(parent) {
        setAlignment(Qt::AlignLeft | Qt::AlignBottom);
        QObject::connect(this, &QLineEdit::textChanged, this, [this] { KeepBaseline(); });
    }
    void SetBaseline(int baseline) {
        fBaseline = baseline;
        KeepBaseline();
    }
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override {
        if (query == Qt::ImEnabled && sAsciiOnly) return false;
        return QLineEdit::inputMethodQuery(query);
    }

protected:
    void resizeEvent(QResizeEvent* e) override {
        QLineEdit::resizeEvent(e);
        KeepBaseline();
    }

private:
    void KeepBaseline() {
        const QFontMetrics fm(font());
        const int baseline = fBaseline > 0 ? fBaseline : fm.ascent() + 1;
        // The line edit's line is as tall as the text's glyphs, at least the
        // font's height, and ends a pixel over its contents' bottom.
        const int line = std::max(fm.boundingRect(displayText()).height(), fm.height());
        const int bottom = height() - line - 1 - (baseline - fm.ascent());
        const QMargins kept = textMargins();
        if (kept.bottom() != bottom) setTextMargins(kept.left(), 0, kept.right(), bottom);
    }
    int fBaseline = 0;
};

class EngineBox final : public QTextEdit {
public:
    explicit EngineBox(QtTextField* field) : fField(field) {}
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override {
        if (query == Qt::ImEnabled && sAsciiOnly) return false;
        return QTextEdit::inputMethodQuery(query);
    }
    QtTextField* fField;

protected:
    void keyPressEvent(QKeyEvent* e) override {
        if (fField && TypesText(*e) && !isReadOnly()) {
            fField->InsertFiltered(e->text());
            return;
        }
        QTextEdit::keyPressEvent(e);
    }
    void insertFromMimeData(const QMimeData* source) override {
        if (fField && source && source->hasText()) fField->InsertFiltered(source->text());
    }
    void inputMethodEvent(QInputMethodEvent* e) override {
        QString kept;
        if (!fField || e->commitString().isEmpty() || isReadOnly()) {
            QTextEdit::inputMethodEvent(e);
            return;
        }
        if (!fField->Filter(e->commitString(), &kept)) kept.clear();
        QInputMethodEvent copy(e->preeditString(), e->attributes());
        copy.setCommitString(kept, e->replacementStart(), e->replacementLength());
        QTextEdit::inputMethodEvent(&copy);
    }
};

// Keys reaching the engine: typed text is the widget's, every other key the
// framework's first, the widget's only when the framework leaves it unused.
class EngineKeys final : public QObject {
public:
    bool eventFilter(QObject* obj, QEvent* e) override {
        if (e->type() != QEvent::KeyPress && e->type() != QEvent::ShortcutOverride) return false;
        QPointer<QWidget> widget = static_cast<QWidget*>(obj);
        QtTextField* field = QtFieldOf(widget);
        auto* k = static_cast<QKeyEvent*>(e);
        if (!field) return false;
        if (e->type() == QEvent::ShortcutOverride) return false;
        // Qt's own cut empties a secure line without copying: neither key acts there.
        if (field->Secure() && (k->matches(QKeySequence::Cut) || k->matches(QKeySequence::Copy)))
            return true;
        if (TypesText(*k)) return false;
        return !FrameworkKey(widget, *k);
    }

private:
    // Sends the key to the focused pane; true when it comes back unused.
    static bool FrameworkKey(QWidget* widget, const QKeyEvent& k) {
        LKeyboard* kb = LKeyboard::Instance();
        if (!kb || !FillKeyboardFromQt(k)) return true;
        QWidget* view = widget;
        while (view && !dynamic_cast<MWindowView*>(view)) view = view->parentWidget();
        auto* wv = static_cast<MWindowView*>(view);
        LWindow* owner = wv ? wv->Window()->Owner() : nullptr;
        LFrame* frame = owner ? owner->GetFrame() : nullptr;
        if (!frame) return true;
        LPane* focus = frame->FindFocusable();
        LHandler* target = focus ? static_cast<LHandler*>(focus) : frame;
        LHandler::Send(LKeyboard_Down, kb, target);
        if (!kb->fUsed) {
            kb->fUsed = 1;
            LHandler::Send(LKeyboard_Char, kb, target);
        }
        return kb->fUsed == 0 && QtFieldOf(widget);
    }
};

EngineKeys* Keys() {
    static EngineKeys keys;
    return &keys;
}

bool MiddlePress(QWidget* widget) {
    QtTextField* field = QtFieldOf(widget);
    if (!field || !field->IsFirstResponder()) return false;
    field->PasteSelection(QCursor::pos());
    return true;
}

}  // namespace

QtTextField* QtFieldOf(QWidget* widget) {
    for (QWidget* w = widget; w; w = w->parentWidget()) {
        const QVariant v = w->property(kFieldProperty);
        if (v.isValid()) return reinterpret_cast<QtTextField*>(v.value<quintptr>());
        if (w->property("kvControl").toBool() && !w->parentWidget()) break;
    }
    return nullptr;
}

QtTextField::QtTextField(LNativeFieldOwner* owner, const LNativeFieldOptions& options)
    : fOwner(owner), fSecure(options.secure) {
    QWidget* host = QtHostView(options.window);
    QtPressFilter::SetMiddleHandler(&MiddlePress);
    if (options.wrapMode == 0 || options.secure) {
        fLine = new EngineLine(host);
        fLine->setFrame(false);
        fLine->setEchoMode(options.secure ? QLineEdit::Password : QLineEdit::Normal);
        fLine->setValidator(new FieldValidator(this, fLine));
        fLine->setReadOnly(options.readOnly);
        QObject::connect(fLine, &QLineEdit::textChanged, fLine,
                         [this](const QString& t) { fAccepted = t; });
        QObject::connect(fLine, &QLineEdit::textEdited, fLine, [this] { UserChanged(); });
        fWidget = fLine;
    } else {
        fBox = new EngineBox(this);
        fBox->setParent(host);
        fBox->setAcceptRichText(false);
        fBox->setFrameShape(QFrame::NoFrame);
        fBox->document()->setDocumentMargin(0);
        fBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        fBox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        fBox->setLineWrapMode(options.wrapMode == 2 ? QTextEdit::WidgetWidth : QTextEdit::NoWrap);
        fBox->setReadOnly(options.readOnly);
        fBox->setTabChangesFocus(true);
        QObject::connect(fBox, &QTextEdit::textChanged, fBox, [this] {
            if (!fProgrammatic) UserChanged();
        });
        for (QScrollBar* bar : {fBox->verticalScrollBar(), fBox->horizontalScrollBar()}) {
            QObject::connect(bar, &QScrollBar::valueChanged, fBox, [this] {
                if (!fProgrammatic && fOwner) fOwner->FieldScrolled();
            });
        }
        QtAdoptWidget(fBox->viewport());
        fBox->viewport()->setProperty(kFieldProperty, QVariant::fromValue(quintptr(this)));
        fWidget = fBox;
    }
    QtAdoptWidget(fWidget);
    fWidget->setProperty(kFieldProperty, QVariant::fromValue(quintptr(this)));
    fWidget->installEventFilter(Keys());
    fWidget->setAttribute(Qt::WA_MacShowFocusRect, false);
    if (auto* f = dynamic_cast<const QtNativeFont*>(options.font)) {
        fWidget->setFont(f->Font());
        if (fLine) static_cast<EngineLine*>(fLine)->SetBaseline(LineBaseline(*f));
    }
    SetFrame(options.textRect);
    fWidget->show();
}

QtTextField::~QtTextField() {
    fOwner = nullptr;
    if (!fWidget) return;
    // The widget may be inside its own key event (Tab moving the focus away).
    fWidget->setProperty(kFieldProperty, QVariant());
    if (fBox) {
        static_cast<EngineBox*>(fBox)->fField = nullptr;
        fBox->viewport()->setProperty(kFieldProperty, QVariant());
    }
    if (fLine) {
        static_cast<FieldValidator*>(const_cast<QValidator*>(fLine->validator()))->fField = nullptr;
    }
    fWidget->disconnect();
    for (QObject* child : fWidget->children()) {
        if (auto* bar = qobject_cast<QScrollBar*>(child)) bar->disconnect(fWidget);
    }
    if (fBox) {
        fBox->verticalScrollBar()->disconnect(fBox);
        fBox->horizontalScrollBar()->disconnect(fBox);
    }
    if (fWidget->hasFocus()) {
        if (QWidget* view = fWidget->parentWidget()) view->setFocus();
    }
    QtReleaseWidget(fWidget);
}

bool QtTextField::Filter(const QString& typed, QString* kept) {
    if (!fOwner) return false;
    LString out;
    switch (fOwner->FilterText(FromQ(typed), &out)) {
        case LNativeFieldOwner::kRefuse:
            return false;
        case LNativeFieldOwner::kKept:
            *kept = ToQ(out);
            return !kept->isEmpty();
        default:
            *kept = typed;
            return true;
    }
}

void QtTextField::InsertFiltered(const QString& text) {
    if (!fWidget || text.isEmpty()) return;
    if (fLine) {
        // The validator filters whatever the line inserts.
        fLine->insert(text);
        return;
    }
    QString kept;
    if (!Filter(text, &kept)) return;
    fBox->textCursor().insertText(kept);
    fBox->ensureCursorVisible();
}

void QtTextField::UserChanged() {
    fTold = true;
    if (fOwner) fOwner->FieldTextChanged();
}

void QtTextField::PasteSelection(const QPoint& global) {
    QClipboard* clip = QGuiApplication::clipboard();
    const QString text =
        clip->supportsSelection() ? clip->text(QClipboard::Selection) : clip->text();
    if (fLine) {
        fLine->setCursorPosition(fLine->cursorPositionAt(fLine->mapFromGlobal(global)));
    } else if (fBox) {
        fBox->setTextCursor(fBox->cursorForPosition(fBox->viewport()->mapFromGlobal(global)));
    }
    InsertFiltered(text);
}

LString QtTextField::Text() const {
    if (fLine) return FromQ(fLine->text());
    if (fBox) return FromQ(fBox->toPlainText());
    return LString();
}

void QtTextField::SetText(const LString& text) {
    fProgrammatic = true;
    if (fLine) {
        fLine->setText(ToQ(text));
    } else if (fBox) {
        fBox->setPlainText(ToQ(text));
    }
    fProgrammatic = false;
}

void QtTextField::GetSelection(u32* start, u32* length) const {
    *start = *length = 0;
    if (fLine) {
        const QString t = fLine->text();
        if (fLine->hasSelectedText()) {
            const int s = fLine->selectionStart();
            *start = BytesBefore(t, s);
            *length = BytesBefore(t, s + int(fLine->selectedText().size())) - *start;
        } else {
            *start = BytesBefore(t, fLine->cursorPosition());
        }
    } else if (fBox) {
        const QString t = fBox->toPlainText();
        const QTextCursor c = fBox->textCursor();
        *start = BytesBefore(t, c.selectionStart());
        *length = BytesBefore(t, c.selectionEnd()) - *start;
    }
}

void QtTextField::SetSelection(u32 start, u32 length) {
    if (fLine) {
        const QString t = fLine->text();
        const int s = IndexOfByte(t, start);
        const int e = IndexOfByte(t, start + length);
        fLine->setSelection(s, e - s);
    } else if (fBox) {
        const QString t = fBox->toPlainText();
        QTextCursor c = fBox->textCursor();
        c.setPosition(IndexOfByte(t, start));
        c.setPosition(IndexOfByte(t, start + length), QTextCursor::KeepAnchor);
        fBox->setTextCursor(c);
    }
}

void QtTextField::SelectAll() {
    if (fLine) fLine->selectAll();
    if (fBox) fBox->selectAll();
}

void QtTextField::SetFrame(const LRect& r) {
    if (fWidget) fWidget->setGeometry(r.left, r.top, r.Width(), r.Height());
}

void QtTextField::MouseDown() {
    if (!fWidget) return;
    // A press in the field gives it the keys, wherever they were.
    MakeFirstResponder();
    // A press on the engine itself: Qt tracks it from here.
    if (QtPressFilter::Instance()->WantNative(fWidget) ||
        (fBox && QtPressFilter::Instance()->WantNative(fBox->viewport())))
        return;
    // The press that made the engine: replay it, so the caret goes where clicked.
    QWidget* target = fBox ? fBox->viewport() : fWidget.data();
    const QPoint global = QtPressFilter::Instance()->LastPressGlobal();
    const QPointF local = target->mapFromGlobal(QPointF(global));
    const Qt::KeyboardModifiers mods = QtPressFilter::Instance()->LastPressModifiers();
    target->setProperty("kvControl", false);
    QMouseEvent press(QEvent::MouseButtonPress, local, QPointF(global), Qt::LeftButton,
                      Qt::LeftButton, mods);
    QCoreApplication::sendEvent(target, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, local, QPointF(global), Qt::LeftButton,
                        Qt::NoButton, mods);
    QCoreApplication::sendEvent(target, &release);
    target->setProperty("kvControl", true);
}

void QtTextField::GetScroll(i32* x, i32* y) const {
    *x = *y = 0;
    if (!fBox) return;
    *x = fBox->horizontalScrollBar()->value();
    *y = fBox->verticalScrollBar()->value();
}

void QtTextField::ScrollTo(i32 x, i32 y) {
    if (!fBox) return;
    fProgrammatic = true;
    fBox->horizontalScrollBar()->setValue(x);
    fBox->verticalScrollBar()->setValue(y);
    fProgrammatic = false;
}

void QtTextField::SetBackground(const LPen* pen) {
    if (!fWidget) return;
    QPalette p = fWidget->palette();
    p.setColor(QPalette::Base, pen ? QtPainterGraphics::PenColor(*pen)
                                   : QApplication::palette().color(QPalette::Base));
    fWidget->setPalette(p);
}

void QtTextField::SetTextColor(const LPen* pen) {
    if (!fWidget) return;
    QPalette p = fWidget->palette();
    p.setColor(QPalette::Text, pen ? QtPainterGraphics::PenColor(*pen)
                                   : QApplication::palette().color(QPalette::Text));
    fWidget->setPalette(p);
}

bool QtTextField::IsFirstResponder() const {
    if (!fWidget) return false;
    // An active window that gave its focus away (to its view, when it came
    // back from behind a dialog) has to hand it to the field again: typing
    // would go nowhere. An inactive one keeps the field as its responder.
    if (fWidget->isActiveWindow()) return fWidget->hasFocus();
    return fResponder || fWidget->hasFocus();
}

void QtTextField::MakeFirstResponder() {
    if (!fWidget) return;
    fResponder = true;
    fWidget->setFocus(Qt::OtherFocusReason);
}

void QtTextField::Command(LFieldCommand command) {
    if (!fWidget) return;
    switch (command) {
        case LFieldCommand::kCut:
            // Qt's cut empties a secure line without copying it: leave both.
            if (fSecure) return;
            if (fLine) fLine->cut();
            if (fBox) fBox->cut();
            break;
        case LFieldCommand::kCopy:
            if (fSecure) return;
            if (fLine) fLine->copy();
            if (fBox) fBox->copy();
            break;
        case LFieldCommand::kPaste:
            if (fLine) fLine->paste();
            if (fBox) fBox->paste();
            break;
        case LFieldCommand::kDelete:
            if (fLine) fLine->del();
            if (fBox) fBox->textCursor().removeSelectedText();
            break;
        case LFieldCommand::kUndo:
        case LFieldCommand::kRedo: {
            // The owner hears of the text taken back or made again as of any
            // change the user made: it counts as typed.
            const LString before = Text();
            const bool redo = command == LFieldCommand::kRedo;
            fTold = false;
            if (fLine) redo ? fLine->redo() : fLine->undo();
            if (fBox) redo ? fBox->redo() : fBox->undo();
            if (!fTold && !(Text() == before)) UserChanged();
            break;
        }
    }
}

bool QtTextField::CanUndo() const {
    if (fLine) return fLine->isUndoAvailable();
    return fBox && fBox->document()->isUndoAvailable();
}

bool QtTextField::CanRedo() const {
    if (fLine) return fLine->isRedoAvailable();
    return fBox && fBox->document()->isRedoAvailable();
}

void QtTextField::SetAsciiOnly(bool on) {
    if (sAsciiOnly == on) return;
    sAsciiOnly = on;
    if (QGuiApplication::instance()) QGuiApplication::inputMethod()->update(Qt::ImEnabled);
}

bool QtTextField::AsciiOnly() {
    return sAsciiOnly;
}

i32 QtControlServices::FieldBaseline(LNativeFont* font, bool oneLine) {
    auto* f = dynamic_cast<QtNativeFont*>(font);
    if (!f) return LControlServices::FieldBaseline(font, oneLine);
    // A document without margins starts at the top, its baseline by the
    // rounded ascent.
    return oneLine ? LineBaseline(*f) : QFontMetrics(f->Font()).ascent();
}

// The keyboard has no input sources to switch here: an ASCII-only field
// refuses input methods instead (dead keys do not compose in it).
void* QtControlServices::SelectAsciiInputSource() {
    const bool was = QtTextField::AsciiOnly();
    QtTextField::SetAsciiOnly(true);
    return was ? reinterpret_cast<void*>(1) : nullptr;
}

void QtControlServices::RestoreInputSource(void* saved) {
    QtTextField::SetAsciiOnly(saved != nullptr);
}
