#pragma once
// The source reader of the compiled layout dialect: one byte of push-back,
// line and column counting (CR LF counts once) and the first error's position.

#include "base/CharReader.h"
#include "base/LString.h"
#include "base/LTextSink.h"

class LScriptInput {
public:
    explicit LScriptInput(LCharReader& reader) : fReader(reader) {}

    // False at the end of the input.
    bool GetChar(u8* out);
    // Pushes back the last byte returned; the counters stay as they are.
    void UnGetChar();
    // Records the first error only.
    void SetError(const char* name);
    // "Error: NAME, Line L, Char C\n" when an error is recorded.
    void ReportError(LTextSink& out) const;

    bool HasError() const { return fErrorSet != 0; }
    const LString& ErrorName() const { return fErrorText; }
    u32 ErrorLine() const { return fErrorLine; }      // counted from 0
    u32 ErrorColumn() const { return fErrorColumn; }  // bytes into the line

private:
    LCharReader& fReader;
    u8 fLast = 0;
    u8 fPushed = 0;
    bool fHasPushed = false;
    bool fAtEnd = false;
    u32 fLine = 0;
    u32 fColumn = 0;
    u8 fErrorSet = 0;
    u32 fErrorLine = 0;
    u32 fErrorColumn = 0;
    LString fErrorText;
};
