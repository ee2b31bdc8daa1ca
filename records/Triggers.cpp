#include "records/Triggers.h"

#include <cstdio>

#include "base/TextFormat.h"
#include "records/ShowKinds.h"
#include "records/ShowOpsSupport.h"

using showops::NewOf;
using showops::OpenGroup;

u32 AddAuxPlay(CRecord* auxPlays, LHandler* ctx) {
    const u32 n = auxPlays->GetListCount(AplsF::plys);
    if (CRecord* p = NewOf(kFamKvt, kKindAply)) auxPlays->InsertItem(ctx, AplsF::plys, n, p);
    return n;
}

u32 AddAuxTrigger(CRecord* auxPlay, LHandler* ctx) {
    const u32 n = auxPlay->GetListCount(AplyF::trgs);
    if (CRecord* t = NewOf(kFamKvt, kKindAptg)) auxPlay->InsertItem(ctx, AplyF::trgs, n, t);
    return n;
}

void AuxTriggerSetModeAndValue(CRecord* trigger, LHandler* ctx, u8 mode, u32 value) {
    auto group = OpenGroup(ctx, trigger);
    if (CRecord* tg = trigger->GetChild(AptgF::sntg)) tg->SetU8(ctx, SntgF::tgmd, mode);
    trigger->SetU32(ctx, AptgF::valu, value);
}

void AuxTriggerSetModeSigned(CRecord* trigger, LHandler* ctx, i32 mode, i32 value) {
    auto group = OpenGroup(ctx, trigger);
    CRecord* tg = trigger->GetChild(AptgF::sntg);
    if (tg) tg->SetU8(ctx, SntgF::tgmd, u8(mode));
    if (tg) tg->SetU8(ctx, SntgF::sgch, value < 0 ? 0 : 1);
    trigger->SetI32(ctx, AptgF::valu, value < 0 ? 0 : value);
}

LString& MidiNoteName(LString* out, u8 note, i32 octaveOffset) {
    static const char* const kNames[12] = {"C ", "C#", "D ", "D#", "E ", "F ",
                                           "F#", "G ", "G#", "A ", "A#", "B "};
    char buf[24];
    std::snprintf(buf, sizeof buf, "%s%d", kNames[note % 12],
                  int(note / 12) - 5 + int(octaveOffset));
    *out = LString(buf);
    return *out;
}

LString& TriggerInputLabel(LString* out, const CRecord* tg, u32 n) {
    *out = LString();
    auto num = [out](u64 v) -> LString& { return ULongToStr(out, v); };
    const u32 kind = tg->GetU8(SntgF::tgmd);
    switch (kind) {
        case 1:
        case 2:
        case 14:
            if (tg->GetU8(SntgF::sgch)) return n + 1 <= 254 ? num(u64(n) + 1) : *out;
            return u64(tg->GetU32(SntgF::bsch)) + n <= 512 ? num(u64(tg->GetU32(SntgF::bsch)) + n)
                                                           : *out;
        case 3:
            if (n > 9) return *out;
            return num((n + 1) % 10);
        case 4:
            if (n > 25) return *out;
            {
                const char c[2] = {char('A' + n), 0};
                *out = LString(c);
            }
            return *out;
        case 5:
            return n <= 31 ? num(u64(n) + 1) : *out;
        case 6:
        case 15:
            return num(n);
        case 7:
            return n <= 127 ? num(n) : *out;
        case 8: {
            const u64 ch = u64(tg->GetU8(SntgF::mdch)) + n;
            return ch <= 15 ? num(ch + 1) : *out;
        }
        case 9: {
            const u64 c = u64(tg->GetU8(SntgF::mdct)) + n;
            return c <= 127 ? num(c) : *out;
        }
        case 10: {
            const u64 note = u64(tg->GetU8(SntgF::mdnt)) + n;
            return note <= 127 ? MidiNoteName(out, u8(note), 4) : *out;
        }
        case 11:
            return n <= 127 ? num(u64(n) + 1) : *out;
        case 12:
            return n <= 7 ? num(u64(n) + 1) : *out;
        case 13:
            return n <= 254 ? num(u64(n) + 1) : *out;
        default:
            return *out;
    }
}
