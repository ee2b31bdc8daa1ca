#include "devices/files/DeviceFileOps.h"

#include <sys/stat.h>

#include <algorithm>
#include <string>

#include "devlink/AnswerLimits.h"
#include "base/CBufFileStrm.h"
#include "base/FileOps.h"
#include "base/Paths.h"
#include "base/TextEncoding.h"
#include "base/TextFormat.h"
#include "devices/files/CKvsFileList.h"
#include "devices/files/CKvsRenDlg.h"
#include "devlink/FileJobQueue.h"
#include "devlink/FileListPoller.h"
#include "devlink/ReqQueue.h"
#include "framework/StdDialogs.h"
#include "records/PrefNodes.h"

namespace {

constexpr u32 kStepMs = 500;
constexpr u32 kListedNames = 10;

LPaneOpt DialogOptions() {
    return LPaneOpt::Window(kWindowDialog, 0);
}

LString Item(u32 n) {
    return StdDialogText(kFileOpTexts, n);
}

bool Ask(LHandler* owner, const LString& text) {
    CSimpleMessageDialog dialog(owner, DialogOptions());
    return dialog.Run(text, 0, true) == 1;
}

// The question before files are replaced: the item, then the names.
bool AskReplace(LHandler* owner, u32 item, const std::vector<LString>& names) {
    LTextStream text;
    text.Put(Item(item));
    AppendNameList(text, names);
    return Ask(owner, text.ToString());
}

void Tell(LHandler* owner, const LString& text) {
    CSimpleMessageDialog dialog(owner, DialogOptions());
    dialog.Run(text, 0, false);
}

void TellNames(LHandler* owner, u32 item, const std::vector<LString>& names) {
    LTextStream text;
    text.Put(Item(item));
    AppendNameList(text, names);
    Tell(owner, text.ToString());
}

struct RequestWait {
    u32 status[3] = {};
    bool done = false;
};

void RequestDone(void* context, CStrm*, const u32* status) {
    auto* w = static_cast<RequestWait*>(context);
    for (int i = 0; i < 3; ++i) w->status[i] = status ? status[i] : 2;
    w->done = true;
}

// Hands what a read brings to a file stream the caller keeps: the queue owns
// and deletes this stream, never the file, so a cancelled download can still
// be thrown away whole.
class CCountingStrm : public CStrm {
public:
    CCountingStrm(CStrm* target, u64* received)
        : CStrm(kModeWrite), fTarget(target), fGot(received) {}
    void SetPosition(u64 position) override {
        fTarget->SetPosition(position);
        fPosition = position;
        Mirror();
    }
    void SetSize() override {
        fTarget->SetSize();
        Mirror();
    }
    void Write(const void* bytes, u64 length) override {
        if (length > kFileReadLimit || fPosition > kFileReadLimit - length) {
            SetError(kErrWrite);
            return;
        }
        fTarget->Write(bytes, length);
        fPosition += length;
        if (fPosition > *fGot) *fGot = fPosition;
        Mirror();
    }
    void Read(void*, u64* length) override { *length = 0; }

private:
    void Mirror() {
        if (fTarget->Error()) SetError(fTarget->Error());
    }
    CStrm* fTarget;
    u64* fGot;
};

std::string PosixOf(const LString& url) {
    LString p;
    FileUrlToPosixPath(&p, url);
    return std::string(p.View());
}

bool LocalExists(const LString& url) {
    const std::string p = PosixOf(url);
    struct stat st;
    return !p.empty() && lstat(p.c_str(), &st) == 0;
}

LString JoinUrl(const LString& folder, const char* name) {
    LPathStatus s;
    JoinPath(&s, folder, name);
    return s.path;
}

// One download into a local file that replaces an older copy only when complete.
// Answers kFileReqContinue (written, or its name put on the unsaved list),
// kFileReqFailed or kFileReqCancelled.
i32 DownloadOne(CSimpleProgressDialog& dialog, CReqQueue* queue, const char* devicePath,
                const LString& localUrl, const LString& shownName, u64 size, u32 index,
                FileOpOutcome* outcome) {
    CSafeReplaceFs replace(localUrl);
    if (!replace.IsActive()) {
        outcome->unsaved.push_back(shownName);
        return kFileReqContinue;
    }
    auto* file = new CBufFileStrm(replace.NewPath(), CStrm::kModeWrite);
    u64 received = 0;
    RequestWait wait;
    queue->Enqueue(&wait, RequestDone, devicePath, 0, new CCountingStrm(file, &received), nullptr,
                   0);
    const std::string prefix = std::string(Item(5).View()) + std::string(shownName.View()) + ", ";
    while (!wait.done) {
        const u32 percent = DownloadPercent(received, size);
        dialog.SetMessage(LString((prefix + std::to_string(percent) + "%").c_str()));
        dialog.fBar.SetValue(i32(index * 100 + percent));
        // Pressed, or the session ending: the older copy stays as it was.
        if (dialog.ModalStep(kStepMs) != 0 && !wait.done) {
            queue->CancelAll(&wait, RequestDone);
            delete file;  // the temporary goes with `replace`
            return kFileReqCancelled;
        }
    }
    file->Flush();
    const bool written = file->Error() == CStrm::kErrNone;
    delete file;
    if (wait.status[0] == 0 && wait.status[1] == 0) {
        if (written) replace.Commit();
        if (!written || replace.Error() != CSafeReplace::kErrNone)
            outcome->unsaved.push_back(shownName);
        return kFileReqContinue;
    }
    if (wait.status[0] == 0 && wait.status[1] == 3) {
        outcome->unsaved.push_back(shownName);
        return kFileReqContinue;
    }
    if (wait.status[0] == 2 || wait.status[1] == 2)
        outcome->commFailure = 1;
    else
        outcome->otherFailure = 1;
    return kFileReqFailed;
}

std::unique_ptr<CSimpleProgressDialog> OpenProgress(LHandler* owner, u32 item, u32 maximum) {
    auto d = std::make_unique<CSimpleProgressDialog>(owner, DialogOptions());
    d->SetMessage(Item(item));
    d->fBar.SetMax(i32(maximum > 0x7FFFFFFFu ? 0x7FFFFFFFu : maximum));
    d->fBar.SetValue(0);
    return d;
}

}  // namespace

