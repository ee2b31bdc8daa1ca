#include "devices/recordings/DrcServices.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "base/CMemStrm.h"
#include "devlink/ReqQueue.h"
#include "records/RecordKinds.h"
#include "base/Paths.h"
#include "base/TextFormat.h"
#include "devices/files/CKvsRenDlg.h"
#include "devices/files/DeviceFileOps.h"
#include "devlink/DevServiceDialogs.h"
#include "devlink/DeviceService.h"
#include "editors/DeviceHooks.h"
#include "framework/StdDialogs.h"
#include "records/AppPrefsDoc.h"
#include "records/CRecordDoc.h"
#include "records/NsqPrefKinds.h"
#include "records/PrefNodes.h"
#include "records/RecordXml.h"
#include "records/ShowKinds.h"

namespace {

constexpr const char* kDlgName = "KVSDETSTARTDLG";
constexpr f64 kMaxStartS = 2147483.0;

LString gJoinName;
LString gMergeName;

bool IsDeviceName(const LString& name) {
    return IsDeviceFileName(name.CStr(), u32(name.Length()));
}

std::string BaseOf(const std::string& name) {
    const size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

std::string ExtensionOf(const std::string& name) {
    const size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot);
}

CRecord* AppPrefs() {
    CRecordDoc* doc = AppPrefsDoc();
    return doc ? doc->Root() : nullptr;
}

CRecord* DetectPrefs() {
    CRecord* prefs = AppPrefs();
    CRecord* misc = prefs ? prefs->GetChild(PrefF::misc) : nullptr;
    return misc ? NodeGetOrCreate(misc, nullptr, "detstart") : nullptr;
}

CRecord* NewRecordOf(u32 kind) {
    const CRecordSchema* schema = CRecordSchema::Find(kFamKvt, kind);
    return schema ? CRecord::New(schema) : nullptr;
}

const CRecord* ClipOf(const CRecord* sequence, u32 index) {
    if (!sequence || index >= sequence->GetListCount(SqncF::scns)) return nullptr;
    const CRecord* scene = sequence->GetListItem(SqncF::scns, index);
    return scene ? scene->GetChild(ScenF::ctdr) : nullptr;
}

LString FlnmOf(const CRecord* clip) {
    return clip ? clip->GetString(SnctF::flnm) : LString();
}

// Asks until the user gives a name that is neither a source's nor refused, or
// cancels (false). sources: full names the output may not take.
bool AskOutputName(LHandler* handler, MPlayDevice& device, MDrcServiceUi& ui, u32 item,
                   LString* field, const LString& trimSource, const std::vector<LString>& sources,
                   LString* output) {
    for (;;) {
        if (!ui.AskName(handler, item, field)) return false;
        *output = DrcOutputName(*field, trimSource, item == kSvcTrimTitle);
        if (!IsDeviceName(*output)) {
            ui.ShowMessage(handler, StdDialogText(kServiceTextsName, kSvcBadName));
            continue;
        }
        // By the card's rule: a name that is a source's to the card would
        // have the device write over the recording it reads.
        bool same = false;
        for (const LString& s : sources)
            same = same || CardNameKey(s.CStr()) == CardNameKey(output->CStr());
        if (same) {
            ui.ShowMessage(handler, StdDialogText(kServiceTextsName, kSvcSameAsSource));
            continue;
        }
        CRecordDoc* contents = device.ContentsDoc();
        CCardAhead card(&device.FileRequests(), contents ? contents->Root() : nullptr, 0);
        if (!CheckCardNames(handler, card, {*output})) return false;
        const LString& taken = card.Agreed(0).name;
        if (taken.IsEmpty()) return true;
        if (!ui.Confirm(handler, kSvcReplaceAsk, kSvcReplaceButton)) continue;
        // The device writes onto the file it replaces, not beside it.
        *output = taken;
        return true;
    }
}

bool RunService(LHandler* handler, MPlayDevice& device, MDrcServiceUi& ui, const LString& text,
                CStrm* body, LTextSink& reply) {
    CRecordDoc* commands = device.CommandDoc();
    // The device writes out what it holds of the recordings before it reworks them.
    if (commands && commands->Root()) PulseRefreshAndWait(handler, commands->Root());
    return RunDeviceService(device.ObjLink(), handler, &device.FileRequests(), text.CStr(), reply,
                            body, ui);
}

// Joining and merging ask for the name of what they make, starting from the
// name the user gave the last time, which the new one replaces.
bool AskCombinedName(LHandler* handler, MPlayDevice& device, MDrcServiceUi& ui, u32 title,
                     LString* remembered, const std::vector<LString>& sources, LString* output) {
    LString field = *remembered;
    if (!AskOutputName(handler, device, ui, title, &field, LString(), sources, output))
        return false;
    *remembered = field;
    return true;
}

// Runs "<service>//<output>" with the parameters as its XML body.
bool RunWithParams(LHandler* handler, MPlayDevice& device, MDrcServiceUi& ui, const char* service,
                   const LString& output, const CRecord* params) {
    auto* body = new CGrowMemStrm();
    if (!WriteRecordXml(body, params)) {
        delete body;
        return false;
    }
    body->SetPosition(0);
    LTextStream reply;
    return RunService(handler, device, ui,
                      LString((std::string(service) + "//" + output.CStr()).c_str()), body, reply);
}

bool RefuseName(LHandler* handler, MDrcServiceUi& ui, const LString& name) {
    if (IsDeviceName(name)) return false;
    ui.ShowMessage(handler, StdDialogText(kServiceTextsName, kSvcBadName));
    return true;
}

class CDefaultDrcUi : public MDrcServiceUi {
public:
    void OpenProgress(LHandler* owner, const LString& message, u32 maximum) override {
        fDialogs.OpenProgress(owner, message, maximum);
    }
    void SetProgress(u32 value) override { fDialogs.SetProgress(value); }
    u32 ModalStep(u32 limitMs) override { return fDialogs.ModalStep(limitMs); }
    void CloseProgress() override { fDialogs.CloseProgress(); }
    void ShowMessage(LHandler* parent, const LString& text) override {
        fDialogs.ShowMessage(parent, text);
    }
    bool AskName(LHandler* parent, u32 item, LString* name) override {
        CKvsRenDlg dialog(parent);
        const LString title = StdDialogText(kServiceTextsName, item);
        dialog.SetTitle(title);
        dialog.fOk.SetTitle(title);
        dialog.SetName(*name);
        if (dialog.RunModal() != 1) return false;
        *name = dialog.Name();
        return true;
    }
    bool Confirm(LHandler* parent, u32 textItem, u32 buttonItem) override {
        CSimpleMessageDialog dialog(parent, LPaneOpt::Window(kWindowDialog, 0));
        dialog.fOk.SetTitle(StdDialogText(kServiceTextsName, buttonItem));
        return dialog.Run(StdDialogText(kServiceTextsName, textItem), 0, true) == 1;
    }
    bool AskDetect(LHandler* parent, u32* type, u32* threshold) override {
        CKvsDetStartDlg dialog(parent);
        dialog.SetType(*type);
        dialog.fLevel.SetValue(f32(*threshold));
        if (dialog.RunModal() != 1) return false;
        const i32 t = dialog.fType.GetSelected();
        *type = t < 0 ? 0 : u32(t);
        const f64 level = dialog.fLevel.GetValue();
        *threshold = level <= 0 ? 0 : level >= 255 ? 255 : u32(std::lround(level));
        return true;
    }

private:
    CDevServiceDialogs fDialogs;
};

}  // namespace

