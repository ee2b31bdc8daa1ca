#include "platform/qt/QtControls.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QThread>
#include <QToolButton>
#include <QUrl>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

#include "platform/qt/MEmbeddedView.h"
#include "platform/qt/QtDrawing.h"
#include "platform/qt/QtFonts.h"
#include "platform/qt/QtPainterGraphics.h"
#include "platform/qt/QtTextField.h"
#include "platform/qt/QtWindows.h"

namespace {

// Scroller values travel as fractions; Qt's bar counts in these steps.
constexpr int kScrollSteps = 10000;

QString ToQString(const LString& s) {
    return QString::fromUtf8(s.CStr(), qsizetype(s.Length()));
}

LString FromQString(const QString& s) {
    const QByteArray b = s.toUtf8();
    return LString(b.constData(), u32(b.size()));
}

QtPressFilter::MiddleHandler sMiddle = nullptr;

// The whole cell of a check box or radio button takes the click, as the pane
// does, not just the indicator and the title.
template <class Button>
class CellButton final : public Button {
protected:
    bool hitButton(const QPoint& pos) const override { return this->rect().contains(pos); }
};

}  // namespace

QWidget* QtHostView(void* host) {
    auto* w = static_cast<QWidget*>(host);
    if (auto* window = dynamic_cast<MWindow*>(w)) return window->View();
    return w;
}

// ---------------------------------------------------------------- press filter

namespace {

// Records every press in the application, so that an engine made during a
// press can take it over (the caret goes where the user clicked).
class PressRecorder final : public QObject {
public:
    explicit PressRecorder(QtPressFilter* filter) : fFilter(filter) {}
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::MouseButtonPress || e->type() == QEvent::MouseButtonDblClick) {
            auto* m = static_cast<QMouseEvent*>(e);
            fFilter->RecordPress(m->globalPosition().toPoint(), m->modifiers());
        }
        return false;
    }
    QtPressFilter* fFilter;
};

}  // namespace

QtPressFilter* QtPressFilter::Instance() {
    static QtPressFilter filter;
    return &filter;
}

void QtPressFilter::SetMiddleHandler(MiddleHandler handler) {
    sMiddle = handler;
}

bool QtPressFilter::WantNative(QWidget* widget) {
    if (!fPressing || fPressing != widget) return false;
    fWanted = true;
    return true;
}

bool QtPressFilter::Forward(QWidget* widget, QEvent* e) {
    QWidget* view = widget;
    while (view && !dynamic_cast<MWindowView*>(view) && !dynamic_cast<MEmbeddedView*>(view))
        view = view->parentWidget();
    if (!view) return false;
    if (e->type() == QEvent::Wheel) {
        auto* w = static_cast<QWheelEvent*>(e);
        QWheelEvent copy(view->mapFromGlobal(w->globalPosition()), w->globalPosition(),
                         w->pixelDelta(), w->angleDelta(), w->buttons(), w->modifiers(), w->phase(),
                         w->inverted());
        QCoreApplication::sendEvent(view, &copy);
        return true;
    }
    auto* m = static_cast<QMouseEvent*>(e);
    QMouseEvent copy(m->type(), view->mapFromGlobal(m->globalPosition()), m->scenePosition(),
                     m->globalPosition(), m->button(), m->buttons(), m->modifiers());
    copy.setTimestamp(m->timestamp());
    QCoreApplication::sendEvent(view, &copy);
    return true;
}

bool QtPressFilter::eventFilter(QObject* obj, QEvent* e) {
    const QEvent::Type type = e->type();
    if (!obj->isWidgetType() || !obj->property("kvControl").toBool()) return false;
    QPointer<QWidget> widget = static_cast<QWidget*>(obj);
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            auto* m = static_cast<QMouseEvent*>(e);
            if (m->button() == Qt::MiddleButton && sMiddle && sMiddle(widget)) return true;
            if (m->button() != Qt::LeftButton && m->button() != Qt::RightButton) {
                Forward(widget, e);
                return true;
            }
            QPointer<QWidget> outer = fPressing;
            const bool outerWanted = fWanted;
            fPressing = widget;
            fWanted = false;
            Forward(widget, e);
            const bool wanted = fWanted && widget && m->button() == Qt::LeftButton;
            fPressing = outer;
            fWanted = outerWanted;
            if (!wanted) return true;
            fNativeGrab = widget;
            return false;
        }
        case QEvent::MouseMove: {
            auto* m = static_cast<QMouseEvent*>(e);
            if (m->buttons() && fNativeGrab == widget) return false;
            Forward(widget, e);
            // Without a button the widget may show its hover look.
            return m->buttons() != Qt::NoButton;
        }
        case QEvent::MouseButtonRelease:
            if (fNativeGrab == widget) {
                if (!static_cast<QMouseEvent*>(e)->buttons()) fNativeGrab = nullptr;
                return false;
            }
            Forward(widget, e);
            return true;
        case QEvent::Wheel:
            Forward(widget, e);
            return true;
        case QEvent::ContextMenu:
            return true;
        default:
            return false;
    }
}

