#include "devices/files/CKvsFileDrop.h"

#include <string>

#include "base/Paths.h"
#include "devices/files/DeviceFileOps.h"
#include "devlink/DevObjLink.h"
#include "devlink/FileJobQueue.h"
#include "framework/LDrop.h"
#include "framework/StdDialogs.h"
#include "records/PrefNodes.h"

namespace {

constexpr const char* kTexts = "KVSFILEDROP";
constexpr u32 kDropCopy = 3;

}  // namespace

CKvsFileDrop::CKvsFileDrop(LPane* parent, MDevObjLink* link)
    : LDropPane(parent, 0), fLink(link), fTimer(this) {}

CKvsFileDrop::~CKvsFileDrop() {
    fTimer.Stop();
}

void CKvsFileDrop::SetKind(u32 kind) {
    fKind = kind;
    SetState(kind <= 1 ? kOpEnable : kOpDisable);
}

void CKvsFileDrop::AddDropped(const LString& path) {
    fPaths.Insert(path, fPaths.Count());
    fTimer.Start(0u);
}

void CKvsFileDrop::Offer() {
    // Files dropped while the card is read are offered after these, with a
    // reading of their own.
    if (fPaths.Count() == 0 || fOffering) return;
    LHandler* owner = fLink && fLink->DialogOwner() ? fLink->DialogOwner() : this;
    const u32 count = fPaths.Count();
    std::vector<LString> names, shown;
    // Local paths, no URL escapes read into them; the name compared is the
    // one the upload gives the file on the card, extension and all, so that of
    // two on the card that read the same the exact one is replaced.
    for (u32 p = 0; p < count; ++p) {
        names.push_back(UploadCardName(fKind, fPaths.At(p).CStr()));
        shown.push_back(DeviceNameForLocalFile(fPaths.At(p).CStr(), ""));
    }
    // Files of one drop that the card would hold as one: the later would take
    // the earlier's place unasked, and no answer to which one wins helps.
    std::vector<std::string> keys;
    for (const LString& name : names) keys.push_back(CardNameKey(name.CStr()));
    std::vector<LString> clash;
    for (u32 n = 0; n < count; ++n)
        for (u32 m = 0; m < count; ++m)
            if (m != n && keys[m] == keys[n]) {
                LString leaf;
                clash.push_back(LastPathComponent(&leaf, fPaths.At(n).CStr()));
                break;
            }
    if (!clash.empty()) {
        LTextStream text;
        text.Put(StdDialogText(kTexts, 3));
        AppendNameList(text, clash);
        fOffering = true;
        CSimpleMessageDialog dialog(owner, LPaneOpt::Window(kWindowDialog, 0));
        dialog.Run(text.ToString(), 0, false);
        fOffering = false;
        // Files dropped while it was said are offered on their own.
        for (u32 i = 0; i < count; ++i) fPaths.Remove(0);
        if (fPaths.Count() > 0) fTimer.Start(0u);
        return;
    }
    CCardAhead card(fLink ? fLink->DeviceQueue() : nullptr,
                    fLink ? fLink->ContentsRecord() : nullptr, fKind);
    // The uploads join the job queue behind those already there: a name one
    // of them will write is asked about as one on the card.
    card.SetQueuedAfter();
    fOffering = true;
    const bool read = CheckCardNames(owner, card, names);
    fOffering = false;
    std::vector<CardAgreement>& agreements = card.Agreements();
    if (fPaths.Count() != count) {
        fTimer.Start(0u);
        return;
    }
    // A name only an upload still waiting will write is no file on the card yet.
    std::vector<LString> existing, waiting;
    for (size_t i = 0; i < names.size() && read; ++i)
        if (!agreements[i].name.IsEmpty())
            (agreements[i].listed.found ? existing : waiting).push_back(shown[i]);
    if (read && !(existing.empty() && waiting.empty())) {
        LTextStream text;
        auto put = [&text](u32 item, const std::vector<LString>& list) {
            if (list.empty()) return;
            if (text.Length() > 0) text.Put("\n");
            text.Put(StdDialogText(kTexts, item));
            for (size_t i = 0; i < list.size(); ++i) {
                if (i > 0) text.Put(", ");
                text.Put(list[i]);
            }
        };
        put(2, existing);
        put(4, waiting);
        CSimpleMessageDialog dialog(owner, LPaneOpt::Window(kWindowDialog, 0));
        dialog.SetTitle(StdDialogText(kTexts, 0));
        dialog.fOk.SetTitle(StdDialogText(kTexts, 1));
        if (dialog.Run(text.ToString(), 0, true) != 1) {
            fPaths.Clear();
            return;
        }
    }
    if (read) {
        fTargets = std::move(agreements);
        Send(CKvsFileDrop_Dropped, this, fParent);
    }
    fPaths.Clear();
    fTargets.clear();
}

LMessage CKvsFileDrop::HandleMessage(const LMessage& msg) {
    if (msg.source == this && msg.Is(LDropPane_Enter)) {
        if (DragHasFiles(Drag())) SetDropOperation(kDropCopy);
        return LMessage();
    }
    if (msg.source == this && msg.Is(LDropPane_Drop)) {
        CDragFileReader reader;
        reader.Attach(Drag());
        LString path;
        for (u32 i = 0; reader.GetFilePath(i, &path); ++i) {
            // The upload jobs read local paths.
            LString local;
            if (path.View().substr(0, 5) == "file:") FileUrlToPosixPath(&local, path);
            if (!local.IsEmpty()) path = local;
            fPaths.Insert(path, fPaths.Count());
        }
        SetDropOperation(kDropCopy);
        fTimer.Start(0u);
        return LMessage();
    }
    if (msg.Is(LTimer_Expire) && msg.source == &fTimer) {
        Offer();
        return LMessage();
    }
    return LDropPane::HandleMessage(msg);
}
