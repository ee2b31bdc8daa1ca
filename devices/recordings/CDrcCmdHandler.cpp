#include "devices/recordings/CDrcCmdHandler.h"

#include <cmath>

#include "devices/recordings/DrcServices.h"
#include "editors/CKvsPlayFrm.h"
#include "editors/CKvsScnEdF.h"
#include "editors/CKvsScnList.h"
#include "editors/CKvsScnPrmF.h"
#include "editors/CKvsSeqList.h"
#include "framework/LEditText.h"
#include "framework/LMenu.h"
#include "records/CUndoStrm.h"
#include "records/DeviceKinds.h"
#include "records/OneShotFields.h"
#include "records/PrefNodes.h"
#include "records/Sequences.h"
#include "records/ShowKinds.h"

namespace {

CKvsPlayCmd* NewBasicView(LHandler* parent, LPane* owner, MPlayDevice* device) {
    return new CDrcCmdHandler(parent, owner, device);
}

CRecord* RootOf(CRecordDoc* doc) {
    return doc ? doc->Root() : nullptr;
}

i32 IndexOf(const CRecord* list, u8 field, const CRecord* item) {
    for (u32 i = 0; list && i < list->GetListCount(field); ++i)
        if (list->GetListItem(field, i) == item) return i32(i);
    return -1;
}

}  // namespace

bool PaneShownAndIdle(const LPane* pane, u32 mode) {
    return pane && pane->IsShown() && mode == 0;
}

void RegisterBasicPlayView() {
    PlayViews().basic = NewBasicView;
}

CDrcCmdHandler::CDrcCmdHandler(LHandler* parent, LPane* owner, MPlayDevice* device)
    : CKvsPlayCmd(parent, owner, device) {
    fMadeFor = kSeqFormatBasic;
    fFrame = new CKvsPlayFrm(this, owner, device, SeqSettings());
    if (device)
        for (CRecordDoc* d : {device->SeqStatDoc(), device->StateDoc(), device->ContentsDoc()})
            if (d) d->AddListener(this, DeviceRecordChanged);
    UpdatePlaying();
}

CDrcCmdHandler::~CDrcCmdHandler() {
    if (fDevice)
        for (CRecordDoc* d : {fDevice->ContentsDoc(), fDevice->StateDoc(), fDevice->SeqStatDoc()})
            if (d) d->RemoveListener(this, DeviceRecordChanged);
    CKvsPlayFrm* frame = fFrame;
    fFrame = nullptr;
    delete frame;
}

bool CDrcCmdHandler::IsBasicFormat() const {
    return SeqSettings() && SeqSettings()->GetU8(SqstF::sqfm) < kSeqFormatNsq;
}

bool CDrcCmdHandler::AcceptsOwnFormat() const {
    return IsBasicFormat();
}

void CDrcCmdHandler::RefreshMonitor() {
    if (MScnUnvFrame* unv = fFrame->SceneEdit()->Universes()) unv->RefreshUniverseStatus();
}

void CDrcCmdHandler::UpdatePlaying() {
    const CRecord* ssta = fDevice ? RootOf(fDevice->SeqStatDoc()) : nullptr;
    const CRecord* dvss = fDevice ? RootOf(fDevice->StateDoc()) : nullptr;
    const bool seq = ssta && ssta->GetI32(SstaF::sqtm) < ssta->GetI32(SstaF::sqet);
    const bool aux = dvss && dvss->GetU32(DvssF::autm) < dvss->GetU32(DvssF::audr);
    fFrame->SetPlaying(seq, aux);
}

