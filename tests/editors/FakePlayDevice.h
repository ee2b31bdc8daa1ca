#pragma once
// A device for the editors: its command, state and contents records; the
// command writes are logged as "plsn=..." and "pltm=..." as the setter makes them.
#include <cstdlib>
#include <string>
#include <vector>

#include "editors/DeviceHooks.h"
#include "records/CRecordDoc.h"
#include "records/DeviceKinds.h"
#include "records/PrefNodes.h"
#include "records/RecordKinds.h"

inline CRecord* NewKind(u32 family, u32 kind) {
    return CRecord::New(CRecordSchema::Find(family, kind));
}

class FakePlayDevice : public MPlayDevice {
public:
    FakePlayDevice() { fCmd.AddListener(this, OnCmd); }
    ~FakePlayDevice() override { fCmd.RemoveListener(this, OnCmd); }
    u32 DeviceSerial() const override { return 1; }
    CRecordDoc* SettingsDoc() override { return nullptr; }
    CRecordDoc* CommandDoc() override { return &fCmd; }
    CRecordDoc* ContentsDoc() override { return &fContents; }
    CRecordDoc* StateDoc() override { return &fState; }
    CRecordDoc* SeqStatDoc() override { return nullptr; }
    CReqQueue& FileRequests() override { std::abort(); }
    CReqQueue& ChannelRequests() override { std::abort(); }
    CDevRequestQueue& SeqStatusChannel() override { std::abort(); }
    CRecord* MediaIndex() override { return nullptr; }
    MDevObjLink* ObjLink() override { return nullptr; }
    bool RunDeviceSyncDialog(LHandler*) override { return false; }

    static void OnCmd(void* self, CRecordNote* n) {
        const CRecord* r = n->record;
        if (n->kind != CRecordNote::kChanged) return;
        static_cast<FakePlayDevice*>(self)->fLog.push_back(
            n->field == DvcmF::plsn ? "plsn=" + std::string(r->GetString(n->field).CStr())
                                    : "pltm=" + std::to_string(r->GetI32(n->field)));
    }
    CRecordDoc fCmd{NewKind(kFamKvt, kKindDvcm)};
    CRecordDoc fState{NewKind(kFamKvt, kKindDvss)};
    CRecordDoc fContents{NewDeviceContentsRecord()};
    std::vector<std::string> fLog;
};
