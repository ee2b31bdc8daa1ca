#include "editors/nsq/CNSqSceneFrames.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "editors/DeviceHooks.h"
#include "framework/ContentFileMenu.h"
#include "framework/LContextMenu.h"
#include "framework/LFont.h"
#include "framework/StdDialogs.h"
#include "framework/layout/LLayoutVM.h"
#include "records/NsqPrefKinds.h"
#include "records/NsqSets.h"
#include "records/PrefNodes.h"
#include "records/RecordKinds.h"

namespace {

bool IsNsq(const CRecord* r, u32 kind) {
    return r && r->Family() == kFamNsq && r->Kind() == kind;
}

u32 ToU32(double v) {
    const double t = std::trunc(v);
    return !(t > 0) ? 0 : t >= 4294967295.0 ? 4294967295u : u32(t);
}

// Seconds as a field gives them back (a float's neighbour of the value shown)
// to the millisecond they stand for: truncated, 2.3 s would be 2299 ms.
u32 SecondsToMs(double seconds) {
    return ToU32(std::round(seconds * 1000.0));
}

// A time field shows milliseconds exactly: through a float, a time late in the
// day would come back a few milliseconds off.
void ShowMs(CTimeSlider& field, u32 ms) {
    field.SetTime(i32(std::min<u32>(ms, 0x7FFFFFFFu)), 1000);
}

}  // namespace

u32 NSqVolumeStored(double percent) {
    return ToU32(percent * 2.56);
}

double NSqVolumeShown(u32 volm) {
    return volm * 0.390625;
}

f32 NSqRateStored(double percentOffset) {
    return f32(percentOffset / 100.0 + 1.0);
}

double NSqRateShown(f32 rate) {
    return (double(rate) - 1.0) * 100.0;
}

u32 NSqFadeStored(double seconds) {
    return SecondsToMs(seconds);
}

LString NSqSeqRefText(const CRecord* set, u32 sqid) {
    if (sqid == 0) return LString();
    const i32 i = set ? NSqSetFindSeqIndex(set, sqid) : -1;
    if (i < 0) return LString("?");
    const LString& name = set->GetListItem(SsetF::seqs, u32(i))->GetString(SseqF::name);
    if (!name.IsEmpty()) return name;
    return LString(("(" + std::to_string(i + 1) + ")").c_str());
}

// ---- the model pane

CNSqModelPane::CNSqModelPane(LPane* container, void* owner)
    : LFrame(container, container), fOwner(owner) {}

CNSqModelPane::~CNSqModelPane() {
    SetModel(nullptr);
}

void CNSqModelPane::SetModel(CRecord* record) {
    if (fDoc) fDoc->RemoveListener(this, OnChange);
    fDoc = nullptr;
    fModel = record;
    if (!record) return;
    ModelChanged();
    fDoc = record->GetOwner();
    if (fDoc) fDoc->AddListener(this, OnChange);
}

void CNSqModelPane::OnChange(void* self, CRecordNote* note) {
    auto* p = static_cast<CNSqModelPane*>(self);
    if (!p->fModel) return;
    if (note->record == p->fModel && note->kind == CRecordNote::kDetached) {
        p->SetModel(nullptr);
        return;
    }
    if (note->record == p->fModel)
        p->ModelChanged();
    else
        p->OtherChanged(*note);
}

// ---- a sequence played by a scene

CNSqTSpecPup::CNSqTSpecPup(LPane* container, CNSqDevCtx* ctx)
    : CNSqModelPane(container, ctx),
      fCtx(ctx),
      fMenu(this, "NSQTTGTPUP"),
      fLabel(this),
      fSlot(this, 0) {
    fLabel.SetText(StdDialogText("NSQTSCNFSEQ", 0));
    fLabel.SetStyle(LFont(2));
    fSlot.SetStyle(LFont(2));
    SetLayoutByName("NSQTSCNFSEQ", 1);
}

void CNSqTSpecPup::ModelChanged() {
    fSlot.SetText(Model() ? NSqSeqRefText(fCtx->SequenceSet(), Model()->GetU32(PseqF::sqid))
                          : LString());
}

