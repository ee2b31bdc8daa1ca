// The file side of the play edit: the setting files on the device card, the
// local play file, and the preparation of the copy to USB storage.
#include <memory>
#include <string>
#include <vector>

#include "base/CForkStrm.h"
#include "base/Clock.h"
#include "base/FileOps.h"
#include "base/Paths.h"
#include "devlink/CDevRequestQueue.h"
#include "devlink/ConfirmedUpload.h"
#include "devlink/FileListPoller.h"
#include "devlink/ReqQueue.h"
#include "editors/CKvsPlayCmd.h"
#include "framework/CFilePanel.h"
#include "framework/CMainLoop.h"
#include "framework/LDrawCtx.h"
#include "framework/LFrame.h"
#include "framework/StdDialogs.h"
#include "records/AppPrefsDoc.h"
#include "records/CChunkFile.h"
#include "records/CShowMediaScan.h"
#include "records/BtnLabelLayout.h"
#include "records/NsqPrefKinds.h"
#include "records/PropRecord.h"
#include "records/ScreenLayout.h"
#include "records/ShowKinds.h"

namespace {

constexpr const char* kTexts = "KVSPLAYEDIT";
constexpr u32 kTagContainer = FourCC("YKVS");
constexpr u32 kTypePlayFile = FourCC("DPLS");

CRecord* AppPrefs() {
    CRecordDoc* doc = AppPrefsDoc();
    return doc ? doc->Root() : nullptr;
}

void Report(LHandler* parent, u32 item) {
    CSimpleMessageDialog message(parent, LPaneOpt::Window(kWindowDialog, 0));
    message.Run(StdDialogText(kTexts, item), 0, false);
}

// The file types of a 'CST#' list (type, creator, name, pattern per item).
struct TypeList {
    explicit TypeList(const char* name)
        : id{0, name}, res(&id, nullptr, kTextsResType), types(res) {}
    LResId id;
    LStrListRes res;
    CFileTypeList types;
};

// One modal turn: of the dialog, or of the parent without one. True when the
// user pressed the dialog's button; at the session's end the waits then end by
// their idle limit alone.
bool StepPressed(CSimpleProgressDialog* progress, LHandler* self, u32 ms) {
    if (progress) return progress->StepPressed(ms);
    LHandler::Send(LHandler_Mode, self, self->Parent());
    return false;
}

bool Ending() {
    const CMainLoop* loop = CMainLoop::Current();
    return loop && loop->fEnding;
}

u32 IdleLimitMs() {
    return Ending() ? CKvsPlayCmd::kEndIdleLimitMs : CKvsPlayCmd::kIdleLimitMs;
}

}  // namespace

// ---- the setting files

bool CKvsPlayCmd::SendPlayData(bool reportErrors, bool force) {
    if (Serial() == 0) return true;
    if (!force && !fSeqDoc.IsModified() && !fPlayDoc.IsModified()) return true;
    CSimpleProgressDialog progress(this, LPaneOpt::Window(kWindowDialog, 2));
    // Its Cancel is there from the start: a device that went away keeps the
    // write trying for as long as nobody gives up on it. A cancelled write
    // leaves both files pending, so the next one writes them whole again.
    progress.ShowSpinner();
    progress.SetMessage(StdDialogText(kTexts, 1));

    // What reaches the card carries its layouts, built from the settings now.
    CRecord* play = PlaySettings();
    if (!play->GetChild(PlysF::uifs)) RebuildUiLayout();
    {
        const bool wasModified = fPlayDoc.IsModified();
        const auto renderer = PlayHooks().newLabelRenderer;
        for (u32 i = 0; i < play->GetListCount(PlysF::blys); ++i) {
            CRecord* btly = play->GetListItem(PlysF::blys, i);
            if (btly->GetChild(BtlyF::uifs)) continue;
            CRecord* layout = NewUiLayoutRecord();
            if (!layout) continue;
            std::unique_ptr<CBtnLabelFontSource> fonts(renderer ? renderer(fOwner) : nullptr);
            if (!UiLayoutToStore(BuildBtnLayoutUiLayout(btly, layout, fonts.get()), layout)) {
                CRecord::Destroy(layout);
                continue;
            }
            if (CRecord* old = btly->ReplaceChild(nullptr, BtlyF::uifs, layout))
                CRecord::Destroy(old);
        }
        if (!wasModified) fPlayDoc.SetModified(false);
    }

    const bool ok = UploadRecordFile(play, "/sdc/playersetting", &progress) &&
                    UploadRecordFile(SeqSettings(), "/sdc/sequencesetting", &progress) &&
                    // The device took both files just now: a setting it left
                    // unanswered while away goes in the channel's next round.
                    WaitChannels(&progress, true);
    if (ok) {
        fSeqDoc.SetModified(false);
        fPlayDoc.SetModified(false);
        FlushDeviceFs(&progress);
        progress.HideWindow();
        return true;
    }
    progress.HideWindow();
    if (reportErrors) Report(this, 2);
    return false;
}

