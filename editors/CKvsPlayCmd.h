#pragma once
// The play edit of one device: the controller that owns the device's sequence
// settings ('YKVT'/'SQST') and play settings ('YKVT'/'PLYS'), keeps them in
// step with the device through their record channels, keeps their undo
// history, answers the play menu, owns the editor windows, and decides when the
// settings go to the device card as setting files (CKvsPlayCmdFiles.cpp).
//
// It sits in the control window's handler chain, between the window and the
// device screen. The basic play edit and the NSQ editor derive from it; until
// they are built a plain one stands in (see the view registry below).
//
// Without a device (serial 0, a play-settings file opened alone) there are no
// channels at all: nothing is read or sent, every wait succeeds at once, and
// the device commands stay out of the menus.

#include <memory>
#include <vector>

#include "editors/DeviceHooks.h"
#include "editors/PlayHooks.h"
#include "editors/UnsentSettings.h"
#include "framework/CUndoQ.h"
#include "framework/LTimer.h"
#include "records/CRecordDoc.h"

class CShowMediaScan;
class CConfirmedUpload;
class CDevRequestQueue;
class CSimpleProgressDialog;
class LFrame;
class LMenuBar;
class LMenuItem;
class LPane;
class CStrm;

// Sent to the parent after a successful change of the sequence format: the
// control window is rebuilt with the view of the new format.
inline constexpr const char* CKvsPlayEdit_FmtChg = "CKvsPlayEdit_FmtChg";

// The values of `sqfm`.
enum : u32 { kSeqFormatNone = 0, kSeqFormatBasic = 1, kSeqFormatNsq = 2 };

class CKvsPlayCmd : public LHandler {
public:
    static constexpr u32 kUndoLimit = 65536;
    static constexpr u32 kLayoutDelayMs = 1000;
    static constexpr u32 kStatusPeriodMs = 1000;
    // How long the waits for the device go on without any progress.
    static constexpr u32 kIdleLimitMs = 10000;
    // The same at the session's end (a logout, a shutdown): nobody can give up
    // on a silent device then, and the end may not linger on it.
    static constexpr u32 kEndIdleLimitMs = 2000;
    static constexpr u32 kStepMs = 100;
    static constexpr u32 kFlushPauseMs = 1000;

    // owner: the pane of the control window that shows the edit; dialogs and
    // windows open over it. device may be a device of serial 0.
    CKvsPlayCmd(LHandler* parent, LPane* owner, MPlayDevice* device);
    // Deletes the windows; writes nothing to the card (see SendBeforeClose).
    ~CKvsPlayCmd() override;

    LMessage HandleMessage(const LMessage& msg) override;
    // The owned windows follow the owner pane: shown with it (never made key),
    // hidden with it.
    virtual void SyncWindowVisibility();
    // The view's own check when the control window reopens: whether it can go on
    // showing the format its sequence settings hold; a view that cannot is
    // replaced by the registry's. The plain view accepts the formats its
    // registry entry stands for.
    virtual bool AcceptsOwnFormat() const;
    // The Art-Net monitor's content changed; a view showing it refreshes.
    virtual void RefreshMonitor() {}

    // ---- opening and closing, called by the device screen
    // Reads both records whole (sequence settings first) and empties the undo
    // history, whose steps would otherwise act on records they never saw.
    void RefreshChannels();
    // RefreshChannels, then waits for both channels under the opening's
    // dialog; false after 10 s without progress.
    bool LoadFromDevice(CSimpleProgressDialog* progress);
    // Before the control window closes: writes what is pending; when that
    // fails the user chooses: Save sends again, Don't Save closes and leaves
    // the card as it is (the edits are no longer pending for it), Cancel keeps
    // the window (false).
    bool SendBeforeClose();
    // The window of a play-settings file (serial 0): edited since it was opened
    // or exported, the user chooses first: Save writes the window's own file
    // (and closes only when it was written), Don't Save closes, Cancel keeps
    // the window.
    bool CanCloseFile();
    // A view built for another format takes the records of the view it
    // replaces (a file's settings exist nowhere else).
    void TakeRecordsFrom(CKvsPlayCmd& other);

    // True when the play settings use nothing only the NSQ format carries.
    bool FitsBasicFormat() const;

    // ---- the pieces of the edit, public for the derived views and the tests
    // The format dialog until it is confirmed and written, or cancelled (false).
    bool ChangeSeqFormat();
    void RebuildUiLayout();
    void UpdateStatusFlag();
    void SyncScheduleWindow();

    // ---- the setting files (CKvsPlayCmdFiles.cpp)
    // Writes both setting files to the card, waits for the channels and flushes
    // the card. Nothing modified and not forced, or no device: true at once.
    bool SendPlayData(bool reportErrors, bool force);
    bool UploadRecordFile(CRecord* record, const char* devicePath, CSimpleProgressDialog* progress);
    // False after 10 s without progress, as soon as the device leaves a setting
    // unanswered (unless it has just answered others: its next round is
    // waited for), or when the dialog's button is pressed.
    bool WaitChannels(CSimpleProgressDialog* progress, bool deviceAnswers = false);
    void FlushDeviceFs(CSimpleProgressDialog* progress);
    // "cPlayDownload" (with media) and "cPlayExport".
    void SavePlayFile(bool withMedia) { ExportPlayFile(withMedia); }
    // The same, answering whether the file was written.
    bool ExportPlayFile(bool withMedia);
    // The Save of a file window's close: the show into the window's own file,
    // through the save panel only when it has none; whether it was written.
    bool SaveOwnFile();
    // The play file into the place given ("file:///"): replaced whole or not at
    // all; false (and item 3 reported) when it could not be written.
    bool WritePlayFile(const LString& url);
    // "cPlayImport".
    void ImportPlayFile();
    // Reads a play file into both records; false (nothing changed) when it
    // cannot be read, is not a whole play file, or holds neither record. *why
    // then names the message of "KVSPLAYEDIT" that says so.
    enum : u32 {
        kImportUnreadable = 6,
        kImportCutOff = 7,
        kImportNotPlayFile = 8,
        kImportNoSettings = 9,
    };
    bool LoadPlayData(const LString& url, u32* why = nullptr);
    // "cCopyUms".
    void CopyShowToUms();
    bool FetchFileLists();
    bool FetchFileList(CSimpleProgressDialog* progress, u32 kind);
    // The media the sequence settings refer to, looked up in the device's contents.
    std::unique_ptr<CShowMediaScan> NewMediaScan();
    const CRecord* ContentsRecord();

