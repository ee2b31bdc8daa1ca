#include "platform/qt/MEmbeddedView.h"

MEmbeddedView::MEmbeddedView(QWidget* panel, LEmbeddedOwner* owner)
    : QWidget(panel), fOwner(owner) {
    setAttribute(Qt::WA_NoSystemBackground);
    setAutoFillBackground(false);
}

void MEmbeddedView::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    // Only a view inside a window counts: a parentless one is no window of ours.
    if (fToldOwner || !fOwner || !parentWidget() || !window()->isVisible()) return;
    fToldOwner = true;
    fOwner->EmbeddedInWindow();
}
