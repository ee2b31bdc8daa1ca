#pragma once
// The firmware the application carries for its devices ('TRAW' "kvexec", an
// LZSS-packed package) and the update that writes it to one device: the
// device's running version beside the carried one, then the image, a file
// system flush and a restart, all modal on the main thread.

#include "base/CStrm.h"
#include "base/LHandle.h"
#include "base/LString.h"
#include "framework/CPicturePane.h"
#include "framework/LDialog.h"
#include "framework/LTextPane.h"

class LResSource;
class MDevSetLink;

// Image kind of a device main executable: the only kind offered to a device.
inline constexpr u16 kFwKindMainExec = 9;
inline constexpr const char* kFwDevicePath = "/sys/KVMainExecutable.bin";

// The first 16 bytes of an image: u16 kind, u16 version (both little-endian), 12 more.
struct CFwVersion {
    bool valid = false;
    u16 kind = 0;
    u16 version = 0;
};
// Reads 16 bytes from the stream's position; not valid when fewer arrive.
void ParseFwVersion(CFwVersion* out, CStrm* strm);
CFwVersion FwVersionOf(const u8* data, u32 size);

// Expands a package into image (emptied first); false when it carries none.
// The last 8 bytes of the package are not part of the packed stream.
bool ExpandFirmwarePackage(const u8* data, u32 size, LDataBuf* image);
// The package "kvexec" of the resources (source null: the default chain).
bool LoadFirmwareImage(LDataBuf* image, LResSource* source = nullptr);
// Only a whole header of a device main executable is ever written to a device:
// whatever else a package expands to would leave the device unable to start.
bool FirmwareImageUsable(const u8* data, u32 size);

// The version dialog: button 1 updates, button 2 declines.
class CFwUpdVerDlg : public LDialog {
public:
    explicit CFwUpdVerDlg(LHandler* parent);
    void SetVersions(const LString& device, const LString& image);

    LStdButton fUpdate;
    LStdButton fCancel;
    CPicturePane fIcon;
    LTextPane fDeviceLabel;
    LTextPane fDeviceVersion;
    LTextPane fImageLabel;
    LTextPane fImageVersion;
};

// What the update shows and how it waits; tests hand in a double.
class MFwUpdateUi {
public:
    virtual ~MFwUpdateUi() = default;
    // A progress dialog with the message; maximum 0 hides its bar.
    virtual void OpenProgress(const LString& message, u32 maximum) = 0;
    virtual void SetProgress(u32 value) = 0;
    virtual void DisableButton() = 0;
    // One modal turn of at most limitMs; not 0 when the user pressed the button.
    virtual u32 ModalStep(u32 limitMs) = 0;
    virtual void CloseProgress() = 0;
    // The version dialog's result (1: update).
    virtual u32 AskVersions(const LString& device, const LString& image) = 0;
    virtual void ShowMessage(const LString& text) = 0;
    // Blocks the main thread: nothing of the interface runs meanwhile.
    virtual void Block(u32 ms) = 0;
};

// The framework's progress, version and message dialogs, owned by parent.
class CFwUpdateDialogs : public MFwUpdateUi {
public:
    explicit CFwUpdateDialogs(LHandler* parent) : fParent(parent) {}
    ~CFwUpdateDialogs() override;
    void OpenProgress(const LString& message, u32 maximum) override;
    void SetProgress(u32 value) override;
    void DisableButton() override;
    u32 ModalStep(u32 limitMs) override;
    void CloseProgress() override;
    u32 AskVersions(const LString& device, const LString& image) override;
    void ShowMessage(const LString& text) override;
    void Block(u32 ms) override;

private:
    LHandler* fParent;
    class CSimpleProgressDialog* fProgress = nullptr;
};

// The "KVSDOC" item of the closing message, or 0 when the update ended before
// writing (cancelled or declined): then nothing follows. After a closing
// message the caller refreshes the device list.
u32 UpdateFirmware(MDevSetLink* set, u32 serial, const u8* image, u32 imageSize, MFwUpdateUi& ui);
