#include "framework/CFilePanel.h"

#include <algorithm>
#include <sys/stat.h>

#include "base/LPasteboardServices.h"
#include "base/LScrap.h"
#include "base/Paths.h"
#include "framework/LEmbeddedPane.h"
#include "framework/LStdCtl.h"

namespace {

LFilePanelServices* sPanels = nullptr;

// 1 folder, 2 other item, 0 nothing there (or no local place).
int ItemKind(const LString& url) {
    LString local;
    FileUrlToPosixPath(&local, url);
    struct stat st;
    if (local.IsEmpty() || ::stat(local.CStr(), &st) != 0) return 0;
    return S_ISDIR(st.st_mode) ? 1 : 2;
}

// The folder holding the item; false above a volume's root ("file:///Vol").
bool ParentUrl(const LString& url, LString* out) {
    std::string_view v = url.View();
    if (v.ends_with('/')) v.remove_suffix(1);
    const size_t slash = v.rfind('/');
    // "file:///Vol" has its last slash at 7: nothing above a volume.
    if (slash == std::string_view::npos || slash <= 7) return false;
    *out = LString(v.substr(0, slash));
    return true;
}

}  // namespace

void InstallFilePanelServices(LFilePanelServices* services) {
    sPanels = services;
}

void CFilePanel::SetFileTypes(const CFileTypeList* list) {
    fTypes = list;
    fAllowed.clear();
    fSelected = -1;
    if (!list) return;
    for (u32 i = 0; i < list->Count(); ++i) {
        LString pattern;
        list->GetPattern(&pattern, i);
        if (pattern.IsEmpty())
            pattern = PasteboardTypeText(LScrapType{LString(), list->GetType(i)});
        fAllowed.push_back(pattern);
    }
    if (list->Count()) fSelected = 0;
}

i32 CFilePanel::FindType(const LString& pattern) const {
    if (!fTypes) return -1;
    for (u32 i = 0; i < fTypes->Count(); ++i) {
        LString p;
        fTypes->GetPattern(&p, i);
        if (p == pattern || p == "*") return i32(i);
    }
    return -1;
}

void CFilePanel::ApplyChoice(u32 entry) {
    if (!fTypes || entry >= fTypes->Count()) return;
    LString p;
    fTypes->GetPattern(&p, entry);
    fAllowed.clear();
    if (!p.IsEmpty() && p != "*") fAllowed.push_back(p);
    fSelected = i32(entry);
}

bool CFilePanel::ShouldShow(const char* localPath) const {
    struct stat st;
    if (::stat(localPath, &st) != 0) return false;
    if (S_ISDIR(st.st_mode) || fAllowed.empty()) return true;
    LString ext;
    LString leaf;
    LastPathComponent(&leaf, localPath);
    GetExtensionLower(&ext, leaf.CStr());
    for (const LString& a : fAllowed)
        if (a == ext) return true;
    return false;
}

void CFilePanel::SetStartPath(const LString& url) {
    LString at = url;
    for (;;) {
        if (ItemKind(at) == 1) {
            fStartDir = at;
            return;
        }
        LString up;
        if (!ParentUrl(at, &up)) return;
        at = up;
    }
}

void COpenPanel::SetStartPath(const LString& url) {
    CFilePanel::SetStartPath(url);
    if (ItemKind(url) != 2) return;
    GetLeafName(&fDefaultName, url);
    LString ext;
    GetExtensionLower(&ext, fDefaultName.CStr());
    const i32 found = FindType(ext);
    if (found >= 0) ApplyChoice(u32(found));
}

bool CFilePanel::Run() {
    fAccepted = 0;
    fChosen = LString();
    if (fSelected >= 0) ApplyChoice(u32(fSelected));
    if (sPanels) sPanels->RunPanel(*this);
    return fAccepted != 0;
}

void CFilePanel::SetResult(bool accepted, const LString& chosenUrl) {
    fAccepted = accepted ? 1 : 0;
    fChosen = accepted ? chosenUrl : LString();
}

LString& CFilePanel::GetChosenPath(LString* out) const {
    *out = ItemKind(fChosen) ? fChosen : LString();
    return *out;
}

LString& CSavePanel::GetChosenPath(LString* out) const {
    LString folder;
    *out = ParentUrl(fChosen, &folder) && ItemKind(folder) == 1 ? fChosen : LString();
    return *out;
}

CFilePanel::~CFilePanel() {
    DropAccessory();
}

LEmbeddedPane* CFilePanel::BuildAccessory(void* nativePanel, std::function<void()> onChoice) {
    DropAccessory();
    fOnChoice = std::move(onChoice);
    fAccessory = new LEmbeddedPane(this, nativePanel);
    if (!fAccessory->View()) {
        DropAccessory();
        return nullptr;
    }
    if (fTypes && fTypes->Count() && fKind != kFolder) {
        fPopup = new LPopupList(fAccessory);
        for (u32 i = 0; i < fTypes->Count(); ++i) {
            LString name;
            fPopup->AddItem(fTypes->GetName(&name, i));
        }
        const i32 w = fPopup->GetPrefWidth(nullptr, 0), h = fPopup->GetPrefHeight(nullptr, 0);
        fPopup->SetBounds(LRect(10, 10, 10 + w, 10 + h));
        fPopup->Select(fSelected >= 0 ? fSelected : 0);
    }
    if (fAccessoryFn) fAccessoryFn(fAccessoryContext, fAccessory);
    // One below the other at the left edge; the pop-up keeps its 10-pixel margin.
    i32 y = 0, width = 0;
    for (LLink* l = fAccessory->Children().Head(); !l->IsEnd(); l = l->Next()) {
        auto* pane = static_cast<LPane*>(l);
        const LRect b = pane->Bounds();
        const i32 margin = pane == fPopup ? 10 : 0;
        pane->SetBounds(LRect(margin, y + margin, margin + b.Width(), y + margin + b.Height()));
        y += b.Height() + 2 * margin;
        width = std::max(width, b.Width() + 2 * margin);
    }
    if (width <= 0 || y <= 0) {
        DropAccessory();
        return nullptr;
    }
    fAccessory->SetBounds(LRect(0, 0, width, y));
    return fAccessory;
}

void CFilePanel::DropAccessory() {
    delete fAccessory;
    fAccessory = nullptr;
    fPopup = nullptr;
    fOnChoice = nullptr;
}

LMessage CFilePanel::HandleMessage(const LMessage& msg) {
    if (fPopup && msg.source == fPopup && msg.Is(LPopupList_Changed)) {
        if (fPopup->GetSelected() >= 0) ApplyChoice(u32(fPopup->GetSelected()));
        if (fOnChoice) fOnChoice();
        return LMessage();
    }
    return LHandler::HandleMessage(msg);
}
