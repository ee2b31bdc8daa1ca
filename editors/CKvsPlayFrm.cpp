#include "editors/CKvsPlayFrm.h"

#include "editors/CKvsScnEdF.h"
#include "editors/CKvsSeqList.h"
#include "editors/DeviceHooks.h"
#include "framework/CHeaderFrame.h"
#include "framework/LListNavi.h"
#include "records/CRecord.h"
#include "records/ShowKinds.h"

CKvsPlayFrm::CKvsPlayFrm(LHandler* parent, LPane* container, MPlayDevice* device,
                         CRecord* seqSettings)
    : LFrame(parent, container),
      fSettings(seqSettings),
      fHeader(new CHeaderFrameV(this, 0, 0, 0)),
      fStop(this),
      fPlus(this),
      fSeqMark(this),
      fAuxMark(this) {
    // U+25FC with the text presentation selector: a plain square on every font.
    fStop.SetTitle(LString("\xE2\x97\xBC\xEF\xB8\x8E"));
    fNavi = new LListNavi(this, LListNavi::kVerticalBar, true);
    fList = new CKvsSeqList(fNavi, device, seqSettings, fHeader);
    fScnEd = new CKvsScnEdF(this, this, device, seqSettings);
    // The layout counts on a sixth child, with or without the hook.
    if (device && DeviceHooks().newFileFrame)
        fFiles = DeviceHooks().newFileFrame(*device, this, this);
    else
        fFiles = new LFrame(this, this);
    for (LTextPane* mark : {&fSeqMark, &fAuxMark}) {
        mark->SetText(LString("\xE2\x96\xB6"));
        mark->SetState(kOpHide);
    }
    SetLayoutByName("KVSPLAYFRM", 1);
    fNavi->SetList(fList);
}

CKvsPlayFrm::~CKvsPlayFrm() = default;

void CKvsPlayFrm::SetPlaying(bool sequence, bool aux) {
    fSeqMark.SetState(sequence ? kOpShow : kOpHide);
    fAuxMark.SetState(aux ? kOpShow : kOpHide);
}

CRecord* CKvsPlayFrm::GetSelectedSeq() const {
    if (!fSettings) return nullptr;
    LSelIter it;
    it.Init(fList->Selection(), false, false);
    if (!it.Next()) return nullptr;
    const i32 row = it.Cell().row;
    if (row < 0 || u32(row) >= fSettings->GetListCount(SqstF::sqcs)) return nullptr;
    return fSettings->GetListItem(SqstF::sqcs, u32(row));
}

LMessage CKvsPlayFrm::HandleMessage(const LMessage& msg) {
    if (msg.Is(LListPane_SelChange) && msg.source == fList) {
        fScnEd->SetSequence(GetSelectedSeq());
        return LMessage();
    }
    return LFrame::HandleMessage(msg);
}

void CKvsPlayFrm::StateChanged(u32 op) {
    LFrame::StateChanged(op);
    if (op == kOpShow || op == kOpHide || op == kOpContainerShown || op == kOpContainerHidden)
        Send(CKvsPlayFrm_Vis, this, fParent);
}
