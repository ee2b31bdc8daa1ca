#pragma once
// The device commands of the device window's menu, carried out for the device
// document: initial address, clock, network settings, clock rate, shutdown
// delay, display language, touch calibration, display rotation and firmware
// update. Most act on the selected device, through its records' channels or
// with a command pseudo-file sent directly.

#include <vector>

#include "base/LHandle.h"
#include "base/LString.h"
#include "devlink/UdpSocket.h"

class CKvsDevDoc;
class CKvsDevCtl;
class CRecord;
class CTftpSession;
class LMenuBar;
class LMenuItem;
class MFwUpdateUi;

// The question asked before the display rotates ("KVSDOC" item 8); true: go on.
class MDevCmdAsk {
public:
    virtual ~MDevCmdAsk() = default;
    virtual bool Confirm(const LString& text) = 0;
};

class CKvsDevCommands {
public:
    explicit CKvsDevCommands(CKvsDevDoc* doc);
    ~CKvsDevCommands();
    CKvsDevCommands(const CKvsDevCommands&) = delete;
    CKvsDevCommands& operator=(const CKvsDevCommands&) = delete;

    // "LMenuBar_Ready".
    void Enable(LMenuBar* bar);
    // "LMenuItem_Selected": true when the item carried a device command.
    bool Run(LMenuItem* item);
    bool Run(const char* command);

    // The carried firmware, expanded at start; empty when none is carried or it
    // is no device main executable.
    const LDataBuf& Firmware() const { return fImage; }
    void SetFirmware(const u8* data, u32 size);
    // Tests and the screens hand in their own ways to ask and to show.
    void SetAsk(MDevCmdAsk* ask) { fAsk = ask; }
    void SetFirmwareUi(MFwUpdateUi* ui) { fFwUi = ui; }
    // Where the initial-address command goes: the broadcast address.
    LNetAddr fBroadcast;
    // Direct commands still waiting for their end.
    u32 PendingCount() const { return u32(fPending.size()); }

private:
    struct Pending;
    enum : u32 { kAfterNothing, kAfterRefreshAll, kAfterCalibrate };

    CRecord* SelectedDevice();
    void Send(const LNetAddr& to, const char* path, u32 serial, bool withSerial, u32 after);
    static void OnTransfer(void* self, u32 event, void* object);
    void Ended(Pending* p);
    void Calibrate(u16 serial);

    void OpenPlayFile();
    void InitialAddress();
    void SetClock(CKvsDevCtl* ctl);
    void Network(CKvsDevCtl* ctl);
    void ClockRate(CKvsDevCtl* ctl);
    void ShutdownDelay();
    void RotateDisplay();
    void FirmwareUpdate();

    CKvsDevDoc* fDoc;
    LDataBuf fImage;
    MDevCmdAsk* fAsk = nullptr;
    MFwUpdateUi* fFwUi = nullptr;
    std::vector<Pending*> fPending;
};

// Text for the command record's clock field: the local date and time given,
// or (automatic) the current UTC time at the start of the next whole second.
LString ClockTextFromLocal(i32 year, i32 month, i32 day, i32 hour, i32 minute, i32 second);
LString ClockTextNextSecond();
// The system time zone's offset from UTC now, in whole minutes toward zero.
i32 LocalZoneMinutes();

// What the network dialog confirmed, stored into the device's settings in the
// dialog's order: address, mask, router, DNS server (0 for none), time server,
// its interval. A time server makes the device set its clock from it: the clock
// command follows once every one of these fields has reached the device.
struct CNetwSettings {
    u32 address = 0, mask = 0, router = 0, dns = 0;
    LString server;
    u8 interval = 0;
};
void StoreNetworkSettings(CKvsDevCtl* ctl, const CNetwSettings& values);
