#include "platform/qt/QtAppPrefStore.h"

#include <cstdio>

#include "platform/qt/CAppPrefs.h"

CPrefNode* QtAppPrefStore::OpenPrefs(bool writable) {
    delete fOpen;
    fOpen = new CAppPrefs(LString(), writable ? 1 : 0);
    if (!fOpen->Root().IsOpen()) {
        delete fOpen;
        fOpen = nullptr;
        return nullptr;
    }
    return &fOpen->Root();
}

void QtAppPrefStore::ClosePrefs(CPrefNode*, bool writable) {
    if (!fOpen) return;
    // A save that did not reach the file is said, not lost in silence.
    if (writable && fOpen->Save() != CAppPrefs::kSaveOk)
        std::fprintf(stderr, "KEVOruneSet: the preferences could not be saved to %s\n",
                     fOpen->FilePath().toLocal8Bit().constData());
    delete fOpen;
    fOpen = nullptr;
}
