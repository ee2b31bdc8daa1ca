#include "editors/CKvsSeqWins.h"

#include <algorithm>
#include <cmath>

#include "base/LTextSink.h"
#include "base/TextFormat.h"
#include "editors/DeviceHooks.h"
#include "editors/PlayHooks.h"
#include "framework/LMenu.h"
#include "framework/StdDialogs.h"
#include "framework/LWindow.h"
#include "framework/WindowPlacement.h"
#include "services/WindowServices.h"
#include "records/AppPrefsDoc.h"
#include "records/CRecordDoc.h"
#include "records/DeviceKinds.h"
#include "records/LRecPath.h"
#include "records/NsqPrefKinds.h"
#include "records/OneShotFields.h"
#include "records/PrefNodes.h"
#include "records/Sequences.h"
#include "records/ShowKinds.h"

namespace {

constexpr u32 kSeqWindowKind = 3;

CRecord* ControllerPrefs() {
    CRecordDoc* doc = AppPrefsDoc();
    CRecord* ctlr = doc && doc->Root() ? doc->Root()->GetChild(PrefF::ctlr) : nullptr;
    return ctlr ? ctlr->GetChild(PrctF::prms) : nullptr;
}

CRecordDoc* DocOf(const CRecord* r) {
    return r ? r->GetOwner() : nullptr;
}

CRecordDoc* DeviceSettingsDoc(MPlayDevice* device) {
    return device ? device->SettingsDoc() : nullptr;
}

}  // namespace

bool PlaySequenceNow(MPlayDevice* device, const CRecord* seqSettings, u32 sqid) {
    CRecord* cmd = device && device->CommandDoc() ? device->CommandDoc()->Root() : nullptr;
    const CRecord* seq = seqSettings && sqid ? FindSequenceById(seqSettings, sqid) : nullptr;
    LTextStream path;
    if (!cmd || !seq || !LRecPath::Append(seqSettings, seq, kRecSelf, kRecNoIndex, path))
        return false;
    SetField2Transient(cmd, path.ToString());
    return true;
}

// ---- the common part

CKvsSeqWin::CKvsSeqWin(LHandler* parent, LPane* owner, MPlayDevice* device, CRecord* seqSettings,
                       CRecord* play, const char* name, const char* placement)
    : LModalFrame(parent, nullptr, LPaneOpt::Window(kWindowOrdinary, kSeqWindowKind)),
      fOwner(owner),
      fDevice(device),
      fSettings(seqSettings),
      fPlay(play),
      fPlacement(placement) {
    LString serial;
    NumToStr(&serial, long(device ? device->DeviceSerial() : 0));
    LTextStream title;
    title.Write(serial.CStr(), serial.Length());
    const LString item0 = StdDialogText(name, 0);
    title.Write(item0.CStr(), item0.Length());
    SetTitle(title.ToString());
    SetWindowMenu(new LWindowMenu(this, "EDITW"));
}

CKvsSeqWin::~CKvsSeqWin() {
    Stop();
    if (CRecord* prefs = ControllerPrefs(); prefs && Window())
        SetRectAsString(prefs, fPlacement, GetWindowBounds());
}

void CKvsSeqWin::Start(CKvsSeqSlotEx* slot, CStateButton* play) {
    fSlot = slot;
    fPlayBtn = play;
    const CRecord* prefs = ControllerPrefs();
    const LRect r = prefs ? GetRectFromString(prefs, fPlacement) : LRect();
    if (r.left < r.right && r.top < r.bottom)
        SetWindowBounds(r);
    else
        CenterOverPane(Window(), fOwner);
    // A sequence is dragged onto the slot from the control window's lists:
    // clicking there must not bury the window under it.
    if (fOwner && Window())
        WindowServices().KeepAbove(Window()->Native(), fOwner->GetNativeWindow());
    for (CRecordDoc* d : {DocOf(fSettings), DocOf(fPlay), DeviceSettingsDoc(fDevice)})
        if (d) d->AddListener(this, Listener);
    fListening = true;
    Refresh();
}

