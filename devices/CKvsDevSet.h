#pragma once
// The devices found on the network: a record document whose root ('YKVS'/'KVSS')
// lists one 'YKVS'/'DEVC' record per device, sorted by serial number. Every
// change goes through the record setters, so the device list and the request
// queues follow through change notices.

#include <unordered_map>
#include <utility>

#include "devlink/DevSetLink.h"
#include "records/CRecordDoc.h"

class CKvsDevSet : public CRecordDoc, public MDevSetLink {
public:
    CKvsDevSet();
    ~CKvsDevSet() override;

    u32 Count() const;
    CRecord* At(u32 index) const;

    // The index of the first device whose serial is greater than serial.
    u32 UpperBound(u16 serial) const;
    CRecord* Find(u16 serial) const;
    // A new device record inserted at the upper bound; null when it cannot be made.
    CRecord* Add(u16 serial);
    void MarkAllNotSeen();
    void RemoveNotSeen();

    // MDevSetLink
    CRecord* FindDevice(u16 serial) override { return Find(serial); }
    void AddChangeListener(void* object, ListenerFn fn) override { AddListener(object, fn); }
    void RemoveChangeListener(void* object, ListenerFn fn) override { RemoveListener(object, fn); }
    void AddDeviceListener(u16 serial, void* object, ListenerFn fn) override;
    void RemoveDeviceListener(u16 serial, void* object, ListenerFn fn) override;

private:
    static void OnNote(void* self, CRecordNote* note);
    bool HasDeviceListener(u16 serial, void* object, ListenerFn fn) const;
    std::unordered_multimap<u16, std::pair<void*, ListenerFn>> fDeviceListeners;
};