bool CKvsPlayCmd::UploadRecordFile(CRecord* record, const char* devicePath,
                                   CSimpleProgressDialog* progress) {
    if (Serial() == 0) return true;
    // Kept until the device has given the file back: the card's root cannot be
    // listed, so only the file's own bytes show that the device holds it whole.
    LDataBuf bytes;
    u64 size = 0;
    {
        CMemStrm body(bytes);
        PropRecord::Write(&body, record);
        if (body.Error() != CStrm::kErrNone) return false;
        size = body.End();
    }
    fRequestDone = 0;
    fRequestOk = 0;
    CConfirmedUpload upload(&fDevice->FileRequests(), this, UploadDone);
    upload.StartReadBack(devicePath, bytes.Data(), size, CReqQueue::kKeepTrying);
    return WaitRequest(progress, &upload);
}

void CKvsPlayCmd::UploadDone(void* self, CConfirmedUpload* upload) {
    auto* cmd = static_cast<CKvsPlayCmd*>(self);
    cmd->fRequestDone = 1;
    cmd->fRequestOk = upload->Confirmed() ? 1 : 0;
}

void CKvsPlayCmd::RequestDone(void* self, CStrm*, const u32* status) {
    auto* cmd = static_cast<CKvsPlayCmd*>(self);
    cmd->fRequestDone = 1;
    cmd->fRequestOk = status[0] == 0 && status[1] == 0 ? 1 : 0;
}

bool CKvsPlayCmd::WaitRequest(CSimpleProgressDialog* progress, CConfirmedUpload* upload) {
    CReqQueue& queue = fDevice->FileRequests();
    CQueueIdle idle(queue);
    while (!fRequestDone) {
        // Turns the spinner while the request moves.
        const bool silent = idle.Ms(progress) >= IdleLimitMs();
        // The request keeps trying for as long as nothing answers: the user may
        // give up on it at any time; at the session's end nobody is asked.
        const bool pressed = StepPressed(progress, this, kStepMs);
        if ((pressed || (silent && Ending())) && !fRequestDone) {
            if (upload)
                upload->Cancel();
            else
                queue.CancelAll(this, RequestDone);
            fRequestDone = 1;
            fRequestOk = 0;
        }
    }
    return fRequestOk != 0;
}

bool CKvsPlayCmd::WaitChannels(CSimpleProgressDialog* progress, bool deviceAnswers) {
    if (!fSeqChan || !fPlayChan) return true;
    CQueueIdle idle(fDevice->ChannelRequests());
    while (fSeqChan->IsBusy() || fPlayChan->IsBusy()) {
        if (idle.Ms(progress) >= IdleLimitMs()) return false;
        // A setting the device left unanswered goes again only in the next
        // round: nothing waits for that without the user.
        if (!deviceAnswers && (fSeqChan->DeviceSilent() || fPlayChan->DeviceSilent())) return false;
        if (StepPressed(progress, this, kStepMs)) return false;
    }
    return true;
}

void CKvsPlayCmd::FlushDeviceFs(CSimpleProgressDialog* progress) {
    if (Serial() == 0) return;
    fRequestDone = 0;
    fRequestOk = 0;
    fDevice->FileRequests().Enqueue(this, RequestDone, "/.cmd/fsflush", 0, nullptr, nullptr, 0);
    WaitRequest(progress);
    // The card finishes writing after it answered.
    PauseMainThreadMs(kFlushPauseMs);
}

// ---- the local play file

LString DefaultPlayFilePath(const LString& remembered, const LString& extension) {
    if (!remembered.IsEmpty()) return remembered;
    std::string name = "untitled";
    if (!extension.IsEmpty()) name += "." + std::string(extension.CStr());
    LString folder;
    if (LSpecialFolders* folders = LSpecialFolders::Instance()) {
        folder = folders->Get(LSpecialFolders::kDocuments);
    } else {
        LSpecialFolders fresh;
        folder = fresh.Get(LSpecialFolders::kDocuments);
    }
    LPathStatus joined;
    JoinPath(&joined, folder, name.c_str());
    return joined.path;
}