void QtAdoptWidget(QWidget* widget) {
    widget->setProperty("kvControl", true);
    widget->setFocusPolicy(Qt::NoFocus);
    widget->setContextMenuPolicy(Qt::PreventContextMenu);
    widget->setAcceptDrops(false);
    widget->installEventFilter(QtPressFilter::Instance());
}

void QtReleaseWidget(QWidget* widget) {
    if (!widget) return;
    widget->hide();
    widget->setParent(nullptr);
    widget->deleteLater();
}

// ---------------------------------------------------------------- controls

QtNativeControl::QtNativeControl(LControlKind kind, LNativeControlOwner* owner, void* host,
                                 bool continuous)
    : fKind(kind), fOwner(owner), fHost(QtHostView(host)), fContinuous(continuous) {
    QWidget* w = nullptr;
    switch (kind) {
        case LControlKind::kPushButton: {
            auto* b = new QPushButton;
            b->setAutoDefault(false);
            connect(b, &QAbstractButton::clicked, this, [this] { Act(); });
            w = b;
            break;
        }
        case LControlKind::kCheckBox: {
            auto* b = new CellButton<QCheckBox>;
            connect(b, &QAbstractButton::clicked, this, [this] { Act(); });
            w = b;
            break;
        }
        case LControlKind::kRadioButton: {
            // Rings are the framework's: two in one window must not interfere.
            auto* b = new CellButton<QRadioButton>;
            b->setAutoExclusive(false);
            connect(b, &QAbstractButton::clicked, this, [this] { Act(); });
            w = b;
            break;
        }
        case LControlKind::kPopup: {
            auto* c = new QComboBox;
            connect(c, &QComboBox::activated, this, [this] { Act(); });
            w = c;
            break;
        }
        case LControlKind::kScroller: {
            auto* s = new QScrollBar(Qt::Vertical);
            s->setRange(0, kScrollSteps);
            s->setTracking(continuous);
            connect(s, &QAbstractSlider::actionTriggered, this,
                    [this](int action) { ScrollAction(action); });
            w = s;
            break;
        }
        case LControlKind::kStateButton: {
            auto* b = new QToolButton;
            b->setCheckable(true);
            b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
            connect(b, &QAbstractButton::clicked, this, [this] { Act(); });
            w = b;
            break;
        }
        case LControlKind::kProgress: {
            auto* p = new QProgressBar;
            p->setTextVisible(false);
            w = p;
            break;
        }
        case LControlKind::kSlider: {
            auto* s = new QSlider(Qt::Horizontal);
            connect(s, &QAbstractSlider::actionTriggered, this, [this](int action) {
                if (action != QAbstractSlider::SliderMove) Act();
            });
            connect(s, &QAbstractSlider::sliderReleased, this, [this] { Act(); });
            w = s;
            break;
        }
    }
    fWidget = w;
    QtAdoptWidget(w);
    w->hide();
}

QtNativeControl::~QtNativeControl() {
    fOwner = nullptr;
    if (fWidget) {
        fWidget->disconnect(this);
        fWidget->removeEventFilter(QtPressFilter::Instance());
    }
    QtReleaseWidget(fWidget);
    QtReleaseWidget(fClip);
}

void QtNativeControl::Act() {
    if (fOwner) fOwner->NativeAction();
}

void QtNativeControl::ScrollAction(int action) {
    auto* bar = static_cast<QScrollBar*>(fWidget.data());
    switch (action) {
        case QAbstractSlider::SliderSingleStepSub:
            fHitPart = kScrollPartUp;
            break;
        case QAbstractSlider::SliderSingleStepAdd:
            fHitPart = kScrollPartDown;
            break;
        case QAbstractSlider::SliderPageStepSub:
            fHitPart = kScrollPartPageUp;
            break;
        case QAbstractSlider::SliderPageStepAdd:
            fHitPart = kScrollPartPageDown;
            break;
        case QAbstractSlider::SliderMove:
            fHitPart = kScrollPartKnob;
            break;
        default:
            return;
    }
    QPointer<QScrollBar> guard = bar;
    fReadPosition = action == QAbstractSlider::SliderMove;
    Act();
    if (!guard) return;
    fReadPosition = false;
    // The framework set the value it wants (or none): Qt's own step must not follow.
    bar->setSliderPosition(bar->value());
    fHitPart = kScrollPartNone;
}

