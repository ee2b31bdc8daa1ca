#include "editors/CKvsScnEdF.h"

#include <algorithm>
#include <limits>

#include "base/LTextSink.h"
#include "editors/CKvsScnList.h"
#include "editors/CKvsScnMonF.h"
#include "editors/CKvsScnPrmF.h"
#include "editors/DeviceHooks.h"
#include "framework/CHeaderFrame.h"
#include "framework/LListNavi.h"
#include "framework/StdDialogs.h"
#include "records/AppPrefsDoc.h"
#include "records/CRecordDoc.h"
#include "records/DeviceKinds.h"
#include "records/LRecPath.h"
#include "records/NsqPrefKinds.h"
#include "records/OneShotFields.h"
#include "records/PrefNodes.h"
#include "records/ShowKinds.h"

namespace {

constexpr const char* kTexts = "KVSSEQEDIT";

}  // namespace

CKvsScnEdF::CKvsScnEdF(LHandler* parent, LPane* container, MPlayDevice* device,
                       CRecord* seqSettings)
    : LFrame(parent, container),
      fDevice(device),
      fSettings(seqSettings),
      fRepeat(this),
      fHeader(new CHeaderFrameV(this, 0, 0, 0)),
      fPlus(this),
      fScene(this, this) {
    fNavi = new LListNavi(this, LListNavi::kVerticalBar, true);
    fList = new CKvsScnList(fNavi, device, seqSettings, fHeader);
    fNavi->SetList(fList);
    fPrm = new CKvsScnPrmF(&fScene, &fScene);
    fMon = new CKvsScnMonF(&fScene, &fScene, device);
    fRepeat.SetTitle(StdDialogText(kTexts, 0));
    fHeader->SetPlaceListener(this);
    fScene.SetLayoutByName("KVSSCNEDF", 1);
    // The layout counts on a sixth child, with or without the hook.
    if (device && DeviceHooks().newScnUnvFrame)
        fUnv.reset(DeviceHooks().newScnUnvFrame(*device, this));
    fUnvPane = fUnv ? fUnv->Pane() : new LFrame(this, this);
    SetLayoutByName(kTexts, 1);
    if (fDevice)
        for (CRecordDoc* d : {fDevice->StateDoc(), fDevice->ContentsDoc()})
            if (d) d->AddListener(this, Listener);
    if (fSettings && fSettings->GetOwner()) fSettings->GetOwner()->AddListener(this, Listener);
    if ((fPrefs = AppPrefsDoc())) fPrefs->AddListener(this, Listener);
    SetState(kOpHide);
    ShowUniverses();
    ModeUpdate();
}

CKvsScnEdF::~CKvsScnEdF() {
    fHeader->SetPlaceListener(nullptr);
    if (fPrefs) fPrefs->RemoveListener(this, Listener);
    if (fSettings && fSettings->GetOwner()) fSettings->GetOwner()->RemoveListener(this, Listener);
    if (fDevice)
        for (CRecordDoc* d : {fDevice->ContentsDoc(), fDevice->StateDoc()})
            if (d) d->RemoveListener(this, Listener);
}

u32 CKvsScnEdF::Mode() const {
    const CRecordDoc* d = fDevice ? fDevice->ContentsDoc() : nullptr;
    return d && d->Root() ? d->Root()->GetU32(DctsF::field0) : 0;
}

void CKvsScnEdF::SetSequence(CRecord* sequence) {
    if (sequence == fSeq) return;
    fSeq = sequence;
    fList->SetSequence(sequence);
    SetState(sequence ? kOpShow : kOpHide);
    fRepeat.SetState(u8(sequence && sequence->GetU8(SqncF::rept) ? 1 : 0));
    ModeUpdate();
}

void CKvsScnEdF::ModeUpdate() {
    const u32 mode = Mode();
    fList->SetMode(mode);
    const u32 op = mode >= 2 ? kOpHide : kOpShow;
    fHeader->SetState(op);
    fNavi->SetState(op);
    if (mode < 2 && fList->Selection().IsEmpty() && fSeq &&
        fSeq->GetListCount(fList->ListField()) > 0)
        fList->SelectCell(LCell{0, 0});
    ScheduleUpdate();
}

void CKvsScnEdF::ScheduleUpdate() {
    if (fUpdatePending) return;
    fUpdatePending = 1;
    Send(LPane_Defer, this, fParent);
}

CRecord* CKvsScnEdF::SelectedScene() const {
    if (!fSeq || Mode() >= 2) return nullptr;
    const LRgn& sel = fList->Selection();
    if (sel.IsEmpty()) return nullptr;
    LSelIter it;
    it.Init(sel, true, false);
    if (!it.Next()) return nullptr;
    const i32 row = it.Cell().row;
    const u8 field = fList->ListField();
    return row >= 0 && u32(row) < fSeq->GetListCount(field) ? fSeq->GetListItem(field, u32(row))
                                                            : nullptr;
}

void CKvsScnEdF::Update() {
    fUpdatePending = 0;
    const u32 mode = Mode();
    CRecord* scene = SelectedScene();
    fScene.SetState(scene ? kOpShow : kOpHide);
    bool active = false;
    if (scene && fDevice && fDevice->StateDoc() && fDevice->StateDoc()->Root()) {
        LTextStream path;
        if (LRecPath::Append(fSettings, scene, kRecSelf, kRecNoIndex, path)) {
            const CRecord* state = fDevice->StateDoc()->Root();
            active = path.ToString() == state->GetString(mode == 1 ? DvssF::cras : DvssF::crsn);
        }
    }
    fActive = u8(active);
    fMon->SetActive(active);
    if (fUnv) fUnv->SetActive(active);
    fPrm->SetContent(mode, scene ? scene->GetChild(ScenF::ctdr) : nullptr);
}

