#include "devices/files/CKvsFileDrop.h"

#include <string>

#include "base/Paths.h"
#include "devices/files/DeviceFileOps.h"
#include "devlink/DevObjLink.h"
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

std::vector<LString> CKvsFileDrop::ExistingNames() const {
    std::vector<LString> found;
    CRecord* contents = fLink ? fLink->ContentsRecord() : nullptr;
    if (!contents || fKind > 1) return found;
    const u32 entries = NodeListCount(contents, fKind);
    std::vector<std::string> listed;
    listed.reserve(entries);
    for (u32 i = 0; i < entries; ++i) {
        LString name;
        listed.push_back(ComposedBaseName(NodeListText(&name, contents, fKind, i).CStr()));
    }
    for (u32 p = 0; p < fPaths.Count(); ++p) {
        // Local paths, no URL escapes read into them; the name compared is the
        // one the upload gives the file on the card.
        const LString base = DeviceNameForLocalFile(fPaths.At(p).CStr(), "");
        const std::string mine = ComposedBaseName(base.CStr());
        for (const std::string& l : listed) {
            if (l == mine) {
                found.push_back(base);
                break;
            }
        }
    }
    return found;
}

void CKvsFileDrop::Offer() {
    if (fPaths.Count() == 0) return;
    const std::vector<LString> existing = ExistingNames();
    if (!existing.empty()) {
        LTextStream text;
        text.Put(StdDialogText(kTexts, 2));
        for (size_t i = 0; i < existing.size(); ++i) {
            if (i > 0) text.Put(", ");
            text.Put(existing[i]);
        }
        CSimpleMessageDialog dialog(fLink && fLink->DialogOwner() ? fLink->DialogOwner() : this,
                                    LPaneOpt::Window(kWindowDialog, 0));
        dialog.SetTitle(StdDialogText(kTexts, 0));
        dialog.fOk.SetTitle(StdDialogText(kTexts, 1));
        if (dialog.Run(text.ToString(), 0, true) != 1) {
            fPaths.Clear();
            return;
        }
    }
    Send(CKvsFileDrop_Dropped, this, fParent);
    fPaths.Clear();
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
