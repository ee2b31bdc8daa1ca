#include "editors/nsq/CKvsPlay2Frm.h"

#include "editors/CKvsSeqList.h"
#include "editors/DeviceHooks.h"
#include "editors/nsq/CNSqSceneFrames.h"
#include "editors/nsq/CNSqTimeScale.h"
#include "editors/nsq/CNSqTrkEditF.h"
#include "editors/nsq/CNSqUScnF.h"
#include "framework/CHeaderFrame.h"
#include "framework/LDrawObj.h"
#include "framework/LFont.h"
#include "framework/LListNavi.h"
#include "records/CRecord.h"
#include "records/NsqPrefKinds.h"
#include "records/ShowKinds.h"

CKvsPlay2Frm::CKvsPlay2Frm(LHandler* parent, LPane* container, MPlayDevice* device,
                           CNSqTimeScale* scale, CRecord* seqSettings, LMenu* sceneMenu)
    : LFrame(parent, container),
      fSettings(seqSettings),
      fLink(this, scale),
      fSeqF(new LFrame(this, this)),
      fHeader(new CHeaderFrameV(fSeqF, 0, 0, 0)),
      fStop(new CStateButton(fSeqF)),
      fPlus(new CPlusButton(fSeqF)) {
    // U+25FC with the text presentation selector: a plain square on every font.
    fStop->SetTitle(LString("\xE2\x97\xBC\xEF\xB8\x8E"));
    fNavi = new LListNavi(fSeqF, LListNavi::kVerticalBar, true);
    fList = new CKvsNSqSeqList(fNavi, device, seqSettings, fHeader);
    fTime = new LTextPane(fSeqF);
    fTime->SetStyle(LFont(3));
    fTime->SetAlignment(LTextBox::kAlignRight);
    fTime->SetText(LString("--:--:--"));
    fSqPrm = new CNSqUSqPrmF(this);
    fScnF = new CNSqUScnF(this, scale);
    fScnPrm = new CNSqUScnPrmF(this, scale->Kinds());
    fSep = new LSeparator(this, this);
    if (device && DeviceHooks().newFileFrame)
        fFiles = DeviceHooks().newFileFrame(*device, this, this);
    else
        fFiles = new LFrame(this, this);
    fTrkEdit = new CNSqTrkEditF(this, scale, sceneMenu);
    fSeqF->SetLayoutByName("KVSPLAY2SEQF", 1);
    SetLayoutByName("KVSPLAY2FRM", 1);
    fNavi->SetList(fList);
    fLink.SetTrackEditFrame(fTrkEdit);
    fLink.SetSceneFrame(fScnF);
    fLink.SetScenePrmFrame(fScnPrm);
}

CKvsPlay2Frm::~CKvsPlay2Frm() {
    fLink.SetSequence(nullptr);
}

CRecord* CKvsPlay2Frm::GetSelectedNsqSeq() const {
    CRecord* set = fSettings ? fSettings->GetChild(SqstF::nsqs) : nullptr;
    if (!set) return nullptr;
    LSelIter it;
    it.Init(fList->Selection(), false, false);
    if (!it.Next()) return nullptr;
    const i32 row = it.Cell().row;
    if (row < 0 || u32(row) >= set->GetListCount(SsetF::seqs)) return nullptr;
    return set->GetListItem(SsetF::seqs, u32(row));
}

LMessage CKvsPlay2Frm::HandleMessage(const LMessage& msg) {
    if (msg.Is(LListPane_SelChange) && msg.source == fList) {
        CRecord* seq = GetSelectedNsqSeq();
        fSqPrm->SetSequence(seq);
        fLink.SetSequence(seq);
        Send(CKvsPlay2Frm_Seq, this, fParent);
        return LMessage();
    }
    if (msg.Is(CNSqUScnF_BringScn)) return fLink.HandleMessage(msg);
    return LFrame::HandleMessage(msg);
}

void CKvsPlay2Frm::StateChanged(u32 op) {
    LFrame::StateChanged(op);
    if (op == kOpShow || op == kOpHide || op == kOpContainerShown || op == kOpContainerHidden)
        Send(CKvsPlay2Frm_Vis, this, fParent);
}

void CKvsPlay2Frm::Draw(LDrawCtx& ctx) {
    LFrame::Draw(ctx);
    LPenRef grey;
    MakePenByGray(&grey, 2);
    for (const LPane* p :
         {static_cast<LPane*>(fSqPrm), static_cast<LPane*>(fScnF), static_cast<LPane*>(fScnPrm)}) {
        if (!(p->State() & 1)) continue;
        // Children sit in the frame's coordinates.
        LRect b = p->Bounds();
        b.Offset(fBounds.left, fBounds.top);
        CFillStyle f;
        f.fRect = LRect(b.left - 1, b.top - 1, b.right + 1, b.bottom + 1);
        f.fHLineWidth = 1;
        f.fVLineWidth = 1;
        f.fPen = grey;
        f.Draw(ctx);
    }
}
