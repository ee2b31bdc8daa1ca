#pragma once
// Menu keys the user assigns: a table of (command, item title, key) rows kept
// with the application preferences, applied to every new menu bar, and the
// capture through which the user picks an item from the menus and presses its
// key in a small dialog.

#include "framework/LDialog.h"
#include "framework/LMenu.h"
#include "framework/LTextPane.h"

class CRecord;

class CMenuKeyDlg : public LDialog {
public:
    explicit CMenuKeyDlg(LHandler* parent);

    // Printable keys are always captured; the rest reach the buttons.
    LMessage HandleMessage(const LMessage& msg) override;

    const LString& KeyText() const { return fKey; }

    LString fKey;
    LStdButton fOk;
    LStdButton fCancel;
    LTextPane fPrompt;
    LTextPane fDisplay;
};

class CMenuKeyReg {
public:
    explicit CMenuKeyReg(LHandler* owner);
    ~CMenuKeyReg();
    CMenuKeyReg(const CMenuKeyReg&) = delete;
    CMenuKeyReg& operator=(const CMenuKeyReg&) = delete;

    // The next item chosen from the menus goes to the owner, then to AssignKey.
    void Arm();
    // Answers whether the message was consumed.
    bool HandleMessage(const LMessage& msg);
    // A copy of the table into that child field; a failed copy keeps the stored one.
    void SaveTo(CRecord* record, u8 field);
    // Takes a copy of a stored 'YUND'/'PRMT' table; anything else leaves the table.
    void LoadFrom(const CRecord* record, u8 field);
    void AssignKey(LMenuItem* item);
    void Compact();
    void ApplyKeys(LMenuBar* bar);

    CRecord* Table() const { return fTable; }
    bool IsArmed() const { return fArmed; }
    bool IsCapturing() const { return fCapturing; }

    // The table's text value of a row, empty when absent.
    LString Cell(u32 row, const char* key) const;
    u32 Rows() const;

private:
    void ShowMessage(u32 item);
    void AddRow(const LString& cmd, const LString& text, const LString& key);
    void ApplyToCurrent();

    LHandler* fOwner;
    CRecord* fTable;
    u8 fArmed = 0;
    u8 fCapturing = 0;
};
