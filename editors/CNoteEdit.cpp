#include "editors/CNoteEdit.h"

#include <algorithm>
#include <cmath>

#include "records/Triggers.h"

namespace {

// A signed decimal at s, saturating far beyond any octave a note can have, so
// that a long run of digits can neither overflow nor wrap into range.
i64 ReadOctave(const char*& s) {
    bool negative = false;
    if (*s == '-') {
        negative = true;
        ++s;
    }
    i64 v = 0;
    for (; *s >= '0' && *s <= '9'; ++s) v = std::min<i64>(v * 10 + (*s - '0'), 1000000);
    return negative ? -v : v;
}

}  // namespace

i32 ParseMidiNote(const char* text) {
    static const i32 kSteps[7] = {9, 11, 0, 2, 4, 5, 7};  // A..G
    i32 step = 0;
    bool sharp = false;
    i64 octave = 4;
    for (const char* s = text; s && *s;) {
        char c = *s;
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
        if (c >= 'A' && c <= 'G') {
            step = kSteps[c - 'A'];
            ++s;
        } else if (c == '#') {
            sharp = true;
            ++s;
        } else if ((c >= '0' && c <= '9') || (c == '-' && s[1] >= '0' && s[1] <= '9')) {
            octave = ReadOctave(s);
        } else {
            // Also a "-" without a digit after it: reading it as a number would
            // consume nothing and stop here for ever.
            ++s;
        }
    }
    const i64 note = 12 * (octave + 1) + step + (sharp ? 1 : 0);
    return i32(std::clamp<i64>(note, 0, 127));
}

LString CNoteEdit::ValueToText(i32 note) {
    LString s;
    return MidiNoteName(&s, u8(std::clamp(note, 0, 127)), 4);
}

CNoteEdit::CNoteEdit(LPane* parent) : CNumVol(parent) {
    SetRange(0, 127, 1);
    SetValue(60);
}

LMessage CNoteEdit::HandleMessage(const LMessage& msg) {
    // A note name is no number: the number field would cut it to its digits.
    if (msg.source == this && msg.Is(LEditText_Change)) return LAsciiEdit::HandleMessage(msg);
    return CNumVol::HandleMessage(msg);
}

bool CNoteEdit::AcceptChar(const u8* byte) {
    return LAsciiEdit::AcceptChar(byte);
}

i32 CNoteEdit::GetPrefWidth(LDrawCtx* ctx, i32 hint) {
    if (hint < 0) return CNumVol::GetPrefWidth(ctx, hint);
    fBox.SetFont(fFont);
    return 2 * Border() + 4 * (fBox.GetAscent(ctx) + fBox.GetDescent(ctx));
}

f64 CNoteEdit::TextValue() {
    return TextToValue(GetText());
}

void CNoteEdit::SetValueRaw(f64 value) {
    SetText(ValueToText(i32(std::lround(value))));
}