i32 CKvsScnEdF::PlayTime(i32 sntm, i64 seconds) {
    return i32(std::clamp<i64>(i64(sntm) + seconds * 1000, std::numeric_limits<i32>::min(),
                               std::numeric_limits<i32>::max()));
}

void CKvsScnEdF::Play() {
    CRecordDoc* doc = fDevice ? fDevice->CommandDoc() : nullptr;
    CRecord* cmd = doc ? doc->Root() : nullptr;
    if (!cmd) return;
    const u32 mode = Mode();
    if (fFocusSide == 1) {
        if (const CRecord* scene = SelectedScene())
            SetCommandOneShot(cmd, DvcmF::pltm,
                              PlayTime(scene->GetI32(ScenF::sntm), fMon->Bar().GetValue()));
        return;
    }
    if (mode == 1)
        SetCommandOneShot(cmd, DvcmF::pcau, 1);
    else if (mode == 0)
        SetCommandOneShot(cmd, DvcmF::plcr, 1);
}

void CKvsScnEdF::BoundsChanged(const LRect& old) {
    LFrame::BoundsChanged(old);
    PlaceHeader();
}

void CKvsScnEdF::PlaceHeader() {
    auto* proto = static_cast<CKvsScnCell*>(fList->GetProtoCell());
    if (!proto) return;
    LDrawCtx ctx;
    const i32 dx = i32(LPane::UnpackX(fList->GetTopLeftIn(nullptr))) -
                   i32(LPane::UnpackX(fHeader->GetTopLeftIn(nullptr)));
    fHeader->PlaceItemAtX(0, dx + proto->fPlay.Bounds().left, 0, &ctx);
    fHeader->PlaceItemAtX(1, dx + proto->fTime.Bounds().left, 0, &ctx);
    fHeader->PlaceItemAtX(2, dx + proto->fName.Bounds().left, 0, &ctx);
}

void CKvsScnEdF::ShowUniverses() {
    const CRecord* prefs = fPrefs ? fPrefs->Root() : nullptr;
    const bool show = fUnv && prefs && prefs->GetU8(PrefF::snmn) != 0;
    if (fUnv)
        fUnv->SetShown(show);
    else
        fUnvPane->SetState(kOpHide);
    Relayout();
}

LMessage CKvsScnEdF::HandleMessage(const LMessage& msg) {
    // The parts' own construction reports here before they all exist.
    if (!fMon) return LFrame::HandleMessage(msg);
    if (msg.Is(LPane_Defer) && msg.source == this && fUpdatePending) {
        // Nothing defers it here: update now.
        Update();
        return LMessage();
    }
    if (msg.Is(LPane_Deferred) && msg.source == this && fUpdatePending) Update();
    if (msg.Is(LStdCheck_Change) && msg.source == &fRepeat) {
        if (fSeq) fSeq->SetU8(this, SqncF::rept, fRepeat.GetState() ? 1 : 0);
        return LMessage();
    }
    if (msg.Is(LListPane_SelChange) && msg.source == fList) {
        ScheduleUpdate();
        return LFrame::HandleMessage(msg);
    }
    if (msg.Is(LPane_Focus) && msg.source) {
        u32 side = fFocusSide;
        if (LHandler::IsInChain(this, msg.source, fPrm))
            side = 0;
        else if (LHandler::IsInChain(this, msg.source, fNavi))
            side = 1;
        if (side != fFocusSide) {
            fFocusSide = side;
            fMon->SetFocusSide(side);
        }
    }
    if (msg.Is(CHeaderFrame_Place) && msg.source == fHeader) {
        PlaceHeader();
        return LMessage();
    }
    if (msg.Is(LStdCtl_Selected) && msg.source == &fMon->PlayButton()) {
        Play();
        return LMessage();
    }
    return LFrame::HandleMessage(msg);
}

void CKvsScnEdF::Listener(void* self, CRecordNote* note) {
    static_cast<CKvsScnEdF*>(self)->OnChange(note);
}

void CKvsScnEdF::OnChange(CRecordNote* note) {
    const CRecord* r = note->record;
    if (!r || note->kind != CRecordNote::kChanged) {
        // A scene removed or added changes what is selected.
        if (r && fSeq && r == fSeq) ScheduleUpdate();
        return;
    }
    const CRecordDoc* contents = fDevice ? fDevice->ContentsDoc() : nullptr;
    const CRecordDoc* state = fDevice ? fDevice->StateDoc() : nullptr;
    if (contents && r == contents->Root()) {
        if (note->field == DctsF::field0) ModeUpdate();
        return;
    }
    if (state && r == state->Root()) {
        if (note->field == DvssF::crsn || note->field == DvssF::cras) ScheduleUpdate();
        return;
    }
    if (fPrefs && r == fPrefs->Root()) {
        if (note->field == PrefF::snmn) ShowUniverses();
        return;
    }
    if (fSeq && r == fSeq && note->field == SqncF::rept) {
        fRepeat.SetState(u8(fSeq->GetU8(SqncF::rept) ? 1 : 0));
        return;
    }
    if (r->Family() == kFamKvt && r->Kind() == kKindSnct) ScheduleUpdate();
}
