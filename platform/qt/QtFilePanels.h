#pragma once
// The file panels on a non-native QFileDialog, application-modal. The type
// pop-up is the dialog's own filter box (one entry per type); a proxy model
// lists what the panel's rule allows, so "A.DRC" shows with the type "drc".
// The save panel appends the allowed type as the default suffix.

#include "framework/CFilePanel.h"

class QFileDialog;

class QtFilePanelServices : public LFilePanelServices {
public:
    QtFilePanelServices();
    ~QtFilePanelServices() override;

    void RunPanel(CFilePanel& panel) override;

    // The dialog of the panel that is running; null between runs (for tests).
    static QFileDialog* Running();
};
