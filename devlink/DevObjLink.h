#pragma once
// What the file-list pollers, the media requester and the device services need
// of the device controller: its request queue, its contents record and the
// handler that owns its dialogs. The controller belongs to the device screens;
// this keeps the link free of them.

class CReqQueue;
class CRecord;
class LHandler;

class MDevObjLink {
public:
    virtual ~MDevObjLink() = default;
    virtual CReqQueue* DeviceQueue() = 0;
    // 'YKVS'/'DCTS', the root of a record document.
    virtual CRecord* ContentsRecord() = 0;
    virtual LHandler* DialogOwner() = 0;
};
