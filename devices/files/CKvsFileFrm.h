#pragma once
// The device file frame: two folder tabs (recordings, audio files), the drop
// area, and the list of the folder shown with its navigator. The folder shown
// lives in the device's contents record; the frame follows it there and keeps
// the folder's listing fresh while it exists.

#include "devices/files/CKvsFileDrop.h"
#include "devices/files/CKvsFileList.h"
#include "devlink/FileListPoller.h"
#include "framework/LFrame.h"
#include "framework/LListNavi.h"
#include "framework/LStdCtl.h"
#include "framework/LTextPane.h"

class CRecordDoc;
struct CRecordNote;
class MDevObjLink;

class CKvsFileFrm : public LFrame {
public:
    CKvsFileFrm(LHandler* parent, LPane* container, MDevObjLink* link,
                const LPaneOpt& options = LPaneOpt::Default());
    ~CKvsFileFrm() override;
    LMessage HandleMessage(const LMessage& msg) override;

    u32 ShownKind() const { return fShown; }

    MDevObjLink* fLink;
    CKvsFileListPoller fPoller;
    CStateButton fTab0;
    CStateButton fTab1;
    CKvsFileDrop fDrop;
    LListNavi* fNavi;
    CKvsFileList* fList;
    LTextPane fMark0;
    LTextPane fMark1;

private:
    void Synchronise();
    static void RecordChanged(void* self, CRecordNote* note);

    CRecordDoc* fDoc = nullptr;
    u32 fShown = 0;
};
