#include "editors/CKvsScnPrmF.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <memory>
#include <vector>

#include "base/Paths.h"
#include "framework/LDrop.h"
#include "framework/StdDialogs.h"
#include "records/CRecordDoc.h"
#include "records/CUndoStrm.h"
#include "records/ScrapTypeNames.h"
#include "records/ShowKinds.h"

namespace {

constexpr const char* kTexts = "KVSSCNCNTF";
constexpr u32 kMsPerSecond = 1000;

void Caption(LTextPane& t, u32 item) {
    t.SetStyle(LFont(2));
    t.SetText(StdDialogText(kTexts, item));
}

// The check box's own SetState sets its value.
LPane& Pane(LStdCheck& check) {
    return check;
}

}  // namespace

CKvsScnPrmF::CContent::CContent(LFrame* owner)
    : LFrame(owner, owner),
      fFileCap(this),
      fFile(this, CTextSlot::kClearable),
      fDrop(this, 0),
      fTimeCap(this),
      fStart(this, 0, 100, 0),
      fEnd(this, 0, 100, 0),
      fLoop(this),
      fFadeCap(this),
      fFade(this, 1),
      fVolCap1(this),
      fVolCap0(this),
      fVol(this, 0),
      fRateCap(this),
      fRate(this, 2) {
    Caption(fFileCap, 0);
    Caption(fTimeCap, 1);
    fLoop.SetTitle(StdDialogText(kTexts, 2));
    Caption(fFadeCap, 3);
    Caption(fVolCap1, 4);
    Caption(fVolCap0, 5);
    Caption(fRateCap, 6);
    fStart.SetRange(fStart.Min(), fStart.Max(), 0.1f);
    fEnd.SetRange(fEnd.Min(), fEnd.Max(), 0.1f);
    fFade.SetRange(0, 10, 0.1f);
    fVol.SetRange(0, 100, 1);
    fRate.SetRange(-5, 5, 0.01f);
    SetLayoutByName(kTexts, 1);
}

CKvsScnPrmF::CKvsScnPrmF(LHandler* parent, LPane* container)
    : LFrame(parent, container), fContent(nullptr) {
    // The content's panes speak to this frame while they are built.
    fContent = new CContent(this);
    SetLayoutByName("KVSSCNPRMF", 1);
    Arrange(0);
    Display();
}

CKvsScnPrmF::~CKvsScnPrmF() {
    Listen(nullptr);
}

u32 CKvsScnPrmF::VolumeFromPercent(f64 percent) {
    return u32(std::lround(std::clamp(percent, 0.0, 100.0) * 256.0 / 100.0));
}

f64 CKvsScnPrmF::PercentFromVolume(u32 volm) {
    return std::round(f64(volm) * 0.390625);
}

f32 CKvsScnPrmF::RateFromPercent(f64 percent) {
    return f32(1.0 + std::clamp(percent, -5.0, 5.0) / 100.0);
}

f64 CKvsScnPrmF::PercentFromRate(f32 rate) {
    // Two decimals are shown: 0.99 is -1, not -1.0000002.
    return std::round((f64(rate) - 1.0) * 100.0 * 100.0) / 100.0;
}

u32 CKvsScnPrmF::FadeFromSeconds(f64 seconds) {
    return u32(std::lround(std::clamp(seconds, 0.0, 10.0) * 1000.0));
}

CKvsScnPrmF::Shown CKvsScnPrmF::ShownOf(const CRecord* clip) {
    Shown s;
    if (!clip) return s;
    // Within the fields' ranges: a device may hold more than they offer.
    s.fade = std::min(f64(clip->GetU32(SnctF::fdtm)) / kMsPerSecond, 10.0);
    s.volume = std::min(PercentFromVolume(clip->GetU32(SnctF::volm)), 100.0);
    const f64 rate = PercentFromRate(clip->GetF32(SnctF::rate));
    s.rate = std::isfinite(rate) ? std::clamp(rate, -5.0, 5.0) : 0.0;
    return s;
}

LString CKvsScnPrmF::ShownName(const LString& name) {
    const std::string s = name.CStr();
    const size_t dot = s.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : LString(s.substr(0, dot).c_str());
}

void CKvsScnPrmF::Listen(CRecordDoc* doc) {
    if (doc == fDoc) return;
    if (fDoc) fDoc->RemoveListener(this, Listener);
    fDoc = doc;
    if (fDoc) fDoc->AddListener(this, Listener);
}

void CKvsScnPrmF::Arrange(u32 mode) {
    CContent& c = *fContent;
    const bool dmx = mode != 1;
    Pane(c.fLoop).SetState(dmx ? kOpShow : kOpHide);
    c.fVolCap0.SetState(dmx ? kOpShow : kOpHide);
    c.fRateCap.SetState(dmx ? kOpShow : kOpHide);
    c.fRate.SetState(dmx ? kOpShow : kOpHide);
    c.fVolCap1.SetState(dmx ? kOpHide : kOpShow);
}

void CKvsScnPrmF::SetContent(u32 mode, CRecord* content) {
    // A value typed for the clip shown goes to that clip before another one
    // fills the fields (another scene chosen while the field has the keyboard).
    if (fRecord && content != fRecord) fContent->EndOpenEdit(true);
    fMode = mode;
    if (mode < 2) Arrange(mode);
    fRecord = content;
    Listen(content ? content->GetOwner() : nullptr);
    Display();
}