const char* DeviceFolderOfKind(u32 kind) {
    return kind == 0 ? kRecordingsFolder : kind == 1 ? kAudioFolder : nullptr;
}

i32 EvaluateFileStatus(const u32* s, FileOpOutcome* o) {
    if (s[0] == 0 && s[1] == 0) return kFileReqContinue;
    if (s[0] == 2) {
        o->commFailure = 1;
        return kFileReqFailed;
    }
    if (s[0] == 0 && s[1] == 3) {
        ++o->missing;
        if (s[2] == 0) ++o->hardMissing;
        return kFileReqContinue;
    }
    if (s[1] == 2)
        o->commFailure = 1;
    else
        o->otherFailure = 1;
    return kFileReqFailed;
}

i32 RunFileRequest(CSimpleProgressDialog* dialog, CReqQueue* queue, const char* path,
                   FileOpOutcome* outcome) {
    RequestWait wait;
    queue->Enqueue(&wait, RequestDone, path, 1, nullptr, nullptr, 0);
    while (!wait.done) {
        if (dialog->ModalStep(kStepMs) != 0 && !wait.done) {
            queue->CancelAll(&wait, RequestDone);
            return kFileReqCancelled;
        }
    }
    return EvaluateFileStatus(wait.status, outcome);
}

u32 FileOutcomeItem(const FileOpOutcome& o) {
    if (o.commFailure) return 7;
    if (o.otherFailure) return 8;
    if (o.missing > 0) return o.hardMissing > 0 ? 10 : 9;
    if (!o.unsaved.empty()) return 11;
    return 0;
}

