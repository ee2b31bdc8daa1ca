#include "framework/layout/LScriptInput.h"

#include <cstdio>

bool LScriptInput::GetChar(u8* out) {
    if (fHasPushed) {
        fHasPushed = false;
        *out = fPushed;
        fLast = fPushed;
        return true;
    }
    if (fAtEnd) return false;
    u8 c = 0;
    if (!fReader.GetChar(&c)) {
        // A reader may answer again after its end; the script ends at the first one.
        fAtEnd = true;
        return false;
    }
    if (c == '\r' || (c == '\n' && fLast != '\r')) {
        ++fLine;
        fColumn = 0;
    } else if (c != '\n') {
        ++fColumn;
    }
    fLast = c;
    *out = c;
    return true;
}

void LScriptInput::UnGetChar() {
    fPushed = fLast;
    fHasPushed = true;
}

void LScriptInput::SetError(const char* name) {
    if (fErrorSet) return;
    fErrorSet = 1;
    fErrorLine = fLine;
    fErrorColumn = fColumn;
    fErrorText = LString(name);
}

void LScriptInput::ReportError(LTextSink& out) const {
    if (!fErrorSet) return;
    char buf[64];
    out.Put("Error: ");
    out.Put(fErrorText);
    std::snprintf(buf, sizeof buf, ", Line %u, Char %u\n", fErrorLine + 1, fErrorColumn);
    out.Put(buf);
}
