#pragma once
// The one door from the show editors to the device screens. The editors sit
// below devices/ and may not include it, yet they work on a device's records,
// queues and channels and start a few device operations (blackout recordings,
// file confirmations and downloads, the copy to USB storage) that live with the
// device screens. devices/ fills this at start-up (InstallDeviceHooks): the
// controller implements MPlayDevice, the operations are installed into
// DeviceHooks().
//
// A hook left empty (as in the editors' own tests) keeps the command that needs
// it out of the menus (never enabled), so a user can never choose something
// that would do nothing. Each hook says what fills it.

#include <vector>

#include "base/LString.h"

class CDevRequestQueue;
class CRecord;
class CRecordDoc;
class CReqQueue;
class CShowMediaScan;
class LFrame;
class LHandler;
class LPane;
class MDevObjLink;

// What an editor may use of its device. Serial 0 stands for a play-settings
// file opened without a device: nothing may be sent then, and the editors check
// DeviceSerial() before every device operation instead of relying on the queues.
class MPlayDevice {
public:
    virtual ~MPlayDevice() = default;

    virtual u32 DeviceSerial() const = 0;

    // The device's record documents; each root is the record itself, each
    // document's listener list is where editors hear the device's changes.
    // 'YKVT'/'DVST' settings, written to the device field by field.
    virtual CRecordDoc* SettingsDoc() = 0;
    // 'YKVT'/'DVCM' commands, sent on "/.cmd/udkvtcmd": set a field through its
    // setter, then put the stored value back to its default without notice, so
    // that the same command can go out again.
    virtual CRecordDoc* CommandDoc() = 0;
    // 'YKVS'/'DCTS' contents: the card's file lists.
    virtual CRecordDoc* ContentsDoc() = 0;
    // 'YKVT'/'DVSS' state, filled by the status poll.
    virtual CRecordDoc* StateDoc() = 0;
    // 'YKVT'/'SSTA' sequence status, read through SeqStatusChannel.
    virtual CRecordDoc* SeqStatDoc() = 0;

    // The two request queues: files and services go on the first, the record
    // channels on the second. Each runs one transfer at a time, so a wait for
    // one of them never starves the other.
    virtual CReqQueue& FileRequests() = 0;
    virtual CReqQueue& ChannelRequests() = 0;
    // "/.cmd/udseqstat" into SeqStatDoc().
    virtual CDevRequestQueue& SeqStatusChannel() = 0;

    // The device's entry of the media index (kept in the application
    // preferences, most recent device first); null without one.
    virtual CRecord* MediaIndex() = 0;
    // What the file pollers and device services of the device link need.
    virtual MDevObjLink* ObjLink() = 0;

    // The device sync dialog over `prds` of the settings; true when the user
    // confirmed it (the values are then stored).
    virtual bool RunDeviceSyncDialog(LHandler* parent) = 0;
};

// The DRC scene universes frame of a scene edit frame: the universes the device
// plays, polled while the selected scene is the one playing. The pane belongs
// to the frame it was made in; the edit frame deletes this object, never the pane.
class MScnUnvFrame {
public:
    virtual ~MScnUnvFrame() = default;
    virtual LPane* Pane() = 0;
    virtual void SetActive(bool active) = 0;
    virtual void SetShown(bool shown) = 0;
    virtual void RefreshUniverseStatus() = 0;
};

// Device operations the editors start but do not own. Each takes the device
// and the handler that owns any dialog it shows.
struct CDeviceHooks {
    // "cScnCrtBo": makes a blackout recording and puts it on the device
    // (devices/recordings, CreateBlackoutRecording).
    void (*createBlackout)(MPlayDevice& device, LHandler* parent) = nullptr;
    // Before files referred to by a show are downloaded or copied: asks whether
    // to go on although some are missing on the card; true: go on. A null scan
    // knows of nothing missing (ConfirmDeviceFileOp of devices/files; empty
    // means: go on).
    bool (*confirmFileOp)(MPlayDevice& device, LHandler* parent,
                          const CShowMediaScan* scan) = nullptr;
    // Downloads the card's files that the scan found into a local folder
    // ("file:///" path) (DownloadDeviceFiles of devices/files).
    void (*downloadFiles)(MPlayDevice& device, LHandler* parent, const CShowMediaScan* scan,
                          const LString& folderUrl) = nullptr;
    // "cCopyUms": copies card files to the device's USB storage. names are the
    // card's file names in order, the setting files first (RunCopyToUms of
    // devices/files).
    void (*runCopyToUms)(MPlayDevice& device, LHandler* parent, const CShowMediaScan* scan,
                         const std::vector<LString>& names) = nullptr;
    // The scene universes frame in live mode, made inside container (a
    // CKvsScnUnvF of devices/monitors; empty: the scene edit frame shows none).
    MScnUnvFrame* (*newScnUnvFrame)(MPlayDevice& device, LPane* container) = nullptr;

    // The NSQ editor's DMX recording monitor window (CKvsDrcMonWin of
    // devices/monitors): made and shown over the parent (the caller deletes
    // it), told the record path of the scene whose universes it shows,
    // refreshed when the monitor's universes change.
    LFrame* (*makeDrcMonitor)(MPlayDevice& device, LHandler* parent) = nullptr;
    void (*setDrcMonitorScene)(LFrame* window, const LString& path) = nullptr;
    void (*refreshDrcMonitor)(LFrame* window) = nullptr;
    // The recording services on a card file (RequestDrcDetectStart and
    // RequestDrcTrim of devices/recordings): the detected start in seconds
    // (false: none or refused), and a trim from..to seconds into a new file.
    bool (*drcDetectStart)(MPlayDevice& device, LHandler* parent, const LString& file,
                           double* seconds) = nullptr;
    void (*drcTrim)(MPlayDevice& device, LHandler* parent, const LString& file, double from,
                    double to) = nullptr;
    // The device file frame of a play frame (a CKvsFileFrm of devices/files;
    // the basic and the NSQ play frame both show it). parent gets its
    // messages; empty: the play frame shows none.
    LFrame* (*newFileFrame)(MPlayDevice& device, LHandler* parent, LPane* container) = nullptr;
};

// The process-wide hooks; devices/ fills them before the first window opens,
// tests fill and empty them around each case.
CDeviceHooks& DeviceHooks();