void CKvsSeqWin::Stop() {
    if (!fListening) return;
    fListening = false;
    for (CRecordDoc* d : {DocOf(fSettings), DocOf(fPlay), DeviceSettingsDoc(fDevice)})
        if (d) d->RemoveListener(this, Listener);
}

bool CKvsSeqWin::Concerns(const CRecordNote* note) const {
    const CRecord* r = note->record;
    if (r == fPlay) return true;
    // A change inside the sequence the window names (its name above all).
    for (const CRecord* p = r; p; p = p->Parent())
        if (p->Parent() == fSettings && p->ParentField() == SqstF::sqcs)
            return p->GetU32(SqncF::sqid) == SeqId();
    return r == fSettings && note->field == SqstF::sqcs;
}

void CKvsSeqWin::Listener(void* self, CRecordNote* note) {
    auto* w = static_cast<CKvsSeqWin*>(self);
    if (note->record && w->Concerns(note)) w->Refresh();
}

LMessage CKvsSeqWin::HandleMessage(const LMessage& msg) {
    if (fSlot && msg.source == fSlot && msg.Is(CKvsSeqSlotEx_Seq)) {
        StoreSeqId(fSlot->ChosenId());
        return LMessage();
    }
    if (fPlayBtn && msg.source == fPlayBtn && msg.Is(LStdCtl_Selected)) {
        PlaySequenceNow(fDevice, fSettings, SeqId());
        return LMessage();
    }
    return LModalFrame::HandleMessage(msg);
}

// ---- background music

CKvsBgmWin::CKvsBgmWin(LHandler* parent, LPane* owner, MPlayDevice* device, CRecord* seqSettings,
                       CRecord* play)
    : CKvsSeqWin(parent, owner, device, seqSettings, play, "KVSBGMWIN", "bgmplc"),
      fLabel(this),
      fSeq(this, this, device, seqSettings) {
    fLabel.SetText(StdDialogText("KVSBGMWIN", 1));
    SetLayoutByName("KVSBGMWIN", 1);
    Start(&fSeq, nullptr);
}

CKvsBgmWin::~CKvsBgmWin() {
    Stop();
}

u32 CKvsBgmWin::SeqId() const {
    return fPlay->GetU32(PlysF::bgmq);
}

void CKvsBgmWin::StoreSeqId(u32 sqid) {
    fPlay->SetU32(this, PlysF::bgmq, sqid);
}

void CKvsBgmWin::Refresh() {
    fSeq.SetSequence(fSettings, SeqId());
}

// ---- auto play

CKvsAutoWin::CKvsAutoWin(LHandler* parent, LPane* owner, MPlayDevice* device, CRecord* seqSettings,
                         CRecord* play)
    : CKvsSeqWin(parent, owner, device, seqSettings, play, "KVSAUTOWIN", "autplc"),
      fPlayNow(this),
      fLabel(this),
      fSeq(this, this, device, seqSettings),
      fDelayLabel(this),
      fDelay(this),
      fChecks{LStdCheck(this), LStdCheck(this), LStdCheck(this)} {
    fPlayNow.SetTitle(StdDialogText("KVSAUTOWIN", 1));
    fLabel.SetText(StdDialogText("KVSAUTOWIN", 2));
    fDelayLabel.SetText(StdDialogText("KVSAUTOWIN", 3));
    for (u32 i = 0; i < 3; ++i) fChecks[i].SetTitle(StdDialogText("KVSAUTOWIN", 4 + i));
    fDelay.SetRange(0, 999, 1);
    SetLayoutByName("KVSAUTOWIN", 1);
    Start(&fSeq, &fPlayNow);
}

CKvsAutoWin::~CKvsAutoWin() {
    Stop();
}

CRecord* CKvsAutoWin::Plat() const {
    return fPlay->GetChild(PlysF::plat);
}

CRecord* CKvsAutoWin::Prpc() const {
    CRecordDoc* doc = DeviceSettingsDoc(fDevice);
    return doc && doc->Root() ? doc->Root()->GetChild(DvstF::prpc) : nullptr;
}

