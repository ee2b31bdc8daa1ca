#pragma once
// The menus, drawing services and font panel of the Qt layer, installed while
// it lives; it also gives every ordinary window (type 1) its menu bar above the
// content view. The shell holds one beside its window services, made before
// the run loop builds the application's menu bar.

#include <QObject>

#include "platform/qt/QtDrawing.h"
#include "platform/qt/QtMenus.h"

class QtDrawingLayer : public QObject {
public:
    QtDrawingLayer();
    ~QtDrawingLayer() override;

    QtMenuServices& Menus() { return fMenus; }
    QtDrawingServices& Drawing() { return fDrawing; }

protected:
    bool eventFilter(QObject* obj, QEvent* e) override;

private:
    QtMenuServices fMenus;
    QtDrawingServices fDrawing;
};