void CKvsScnPrmF::Display() {
    CContent& c = *fContent;
    const CRecord* r = fRecord;
    c.fFile.SetText(r ? ShownName(r->GetString(SnctF::flnm)) : LString());
    const i32 start = r ? r->GetI32(SnctF::sttm) : 0;
    const i32 end = r ? r->GetI32(SnctF::entm) : 0;
    c.fStart.SetTime(start, kMsPerSecond);
    c.fEnd.SetTime(end, kMsPerSecond);
    c.fLoop.SetState(u8(r && r->GetU8(SnctF::lpmd) ? 1 : 0));
    Pane(c.fLoop).SetState(start < end ? kOpEnable : kOpDisable);
    // A change of the clip from elsewhere (another field stored, the device's
    // answer) leaves a number being typed alone; the edit's end stores it.
    auto show = [](CNumVol& field, f32 value) {
        if (!field.Edited() || !(field.State() & LPane::kFocused)) field.SetValue(value);
    };
    const Shown shown = ShownOf(r);
    show(c.fFade, f32(shown.fade));
    show(c.fVol, f32(shown.volume));
    show(c.fRate, f32(shown.rate));
}

bool CKvsScnPrmF::Prepare() {
    if (!fRecord) Send(CKvsScnPrmF_Prep, this, fParent);
    return fRecord != nullptr;
}

bool CKvsScnPrmF::HandleDrop(const LMessage& msg) {
    CContent& c = *fContent;
    CDropSource* source = c.fDrop.Drag() ? c.fDrop.Drag()->Source() : nullptr;
    std::vector<u8> bytes;
    // Drags come from any process and the name later names a file on the
    // device: a drag whose first name the device could not hold is refused.
    const bool usable =
        source && source->FetchItem(ScrapTypeOf(kScrapDrcFileName), 0, &bytes) &&
        IsDeviceFileName(reinterpret_cast<const char*>(bytes.data()), u32(bytes.size()));
    if (msg.Is(LDropPane_Enter)) {
        if (usable) c.fDrop.SetDropOperation(3);
        return true;
    }
    if (!msg.Is(LDropPane_Drop)) return false;
    if (!usable || !Prepare()) return true;
    const LString name(std::string(bytes.begin(), bytes.end()).c_str());
    std::unique_ptr<CUndoStrm> group(
        CUndoStrm::Open(this, nullptr, nullptr, "", 0, CUndoStrm::kMergeNew));
    fRecord->SetString(this, SnctF::flnm, name);
    return true;
}

LMessage CKvsScnPrmF::HandleMessage(const LMessage& msg) {
    // The fields' own construction reports here before they exist.
    if (!fContent) return LFrame::HandleMessage(msg);
    CContent& c = *fContent;
    if (msg.source == &c.fDrop && HandleDrop(msg)) return LMessage();
    if (msg.Is(CTextSlot_Changed) && msg.source == &c.fFile) {
        if (Prepare()) fRecord->SetString(this, SnctF::flnm, LString());
        return LMessage();
    }
    if (msg.Is(LStdCheck_Change) && msg.source == &c.fLoop) {
        if (Prepare()) fRecord->SetU8(this, SnctF::lpmd, c.fLoop.GetState() ? 1 : 0);
        return LMessage();
    }
    if (msg.Is(CNumVol_Fix)) {
        if (msg.source == &c.fStart || msg.source == &c.fEnd) {
            if (!Prepare()) return LMessage();
            auto* field = static_cast<CTimeSlider*>(msg.source);
            fRecord->SetI32(this, field == &c.fStart ? SnctF::sttm : SnctF::entm,
                            field->GetScaledValue(kMsPerSecond));
            Pane(c.fLoop).SetState(fRecord->GetI32(SnctF::sttm) < fRecord->GetI32(SnctF::entm)
                                       ? kOpEnable
                                       : kOpDisable);
            return LMessage();
        }
        if (msg.source == &c.fFade) {
            if (Prepare()) fRecord->SetU32(this, SnctF::fdtm, FadeFromSeconds(c.fFade.GetValue()));
            return LMessage();
        }
        // Volume and rate show a rounding of finer stored values (from the
        // device, or older files): a field ended on what it shows leaves the
        // stored value alone; any other value is stored.
        if (msg.source == &c.fVol) {
            if (!Prepare()) return LMessage();
            const u32 volm = VolumeFromPercent(c.fVol.GetValue());
            if (volm != VolumeFromPercent(ShownOf(fRecord).volume))
                fRecord->SetU32(this, SnctF::volm, volm);
            return LMessage();
        }
        if (msg.source == &c.fRate) {
            if (!Prepare()) return LMessage();
            const f32 rate = RateFromPercent(c.fRate.GetValue());
            if (rate != RateFromPercent(ShownOf(fRecord).rate))
                fRecord->SetF32(this, SnctF::rate, 0, rate);
            return LMessage();
        }
    }
    return LFrame::HandleMessage(msg);
}

void CKvsScnPrmF::Listener(void* self, CRecordNote* note) {
    auto* f = static_cast<CKvsScnPrmF*>(self);
    if (!f->fRecord || !note->record) return;
    if (note->record == f->fRecord && note->kind == CRecordNote::kChanged) {
        f->Display();
        return;
    }
    // The clip leaves with its scene (its own detach notice comes too): drop
    // it before it dangles.
    if (note->kind == CRecordNote::kDetached && note->record == f->fRecord) {
        // What was typed for it goes with it.
        f->fContent->EndOpenEdit(false);
        f->SetContent(0, nullptr);
    }
}