void QtNativeControl::Remove() {
    fInHost = false;
    if (!fWidget) return;
    fWidget->hide();
    fWidget->setParent(nullptr);
    QtReleaseWidget(fClip);
    fClip = nullptr;
}

void QtNativeControl::SetLocalFrame(i32 width, i32 height) {
    if (fWidget) fWidget->resize(width, height);
}

void QtNativeControl::PlaceWhole(const LRect& frame) {
    if (!fWidget || !fHost) return;
    if (fWidget->parentWidget() != fHost) fWidget->setParent(fHost);
    QtReleaseWidget(fClip);
    fClip = nullptr;
    fWidget->setGeometry(frame.left, frame.top, frame.Width(), frame.Height());
    fWidget->show();
    fInHost = true;
}

void QtNativeControl::PlaceClipped(const LRect& visible, const LRect& frame) {
    if (!fWidget || !fHost) return;
    if (!fClip) {
        fClip = new QWidget(fHost);
        fClip->setAttribute(Qt::WA_NoSystemBackground);
        fClip->setProperty("kvClip", true);
    }
    fClip->setGeometry(visible.left, visible.top, visible.Width(), visible.Height());
    if (fWidget->parentWidget() != fClip) fWidget->setParent(fClip);
    fWidget->setGeometry(frame.left - visible.left, frame.top - visible.top, frame.Width(),
                         frame.Height());
    fWidget->show();
    fClip->show();
    fInHost = true;
}

void QtNativeControl::RedisplayVisible() {
    if (fWidget && fInHost) fWidget->update();
}

void QtNativeControl::DrawInto(LNativeGraphics* graphics, const LRect& rect) {
    auto* g = dynamic_cast<QtPainterGraphics*>(graphics);
    if (!g || !fWidget || rect.IsEmpty()) return;
    if (fWidget->size() != QSize(rect.Width(), rect.Height()))
        fWidget->resize(rect.Width(), rect.Height());
    fWidget->ensurePolished();
    QPainter& p = g->Painter();
    // render() draws through the painter's own transform and clip.
    fWidget->render(&p, QPoint(rect.left, rect.top), QRegion(), QWidget::DrawChildren);
}

void QtNativeControl::MouseDown() {
    if (fWidget) QtPressFilter::Instance()->WantNative(fWidget);
}

void QtNativeControl::SetEnabled(bool enabled) {
    fEnabled = enabled;
    if (fWidget) fWidget->setEnabled(enabled);
}

void QtNativeControl::SetFont(LNativeFont* font) {
    if (!fWidget) return;
    if (auto* f = dynamic_cast<QtNativeFont*>(font))
        fWidget->setFont(f->Font());
    else
        fWidget->setFont(QFont());
}

void QtNativeControl::SetTitle(const LString& title) {
    // Qt takes '&' as the mark of a mnemonic: a title shows its ampersands.
    if (auto* b = qobject_cast<QAbstractButton*>(fWidget.data()))
        b->setText(ToQString(title).replace(u'&', QStringLiteral("&&")));
}

LString QtNativeControl::Title() const {
    if (auto* b = qobject_cast<QAbstractButton*>(fWidget.data()))
        return FromQString(b->text().replace(QStringLiteral("&&"), QStringLiteral("&")));
    return LString();
}

void QtNativeControl::GetCellSize(i32* width, i32* height) const {
    *width = *height = 0;
    if (!fWidget) return;
    const QSize s = fWidget->sizeHint();
    *width = s.width();
    *height = s.height();
}

void QtNativeControl::SetState(i32 state) {
    auto* b = qobject_cast<QAbstractButton*>(fWidget.data());
    if (!b) return;
    if (auto* c = qobject_cast<QCheckBox*>(b)) {
        if (state == 2) c->setTristate(true);
        c->setCheckState(state == 2 ? Qt::PartiallyChecked : state ? Qt::Checked : Qt::Unchecked);
        return;
    }
    b->setCheckable(true);
    b->setChecked(state != 0);
}

