#pragma once
// A frame living inside a native view of a panel (the accessory view of the
// file panels) instead of a window of its own.

#include "framework/LFrame.h"
#include "services/ControlServices.h"

class LEmbeddedPane : public LFrame, public LEmbeddedOwner {
public:
    LEmbeddedPane(LHandler* parent, void* panel);
    ~LEmbeddedPane() override;

    void FillDrawEnv(LDrawEnv& env) override;
    void BoundsChanged(const LRect& old) override;
    // The view entered a window: the pane is on screen and active from now on.
    void EmbeddedInWindow() override;

    void* Panel() const { return fPanel; }
    void* View() const { return fView; }

private:
    void* fPanel;
    void* fView;
};
