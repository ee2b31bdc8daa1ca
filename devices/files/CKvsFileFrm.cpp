#include "devices/files/CKvsFileFrm.h"

#include "devlink/DevObjLink.h"
#include "framework/StdDialogs.h"
#include "services/GraphicsServices.h"
#include "records/CRecordDoc.h"
#include "records/PrefNodes.h"

namespace {
constexpr const char* kName = "KVSFILEFRM";

LTextStyle TabStyle() {
    LTextStyle style;
    style.Set(0, LFont(2));
    return style;
}
}  // namespace

CKvsFileFrm::CKvsFileFrm(LHandler* parent, LPane* container, MDevObjLink* link,
                         const LPaneOpt& options)
    : LFrame(parent, container, options),
      fLink(link),
      fPoller(link),
      fTab0(this, TabStyle()),
      fTab1(this, TabStyle()),
      fDrop(this, link),
      fMark0(this),
      fMark1(this) {
    fNavi = new LListNavi(this, LListNavi::kVerticalBar, true);
    fList = new CKvsFileList(fNavi, link);
    fNavi->SetList(fList);
    fTab0.SetTitle(StdDialogText(kName, 0));
    fTab1.SetTitle(StdDialogText(kName, 1));
    LPenRef green;
    MakePenByColor(&green, 0x00C000FFu, 0);
    for (LTextPane* mark : {&fMark0, &fMark1}) {
        mark->SetText(LString("\xE2\x96\xB6"));
        mark->SetStyle(LFont(2));
        mark->SetColor(green);
        mark->SetState(kOpHide);
    }
    SetLayoutByName(kName, 1);
    Synchronise();
    CRecord* contents = fLink ? fLink->ContentsRecord() : nullptr;
    fDoc = contents ? contents->GetOwner() : nullptr;
    if (fDoc) fDoc->AddListener(this, RecordChanged);
}

CKvsFileFrm::~CKvsFileFrm() {
    if (fDoc) fDoc->RemoveListener(this, RecordChanged);
}

void CKvsFileFrm::Synchronise() {
    CRecord* contents = fLink ? fLink->ContentsRecord() : nullptr;
    const u32 kind = contents ? contents->GetU8(DctsF::field0) : 0;
    fShown = kind;
    fPoller.Start(kind);
    fDrop.SetKind(kind);
    fTab0.SetState(kind == 0 ? 1u : 0u);
    fTab1.SetState(kind == 1 ? 1u : 0u);
    fList->SetSource(contents, kind);
}

void CKvsFileFrm::RecordChanged(void* self, CRecordNote* note) {
    auto* f = static_cast<CKvsFileFrm*>(self);
    CRecord* contents = f->fLink ? f->fLink->ContentsRecord() : nullptr;
    if (!contents || note->record != contents || note->kind != CRecordNote::kChanged) return;
    if (note->field == DctsF::listChanged)
        f->fPoller.Restart();
    else if (note->field == DctsF::field0)
        f->Synchronise();
}

LMessage CKvsFileFrm::HandleMessage(const LMessage& msg) {
    if (msg.Is(LStdCtl_Selected) && (msg.source == &fTab0 || msg.source == &fTab1)) {
        // Only the record changes here: the record's notice switches the folder.
        if (CRecord* contents = fLink ? fLink->ContentsRecord() : nullptr)
            contents->SetU8(nullptr, DctsF::field0, msg.source == &fTab0 ? 0 : 1);
        // A tab shows the folder shown, not the last press.
        fTab0.SetState(fShown == 0 ? 1u : 0u);
        fTab1.SetState(fShown == 1 ? 1u : 0u);
        return LMessage();
    }
    if (msg.source == &fDrop && (msg.Is(LDropPane_Enter) || msg.Is(LDropPane_Drop)))
        return fDrop.HandleMessage(msg);
    if (msg.Is(CKvsFileList_FlChanged) && msg.source == fList) fPoller.Restart();
    return LFrame::HandleMessage(msg);
}
