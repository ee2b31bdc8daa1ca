#pragma once
// Keeps the duration of every file of a device's contents record in its media
// index ('YKVS'/'MDIS'), asking the device for one file's media information
// at a time, whenever a listing brings a file or changes its information text.

#include "base/CStrm.h"
#include "devlink/DevObjLink.h"
#include "framework/LTimer.h"
#include "records/CRecordDoc.h"

class CMedInfoReq : public LHandler {
public:
    static constexpr u32 kRetryMs = 3000;
    // An ERROR from the device is asked again this often before the file is given up.
    static constexpr u32 kErrorRetries = 3;

    // Listens to the device's contents record from here on.
    CMedInfoReq(LHandler* parent, MDevObjLink* device, CRecord* mediaIndex);
    ~CMedInfoReq() override;

    LMessage HandleMessage(const LMessage& msg) override;
    bool IsBusy() const { return fBusy != 0; }

private:
    static void OnContents(void* self, CRecordNote* note);
    static void OnReply(void* self, CStrm* data, const u32* status);
    void Sync(u32 kind);
    void AskNext();
    void Settle(bool ok, u32 dura);

    MDevObjLink* fDevice;
    CRecord* fIndex;
    LTimer fTimer;
    CRecordDoc fReply;
    LString fName;
    u8 fBusy = 0;
    u32 fErrors = 0;  // ERROR answers for fName so far
    CRecordDoc* fContentsDoc = nullptr;
};