void ReportFileOutcome(LHandler* owner, const FileOpOutcome& outcome) {
    const u32 item = FileOutcomeItem(outcome);
    if (item == 0) return;
    LTextStream text;
    text.Put(Item(item));
    if (item == 11) AppendNameList(text, outcome.unsaved);
    Tell(owner, text.ToString());
}

void AppendNameList(LTextSink& text, const std::vector<LString>& names) {
    for (size_t i = 0; i < names.size() && i < kListedNames; ++i) {
        if (i > 0) text.Put(", ");
        text.Put(names[i]);
    }
    if (names.size() > kListedNames) text.Put(", ...");
}

bool ConfirmDeviceFileOp(LHandler* owner, const std::vector<LString>& files) {
    if (files.empty()) return true;
    const std::string count = std::to_string(files.size());
    const char* items[1] = {count.c_str()};
    LString head;
    FormatTemplate(&head, Item(6).CStr(), 1, items);
    LTextStream text;
    text.Put(head);
    AppendNameList(text, files);
    return Ask(owner, text.ToString());
}

// ---- delete

bool DeleteDeviceFiles(LHandler* owner, CReqQueue* queue, CKvsFileList* list, u32 kind,
                       FileOpConfirmedFn confirmed, void* context) {
    if (!list) return false;
    return DeleteDeviceFileNames(owner, queue, list->SelectedNames(true), kind, confirmed, context);
}

bool DeleteDeviceFileNames(LHandler* owner, CReqQueue* queue, const std::vector<LString>& given,
                           u32 kind, FileOpConfirmedFn confirmed, void* context) {
    const char* folder = DeviceFolderOfKind(kind);
    if (!folder || !queue) return false;
    // Only names that stay one component of the folder's path are sent.
    std::vector<LString> names;
    for (const LString& n : given)
        if (IsDeviceFileName(n.CStr(), n.Length())) names.push_back(n);
    if (names.empty()) return false;
    if (!Ask(owner, Item(2))) return false;
    if (confirmed) confirmed(context);
    auto dialog = OpenProgress(owner, 3, u32(names.size()));
    FileOpOutcome outcome;
    for (size_t i = 0; i < names.size(); ++i) {
        dialog->fBar.SetValue(i32(i + 1));
        const std::string path = std::string("/.cmd/fmrm//") + folder + "/" + names[i].CStr();
        const i32 r = RunFileRequest(dialog.get(), queue, path.c_str(), &outcome);
        if (r == kFileReqCancelled) return true;
        if (r != kFileReqContinue) break;
    }
    dialog.reset();
    ReportFileOutcome(owner, outcome);
    return true;
}

// ---- rename

LString RenamedFileName(const char* edited, const char* oldName) {
    LTextStream composed;
    NormalizeNFC(edited ? edited : "", composed);
    LString ext;
    GetExtensionLower(&ext, oldName);
    if (!ext.IsEmpty()) {
        composed.PutChar('.');
        composed.Put(ext);
    }
    return composed.ToString();
}

