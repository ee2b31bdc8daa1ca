#pragma once
// The native view of an embedded pane (a panel's accessory): a plain QWidget
// that paints nothing of its own and hosts the pane's controls as children.
// Once it is shown inside a window its pane hears that it is shown and active.

#include <QWidget>

#include "services/ControlServices.h"

class MEmbeddedView : public QWidget {
public:
    MEmbeddedView(QWidget* panel, LEmbeddedOwner* owner);

    // The pane is going: no more news for it.
    void Forget() { fOwner = nullptr; }

protected:
    void showEvent(QShowEvent* e) override;

private:
    LEmbeddedOwner* fOwner;
    bool fToldOwner = false;
};
