#include "devices/AppPrefStore.h"

namespace {

MAppPrefStore* sInstalled = nullptr;

}  // namespace

CPrefNode* CMemAppPrefStore::OpenPrefs(bool writable) {
    fStore.SetWritable(writable);
    CPrefNode* node = new CPrefNode(&fStore, "prefs", writable);
    if (!node->IsOpen()) {
        delete node;
        return nullptr;
    }
    return node;
}

void CMemAppPrefStore::ClosePrefs(CPrefNode* node, bool) {
    delete node;
    fStore.SetWritable(true);
}

MAppPrefStore& AppPrefStore() {
    static CMemAppPrefStore memory;
    return sInstalled ? *sInstalled : memory;
}

void InstallAppPrefStore(MAppPrefStore* store) {
    sInstalled = store;
}
