#pragma once
// The MIDI note field: shows and takes note names ("C 4", "D#4") instead of
// numbers, yet steps, drags and fixes like any number field.

#include "base/LString.h"
#include "framework/CNumVol.h"

// The note named by text, 0..127: a letter A..G (the last one wins, a lower
// case b is the letter B), "#" for sharp, a signed octave (4 when none); any
// other character is skipped, an empty text is middle C (60).
i32 ParseMidiNote(const char* text);

class CNoteEdit : public CNumVol {
public:
    explicit CNoteEdit(LPane* parent);

    LMessage HandleMessage(const LMessage& msg) override;
    bool AcceptChar(const u8* byte) override;
    i32 GetPrefWidth(LDrawCtx* ctx, i32 hint) override;
    f64 TextValue() override;
    void SetValueRaw(f64 value) override;

    static i32 TextToValue(const LString& text) { return ParseMidiNote(text.CStr()); }
    static LString ValueToText(i32 note);
};
