#pragma once
// Numbers, four-character codes and IPv4 addresses as text. Nothing here looks
// at the process locale: record files and device replies always use '.' as the
// decimal point and plain ASCII digits, whatever LC_NUMERIC says.

#include "base/LString.h"
#include "base/LTextSink.h"

// Decimal integers.
void AppendNum(long value, LTextSink& sink);
LString& NumToStr(LString* out, long value);
LString& ULongToStr(LString* out, u64 value);

// Hexadecimal: optional "0x", then at least minDigits digits (0 = no padding).
void HexToSink(LTextSink& sink, u64 value, bool prefix, bool upperCase, u32 minDigits);
// As HexToSink, limited to 63 characters (the padding is cut, never the value).
LString& HexToStr(LString* out, u64 value, bool prefix, bool upperCase, u32 minDigits);

// Fixed-point with exactly `decimals` decimals (at most kMaxFixedDecimals).
constexpr u32 kMaxFixedDecimals = 160;
LString& FloatToStrFixed(LString* out, u32 decimals, double value);
// Fixed-point with at most 15 decimals, trailing zeros and a bare point cut.
LString& FloatToStr(LString* out, u32 decimals, double value);

// "%0".."%9" replaced by items[0..9]; "%%" is one '%'; other escapes vanish.
LString& FormatTemplate(LString* out, const char* templ, u32 count, const char* const* items);

// Parsers in the manner of the C library's, but locale-independent. Leading
// white space and one sign are accepted; out-of-range values saturate; text
// without digits (or null) gives 0.
long StrToLong(const char* text);
// A negative number gives 0 rather than wrapping around.
u64 StrToULongLong(const char* text);
double StrToDouble(const char* text);

// Four-character codes (first character in the most significant byte).
LString& OSTypeToString(LString* out, u32 code);
// Up to four bytes, padded with blanks; empty or null text gives 0.
u32 StrToOSType(const char* text);
// As StrToOSType, but empty or null text gives four blanks.
u32 StrToFourCharCode(const char* text);

// IPv4 addresses in host order as dotted decimal.
LString& Ipv4ToString(LString* out, u32 address);
// Accepts exactly four decimal parts 0-255 ("10.0.0.1"); nothing else, so
// 0.0.0.0 is told apart from an error. *address is 0 on failure.
bool Ipv4FromString(const char* text, u32* address);
