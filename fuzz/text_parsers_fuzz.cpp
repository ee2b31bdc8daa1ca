// Number, IPv4, code and template parsers and the text scanner over arbitrary text.
#include <cstring>
#include <string>

#include "base/CharReader.h"
#include "base/TextFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    if (size > 4096) return 0;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const char* s = text.c_str();

    (void)StrToLong(s);
    (void)StrToULongLong(s);
    LString out;
    const double d = StrToDouble(s);
    FloatToStr(&out, size ? data[0] % 20 : 0, d);
    FloatToStrFixed(&out, size ? data[0] : 0, d);

    u32 a = 0;
    if (Ipv4FromString(s, &a)) {
        // Only canonical dotted decimal is accepted, so it reads back unchanged.
        Ipv4ToString(&out, a);
        if (!StrEqual(out.CStr(), s)) __builtin_trap();
    } else if (a != 0) {
        __builtin_trap();
    }

    const u32 code = StrToOSType(s);
    OSTypeToString(&out, code);
    if (out.Length() > 4) __builtin_trap();
    const char* items[] = {"a", "bb", "ccc"};
    FormatTemplate(&out, s, 3, items);

    i32 v;
    LMemReader r(text.data(), u32(size));
    while (true) {
        LTextStream t;
        ReaderReadInt(r, &v);
        ReaderReadField(r, t, ',', true);
        ReaderReadNumberText(r, t);
        ReaderReadWord(r, t);
        ReaderReadNonBlank(r);
        LString line;
        if (!ReaderReadLine(r, &line)) break;
    }

    ToLf(&out, LString(text.data(), u32(size)));
    if (std::memchr(out.CStr(), '\r', out.Length())) __builtin_trap();
    return 0;
}