MDrcServiceUi& DefaultDrcServiceUi() {
    static CDefaultDrcUi ui;
    return ui;
}

LString DrcSeconds(f64 seconds) {
    LString text;
    FloatToStr(&text, 3, seconds);
    return text;
}

LString DrcTrimText(const LString& source, const LString& output, f64 startS, f64 endS) {
    std::string t = std::string("drctrim//") + source.CStr() + "//" + output.CStr() + "//" +
                    DrcSeconds(startS).CStr();
    if (endS > startS) t += std::string("//") + DrcSeconds(endS).CStr();
    return LString(t.c_str());
}

LString DrcFindStartText(const LString& file, u32 type, u32 threshold) {
    std::string t = std::string("drcfindev//") + file.CStr();
    if (type == 0) t += "//real";
    if (type == 1) t += "//chng";
    if (type == 2) t += "//over//" + std::to_string(threshold);
    return LString(t.c_str());
}

bool ParseDrcStartReply(const LString& reply, f64* seconds) {
    const char* text = reply.CStr();
    while (*text == ' ' || *text == '\t' || *text == '\r' || *text == '\n') ++text;
    if (*text < '0' || *text > '9') return false;
    char* end = nullptr;
    const f64 v = std::strtod(text, &end);
    while (*end == ' ' || *end == '\t' || *end == '\r' || *end == '\n' || *end == 0) {
        if (*end == 0) {
            if (!(v >= 0 && v <= kMaxStartS)) return false;
            *seconds = v;
            return true;
        }
        ++end;
    }
    return false;
}

LString DrcOutputName(const LString& entered, const LString& source, bool trim) {
    if (trim) return LString((std::string(entered.CStr()) + ExtensionOf(source.CStr())).c_str());
    return LString((BaseOf(entered.CStr()) + ".drc").c_str());
}

void ForgetDrcNames() {
    gJoinName = LString();
    gMergeName = LString();
}

bool RequestDrcTrim(LHandler* handler, MPlayDevice& device, const LString& file, f64 startS,
                    f64 endS, MDrcServiceUi& ui) {
    if (RefuseName(handler, ui, file)) return false;
    LString field(BaseOf(file.CStr()).c_str());
    LString output;
    // The output is compared with the source's full name: the device would
    // otherwise write the trimmed recording over the one it reads.
    if (!AskOutputName(handler, device, ui, kSvcTrimTitle, &field, file, {file}, &output))
        return false;
    LTextStream reply;
    return RunService(handler, device, ui, DrcTrimText(file, output, startS, endS), nullptr, reply);
}