void CDrcCmdHandler::DeviceRecordChanged(void* self, CRecordNote* note) {
    auto* h = static_cast<CDrcCmdHandler*>(self);
    if (!h->fFrame || !note->record || note->kind != CRecordNote::kChanged) return;
    const CRecord* r = note->record;
    const CRecord* ssta = RootOf(h->fDevice->SeqStatDoc());
    const CRecord* dvss = RootOf(h->fDevice->StateDoc());
    const CRecord* dcts = RootOf(h->fDevice->ContentsDoc());
    if ((r == ssta && (note->field == SstaF::sqtm || note->field == SstaF::sqet)) ||
        (r == dvss && (note->field == DvssF::autm || note->field == DvssF::audr))) {
        h->UpdatePlaying();
    } else if (r == dcts && note->field == DctsF::seqChosen) {
        const CRecord* settings = h->SeqSettings();
        const CRecord* seq = FindSequenceById(settings, dcts->GetU32(DctsF::seqChosen));
        const i32 row = IndexOf(settings, SqstF::sqcs, seq);
        if (row < 0) return;
        CKvsSeqList* list = h->fFrame->List();
        list->SelectCell(LCell{0, row});
        list->ScrollToCell(LCell{0, row});
    }
}

CRecord* CDrcCmdHandler::CurrentClip() const {
    CKvsScnEdF* ed = fFrame->SceneEdit();
    if (ed->Mode() != 0) return nullptr;
    CRecord* scene = ed->SelectedScene();
    return scene ? scene->GetChild(ScenF::ctdr) : nullptr;
}

void CDrcCmdHandler::EnableDrcCommands(LMenuBar* bar) {
    if (!fFrame->GetSelectedSeq()) return;
    CKvsScnEdF* ed = fFrame->SceneEdit();
    CKvsScnList* scenes = ed->List();
    if (scenes && scenes->IsShown() && ed->Mode() == 0 && !scenes->Selection().IsEmpty()) {
        bar->EnableCommand("cMrgDrc");
        const LRgn& sel = scenes->Selection();
        if (LRgn(sel.GetBounds()) == sel) bar->EnableCommand("cJoinDrc");
    }
    const CRecord* clip = CurrentClip();
    if (PaneShownAndIdle(ed, ed->Mode()) && clip && !clip->GetString(SnctF::flnm).IsEmpty()) {
        bar->EnableCommand("cDetStart");
        bar->EnableCommand("cCntTrim");
    }
}

void CDrcCmdHandler::DetectStart() {
    CRecord* clip = CurrentClip();
    CRecord* seq = fFrame->GetSelectedSeq();
    if (!clip || !seq || !fDevice) return;
    // Where the answer goes: this clip, found again by its place and name,
    // whatever the device reports while the service runs.
    const u32 id = seq->GetU32(SqncF::sqid);
    const i32 index = IndexOf(seq, SqncF::scns, fFrame->SceneEdit()->SelectedScene());
    const LString file = clip->GetString(SnctF::flnm);
    f64 seconds = 0;
    if (index < 0 || !RequestDrcDetectStart(this, *fDevice, file, &seconds)) return;
    CRecord* again = FindSequenceById(SeqSettings(), id);
    if (!again || u32(index) >= again->GetListCount(SqncF::scns)) return;
    CRecord* scene = again->GetListItem(SqncF::scns, u32(index));
    CRecord* target = scene ? scene->GetChild(ScenF::ctdr) : nullptr;
    if (!target || target->GetString(SnctF::flnm) != file) return;
    // A caret left in the Start field keeps refreshes out of it while the user
    // types; the start asked for replaces it, shown whole and selected.
    CKvsScnPrmF* params = fFrame->SceneEdit()->Params();
    if (params && params->Content() == target) {
        CTimeSlider& start = params->Fields().fStart;
        if (CEditText* engine = start.Engine())
            engine->SetSelection(0, u32(start.GetText().Length()));
    }
    target->SetI32(this, SnctF::sttm, i32(std::llround(seconds * 1000.0)));
}

void CDrcCmdHandler::TrimClip() {
    const CRecord* clip = CurrentClip();
    if (!clip || !fDevice) return;
    RequestDrcTrim(this, *fDevice, clip->GetString(SnctF::flnm), clip->GetI32(SnctF::sttm) / 1000.0,
                   clip->GetI32(SnctF::entm) / 1000.0);
}

