#pragma once
// The process-wide document of the application preferences ('YKVS'/'PREF'),
// set by the application object once it has read them; null before and after.

class CRecordDoc;

CRecordDoc* AppPrefsDoc();
void SetAppPrefsDoc(CRecordDoc* doc);
