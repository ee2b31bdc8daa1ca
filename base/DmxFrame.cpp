#include "base/DmxFrame.h"

#include <cstring>

void DmxFrame::Extend(u32 n) {
    if (n > kDmxSlots) n = kDmxSlots;
    if (n <= count) return;
    std::memset(slots + count, 0, n - count);
    count = u16(n);
}

void DmxFrame::SetCount(u32 n) {
    if (n > kDmxSlots) n = kDmxSlots;
    if (n < count) std::memset(slots + n, 0, kDmxSlots - n);
    count = u16(n);
}

void CDmxFrameBuf::Assign(const CDmxFrameBuf& other) {
    if (&other == this) return;
    count = other.count;
    std::memcpy(slots, other.slots, kDmxSlots);
}

bool CDmxFrameBuf::Equals(const CDmxFrameBuf& other) const {
    if (count != other.count) return false;
    const u32 n = count > kDmxSlots ? kDmxSlots : count;
    return std::memcmp(slots, other.slots, n) == 0;
}
