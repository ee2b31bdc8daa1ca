// The USB storage listing walk and the copy status reply on arbitrary bytes:
// every entry it yields joins into a device path as one component ("." and
// ".." never), and the reply number always equals a plain reading of the text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/Paths.h"
#include "devices/files/CopyToUms.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

// Leading blanks, one sign, digits; 0 without digits; held to the i32 range.
long long PlainNumber(const std::string& s) {
    size_t i = s.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
    while (i < s.size() && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) ++i;
    bool neg = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
    long long v = 0;
    bool any = false;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        any = true;
        if (v < 10000000000LL) v = v * 10 + (s[i] - '0');
    }
    if (!any) return 0;
    if (neg) v = -v;
    return v > 2147483647LL ? 2147483647LL : v < -2147483648LL ? -2147483648LL : v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    u32 skipped = 0;
    for (const UmsEntry& e : ParseUmsListing(data, size, &skipped)) {
        Check(!e.name.empty() && e.name != "." && e.name != "..");
        Check(IsUsableName(e.name.c_str(), u32(e.name.size())));
        Check(e.name.find('/') == std::string::npos);
    }
    const std::string text(reinterpret_cast<const char*>(data), size);
    Check(ReadReplyNumber(data, size) == PlainNumber(text));
    return 0;
}
