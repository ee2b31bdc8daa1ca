#include "editors/CAxPlyTrgList.h"

#include <algorithm>

#include "editors/CNoteEdit.h"
#include "editors/DeviceHooks.h"
#include "editors/EditorKit.h"
#include "editors/LListEdit.h"
#include "framework/CHeaderFrame.h"
#include "framework/LDrawObj.h"
#include "framework/layout/LLayoutVM.h"
#include "framework/LMenu.h"
#include "framework/StdDialogs.h"
#include "records/CRecordDoc.h"
#include "records/DeviceKinds.h"
#include "records/ScrapTypeNames.h"
#include "records/Sequences.h"
#include "records/ShowKinds.h"
#include "records/Triggers.h"

namespace {

constexpr const char* kTexts = "APTRGCELL";
constexpr i32 kFrames = i32(TrgFrame::kCount);

void Show(LPane& pane, bool on) {
    pane.SetState(on ? LPane::kOpShow : LPane::kOpHide);
}

// What a field of a kind's controls shows and where its value goes.
enum class TrgField : u8 {
    kKey,           // the key's letter or digit (text)
    kOsc,           // the OSC number (text)
    kArtNetPart,    // net, sub-net or universe of `anuv`: fields 0 to 2
    kSacnUniverse,  // `anuv`, shown from 1
    kBaseChannel,   // `bsch`
    kValue,         // `valu`
    kCount,         // `valu`, its row shown with the channel count
    kCtlValue,      // `valu`, its row shown with the controller value
    kProgram,       // `valu`, shown from 1
    kMidiChannel,   // `mdch`, shown from 1
    kMidiCtl,       // `mdct`
    kMidiNote,      // `mdnt`
    kInput,         // `valu`, shown from 1 for the eight inputs
};

// One sub-frame's layout and its fields: label item, range, what it holds.
struct FieldSpec {
    u32 label;
    f32 min, max;
    TrgField kind;
};
struct FrameSpec {
    const char* layout;
    u32 count;
    FieldSpec fields[5];
};
// A zero range marks a field that is no plain number field.
constexpr FrameSpec kSpecs[kFrames] = {
    {"APTRGARTN",
     5,
     {{0, 0, 127, TrgField::kArtNetPart},
      {1, 0, 15, TrgField::kArtNetPart},
      {2, 0, 15, TrgField::kArtNetPart},
      {3, 1, 512, TrgField::kBaseChannel},
      {4, 1, 255, TrgField::kCount}}},
    {"APTRGSACN",
     3,
     {{5, 1, 32768, TrgField::kSacnUniverse},
      {6, 1, 512, TrgField::kBaseChannel},
      {7, 1, 255, TrgField::kCount}}},
    {"APTRGDMX", 2, {{8, 1, 512, TrgField::kBaseChannel}, {9, 1, 255, TrgField::kCount}}},
    {"APTRGKEY", 1, {{10, 0, 0, TrgField::kKey}}},
    {"APTRGJSBT", 1, {{11, 1, 32, TrgField::kValue}}},
    {"APTRGOSC", 1, {{12, 0, 0, TrgField::kOsc}}},
    {"APTRGMCTL",
     3,
     {{13, 1, 16, TrgField::kMidiChannel},
      {14, 0, 127, TrgField::kMidiCtl},
      {15, 0, 127, TrgField::kCtlValue}}},
    {"APTRGMNOT", 2, {{16, 1, 16, TrgField::kMidiChannel}, {17, 0, 0, TrgField::kMidiNote}}},
    {"APTRGMPRG", 2, {{18, 1, 16, TrgField::kMidiChannel}, {19, 1, 128, TrgField::kProgram}}},
    {"APTRGCC", 1, {{20, 1, 255, TrgField::kInput}}},
};

bool IsKeyChar(u8 c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

// ---------------------------------------------------------------- key field

bool CKeyCaptureEdit::AcceptChar(const u8* byte) {
    return IsKeyChar(*byte);
}

void CKeyCaptureEdit::NotifyChange() {
    const LString text = GetText();
    const size_t n = std::string_view(text.CStr()).size();
    if (n >= 2) {
        const char last[2] = {text.CStr()[n - 1], 0};
        SetText(LString(last));
    }
    LAsciiEdit::NotifyChange();
}

// ---------------------------------------------------------------- cell

CTrgSubFrame::~CTrgSubFrame() {
    // The panes go first, while the frame they announce themselves to still is one.
    fFields.clear();
    fLabels.clear();
    fPanes.clear();
}

LTextPane& CTrgSubFrame::AddLabel(u32 textItem) {
    auto* label = new LTextPane(this);
    label->SetText(StdDialogText(kTexts, textItem));
    label->SetStyle(LFont(2));
    fPanes.emplace_back(label);
    fLabels.push_back(label);
    return *label;
}

CAxPlyTrgCell::CAxPlyTrgCell(LPane* list, MPlayDevice* device, CRecord* seqSettings)
    : LListCell(list),
      fMark(this),
      fTest(this, Style2()),
      fName(this),
      fSlot(this, this, device, seqSettings),
      fKind(this, Style2()) {
    fMark.SetText(LString("\xE2\x96\xB6"));
    LPenRef green;
    MakePenByColor(&green, kPlayGreen, 0);
    fMark.SetColor(green);
    for (u32 i = 21; i <= 36; ++i) fKind.AddItem(StdDialogText(kTexts, i));
    for (i32 f = 0; f < kFrames; ++f) {
        const FrameSpec& spec = kSpecs[f];
        fFrames[f] = std::make_unique<CTrgSubFrame>(this, this);
        CTrgSubFrame& sub = *fFrames[f];
        for (u32 i = 0; i < spec.count; ++i) {
            const FieldSpec& fs = spec.fields[i];
            sub.AddLabel(fs.label);
            if (fs.kind == TrgField::kKey) {
                sub.AddField(new CKeyCaptureEdit(&sub));
            } else if (fs.kind == TrgField::kOsc) {
                sub.AddField(new LNumEdit(&sub));
            } else if (fs.kind == TrgField::kMidiNote) {
                sub.AddField(new CNoteEdit(&sub));
            } else {
                sub.AddField(new CNumVol(&sub)).SetRange(fs.min, fs.max, 1);
            }
        }
        sub.SetLayoutByName(spec.layout, 1);
    }
    SetLayoutByName("APTRGCELL", 1);
    ShowKind(TrgFrame::kNone);
}

void CAxPlyTrgCell::PreLayoutVM(LDrawCtx* ctx, LLayoutVM& vm) {
    LListCell::PreLayoutVM(ctx, vm);
    auto* list = dynamic_cast<CAxPlyTrgList*>(fContainer);
    CHeaderFrame::SetTitleWidths(list ? list->Header() : nullptr, 3, vm, ctx);
}

void CAxPlyTrgCell::ShowKind(TrgFrame frame) {
    for (i32 f = 0; f < kFrames; ++f) Show(*fFrames[f], TrgFrame(f) == frame);
}

bool CAxPlyTrgCell::FieldOf(const LHandler* pane, TrgFrame* frame, u32* index) {
    for (i32 f = 0; f < kFrames; ++f) {
        const auto& fields = fFrames[f]->fFields;
        for (u32 i = 0; i < fields.size(); ++i) {
            if (fields[i] == pane) {
                *frame = TrgFrame(f);
                *index = i;
                return true;
            }
        }
    }
    return false;
}

// ---------------------------------------------------------------- list

CAxPlyTrgList::CAxPlyTrgList(LPane* owner, MPlayDevice* device, CRecord* seqSettings)
    : LTypedCellList(owner), fDevice(device), fSettings(seqSettings) {
    OpenList(0);
    if (fDevice && fDevice->StateDoc()) fDevice->StateDoc()->AddListener(this, Listener);
    // Every aux play lives in the sequence settings: listening there once covers
    // each one bound, and no listener has to leave a document while it notifies.
    if (fSettings && fSettings->GetOwner()) fSettings->GetOwner()->AddListener(this, Listener);
}

CAxPlyTrgList::~CAxPlyTrgList() {
    if (fDevice && fDevice->StateDoc()) fDevice->StateDoc()->RemoveListener(this, Listener);
    if (fSettings && fSettings->GetOwner()) fSettings->GetOwner()->RemoveListener(this, Listener);
}

u32 CAxPlyTrgList::Count() const {
    return fAuxPlay ? fAuxPlay->GetListCount(AplyF::trgs) : 0;
}

i32 CAxPlyTrgList::AuxPlayIndex() const {
    return fAuxPlay ? i32(fAuxPlay->Position()) : -1;
}

void CAxPlyTrgList::SetAuxPlay(CRecord* auxPlay) {
    if (auxPlay == fAuxPlay) return;
    if (Rows() > 0) RemoveRows(0, Rows());
    fAuxPlay = auxPlay;
    if (const u32 n = Count()) InsertRows(0, i32(n));
}

void CAxPlyTrgList::AddTrigger() {
    if (!fAuxPlay) return;
    const u32 row = AddAuxTrigger(fAuxPlay, this);
    if (row >= Count()) return;
    SelectCell(LCell{0, i32(row)});
    if (auto* c = static_cast<CAxPlyTrgCell*>(GetCellFrame(LCell{0, i32(row)}, false)))
        c->fName.RequestFocus();
}

LListCell* CAxPlyTrgList::CreateCell() {
    return new CAxPlyTrgCell(this, fDevice, fSettings);
}

u32 CAxPlyTrgList::CellQuery(LCell* size) {
    LListCell* proto = GetProtoCell();
    LDrawCtx ctx;
    size->col = std::max(fBounds.Width(), proto ? proto->GetPrefWidth(&ctx, 0) : 1);
    size->row = ProtoRowHeight();
    return kSizeAsQueried;
}

bool CAxPlyTrgList::BindCell(LListCell* frame, LCell cell) {
    if (!fAuxPlay || cell.row < 0 || u32(cell.row) >= Count()) return false;
    auto* c = static_cast<CAxPlyTrgCell*>(frame);
    // Showing a value is no edit of it: a field with a native editor announces
    // the text set here as a change.
    fBinding = true;
    BindFields(c, u32(cell.row));
    fBinding = false;
    return true;
}

void CAxPlyTrgList::BindFields(CAxPlyTrgCell* c, u32 rowIndex) {
    const LCell cell{0, i32(rowIndex)};
    const CRecord* t = fAuxPlay->GetListItem(AplyF::trgs, rowIndex);
    const CRecord* tg = t->GetChild(AptgF::sntg);
    const CRecord* state = fDevice ? DocRoot(fDevice->StateDoc()) : nullptr;
    Show(c->fMark, DeviceStateGetTrigger(state, AuxPlayIndex()) == cell.row);
    c->fName.SetText(t->GetString(AptgF::name));
    c->fSlot.SetSequence(fSettings, t->GetU32(AptgF::sqid));
    const CTrgKindView v = TrgKindViewOf(t);
    c->fKind.Select(v.item);
    c->ShowKind(v.frame);
    if (v.frame == TrgFrame::kNone || !tg) return;
    CTrgSubFrame& sub = c->Frame(v.frame);
    const i32 valu = t->GetI32(AptgF::valu);
    const u32 anuv = tg->GetU32(SntgF::anuv);
    auto set = [&sub](u32 i, f64 value) { sub.Num(i).SetValue(f32(value)); };
    auto row = [&sub](u32 i, bool on) {
        Show(sub.Label(i), on);
        Show(*sub.fFields[i], on);
    };
    const FrameSpec& spec = kSpecs[i32(v.frame)];
    for (u32 i = 0; i < spec.count; ++i) {
        switch (spec.fields[i].kind) {
            case TrgField::kKey:
                sub.fFields[i]->SetText(TrgKeyText(valu));
                break;
            case TrgField::kOsc: {
                LString s;
                if (valu >= 0) s = LString(std::to_string(valu).c_str());
                sub.fFields[i]->SetText(s);
                break;
            }
            case TrgField::kArtNetPart: {
                u32 parts[3] = {};
                SplitArtNetAddress(anuv, &parts[0], &parts[1], &parts[2]);
                set(i, parts[i]);
                break;
            }
            case TrgField::kSacnUniverse:
                set(i, f64(anuv) + 1);
                break;
            case TrgField::kBaseChannel:
                set(i, tg->GetU32(SntgF::bsch));
                break;
            case TrgField::kValue:
                set(i, valu);
                break;
            case TrgField::kCount:
                set(i, valu);
                row(i, v.countRow);
                break;
            case TrgField::kCtlValue:
                set(i, valu);
                row(i, v.valueRow);
                break;
            case TrgField::kProgram:
                set(i, f64(valu) + 1);
                break;
            case TrgField::kMidiChannel:
                set(i, tg->GetU8(SntgF::mdch) + 1);
                break;
            case TrgField::kMidiCtl:
                set(i, tg->GetU8(SntgF::mdct));
                break;
            case TrgField::kMidiNote:
                set(i, tg->GetU8(SntgF::mdnt));
                break;
            case TrgField::kInput: {
                const bool eight = tg->GetU8(SntgF::tgmd) == 12;
                sub.Num(i).SetRange(1, eight ? 8 : 255, 1);
                set(i, eight ? f64(valu) + 1 : f64(valu));
                break;
            }
        }
    }
}

void CAxPlyTrgList::FieldFixed(CAxPlyTrgCell* c, CRecord* t, TrgFrame f, u32 i) {
    CRecord* tg = t->GetChild(AptgF::sntg);
    if (!tg) return;
    CTrgSubFrame& sub = c->Frame(f);
    const TrgField kind = kSpecs[i32(f)].fields[i].kind;
    // The text fields store as they change; only number fields are fixed.
    if (kind == TrgField::kKey || kind == TrgField::kOsc) return;
    const i32 value = i32(Whole(sub.Num(i)));
    switch (kind) {
        case TrgField::kArtNetPart:
            tg->SetU32(this, SntgF::anuv,
                       ArtNetAddress(u32(Whole(sub.Num(0))), u32(Whole(sub.Num(1))),
                                     u32(Whole(sub.Num(2)))));
            break;
        case TrgField::kSacnUniverse:
            tg->SetU32(this, SntgF::anuv, u32(std::max(value - 1, 0)));
            break;
        case TrgField::kBaseChannel:
            tg->SetU32(this, SntgF::bsch, u32(value));
            break;
        case TrgField::kValue:
        case TrgField::kCount:
        case TrgField::kCtlValue:
            t->SetI32(this, AptgF::valu, value);
            break;
        case TrgField::kProgram:
            t->SetI32(this, AptgF::valu, value - 1);
            break;
        case TrgField::kMidiChannel:
            tg->SetU8(this, SntgF::mdch, u8(std::max(value - 1, 0)));
            break;
        case TrgField::kMidiCtl:
            tg->SetU8(this, SntgF::mdct, u8(value));
            break;
        case TrgField::kMidiNote:
            tg->SetU8(this, SntgF::mdnt, u8(value));
            break;
        case TrgField::kInput:
            t->SetI32(this, AptgF::valu, c->fKind.GetSelected() == 14 ? value - 1 : value);
            break;
        case TrgField::kKey:
        case TrgField::kOsc:
            break;
    }
}

LMessage CAxPlyTrgList::CellMessage(CAxPlyTrgCell* c, u32 row, const LMessage& msg) {
    if (fBinding && (msg.Is(LEditText_Change) || msg.Is(LPopupList_Changed))) return LMessage();
    CRecord* t = fAuxPlay->GetListItem(AplyF::trgs, row);
    TrgFrame f = TrgFrame::kNone;
    u32 i = 0;
    const bool field = c->FieldOf(msg.source, &f, &i);
    if (msg.Is(CStateButton_Push) && msg.source == &c->fTest) {
        CRecord* cmd = fDevice ? DocRoot(fDevice->CommandDoc()) : nullptr;
        if (cmd && fDevice->DeviceSerial() != 0)
            SetCommandAuxTrigger(cmd, u32(AuxPlayIndex()), row);
        return LMessage();
    }
    if (msg.Is(LEditText_Change) && msg.source == &c->fName) {
        t->SetString(this, AptgF::name, c->fName.GetText());
        return LMessage();
    }
    if (msg.Is(CKvsSeqSlot_Delete) && msg.source == &c->fSlot) {
        t->SetU32(this, AptgF::sqid, 0);
        return LMessage();
    }
    if (msg.Is(CKvsSeqSlotEx_Seq) && msg.source == &c->fSlot) {
        t->SetU32(this, AptgF::sqid, c->fSlot.ChosenId());
        return LMessage();
    }
    if (msg.Is(LPopupList_Changed) && msg.source == &c->fKind) {
        TrgSetKindItem(t, this, c->fKind.GetSelected());
        return LMessage();
    }
    if (field && msg.Is(LEditText_Change) && f == TrgFrame::kKey) {
        TrgSetKey(t, this, c->Frame(f).fFields[0]->GetText());
        return LMessage();
    }
    if (field && msg.Is(LEditText_Change) && f == TrgFrame::kOsc) {
        t->SetI32(this, AptgF::valu, TrgOscNumber(*static_cast<LNumEdit*>(c->Frame(f).fFields[0])));
        return LMessage();
    }
    if (field && msg.Is(CNumVol_Fix)) {
        FieldFixed(c, t, f, i);
        return LMessage();
    }
    if (msg.Is(LPane_Focus)) SelectCell(LCell{0, i32(row)});
    return LTypedCellList::HandleMessage(msg);
}

LMessage CAxPlyTrgList::HandleMessage(const LMessage& msg) {
    if (!fAuxPlay) return LTypedCellList::HandleMessage(msg);
    bool passOn = false;
    if (LListEdit::RowStep(this, fAuxPlay, AplyF::trgs, kScrapAuxTrigger, fHelper, msg, &passOn))
        return passOn ? LTypedCellList::HandleMessage(msg) : LMessage();
    LCell cell;
    LListCell* frame = FindCellFrame(msg.source, &cell);
    if (frame && frame != msg.source && cell.row >= 0 && u32(cell.row) < Count())
        return CellMessage(static_cast<CAxPlyTrgCell*>(frame), u32(cell.row), msg);
    return LTypedCellList::HandleMessage(msg);
}

void CAxPlyTrgList::Listener(void* self, CRecordNote* note) {
    static_cast<CAxPlyTrgList*>(self)->OnChange(note);
}

void CAxPlyTrgList::OnChange(CRecordNote* note) {
    CRecord* r = note->record;
    if (!r) return;
    if (IsSequenceRecordChange(note)) {
        RefreshAll();
        return;
    }
    if (!fAuxPlay) {
        return;
    }
    if (r == fAuxPlay && note->field == AplyF::trgs) {
        LListEdit::FollowRows(this, *note);
        return;
    }
    // The aux play itself taken out of its list.
    if (note->kind == CRecordNote::kDetached && r == fAuxPlay) {
        SetAuxPlay(nullptr);
        return;
    }
    if (note->kind != CRecordNote::kChanged) return;
    const CRecord* state = fDevice ? DocRoot(fDevice->StateDoc()) : nullptr;
    if (r == state) {
        if (note->field == DvssF::aptg) RefreshAll();
        return;
    }
    for (CRecord* p = r; p; p = p->Parent()) {
        if (p->Parent() == fAuxPlay && p->ParentField() == AplyF::trgs) {
            RefreshCell(LCell{0, i32(p->Position())});
            return;
        }
    }
}
