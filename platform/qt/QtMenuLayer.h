#pragma once
// The native menus, installed while it lives; it also gives every ordinary
// window (type 1) its menu bar above the content view, and lets the edit keys
// of a bridged Edit menu reach the focused text field. The shell holds one beside
// its window and drawing services, made before the run loop builds the
// application's menu bar.

#include <QObject>

#include "platform/qt/QtMenus.h"

class QtMenuLayer : public QObject {
public:
    QtMenuLayer();
    ~QtMenuLayer() override;

    QtMenuServices& Menus() { return fMenus; }

protected:
    bool eventFilter(QObject* obj, QEvent* e) override;

private:
    QtMenuServices fMenus;
};
