#include "devices/CKvsDevWin.h"

#include "devices/CKvsDevDoc.h"

MKvsDevView* NewKvsDevWindow(CKvsDevDoc*) {
    return nullptr;
}
