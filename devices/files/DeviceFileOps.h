#pragma once
// Operations on the files of a device's memory card through its request queue:
// delete, rename, download of chosen files or of a show's files, and the
// question that lists a show's files first. Each runs modally under a progress
// dialog that lets the user cancel; what went wrong is told once, at the end.

#include <string>
#include <vector>

#include "base/LString.h"
#include "base/Paths.h"
#include "base/LTextSink.h"
#include "base/Types.h"
#include "devlink/CardAhead.h"
#include "devlink/FileJobQueue.h"

class CKvsFileList;
class CRecord;
class CReqQueue;
class CSimpleProgressDialog;
class LHandler;

inline constexpr const char* kFileOpTexts = "KVSFILEOP";

// What one operation met.
struct FileOpOutcome {
    u32 missing = 0;      // requests answered with an ERROR packet
    u32 hardMissing = 0;  // of them, those whose ERROR code was 0
    u8 commFailure = 0;
    u8 otherFailure = 0;
    std::vector<LString> unsaved;  // names whose local copy failed
};

enum : i32 { kFileReqContinue = 0, kFileReqCancelled = 1, kFileReqFailed = 2 };

// "/sdc/kevrecfiles" for kind 0, "/sdc/audiofiles" for 1, null for any other.
const char* DeviceFolderOfKind(u32 kind);

// The request queue's three words (session result, peer result, ERROR code)
// counted into the outcome: kFileReqContinue or kFileReqFailed.
i32 EvaluateFileStatus(const u32* status, FileOpOutcome* outcome);
// Writes path (no data) and waits in 500 ms modal steps.
i32 RunFileRequest(CSimpleProgressDialog* dialog, CReqQueue* queue, const char* path,
                   FileOpOutcome* outcome);
// The message item the outcome calls for, 0 for none.
u32 FileOutcomeItem(const FileOpOutcome& outcome);
void ReportFileOutcome(LHandler* owner, const FileOpOutcome& outcome);
// The first 10 names separated by ", ", then ", ..." when there are more.
void AppendNameList(LTextSink& text, const std::vector<LString>& names);
// Lists the files of a show and asks whether to go on; true at once for none.
bool ConfirmDeviceFileOp(LHandler* owner, const std::vector<LString>& files);

// Told once the user has confirmed a delete, before its first request: what
// the device must let go of first goes only when something is deleted.
using FileOpConfirmedFn = void (*)(void* context);
// Deletes the selected files of the list (in reverse selection order); false
// when nothing was asked of the device (declined, or no name to delete).
bool DeleteDeviceFiles(LHandler* owner, CReqQueue* queue, CKvsFileList* list, u32 kind,
                       FileOpConfirmedFn confirmed = nullptr, void* context = nullptr);
bool DeleteDeviceFileNames(LHandler* owner, CReqQueue* queue, const std::vector<LString>& names,
                           u32 kind, FileOpConfirmedFn confirmed = nullptr,
                           void* context = nullptr);

// The device name that an edited base name gives: composed, with the old
// name's extension in lower case.
LString RenamedFileName(const char* edited, const char* oldName);
// Asks for a new base name and moves the file; the name it has now, or empty
// when nothing was renamed. A name that the folder holds already (CheckCardNames)
// is taken only when the user agrees, and then the file of that name is replaced.
LString RenameDeviceFile(LHandler* owner, CReqQueue* queue, CRecord* contents,
                         const LString& oldName, u32 kind);

// How far a download is, in percent of size (0 for an empty file).
u32 DownloadPercent(u64 received, u64 size);
// Downloads the selected files of the list into a local folder (file URL).
void DownloadSelectedFiles(LHandler* owner, CReqQueue* queue, CKvsFileList* list, u32 kind,
                           const LString& folderUrl);
struct NamedSize {
    LString name;
    u64 size = 0;
};
void DownloadDeviceFileNames(LHandler* owner, CReqQueue* queue, const std::vector<NamedSize>& files,
                             u32 kind, const LString& folderUrl);
// Downloads paths relative to "/sdc/" ("kevrecfiles/a.drc") below a local
// folder, making the folders they need.
void DownloadDeviceFiles(LHandler* owner, CReqQueue* queue, CRecord* contents,
                         const std::vector<LString>& paths, const LString& folderUrl);

// The one check before a file is renamed, uploaded or made in a folder of the
// card, against the card as it will be: the folder's listing and the device's
// recording state, both read now (the file lists poll only the folder shown,
// every 5 s, and the status only while a view shows it), and every name the
// device's file job queue will still write there. For each name, the card's
// agreement gets the listed or queued file it is the same as (empty for none;
// the file moved is no other file); of two that read the same, the one of the
// exact name, as it stands now, for the upload that replaces it to tell it from
// one that comes later. What is written onto a taken name goes to that file's
// exact name, so that it replaces it. Unless it joins the job queue behind the
// uploads there, a queued name is refused, said: the upload would replace what
// is written now without a word. The name of the take the device is recording
// is refused either way: the take goes onto it last. False, nothing to be sent,
// when a name is refused, or the user gave up the reading or it failed (said).
bool CheckCardNames(LHandler* owner, CCardAhead& card, const std::vector<LString>& names);