u32 CKvsAutoWin::SeqId() const {
    const CRecord* plat = Plat();
    return plat ? plat->GetU32(PlatF::sqid) : 0;
}

void CKvsAutoWin::StoreSeqId(u32 sqid) {
    if (CRecord* plat = Plat()) plat->SetU32(this, PlatF::sqid, sqid);
}

bool CKvsAutoWin::Concerns(const CRecordNote* note) const {
    const CRecord* r = note->record;
    return r == Plat() || (r && r == Prpc()) || CKvsSeqWin::Concerns(note);
}

void CKvsAutoWin::Refresh() {
    const CRecord* plat = Plat();
    const CRecord* prpc = Prpc();
    fSeq.SetSequence(fSettings, SeqId());
    fDelay.SetValue(f32(plat ? std::min<u32>(plat->GetU32(PlatF::staf), 999) : 0));
    fChecks[0].SetState(plat && plat->GetU8(PlatF::rtsc) ? 1 : 0);
    fChecks[1].SetState(prpc && prpc->GetU8(PrpcF::atbt) ? 1 : 0);
    fChecks[2].SetState(prpc && prpc->GetU8(PrpcF::svbt) ? 1 : 0);
}

LMessage CKvsAutoWin::HandleMessage(const LMessage& msg) {
    CRecord* plat = Plat();
    if (msg.source == &fDelay && msg.Is(CNumVol_Fix)) {
        if (plat)
            plat->SetU32(this, PlatF::staf,
                         u32(std::clamp<f64>(std::trunc(fDelay.GetValue()), 0, 999)));
        return LMessage();
    }
    for (u32 i = 0; i < 3; ++i) {
        if (msg.source != &fChecks[i] || !msg.Is(LStdCheck_Change)) continue;
        const u8 on = fChecks[i].GetState() != 0 ? 1 : 0;
        if (i == 0) {
            if (plat) plat->SetU8(this, PlatF::rtsc, on);
        } else if (CRecord* prpc = Prpc()) {
            // Device parameters are sent as they change, not undone.
            prpc->SetU8(nullptr, i == 1 ? PrpcF::atbt : PrpcF::svbt, on);
        }
        return LMessage();
    }
    return CKvsSeqWin::HandleMessage(msg);
}

// ---- PWDW

CKvsPwdWin::CKvsPwdWin(LHandler* parent, LPane* owner, MPlayDevice* device, CRecord* seqSettings,
                       CRecord* play)
    : CKvsSeqWin(parent, owner, device, seqSettings, play, "KVSPWDWWIN", "pwdplc"),
      fPlayNow(this),
      fLabel(this),
      fSeq(this, this, device, seqSettings) {
    fPlayNow.SetTitle(StdDialogText("KVSPWDWWIN", 1));
    fLabel.SetText(StdDialogText("KVSPWDWWIN", 2));
    SetLayoutByName("KVSPWDWWIN", 1);
    Start(&fSeq, &fPlayNow);
}

CKvsPwdWin::~CKvsPwdWin() {
    Stop();
}

u32 CKvsPwdWin::SeqId() const {
    return fPlay->GetU32(PlysF::pwdw);
}

void CKvsPwdWin::StoreSeqId(u32 sqid) {
    fPlay->SetU32(this, PlysF::pwdw, sqid);
}

void CKvsPwdWin::Refresh() {
    fSeq.SetSequence(fSettings, SeqId());
}

LFrame* NewBgmWin(const CPlayWindowArgs& a) {
    return a.playSettings
               ? new CKvsBgmWin(a.parent, a.owner, a.device, a.seqSettings, a.playSettings)
               : nullptr;
}
LFrame* NewAutoWin(const CPlayWindowArgs& a) {
    return a.playSettings
               ? new CKvsAutoWin(a.parent, a.owner, a.device, a.seqSettings, a.playSettings)
               : nullptr;
}
LFrame* NewPwdWin(const CPlayWindowArgs& a) {
    return a.playSettings
               ? new CKvsPwdWin(a.parent, a.owner, a.device, a.seqSettings, a.playSettings)
               : nullptr;
}
