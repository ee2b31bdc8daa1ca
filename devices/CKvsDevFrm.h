#pragma once
// The pane of the device window that shows and edits the selected device's
// network and backup settings and shows its clock. Edits go straight into the
// device's settings record, whose channel sends each changed field at once.

#include "framework/LEditText.h"
#include "framework/LFrame.h"
#include "framework/LStdCtl.h"
#include "framework/LTextPane.h"
#include "framework/LTimer.h"

class CKvsDevSet;
class CRecord;
struct CRecordNote;

class CKvsDevFrm : public LFrame {
public:
    CKvsDevFrm(LPane* parent, CKvsDevSet* set);
    ~CKvsDevFrm() override;

    LMessage HandleMessage(const LMessage& msg) override;

    // Any of the records may be null; settings stay null until the device's
    // record has been read (its fields are then empty and disabled). Before
    // another device is shown, an address the user changed is stored into the
    // device it was typed for; false when it was refused (the message shown, the
    // old device kept).
    bool SetDevice(u16 serial, CRecord* settings, CRecord* state);
    // Stores what the user typed into the shown device's address fields; false
    // when an address was refused (the message shown once, the field focused
    // with its text selected).
    bool EndEdits();
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
    // False when the text was refused (the message is then consumed).
    // leaving: the field's end came with the focus going elsewhere.
    bool EndEdit(LEditText* field, bool leaving = false);
    // One message; then the field has the focus with its text selected. When
    // the focus was on its way to another pane, the field takes it back once
    // that move is over: taken back in the middle of it, the move would still
    // finish and leave the next field focused under the refused one's text.
    void Refuse(LEditText* field, bool leaving);
    void TakeFocusBack(LEditText* field);
    // The address field that holds the keyboard focus, or null.
    LEditText* FocusedField() const;
    // The index of an address field, -1 for other panes.
    i32 FieldIndex(const LHandler* pane) const;
    // force: also into a focused field (another device is shown).
    void ShowAddress(u32 index, u32 address, bool emptyForZero, bool force);
    void Refresh(bool force);

    enum : u32 { kAddrFields = 3 };
    LAsciiEdit* fFields[kAddrFields];
    // What the frame itself last put into each address field: the user changed
    // a field when its text differs.
    LString fShown[kAddrFields];
    LEditText* fRefusing = nullptr;
    LTimer fRefocus;
    LEditText* fRefocusField = nullptr;

    CKvsDevSet* fSet;
    u16 fSerial = 0;
    CRecord* fSettings = nullptr;
    CRecord* fState = nullptr;
};

// Dotted-decimal IPv4 text to a host-order address; false when it is not one
// (the empty text included).
bool ParseIPv4(const char* text, u32* address);
// The same, 0 when it is not one.
u32 ParseIPv4Text(const char* text);
LString IPv4Text(u32 address);
// A usable host address of its class (A, B or C), neither the network nor the
// broadcast address of it.
bool IsUsableDeviceAddress(u32 address);
// The device clock text: local date and time, empty when crtc does not parse.
LString DeviceClockText(const LString& crtc);