i32 QtNativeControl::GetState() const {
    if (auto* c = qobject_cast<QCheckBox*>(fWidget.data()))
        return c->checkState() == Qt::PartiallyChecked ? 2 : c->isChecked() ? 1 : 0;
    if (auto* b = qobject_cast<QAbstractButton*>(fWidget.data())) return b->isChecked() ? 1 : 0;
    return 0;
}

void QtNativeControl::Highlight(bool on) {
    auto* b = qobject_cast<QAbstractButton*>(fWidget.data());
    if (!b) return;
    b->setDown(on);
    // Painted now: a flash pause holds the main thread right after.
    if (b->isVisible()) b->repaint();
}

void QtNativeControl::SetKeyEquivalent(const char* key) {
    // Only the look: Return is the frame's to handle.
    if (auto* b = qobject_cast<QPushButton*>(fWidget.data())) b->setDefault(key && key[0] == '\r');
}

void QtNativeControl::SetImage(LNativeImage* image) {
    auto* b = qobject_cast<QAbstractButton*>(fWidget.data());
    if (!b) return;
    auto* q = dynamic_cast<QtImage*>(image);
    if (!q) {
        b->setIcon(QIcon());
        return;
    }
    b->setIcon(QIcon(QPixmap::fromImage(q->fImage)));
    b->setIconSize(q->fImage.size());
}

void QtNativeControl::RemoveAllItems() {
    if (auto* c = qobject_cast<QComboBox*>(fWidget.data())) c->clear();
}

void QtNativeControl::InsertItem(const LString& title, i32 index) {
    auto* c = qobject_cast<QComboBox*>(fWidget.data());
    if (!c) return;
    if (title.IsEmpty())
        c->insertSeparator(index);
    else
        c->insertItem(index, ToQString(title));
}

i32 QtNativeControl::ItemCount() const {
    auto* c = qobject_cast<QComboBox*>(fWidget.data());
    return c ? c->count() : 0;
}

i32 QtNativeControl::SelectedItem() const {
    auto* c = qobject_cast<QComboBox*>(fWidget.data());
    return c ? c->currentIndex() : -1;
}

void QtNativeControl::SelectItem(i32 index) {
    if (auto* c = qobject_cast<QComboBox*>(fWidget.data())) c->setCurrentIndex(index);
}

void QtNativeControl::SetFloatValue(f32 value) {
    if (auto* s = qobject_cast<QScrollBar*>(fWidget.data()))
        s->setValue(int(std::lround(std::clamp(value, 0.0f, 1.0f) * kScrollSteps)));
}

void QtNativeControl::SetKnobProportion(f32 proportion) {
    auto* s = qobject_cast<QScrollBar*>(fWidget.data());
    if (!s) return;
    // Only an empty range gives Qt's knob the whole groove.
    if (proportion >= 1.0f) {
        fProportion = 1.0f;
        s->setRange(0, 0);
        return;
    }
    if (s->maximum() != kScrollSteps) s->setRange(0, kScrollSteps);
    fProportion = std::clamp(proportion, 0.0f, 0.999f);
    // Qt's knob spans page / (range + page) of the groove.
    const f64 page = f64(fProportion) * kScrollSteps / (1.0 - f64(fProportion));
    s->setPageStep(std::max(1, int(std::lround(std::min(page, 1e8)))));
}

f32 QtNativeControl::FloatValue() const {
    auto* s = qobject_cast<QScrollBar*>(fWidget.data());
    if (!s) return 0;
    const int v = fReadPosition ? s->sliderPosition() : s->value();
    return f32(v) / kScrollSteps;
}

void QtNativeControl::SetMinMax(f64 min, f64 max) {
    if (auto* s = qobject_cast<QSlider*>(fWidget.data()))
        s->setRange(int(std::lround(min)), int(std::lround(std::max(min, max))));
}

void QtNativeControl::SetIntValue(i32 value) {
    if (auto* s = qobject_cast<QSlider*>(fWidget.data())) s->setValue(value);
}

i32 QtNativeControl::IntValue() const {
    auto* s = qobject_cast<QSlider*>(fWidget.data());
    // A groove click or a key step is reported while Qt has moved only the
    // position; its value follows after the report.
    return s ? s->sliderPosition() : 0;
}