    // ---- access
    MPlayDevice* Device() const { return fDevice; }
    u32 Serial() const;
    LPane* Owner() const { return fOwner; }
    CRecordDoc& SeqDoc() { return fSeqDoc; }
    CRecordDoc& PlayDoc() { return fPlayDoc; }
    CRecord* SeqSettings() const { return fSeqDoc.Root(); }
    CRecord* PlaySettings() const { return fPlayDoc.Root(); }
    CUndoQ& UndoQueue() { return fUndo; }
    LFrame* Window(PlayWindow which) const { return fWindows[u32(which)]; }
    LTimer& LayoutTimer() { return fLayoutTimer; }
    LTimer& StatusTimer() { return fStatusTimer; }
    CDevRequestQueue* SeqChannel() const { return fSeqChan.get(); }
    CDevRequestQueue* PlayChannel() const { return fPlayChan.get(); }
    // Edited since opened, imported or exported (a file's window asks then).
    bool EditedSinceMark() const;
    void SetCleanMark();

protected:
    // The menu: enables and checks on "LMenuBar_Ready", runs on "LMenuItem_Selected".
    void EnableCommands(LMenuBar* bar);
    bool RunCommand(LMenuItem* item);
    void OpenWindow(PlayWindow which);
    void DeleteWindow(PlayWindow which);
    void RunSceneTrigger();
    void RunMasterFader();
    void RequestSeqStatus();

    static void OnRecordChange(void* self, CRecordNote* note);
    static void OnSeqStatRead(void* self, bool success);
    static void RequestDone(void* self, CStrm* data, const u32* status);
    static void UploadDone(void* self, CConfirmedUpload* upload);
    // The modal wait for one request on the file queue (or for the steps of an
    // upload); the dialog's button cancels the request whenever it is pressed.
    bool WaitRequest(CSimpleProgressDialog* progress, CConfirmedUpload* upload = nullptr);
    // The play file's save panel, starting at remembered (or "untitled" in the
    // documents folder); false when cancelled.
    bool RunPlaySavePanel(const LString& remembered, LString* chosen);

    MPlayDevice* fDevice;
    CUndoQ fUndo;
    CRecordDoc fSeqDoc;
    CRecordDoc fPlayDoc;
    std::unique_ptr<CDevRequestQueue> fSeqChan;
    std::unique_ptr<CDevRequestQueue> fPlayChan;
    CRefusedSettings fRefused;
    LPane* fOwner;
    LFrame* fWindows[u32(PlayWindow::kCount)] = {};
    LTimer fLayoutTimer;
    LTimer fStatusTimer;
    // The status reads of the last tick still under way.
    u32 fStatusReads = 0;
    // The file request waited for: its result once done.
    u8 fRequestDone = 0;
    u8 fRequestOk = 0;
    u32 fCleanMark = 0;
    // Edited before this view took the records over.
    bool fDirty = false;
    // The play file the show was last read from or saved to: the save question
    // names it.
    LString fFilePath;
    // The format this view was made for (registry entry).
    u32 fMadeFor = kSeqFormatBasic;

    friend CKvsPlayCmd* NewPlayView(u32, LHandler*, LPane*, MPlayDevice*);
};

// ---- the per-format view registry: the basic play edit and the NSQ editor
// register their views here (devices/DeviceHookInstall.cpp); a format without
// an entry gets a plain CKvsPlayCmd.
using PlayViewFactory = CKvsPlayCmd* (*)(LHandler* parent, LPane* owner, MPlayDevice* device);
struct CPlayViewRegistry {
    PlayViewFactory basic = nullptr;  // every format but NSQ
    PlayViewFactory nsq = nullptr;    // format 2
};
CPlayViewRegistry& PlayViews();
// The view for a format: the registry's entry, else a plain one.
CKvsPlayCmd* NewPlayView(u32 sqfm, LHandler* parent, LPane* owner, MPlayDevice* device);

// The open panel of play files ("KVSPLAYFFLT"), starting at the remembered
// path; the chosen path is remembered. False when cancelled.
bool RunPlayImportPanel(LHandler* parent, LString* outPath);
// The save panel's start: the remembered path, else "untitled" plus "." and
// the extension (no dot without one) in the documents folder.
LString DefaultPlayFilePath(const LString& remembered, const LString& extension);
// The basic sequences as NSQ sequences (the NSQ set emptied first): a "DMX"
// track from the scenes, an "Audio" track from the audio scenes, scenes before
// time 0 left out.
void ConvertSeqsToNsq(CRecord* seqSettings);
