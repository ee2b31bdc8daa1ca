#pragma once
// What the per-device link needs of the device set: the device record of a
// serial number and the set's change notices. The device set itself belongs to
// the device screens; this keeps the link free of them.

#include "records/CRecordDoc.h"
#include "records/DeviceKinds.h"  // DevcF: the fields of a device record

class MDevSetLink {
public:
    virtual ~MDevSetLink() = default;
    // The device record with that serial, or null.
    virtual CRecord* FindDevice(u16 serial) = 0;
    virtual void AddChangeListener(void* object, CRecordDoc::ListenerFn fn) = 0;
    virtual void RemoveChangeListener(void* object, CRecordDoc::ListenerFn fn) = 0;
    // The change notices of the one device record with that serial. A set of
    // thousands of devices tells each device's queues of their own device only,
    // not of every change of every other.
    virtual void AddDeviceListener(u16 serial, void* object, CRecordDoc::ListenerFn fn) {
        (void)serial;
        AddChangeListener(object, fn);
    }
    virtual void RemoveDeviceListener(u16 serial, void* object, CRecordDoc::ListenerFn fn) {
        (void)serial;
        RemoveChangeListener(object, fn);
    }
};