bool CheckCardNames(LHandler* owner, CCardAhead& card, const std::vector<LString>& names) {
    std::vector<CardAgreement>& agreed = card.Agreements();
    if (card.Kind() > 1) return false;
    {
        auto progress = std::make_unique<CSimpleProgressDialog>(owner, DialogOptions());
        progress->ShowSpinner();
        progress->SetMessage(Item(13));
        const u32 read = card.Read(progress.get());
        progress.reset();
        if (read == kListingFailed) Tell(owner, Item(14));
        if (read != kListingRead) return false;
    }
    agreed.assign(names.size(), CardAgreement());
    const std::vector<LString>& listed = card.Names();
    const u32 count = card.ListedCount();
    const char* self = card.Moved().IsEmpty() ? nullptr : card.Moved().CStr();
    std::vector<std::string> keys(listed.size());
    for (size_t i = 0; i < listed.size(); ++i) keys[i] = CardNameKey(listed[i].CStr());
    // The take being recorded is written last, at its stop, over anything
    // given its name now: refused whether written now or queued.
    const LString& take = card.Take();
    const std::string takeKey = take.IsEmpty() ? std::string() : CardNameKey(take.CStr());
    std::vector<LString> refused, recording;
    for (size_t n = 0; n < names.size(); ++n) {
        const std::string given = CardNameKey(names[n].CStr());
        if (!take.IsEmpty() && given == takeKey && !(self && StrEqual(take.CStr(), self))) {
            recording.push_back(names[n]);
            continue;
        }
        CardAgreement& a = agreed[n];
        bool waiting = false;
        for (size_t i = 0; i < listed.size(); ++i) {
            if (keys[i] != given || (self && StrEqual(listed[i].CStr(), self))) continue;
            waiting = waiting || i >= count;
            // Of names that were already one file to the card, the one written exactly wins.
            if (a.name.IsEmpty() || StrEqual(listed[i].CStr(), names[n].CStr())) a.name = listed[i];
        }
        if (waiting && !card.QueuedAfter()) refused.push_back(names[n]);
        if (a.name.IsEmpty()) continue;
        // The file agreed to: as listed now, and what the uploads queued now put there.
        for (size_t i = 0; i < listed.size(); ++i) {
            if (!StrEqual(listed[i].CStr(), a.name.CStr())) continue;
            if (i >= count) {
                a.queued.push_back(card.Queued()[i - count].job);
            } else if (!a.listed.found) {
                a.listed.found = true;
                a.listed.size = NodeListItemNumber(card.Contents(), card.Kind(), u32(i));
                NodeListItemText2(&a.listed.change, card.Contents(), card.Kind(), u32(i));
            }
        }
    }
    if (!recording.empty()) TellNames(owner, 16, recording);
    if (!refused.empty()) TellNames(owner, 15, refused);
    return recording.empty() && refused.empty();
}

LString RenameDeviceFile(LHandler* owner, CReqQueue* queue, CRecord* contents,
                         const LString& oldName, u32 kind) {
    const char* folder = DeviceFolderOfKind(kind);
    if (!folder || !queue || !IsDeviceFileName(oldName.CStr(), oldName.Length())) return LString();
    LString base;
    ReplaceExtension(&base, oldName.CStr(), "");
    LString edited;
    {
        CKvsRenDlg dialog(owner);
        dialog.SetName(base);
        if (dialog.RunModal() != 1) return LString();
        edited = dialog.Name();
    }
    LString newName = RenamedFileName(edited.CStr(), oldName.CStr());
    if (StrEqual(newName.CStr(), oldName.CStr())) return LString();
    if (!IsDeviceFileName(newName.CStr(), newName.Length())) return LString();
    // The device replaces a file that holds the new name: its content would
    // be gone without a word. Agreed, the move goes onto that file's own name,
    // so that it is replaced and not kept beside a name that reads the same.
    CCardAhead card(queue, contents, kind);
    card.SetMoved(oldName.CStr());
    if (!CheckCardNames(owner, card, {newName})) return LString();
    if (const LString& taken = card.Agreed(0).name; !taken.IsEmpty()) {
        if (!AskReplace(owner, 12, {taken})) return LString();
        newName = taken;
    }
    auto dialog = OpenProgress(owner, 1, 1);
    const std::string path = std::string("/.cmd/fmmv//") + folder + "/" + oldName.CStr() + "//" +
                             folder + "/" + newName.CStr();
    FileOpOutcome outcome;
    if (RunFileRequest(dialog.get(), queue, path.c_str(), &outcome) == kFileReqCancelled)
        return LString();
    dialog.reset();
    ReportFileOutcome(owner, outcome);
    if (outcome.commFailure || outcome.otherFailure || outcome.missing > 0) return LString();
    return newName;
}

