#include "platform/qt/QtMenuLayer.h"

#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QMenuBar>

#include "platform/qt/AppDelegate.h"
#include "platform/qt/QtWindows.h"

QtMenuLayer::QtMenuLayer() {
    fMenus.SetQuitHandler([] {
        if (AppDelegate* app = AppDelegate::Instance()) app->RequestQuit();
    });
    if (qApp) qApp->installEventFilter(this);
}

QtMenuLayer::~QtMenuLayer() {
    if (qApp) qApp->removeEventFilter(this);
}

bool QtMenuLayer::eventFilter(QObject* obj, QEvent* e) {
    // Filters installed later run first: a bridged edit key never reaches the
    // shell's key-equivalent filter.
    if (e->type() == QEvent::KeyPress && obj->isWidgetType() &&
        QtPerformBridgedKey(*static_cast<QKeyEvent*>(e)))
        return true;
    // Before the first show (Polish), so that the window is laid out with its bar.
    if ((e->type() == QEvent::Polish || e->type() == QEvent::Show) && obj->isWidgetType()) {
        auto* window = dynamic_cast<MWindow*>(obj);
        if (window && window->Type() == 1 && window->Layout() && !window->Layout()->menuBar()) {
            const LRect content = window->ContentRect();
            QMenuBar* bar = fMenus.NewWindowMenuBar(window);
            window->Layout()->setMenuBar(bar);
            // The bar comes on top of the content: the window grows by its height
            // rather than taking it from the content that was sized to fit.
            if (!window->isVisible() && content.Width() > 0) {
                const QSize grown(window->width(), window->height() + bar->sizeHint().height());
                if (window->minimumSize() == window->maximumSize())
                    window->setFixedSize(grown);
                else
                    window->resize(grown);
            }
        }
    }
    return false;
}