void CNSqTSpecPup::OtherChanged(const CRecordNote& note) {
    const CRecord* r = note.record;
    if ((IsNsq(r, kKindSseq) && note.field == SseqF::name) ||
        (IsNsq(r, kKindSset) && note.field == SsetF::seqs))
        ModelChanged();
}

void CNSqTSpecPup::Choose(u32 item) {
    CRecord* set = fCtx->SequenceSet();
    if (!Model()) return;
    if (item == 0) {
        Model()->SetU32(this, PseqF::sqid, 0);
    } else if (item >= 2 && set && item - 2 < set->GetListCount(SsetF::seqs)) {
        Model()->SetU32(this, PseqF::sqid,
                        set->GetListItem(SsetF::seqs, item - 2)->GetU32(SseqF::sqid));
    }
}

LMessage CNSqTSpecPup::HandleMessage(const LMessage& msg) {
    if (!(msg.Is(CTextSlot_Click) && msg.source == &fSlot && Model()))
        return CNSqModelPane::HandleMessage(msg);
    while (fMenu.CountItems() > 2) fMenu.RemoveItemAt(2);
    fMenu.ResetItemStates();
    fMenu.EnableAllItems();
    const u32 current = Model()->GetU32(PseqF::sqid);
    if (current == 0 && fMenu.CountItems() > 0) fMenu.ItemAt(0)->fChecked = 1;
    const CRecord* set = fCtx->SequenceSet();
    for (u32 i = 0; set && i < set->GetListCount(SsetF::seqs); ++i) {
        const CRecord* seq = set->GetListItem(SsetF::seqs, i);
        auto* item = new LMenuItem(&fMenu);
        item->SetCommand("cSeq");
        item->fTitle =
            LString((std::to_string(i + 1) + ": " + seq->GetString(SseqF::name).CStr()).c_str());
        item->fResTitle = item->fTitle;
        item->fEnabled = 1;
        item->fChecked = current != 0 && seq->GetU32(SseqF::sqid) == current ? 1 : 0;
        fMenu.AppendItem(item);
    }
    if (LMenuItem* chosen = PopUpContextMenu(&fSlot, &fMenu, false)) {
        const i32 at = fMenu.IndexOfItem(chosen);
        if (at >= 0) Choose(u32(at));
    }
    return LMessage();
}

// ---- clips

CNSqClipPrmF::CNSqClipPrmF(LPane* container, CNSqDevCtx* ctx, bool dmx)
    : CNSqModelPane(container, ctx),
      fCtx(ctx),
      fMenu(this, "NSQTTGTPUP"),
      fTop(this, this),
      fFileLabel(&fTop),
      fFile(&fTop, 0),
      fPos(&fTop, ctx),
      fRangeLabel(&fTop),
      fFrom(&fTop, 0, 100, 0),
      fTo(&fTop, 0, 100, 0),
      fLoop(&fTop),
      fBottom(this, this),
      fFadeLabel(&fBottom),
      fFade(&fBottom, 1),
      fVolumeLabel(&fBottom),
      fVolume(&fBottom, 0) {
    const char* texts = dmx ? "NSQSCNFDMX" : "NSQSCNFAUD";
    LTextPane* labels[] = {&fFileLabel, &fRangeLabel, &fFadeLabel, &fVolumeLabel};
    const u32 items[] = {0, 1, 3, 4};
    for (u32 i = 0; i < 4; ++i) {
        labels[i]->SetText(StdDialogText(texts, items[i]));
        labels[i]->SetStyle(LFont(2));
    }
    fFile.SetStyle(LFont(2));
    fLoop.SetTitle(StdDialogText(texts, 2));
    for (CTimeSlider* t : {&fFrom, &fTo}) t->SetRange(0.0f, 86399.9f, 0.1f);
    fFade.SetRange(0.0f, 10.0f, 0.1f);
    fVolume.SetRange(0.0f, 100.0f, 1.0f);
    if (dmx) {
        fRateLabel = new LTextPane(&fBottom);
        fRateLabel->SetText(StdDialogText(texts, 5));
        fRateLabel->SetStyle(LFont(2));
        fRate = new CNumVol(&fBottom, 2);
        fRate->SetRange(-5.0f, 5.0f, 0.01f);
    }
    fTop.SetLayoutByName(dmx ? "NSQSCNFDMX0" : "NSQSCNFAUD0", 1);
    fBottom.SetLayoutByName(dmx ? "NSQSCNFDMX1" : "NSQSCNFAUD1", 1);
    SetLayoutByName(dmx ? "NSQSCNFDMX" : "NSQSCNFAUD", 1);
}

