#pragma once
// The file choosers run before importing, exporting or uploading files: open,
// save and folder panels with an optional list of file types. Paths are the
// application's file paths ("file:///..."). The platform runs the panel
// itself (application-modal; the framework's timers keep firing) through
// LFilePanelServices; without one a panel is cancelled at once.

#include <functional>
#include <vector>

#include "base/FileOps.h"
#include "base/LString.h"
#include "framework/LHandler.h"

class LEmbeddedPane;
class LFrame;
class LPopupList;

// Hears the type pop-up of its accessory frame.
class CFilePanel : public LHandler {
public:
    enum Kind : u32 { kOpen = 0, kSave = 1, kFolder = 2 };
    // The owner may add panes to the accessory frame before the panel shows.
    using AccessoryFn = void (*)(void* context, LFrame* accessory);

    explicit CFilePanel(Kind kind) : fKind(kind) {}
    ~CFilePanel() override;
    CFilePanel(const CFilePanel&) = delete;
    CFilePanel& operator=(const CFilePanel&) = delete;

    void SetDirectory(const LString& folderUrl) { fStartDir = folderUrl; }
    void SetMessage(const LString& message) { fMessage = message; }
    void SetAccessory(void* context, AccessoryFn fn) {
        fAccessoryContext = context, fAccessoryFn = fn;
    }
    // Keeps the list (not owned); each entry's pattern, or the text of its
    // type code when the pattern is empty, becomes an allowed type.
    void SetFileTypes(const CFileTypeList* list);
    // Starts in the deepest folder of the path that exists, never above its
    // volume; none exists (a volume that is gone): the start folder stays unset.
    virtual void SetStartPath(const LString& url);
    // Runs the panel: true when it ended with OK.
    bool Run();

    i32 WasAccepted() const { return fAccepted; }
    // The chosen item when it exists, else empty.
    virtual LString& GetChosenPath(LString* out) const;

    // ---- the platform's side
    Kind GetKind() const { return fKind; }
    const LString& StartDir() const { return fStartDir; }
    const LString& Message() const { return fMessage; }
    const LString& DefaultName() const { return fDefaultName; }
    const CFileTypeList* Types() const { return fTypes; }
    // The type list entry the pop-up shows; -1 without entries.
    i32 SelectedEntry() const { return fSelected; }
    // The pop-up's choice: its pattern, unless empty or "*", becomes the one
    // allowed type, else every file is allowed.
    void ApplyChoice(u32 entry);
    const std::vector<LString>& Allowed() const { return fAllowed; }
    // Whether the panel lists an item (local path; folders always, files by
    // their lower-case extension while types are allowed).
    bool ShouldShow(const char* localPath) const;
    // The end of a run: accepted, and the chosen item's path.
    void SetResult(bool accepted, const LString& chosenUrl);
    // The accessory frame inside the native panel: the type pop-up (with
    // entries), then the owner's panes, stacked at the left edge. Null when
    // it holds nothing or the platform cannot host it. onChoice runs after a
    // choice in the pop-up.
    LEmbeddedPane* BuildAccessory(void* nativePanel, std::function<void()> onChoice);
    void DropAccessory();
    LMessage HandleMessage(const LMessage& msg) override;

protected:
    // The first entry whose pattern equals the one given or is "*"; -1 none.
    i32 FindType(const LString& pattern) const;

    Kind fKind;
    LString fStartDir;
    LString fMessage;
    LString fDefaultName;
    LString fChosen;
    const CFileTypeList* fTypes = nullptr;
    std::vector<LString> fAllowed;
    i32 fSelected = -1;
    i32 fAccepted = 0;
    void* fAccessoryContext = nullptr;
    AccessoryFn fAccessoryFn = nullptr;
    LEmbeddedPane* fAccessory = nullptr;
    LPopupList* fPopup = nullptr;
    std::function<void()> fOnChoice;
};

class COpenPanel : public CFilePanel {
public:
    COpenPanel() : CFilePanel(kOpen) {}
    // Also takes an existing file's name as the default and selects the type
    // of its extension.
    void SetStartPath(const LString& url) override;
};

class CSavePanel : public CFilePanel {
public:
    CSavePanel() : CFilePanel(kSave) {}
    void SetFileName(const LString& name) { fDefaultName = name; }
    // The chosen path when its folder exists (the file itself usually does not).
    LString& GetChosenPath(LString* out) const override;
};

class CFolderPanel : public CFilePanel {
public:
    CFolderPanel() : CFilePanel(kFolder) {}
};

class LFilePanelServices {
public:
    virtual ~LFilePanelServices() = default;
    // Runs the panel to its end and reports through SetResult.
    virtual void RunPanel(CFilePanel& panel) = 0;
};

// Installs the platform's panels (null: none); the caller keeps ownership.
void InstallFilePanelServices(LFilePanelServices* services);