LRect QtNativeControl::KnobRect() const {
    auto* s = qobject_cast<QSlider*>(fWidget.data());
    if (!s) return LRect();
    QStyleOptionSlider opt;
    opt.initFrom(s);
    opt.orientation = s->orientation();
    opt.minimum = s->minimum();
    opt.maximum = s->maximum();
    opt.sliderPosition = s->sliderPosition();
    opt.sliderValue = s->value();
    opt.upsideDown = s->orientation() == Qt::Vertical;
    opt.subControls = QStyle::SC_SliderGroove | QStyle::SC_SliderHandle;
    QRect r = s->style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, s);
    // In the host's coordinates.
    if (fHost && s->isVisible()) r.translate(s->mapTo(fHost, QPoint(0, 0)));
    return LRect(r.left(), r.top(), r.left() + r.width(), r.top() + r.height());
}

void QtNativeControl::SetVertical(bool vertical) {
    if (auto* s = qobject_cast<QAbstractSlider*>(fWidget.data()))
        s->setOrientation(vertical ? Qt::Vertical : Qt::Horizontal);
}

void QtNativeControl::ApplyProgress() {
    auto* p = qobject_cast<QProgressBar*>(fWidget.data());
    if (!p) return;
    if (fIndeterminate) {
        p->setRange(0, 0);
        return;
    }
    const int max = int(std::lround(std::clamp(fProgressMax, 1.0, 2e9)));
    p->setRange(0, max);
    // Qt ignores a value outside its range and keeps a stale bar: clamp.
    p->setValue(int(std::lround(std::clamp(fProgressValue, 0.0, f64(max)))));
}

void QtNativeControl::SetMaxValue(f64 max) {
    fProgressMax = max;
    ApplyProgress();
}

void QtNativeControl::SetIndeterminate(bool on) {
    fIndeterminate = on;
    ApplyProgress();
}

void QtNativeControl::SetDoubleValue(f64 value) {
    fProgressValue = value;
    ApplyProgress();
}

// ---------------------------------------------------------------- services

QtControlServices::QtControlServices()
    : fRecorder(std::make_unique<PressRecorder>(QtPressFilter::Instance())) {
    qApp->installEventFilter(fRecorder.get());
    InstallControlServices(this);
}

QtControlServices::~QtControlServices() {
    InstallControlServices(nullptr);
}

LNativeControl* QtControlServices::MakeControl(LControlKind kind, LNativeControlOwner* owner,
                                               void* host, bool continuous) {
    if (!host) return nullptr;
    return new QtNativeControl(kind, owner, host, continuous);
}

LNativeTextField* QtControlServices::MakeTextField(LNativeFieldOwner* owner,
                                                   const LNativeFieldOptions& options) {
    if (!options.window) return nullptr;
    return new QtTextField(owner, options);
}

void QtControlServices::DrawText(LNativeGraphics* graphics, LNativeFont* font, const char* utf8,
                                 u32 length, i32 x, i32 baseline) {
    QtDrawText(graphics, font, utf8, length, x, baseline);
}

LNativeImageRef QtControlServices::MakeImage(const u8* png, u32 size) {
    return QtMakeImage(png, size);
}

i32 QtControlServices::ScrollerWidth(void* window) {
    if (!window) return 16;
    QWidget* w = static_cast<QWidget*>(window);
    return w->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, w);
}

void QtControlServices::LaunchUrl(const LString& url) {
    QDesktopServices::openUrl(QUrl(ToQString(url)));
}

void QtControlServices::FlashPause(u32 ms) {
    // The pressed look is painted already (Highlight repaints); show it on the
    // screen before holding the thread.
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isVisible()) w->repaint();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    QThread::msleep(ms);
}

bool QtControlServices::SliderSize(i32*, i32*) {
    // No theme metrics for sliders here: the pane's defaults apply.
    return false;
}

bool QtControlServices::HostIsDrawing(void* host) {
    QtWindowServices* s = QtWindowServices::Instance();
    return host && s && s->fPainting && static_cast<QWidget*>(s->fPainting) == host;
}

void* QtControlServices::MakeEmbeddedView(void* panel, LEmbeddedOwner* owner) {
    return static_cast<QWidget*>(new MEmbeddedView(static_cast<QWidget*>(panel), owner));
}

void QtControlServices::SetEmbeddedSize(void* view, i32 width, i32 height) {
    if (view) static_cast<QWidget*>(view)->resize(width, height);
}

void QtControlServices::ReleaseEmbeddedView(void* view) {
    auto* v = static_cast<MEmbeddedView*>(static_cast<QWidget*>(view));
    if (!v) return;
    v->Forget();
    QtReleaseWidget(v);
}
