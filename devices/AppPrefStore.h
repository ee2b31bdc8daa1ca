#pragma once
// Where the application's preferences live: one tree of named values under
// "prefs" in the platform's preferences store. The application object opens it
// to read its preferences at start and to write them when it ends.

#include "records/CPrefNode.h"

class MAppPrefStore {
public:
    virtual ~MAppPrefStore() = default;
    // The "prefs" node, writable or read-only; null when there is nothing to read.
    virtual CPrefNode* OpenPrefs(bool writable) = 0;
    // Closing a writable node writes the tree back to the store.
    virtual void ClosePrefs(CPrefNode* node, bool writable) = 0;
};

// A store kept in memory for the life of the process: what the application
// uses until the platform installs its own.
class CMemAppPrefStore : public MAppPrefStore {
public:
    CPrefNode* OpenPrefs(bool writable) override;
    void ClosePrefs(CPrefNode* node, bool writable) override;
    CMemPrefStore& Store() { return fStore; }

private:
    CMemPrefStore fStore;
};

// The installed store (the memory store when none was installed).
MAppPrefStore& AppPrefStore();
// Null goes back to the memory store. The caller keeps ownership.
void InstallAppPrefStore(MAppPrefStore* store);
