#include "devices/CKvsDevSet.h"

#include <vector>

#include "records/DeviceKinds.h"

namespace {

constexpr u8 kDevices = KvssF::devs;

CRecord* NewRoot() {
    RegisterAllRecordKinds();
    const CRecordSchema* schema = CRecordSchema::Find(kFamKvs, kKindKvss);
    return schema ? CRecord::New(schema) : nullptr;
}

// Serials are 16-bit; only the low 16 bits of the stored value count.
u16 SerialOf(const CRecord* device) {
    return u16(device->GetU32(DevcF::serial));
}

}  // namespace

CKvsDevSet::CKvsDevSet() : CRecordDoc(NewRoot()) {
    AddListener(this, OnNote);
}

CKvsDevSet::~CKvsDevSet() {
    RemoveListener(this, OnNote);
}

void CKvsDevSet::AddDeviceListener(u16 serial, void* object, ListenerFn fn) {
    if (!HasDeviceListener(serial, object, fn)) fDeviceListeners.emplace(serial, std::make_pair(object, fn));
}

void CKvsDevSet::RemoveDeviceListener(u16 serial, void* object, ListenerFn fn) {
    auto [it, end] = fDeviceListeners.equal_range(serial);
    for (; it != end; ++it) {
        if (it->second.first == object && it->second.second == fn) {
            fDeviceListeners.erase(it);
            return;
        }
    }
}

bool CKvsDevSet::HasDeviceListener(u16 serial, void* object, ListenerFn fn) const {
    auto [it, end] = fDeviceListeners.equal_range(serial);
    for (; it != end; ++it)
        if (it->second.first == object && it->second.second == fn) return true;
    return false;
}

void CKvsDevSet::OnNote(void* self, CRecordNote* note) {
    auto* set = static_cast<CKvsDevSet*>(self);
    const CRecord* device = note->record;
    if (!device || device->Family() != kFamKvs || device->Kind() != kKindDevc) return;
    const u16 serial = SerialOf(device);
    auto [it, end] = set->fDeviceListeners.equal_range(serial);
    if (it == end) return;
    std::vector<std::pair<void*, ListenerFn>> called;
    for (; it != end; ++it) called.push_back(it->second);
    for (const auto& [object, fn] : called) {
        // One of them may have taken another away (a queue deleted from a completion).
        if (set->HasDeviceListener(serial, object, fn)) fn(object, note);
    }
}

u32 CKvsDevSet::Count() const {
    return fRoot ? fRoot->GetListCount(kDevices) : 0;
}

CRecord* CKvsDevSet::At(u32 index) const {
    return fRoot->GetListItem(kDevices, index);
}

u32 CKvsDevSet::UpperBound(u16 serial) const {
    u32 lo = 0, hi = Count();
    while (lo < hi) {
        const u32 mid = lo + (hi - lo) / 2;
        if (SerialOf(At(mid)) > serial)
            hi = mid;
        else
            lo = mid + 1;
    }
    return lo;
}

CRecord* CKvsDevSet::Find(u16 serial) const {
    const u32 at = UpperBound(serial);
    if (at == 0) return nullptr;
    CRecord* device = At(at - 1);
    return SerialOf(device) == serial ? device : nullptr;
}

CRecord* CKvsDevSet::Add(u16 serial) {
    if (!fRoot) return nullptr;
    const CRecordSchema* schema = CRecordSchema::Find(kFamKvs, kKindDevc);
    CRecord* device = schema ? CRecord::New(schema) : nullptr;
    if (!device) return nullptr;
    device->SetU32(nullptr, DevcF::serial, serial);
    const u32 at = UpperBound(serial);
    if (!fRoot->InsertItem(nullptr, kDevices, at, device)) return nullptr;
    return device;
}

void CKvsDevSet::MarkAllNotSeen() {
    for (u32 i = 0; i < Count(); ++i) At(i)->SetU8(nullptr, DevcF::notSeen, 1);
}

void CKvsDevSet::RemoveNotSeen() {
    for (u32 i = Count(); i-- > 0;)
        if (At(i)->GetU8(DevcF::notSeen) != 0) fRoot->RemoveItem(nullptr, kDevices, i);
}