CRecord* CNSqClipPrmF::Scene() const {
    CRecord* p = Model() ? Model()->Parent() : nullptr;
    return IsNsq(p, kKindSscn) ? p : nullptr;
}

const CRecord* CNSqClipPrmF::Contents() const {
    MPlayDevice* d = fCtx->Device();
    return d && d->ContentsDoc() ? d->ContentsDoc()->Root() : nullptr;
}

void CNSqClipPrmF::ModelChanged() {
    const CRecord* m = Model();
    if (!m) return;
    LString shown;
    GetContentFileDisplayName(&shown, m->GetString(PdmxF::file).CStr(), Contents(),
                              IsDmx() ? 0 : 1);
    fFile.SetText(m->GetString(PdmxF::file).IsEmpty() ? LString() : shown);
    ShowMs(fFrom, m->GetU32(PdmxF::rngf));
    ShowMs(fTo, m->GetU32(PdmxF::rngt));
    fLoop.SetState(m->GetU8(PdmxF::loop) ? 1 : 0);
    fFade.SetValue(f32(m->GetU32(PdmxF::fdtm) * 0.001));
    fVolume.SetValue(f32(NSqVolumeShown(m->GetU32(PdmxF::volm))));
    if (fRate) fRate->SetValue(f32(NSqRateShown(m->GetF32(PdmxF::rate))));
    CNSqClip clip;
    clip.file = m->GetString(PdmxF::file);
    clip.from = m->GetU32(PdmxF::rngf);
    clip.to = m->GetU32(PdmxF::rngt);
    clip.loop = m->GetU8(PdmxF::loop) != 0;
    clip.rate = fRate ? m->GetF32(PdmxF::rate) : 1.0;
    if (const CRecord* scene = Scene()) {
        clip.sceneTime = scene->GetU32(SscnF::time);
        const CRecord* track = scene->Parent();
        const u32 next = scene->GetIndex() + 1;
        if (track && next < track->GetListCount(StrkF::scns))
            clip.next = track->GetListItem(StrkF::scns, next)->GetU32(SscnF::time);
        const CRecord* seq = track ? track->Parent() : nullptr;
        if (IsNsq(seq, kKindSseq)) clip.sequence = seq->GetU32(SseqF::sqid);
    }
    fPos.SetClip(clip);
}

void CNSqClipPrmF::OtherChanged(const CRecordNote& note) {
    const CRecord* scene = Scene();
    const CRecord* r = note.record;
    if (!scene || !r) return;
    const CRecord* track = scene->Parent();
    const bool time = IsNsq(r, kKindSscn) && note.field == SscnF::time && r->Parent() == track &&
                      (r == scene || r->GetIndex() == scene->GetIndex() + 1);
    if (time || (r == track && note.field == StrkF::scns)) ModelChanged();
}

void CNSqClipPrmF::ChooseFile(const LString& name) {
    if (Model()) Model()->SetString(this, PdmxF::file, name);
}