bool CKvsPlayCmd::ExportPlayFile(bool withMedia) {
    const CDeviceHooks& hooks = DeviceHooks();
    // A download asks about missing media before the user picks a file, so that
    // a refusal leaves nothing half written.
    std::unique_ptr<CShowMediaScan> scan;
    if (withMedia) {
        scan = NewMediaScan();
        if (hooks.confirmFileOp && !hooks.confirmFileOp(*fDevice, this, scan.get())) return false;
    }
    CRecord* prefs = AppPrefs();
    LString chosen;
    if (!RunPlaySavePanel(prefs ? prefs->GetString(PrefF::plst) : LString(), &chosen)) return false;
    if (prefs) prefs->SetPathField(nullptr, PrefF::plst, chosen);
    if (!WritePlayFile(chosen)) return false;
    SetCleanMark();
    fFilePath = chosen;
    if (scan && Serial() != 0 && hooks.downloadFiles) {
        LString folder, name;
        SplitFolderAndName(&folder, chosen.CStr(), &name);
        hooks.downloadFiles(*fDevice, this, scan.get(), folder);
    }
    return true;
}

bool CKvsPlayCmd::SaveOwnFile() {
    // The remembered path is whichever file was opened or exported last, in any
    // window: only this window's own file, or one the user names for it, may
    // take its show.
    LString path = fFilePath;
    if (path.IsEmpty() && !RunPlaySavePanel(LString(), &path)) return false;
    if (!WritePlayFile(path)) return false;
    SetCleanMark();
    fFilePath = path;
    return true;
}

bool CKvsPlayCmd::RunPlaySavePanel(const LString& remembered, LString* chosen) {
    TypeList format("KVSPLAYFFMT");
    LString extension;
    format.types.GetName(&extension, 0);
    const LString start = DefaultPlayFilePath(remembered, extension);
    CSavePanel panel;
    panel.SetFileTypes(&format.types);
    panel.SetStartPath(start);
    LString leaf;
    GetLeafName(&leaf, start);
    panel.SetFileName(leaf);
    if (!panel.Run()) return false;
    panel.GetChosenPath(chosen);
    return !chosen->IsEmpty();
}

bool CKvsPlayCmd::WritePlayFile(const LString& url) {
    LDataBuf buffer;
    bool ok = buffer.Reserve(4096, 0, false);
    u32 size = 0;
    if (ok) {
        CChunkFile file;
        file.OpenWrite(kTagContainer, kTypePlayFile, buffer);
        file.WriteRecord(SeqSettings());
        file.WriteRecord(PlaySettings());
        file.Close();
        ok = !file.WriteFailed();
        size = file.WrittenSize();
    }
    // The old file stays until the new one is whole on the disk.
    CSafeReplaceFs replace(url);
    ok = ok && replace.IsActive();
    if (ok) {
        CForkStrm out(replace.NewPath(), CStrm::kModeWrite);
        out.Write(buffer.Data(), size);
        out.SetSize();
        out.Close();
        ok = out.Error() == CStrm::kErrNone;
    }
    if (ok) {
        replace.Commit();
        ok = replace.Error() == CSafeReplace::kErrNone;
    }
    if (!ok) Report(this, 3);
    return ok;
}

bool RunPlayImportPanel(LHandler*, LString* outPath) {
    TypeList types("KVSPLAYFFLT");
    COpenPanel panel;
    panel.SetFileTypes(&types.types);
    CRecord* prefs = AppPrefs();
    if (prefs && !prefs->GetString(PrefF::plst).IsEmpty())
        panel.SetStartPath(prefs->GetString(PrefF::plst));
    if (!panel.Run()) return false;
    panel.GetChosenPath(outPath);
    if (outPath->IsEmpty()) return false;
    if (prefs) prefs->SetPathField(nullptr, PrefF::plst, *outPath);
    return true;
}

void CKvsPlayCmd::ImportPlayFile() {
    LString path;
    if (!RunPlayImportPanel(this, &path)) return;
    // A value still being typed belongs to the show the file replaces: stored
    // now, as Return would, it cannot land on the file's show when its field
    // lets go, nor be left behind with an editor that gives way below.
    LFrame::EndOpenEditsOfWindowsUnder(this);
    // A refused file leaves the show as it was; the user learns why.
    u32 why = 0;
    if (!LoadPlayData(path, &why)) {
        Report(this, why);
        return;
    }
    // The device now plays the file's format: a file of the other one takes its
    // own editor, as a format change does. The view may be replaced by the
    // answer: nothing of it is used after.
    if (!AcceptsOwnFormat()) Send(CKvsPlayEdit_FmtChg, this, fParent);
}

