#pragma once
// The application's preferences in the INI file of the configuration folder:
// what the program installs in place of the memory store.

#include "devices/AppPrefStore.h"

class CAppPrefs;

class QtAppPrefStore : public MAppPrefStore {
public:
    CPrefNode* OpenPrefs(bool writable) override;
    void ClosePrefs(CPrefNode* node, bool writable) override;

private:
    CAppPrefs* fOpen = nullptr;
};