bool RequestDrcDetectStart(LHandler* handler, MPlayDevice& device, const LString& file,
                           f64* seconds, MDrcServiceUi& ui) {
    if (RefuseName(handler, ui, file)) return false;
    CRecord* node = DetectPrefs();
    u32 type = u32(std::max(0, NodeGetIntOr(node, "typ", 0)));
    u32 threshold = u32(std::clamp(NodeGetIntOr(node, "ovr", 0), 0, 255));
    if (!ui.AskDetect(handler, &type, &threshold)) return false;
    if (node) {
        NodeSetInt(node, nullptr, "typ", i32(type));
        NodeSetInt(node, nullptr, "ovr", i32(threshold));
    }
    LTextStream reply;
    if (!RunService(handler, device, ui, DrcFindStartText(file, type, threshold), nullptr, reply))
        return false;
    if (ParseDrcStartReply(LString(reply.CStr()), seconds)) return true;
    // Nothing found, or nothing a start could be: the same to the user.
    ui.ShowMessage(handler, StdDialogText(kDetStartTexts, 0));
    return false;
}

bool RequestDrcJoin(LHandler* handler, MPlayDevice& device, const CRecord* sequence, u32 first,
                    u32 last, MDrcServiceUi& ui) {
    if (!sequence) return false;
    std::vector<LString> sources;
    for (u32 i = first; i <= last && i < sequence->GetListCount(SqncF::scns); ++i)
        sources.push_back(FlnmOf(ClipOf(sequence, i)));
    LString output;
    if (!AskCombinedName(handler, device, ui, kSvcJoinTitle, &gJoinName, sources, &output))
        return false;
    CRecordDoc params(NewRecordOf(kKindJnpr));
    if (!params.Root()) return false;
    params.Root()->SetU32(nullptr, JnprF::sqid, sequence->GetU32(SqncF::sqid));
    params.Root()->SetU32(nullptr, JnprF::snst, first);
    params.Root()->SetU32(nullptr, JnprF::snls, last);
    return RunWithParams(handler, device, ui, "drcjoin", output, params.Root());
}

bool RequestDrcMerge(LHandler* handler, MPlayDevice& device, const CRecord* sequence,
                     const std::vector<u32>& indexes, MDrcServiceUi& ui) {
    if (!sequence) return false;
    std::vector<LString> sources;
    for (u32 i : indexes) sources.push_back(FlnmOf(ClipOf(sequence, i)));
    LString output;
    if (!AskCombinedName(handler, device, ui, kSvcMergeTitle, &gMergeName, sources, &output))
        return false;
    CRecordDoc params(NewRecordOf(kKindMgpr));
    if (!params.Root()) return false;
    for (u32 i : indexes) {
        const CRecord* clip = ClipOf(sequence, i);
        if (!clip) continue;
        CRecord* src = NewRecordOf(kKindMgsc);
        if (!src) return false;
        src->SetString(nullptr, MgscF::flnm, clip->GetString(SnctF::flnm));
        src->SetI32(nullptr, MgscF::sttm, clip->GetI32(SnctF::sttm));
        src->SetI32(nullptr, MgscF::entm, clip->GetI32(SnctF::entm));
        src->SetU32(nullptr, MgscF::volm, clip->GetU32(SnctF::volm));
        src->SetF32(nullptr, MgscF::rate, 0, clip->GetF32(SnctF::rate));
        params.Root()->InsertItem(nullptr, MgprF::srcs, params.Root()->GetListCount(MgprF::srcs),
                                  src);
    }
    return RunWithParams(handler, device, ui, "drcmerge", output, params.Root());
}

// ---- CKvsDetStartDlg

CKvsDetStartDlg::CKvsDetStartDlg(LHandler* parent)
    : LDialog(parent, nullptr, LPaneOpt::Window(kWindowDialog, 0)),
      fOk(this),
      fCancel(this),
      fTypeLabel(this),
      fType(this),
      fLevelLabel(this),
      fLevel(this) {
    SetTitle(StdDialogText(kDlgName, 0));
    fOk.SetTitle(StdDialogText(kDlgName, 1));
    fCancel.SetTitle(StdDialogText(kDlgName, 2));
    fTypeLabel.SetText(StdDialogText(kDlgName, 3));
    fLevelLabel.SetText(StdDialogText(kDlgName, 4));
    for (u32 i = 5; i <= 7; ++i) fType.AddItem(StdDialogText(kDlgName, i));
    fLevel.SetRange(0, 255, 1);
    SetDefaultButton(&fOk);
    SetCancelButton(&fCancel);
    SetLayoutByName(kDlgName, 1);
    SetType(0);
}

LMessage CKvsDetStartDlg::HandleMessage(const LMessage& msg) {
    if (msg.Is(LPopupList_Changed) && msg.source == &fType) {
        SetType(u32(std::max(0, fType.GetSelected())));
        return LMessage();
    }
    return LDialog::HandleMessage(msg);
}

void CKvsDetStartDlg::SetType(u32 type) {
    if (type > 2) type = 0;
    if (fType.GetSelected() != i32(type)) fType.Select(i32(type));
    const u32 op = type == 2 ? kOpShow : kOpHide;
    fLevelLabel.SetState(op);
    fLevel.SetState(op);
}