bool CKvsPlayCmd::LoadPlayData(const LString& url, u32* why) {
    u32 ignored;
    if (!why) why = &ignored;
    *why = kImportUnreadable;
    CForkStrm in(url, 0);
    if (!in.IsOpen() || in.Error() != CStrm::kErrNone) return false;
    in.SeekToEnd();
    const u64 size = in.Position();
    *why = kImportNotPlayFile;
    // A container's lengths are 32-bit: anything larger is no play file.
    if (in.Error() != CStrm::kErrNone || size > 0xFFFFFFFFull) return false;
    std::vector<u8> bytes(size_t(size) + 1);
    in.SetPosition(0);
    u64 got = size;
    in.Read(bytes.data(), &got);
    *why = kImportUnreadable;
    if (got != size || in.Error() != CStrm::kErrNone) return false;

    // Only a whole file replaces the show: a cut-off one would read as a shorter
    // show, every setting it lost back at its default. Any outer tag is taken.
    CChunkFile file;
    const bool opened = file.OpenRead(bytes.data(), u32(size));
    if (!opened || !file.IsWhole()) {
        // A play file's own header, but shorter than it says: cut off (a copy or a
        // save that stopped). Anything else is damaged or no play file at all.
        const u64 declared = size >= 8 ? 8 + ((u64(bytes[4]) << 24) | (u64(bytes[5]) << 16) |
                                              (u64(bytes[6]) << 8) | u64(bytes[7]))
                                       : 0;
        const bool ours =
            file.FirstCode() == kTagContainer && (size < 12 || file.SecondCode() == kTypePlayFile);
        *why = ours && declared > size ? kImportCutOff : kImportNotPlayFile;
        return false;
    }
    CRecord* taken[2] = {nullptr, nullptr};  // sequence settings, play settings
    while (CRecord* r = file.ReadRecord()) {
        const int slot = r->Family() != kFamKvt   ? -1
                         : r->Kind() == kKindSqst ? 0
                         : r->Kind() == kKindPlys ? 1
                                                  : -1;
        if (slot < 0 || taken[slot]) {
            CRecord::Destroy(r);
            continue;
        }
        taken[slot] = r;
    }
    // A record that did not decode ends the loop early.
    if (!file.AtEnd() || (!taken[0] && !taken[1])) {
        *why = file.AtEnd() ? kImportNoSettings : kImportNotPlayFile;
        for (CRecord* r : taken) CRecord::Destroy(r);
        return false;
    }
    *why = 0;
    CRecordDoc* docs[2] = {&fSeqDoc, &fPlayDoc};
    for (u32 i = 0; i < 2; ++i) {
        if (!taken[i]) continue;
        LDataBuf buffer;
        CMemStrm strm(buffer);
        PropRecord::Write(&strm, taken[i]);
        CRecord::Destroy(taken[i]);
        strm.SetPosition(0);
        PropRecord::ReadFromStream(&strm, docs[i]);
    }
    // The history's steps name records that were just replaced.
    CUndoQ::ClearFrom(this);
    fFilePath = url;
    return true;
}

// ---- the copy to USB storage

void CKvsPlayCmd::CopyShowToUms() {
    const CDeviceHooks& hooks = DeviceHooks();
    if (Serial() == 0 || !hooks.runCopyToUms) return;
    if (!SendPlayData(true, false)) return;
    if (!FetchFileLists()) return;
    // The setting files first, then the media the show refers to.
    std::unique_ptr<CShowMediaScan> scan(new CShowMediaScan(ContentsRecord()));
    scan->AddName(LString("sequencesetting"));
    scan->AddName(LString("playersetting"));
    scan->ScanShow(SeqSettings());
    const CStrArray& present = scan->Present();
    const std::vector<LString> names(present.Data(), present.Data() + present.Count());
    if (hooks.confirmFileOp && !hooks.confirmFileOp(*fDevice, this, scan.get())) return;
    hooks.runCopyToUms(*fDevice, this, scan.get(), names);
}

std::unique_ptr<CShowMediaScan> CKvsPlayCmd::NewMediaScan() {
    std::unique_ptr<CShowMediaScan> scan(new CShowMediaScan(ContentsRecord()));
    scan->ScanShow(SeqSettings());
    return scan;
}

const CRecord* CKvsPlayCmd::ContentsRecord() {
    CRecordDoc* contents = fDevice->ContentsDoc();
    return contents ? contents->Root() : nullptr;
}

bool CKvsPlayCmd::FetchFileLists() {
    if (Serial() == 0) return false;
    CSimpleProgressDialog progress(this, LPaneOpt::Window(kWindowDialog, 2));
    progress.ShowSpinner();
    progress.SetMessage(StdDialogText(kTexts, 4));
    const bool ok = FetchFileList(&progress, 0) && FetchFileList(&progress, 1);
    progress.HideWindow();
    return ok;
}

bool CKvsPlayCmd::FetchFileList(CSimpleProgressDialog* progress, u32 kind) {
    CRecordDoc* contents = fDevice->ContentsDoc();
    const u32 outcome = ReadListingModal(progress, &fDevice->FileRequests(),
                                         contents ? contents->Root() : nullptr, kind);
    if (outcome == kListingFailed) {
        progress->HideWindow();
        Report(this, 5);
    }
    // The user gave up: nothing to report.
    return outcome == kListingRead;
}
