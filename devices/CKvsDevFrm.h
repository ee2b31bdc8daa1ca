#pragma once
// The pane of the device window that shows and edits the selected device's
// network and backup settings and shows its clock. Edits go straight into the
// device's settings record, whose channel sends each changed field at once.

#include "framework/LEditText.h"
#include "framework/LFrame.h"
#include "framework/LStdCtl.h"
#include "framework/LTextPane.h"

class CKvsDevSet;
class CRecord;
struct CRecordNote;

class CKvsDevFrm : public LFrame {
public:
    CKvsDevFrm(LPane* parent, CKvsDevSet* set);
    ~CKvsDevFrm() override;

    LMessage HandleMessage(const LMessage& msg) override;

    // Any of the records may be null.
    void SetDevice(u16 serial, CRecord* settings, CRecord* state);
    void Refresh();

    u16 Serial() const { return fSerial; }

    // The panes, in layout order.
    LTextPane fAddrLabel;
    LTextPane fAddr;
    LTextPane fModeLabel;
    LPopupList fMode;
    LFrame fCustom;  // "DEVCSTFRM"
    LTextPane fCsadLabel;
    LAsciiEdit fCsad;
    LTextPane fCsmkLabel;
    LAsciiEdit fCsmk;
    LStdCheck fDhcp;
    LStdCheck fUnicast;
    LStdCheck fBackup;
    LTextPane fBackupWarn;
    LFrame fBackupFrm;  // "DEVBUPFRM"
    LTextPane fBumaLabel;
    LAsciiEdit fBuma;
    LFrame fClockFrm;  // "DEVCLKFRM"
    LTextPane fClockLabel;
    LTextPane fClock;
    LTextPane fSync;

protected:
    // The refusal of a device address; a modal message by default.
    virtual void ShowRefusal(const LString& text);

private:
    static void OnChange(void* self, CRecordNote* note);
    void Listen(bool on);
    // False when the address was refused (the message is then consumed).
    bool EndEdit(LEditText* field);

    CKvsDevSet* fSet;
    u16 fSerial = 0;
    CRecord* fSettings = nullptr;
    CRecord* fState = nullptr;
};

// Dotted-decimal IPv4 text to a host-order address; 0 when it is not one.
u32 ParseIPv4Text(const char* text);
LString IPv4Text(u32 address);
// A usable host address of its class (A, B or C), neither the network nor the
// broadcast address of it.
bool IsUsableDeviceAddress(u32 address);
// The device clock text: local date and time, empty when crtc does not parse.
LString DeviceClockText(const LString& crtc);
