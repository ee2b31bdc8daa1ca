#include "records/AppPrefsDoc.h"

namespace {
CRecordDoc* sAppPrefs = nullptr;
}

CRecordDoc* AppPrefsDoc() {
    return sAppPrefs;
}

void SetAppPrefsDoc(CRecordDoc* doc) {
    sAppPrefs = doc;
}