void CDrcCmdHandler::MergeScenes() {
    CRecord* seq = fFrame->GetSelectedSeq();
    if (!seq || !fDevice) return;
    std::vector<u32> indexes;
    LSelIter it;
    it.Init(fFrame->SceneEdit()->List()->Selection(), false, false);
    while (it.Next())
        if (it.Cell().row >= 0) indexes.push_back(u32(it.Cell().row));
    RequestDrcMerge(this, *fDevice, seq, indexes);
}

void CDrcCmdHandler::JoinScenes() {
    CRecord* seq = fFrame->GetSelectedSeq();
    const LRgn& sel = fFrame->SceneEdit()->List()->Selection();
    if (!seq || !fDevice || sel.IsEmpty()) return;
    const LRect bounds = sel.GetBounds();
    RequestDrcJoin(this, *fDevice, seq, u32(bounds.top), u32(bounds.bottom - 1));
}

void CDrcCmdHandler::AddSequence() {
    CRecord* settings = SeqSettings();
    const u32 at = settings->GetListCount(SqstF::sqcs);
    InsertNewSequence(settings, this, at);
    CKvsSeqList* list = fFrame->List();
    list->SelectCell(LCell{0, i32(at)});
    list->ScrollToCell(LCell{0, i32(at)});
}

void CDrcCmdHandler::AddScene() {
    CRecord* seq = fFrame->GetSelectedSeq();
    if (!seq) return;
    CKvsScnEdF* ed = fFrame->SceneEdit();
    CKvsScnList* list = ed->List();
    const u8 field = ed->Mode() == 1 ? SqncF::auss : SqncF::scns;
    const LRgn former = list->Selection();
    const u32 count = seq->GetListCount(field);
    u32 at = former.IsEmpty() ? count : u32(former.GetBounds().bottom);
    if (at > count) at = count;
    list->SetSelection(LRgn());
    {
        std::unique_ptr<CUndoStrm> step(
            CUndoStrm::Open(this, nullptr, nullptr, "", 0, CUndoStrm::kMergeNew));
        InsertSceneUnique(seq, this, field, at, nullptr);
    }
    list->SelectCell(LCell{0, i32(at)});
    list->ScrollToCell(LCell{0, i32(at)});
}

LMessage CDrcCmdHandler::HandleMessage(const LMessage& msg) {
    // The frame's panes speak while it is being built.
    if (!fFrame) return CKvsPlayCmd::HandleMessage(msg);
    if (msg.Is(LMenuBar_Ready) && msg.source) {
        EnableDrcCommands(static_cast<LMenuBar*>(msg.source));
        return CKvsPlayCmd::HandleMessage(msg);
    }
    if (msg.Is(LMenuItem_Selected) && msg.source) {
        auto* item = static_cast<LMenuItem*>(msg.source);
        if (item->HasCommand("cDetStart")) {
            DetectStart();
            return LMessage();
        }
        if (item->HasCommand("cCntTrim")) {
            TrimClip();
            return LMessage();
        }
        if (item->HasCommand("cMrgDrc")) {
            MergeScenes();
            return LMessage();
        }
        if (item->HasCommand("cJoinDrc")) {
            JoinScenes();
            return LMessage();
        }
    }
    if (msg.Is(LStdCtl_Selected)) {
        if (msg.source == &fFrame->PlusButton()) {
            AddSequence();
            return LMessage();
        }
        if (msg.source == &fFrame->SceneEdit()->PlusButton()) {
            AddScene();
            return LMessage();
        }
        if (msg.source == &fFrame->StopButton()) {
            if (fDevice) SetField2Transient(RootOf(fDevice->CommandDoc()), LString("/"));
            return LMessage();
        }
    }
    if (msg.Is(CKvsPlayFrm_Vis) && msg.source == fFrame) {
        SyncWindowVisibility();
        return LMessage();
    }
    return CKvsPlayCmd::HandleMessage(msg);
}
