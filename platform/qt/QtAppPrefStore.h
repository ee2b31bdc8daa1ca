#pragma once
// The application's preferences in the INI file of the configuration folder:
// what the program installs in place of the memory store.

#include <string>

#include "devices/AppPrefStore.h"

class CAppPrefs;

class QtAppPrefStore : public MAppPrefStore {
public:
    CPrefNode* OpenPrefs(bool writable) override;
    void ClosePrefs(CPrefNode* node, bool writable) override;

    // Where a failed save or an unreadable file is said: a one-button message
    // while the program runs, stderr once it quits (or without a window system).
    // Tests take the texts instead.
    using ReportFn = void (*)(const std::string& text);
    static void SetReportHook(ReportFn hook);

private:
    CAppPrefs* fOpen = nullptr;
    // A failure is shown in a window once: the store is read at start, then
    // read and written again for each save.
    bool fStarted = false;
    bool fWriteSaid = false;
};