// ---- downloads

u32 DownloadPercent(u64 received, u64 size) {
    if (size == 0) return 0;
    const u64 got = received < size ? received : size;
    // In 64 bits: 60 MB x 100 would wrap in 32.
    return u32(got * 100 / size);
}

void DownloadSelectedFiles(LHandler* owner, CReqQueue* queue, CKvsFileList* list, u32 kind,
                           const LString& folderUrl) {
    if (!list) return;
    std::vector<NamedSize> files;
    for (const LString& n : list->SelectedNames(false)) files.push_back({n, list->SizeOfName(n)});
    DownloadDeviceFileNames(owner, queue, files, kind, folderUrl);
}

void DownloadDeviceFileNames(LHandler* owner, CReqQueue* queue, const std::vector<NamedSize>& files,
                             u32 kind, const LString& folderUrl) {
    const char* folder = DeviceFolderOfKind(kind);
    if (!folder || !queue || files.empty()) return;
    std::vector<LString> existing;
    for (const NamedSize& f : files)
        if (IsDeviceFileName(f.name.CStr(), f.name.Length()) &&
            LocalExists(JoinUrl(folderUrl, f.name.CStr())))
            existing.push_back(f.name);
    if (!existing.empty() && !AskReplace(owner, 4, existing)) return;
    auto dialog = OpenProgress(owner, 5, u32(100 * files.size()));
    FileOpOutcome outcome;
    for (size_t i = 0; i < files.size(); ++i) {
        const NamedSize& f = files[i];
        // A name that would leave the folder, here or on the device, is not fetched.
        if (!IsDeviceFileName(f.name.CStr(), f.name.Length())) {
            outcome.unsaved.push_back(f.name);
            continue;
        }
        const std::string path = std::string(folder) + "/" + f.name.CStr();
        const i32 r = DownloadOne(*dialog, queue, path.c_str(), JoinUrl(folderUrl, f.name.CStr()),
                                  f.name, f.size, u32(i), &outcome);
        if (r == kFileReqCancelled) return;
        if (r != kFileReqContinue) break;
    }
    dialog.reset();
    ReportFileOutcome(owner, outcome);
}

void DownloadDeviceFiles(LHandler* owner, CReqQueue* queue, CRecord* contents,
                         const std::vector<LString>& paths, const LString& folderUrl) {
    if (!queue || paths.empty()) return;
    auto dialog = OpenProgress(owner, 5, u32(100 * paths.size()));
    FileOpOutcome outcome;
    for (size_t i = 0; i < paths.size(); ++i) {
        const LString& rel = paths[i];
        if (!IsDeviceRelativePath(rel.CStr())) {
            outcome.unsaved.push_back(rel);
            continue;
        }
        // The folders of the path, below the chosen one (an existing one is used).
        const std::string text(rel.View());
        LString local = folderUrl;
        bool made = true;
        size_t start = 0;
        for (size_t slash; (slash = text.find('/', start)) != std::string::npos;
             start = slash + 1) {
            local = JoinUrl(local, text.substr(start, slash - start).c_str());
            CFileObj folder;
            folder.CreateUniqueFolder(local, CFileObj::kModeAcceptExisting);
            if (folder.Status() != kFileDone) {
                made = false;
                break;
            }
        }
        if (!made) {
            outcome.unsaved.push_back(rel);
            continue;
        }
        const std::string leaf = text.substr(start);
        const u64 size = contents ? NodeListFindNumber(contents, leaf.c_str()) : 0;
        const std::string path = "/sdc/" + text;
        const i32 r = DownloadOne(*dialog, queue, path.c_str(), JoinUrl(local, leaf.c_str()), rel,
                                  size, u32(i), &outcome);
        if (r == kFileReqCancelled) return;
        if (r != kFileReqContinue) break;
    }
    dialog.reset();
    ReportFileOutcome(owner, outcome);
}