LMessage CNSqClipPrmF::HandleMessage(const LMessage& msg) {
    CRecord* m = Model();
    if (!m) return CNSqModelPane::HandleMessage(msg);
    if (msg.Is(CTextSlot_Click) && msg.source == &fFile) {
        const u32 which = IsDmx() ? 0 : 1;
        FillContentFileMenu(&fMenu, Contents(), which, m->GetString(PdmxF::file).CStr());
        if (LMenuItem* chosen = PopUpContextMenu(&fFile, &fMenu, false)) {
            LString name;
            GetSelectedContentFile(&name, chosen, Contents(), which);
            if (fMenu.IndexOfItem(chosen) == 0 || !name.IsEmpty()) ChooseFile(name);
        }
        return LMessage();
    }
    if (msg.Is(CNumVol_Fix)) {
        if (msg.source == &fFrom) m->SetU32(this, PdmxF::rngf, SecondsToMs(fFrom.GetValue()));
        if (msg.source == &fTo) m->SetU32(this, PdmxF::rngt, SecondsToMs(fTo.GetValue()));
        if (msg.source == &fFade) m->SetU32(this, PdmxF::fdtm, NSqFadeStored(fFade.GetValue()));
        if (msg.source == &fVolume)
            m->SetU32(this, PdmxF::volm, NSqVolumeStored(fVolume.GetValue()));
        if (fRate && msg.source == fRate)
            m->SetF32(this, PdmxF::rate, 0, NSqRateStored(fRate->GetValue()));
        return LMessage();
    }
    if (msg.Is(LStdCheck_Change) && msg.source == &fLoop) {
        m->SetU8(this, PdmxF::loop, fLoop.GetState() ? 1 : 0);
        return LMessage();
    }
    return CNSqModelPane::HandleMessage(msg);
}

// ---- the frame of the selected scene's kind

CNSqUScnPrmF::CNSqUScnPrmF(LPane* container, CNSqKinds* kinds) : LFrame(container, container) {
    for (u32 i = 0; u32 kind = kinds->KindAt(i); ++i) {
        CNSqModelPane* f = kinds->NewParamFrame(this, kind);
        if (!f) continue;
        f->SetState(kOpHide);
        fFrames[kind] = f;
    }
    SetLayoutByName("NSQUSCNPRMF", 1);
}

CNSqUScnPrmF::~CNSqUScnPrmF() {
    SetScene(nullptr);
}

CNSqModelPane* CNSqUScnPrmF::FrameOf(u32 kind) const {
    auto it = fFrames.find(kind);
    return it == fFrames.end() ? nullptr : it->second;
}

void CNSqUScnPrmF::PreLayoutVM(LDrawCtx* ctx, LLayoutVM& vm) {
    LFrame::PreLayoutVM(ctx, vm);
    // As large as the largest kind, so that the size stays when the kind changes.
    i32 w = 0, h = 0;
    for (const auto& [kind, f] : fFrames) {
        w = std::max(w, f->GetPrefWidth(ctx, 0));
        h = std::max(h, f->GetPrefHeight(ctx, 0));
    }
    vm.SetGlobal("prmw", w);
    vm.SetGlobal("prmh", h);
}

void CNSqUScnPrmF::BoundsChanged(const LRect& old) {
    LFrame::BoundsChanged(old);
    // Every kind's frame fills this one, shown or not, so that a change of kind
    // shows the next one in place.
    const LRect inside(0, 0, fBounds.Width(), fBounds.Height());
    for (const auto& [kind, f] : fFrames) f->SetBounds(inside);
}

void CNSqUScnPrmF::SetScene(CRecord* scene) {
    if (fShown) {
        fShown->SetState(kOpHide);
        fShown->SetModel(nullptr);
        fShown = nullptr;
    }
    if (fDoc) fDoc->RemoveListener(this, OnChange);
    fDoc = nullptr;
    fScene = scene;
    if (!scene) return;
    fDoc = scene->GetOwner();
    if (fDoc) fDoc->AddListener(this, OnChange);
    CRecord* prms = scene->GetChild(SscnF::prms);
    CNSqModelPane* f = prms && prms->Family() == kFamNsq ? FrameOf(prms->Kind()) : nullptr;
    if (!f) return;
    f->SetModel(prms);
    f->SetBounds(LRect(0, 0, fBounds.Width(), fBounds.Height()));
    f->SetState(kOpShow);
    fShown = f;
}

void CNSqUScnPrmF::OnChange(void* self, CRecordNote* note) {
    auto* p = static_cast<CNSqUScnPrmF*>(self);
    if (note->kind == CRecordNote::kDetached && note->record == p->fScene) p->SetScene(nullptr);
}
