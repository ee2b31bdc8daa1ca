#pragma once
// The universe address window of a device: the header, the "+" button and the
// list of address rows, with an undo history of its own (the device settings
// are not part of any play edit).

#include "framework/CUndoQ.h"
#include "framework/LFrame.h"
#include "framework/LScrollFrame.h"
#include "framework/LStdCtl.h"

class CHeaderFrameV;
class CKvsUvadList;
class CRecord;
class LListNavi;

class CUvadWin : public LFrame {
public:
    static constexpr u32 kUndoLimit = 1u << 20;

    // prefNode keeps the placement under "wp"; settings is 'YKVT'/'DVST' of the
    // device with that serial, which the title names.
    static CUvadWin* New(LHandler* parent, CRecord* prefNode, CRecord* settings, u32 serial);
    ~CUvadWin() override;

    LMessage HandleMessage(const LMessage& msg) override;
    // Shows the window; the first time also places it (the stored placement,
    // else its preferred size).
    void Open();

    CKvsUvadList* List() const { return fList; }
    CHeaderFrameV* Header() const { return fHeader; }
    CPlusButton& PlusButton() { return fPlus; }
    CUndoQ& UndoQueue() { return fUndo; }
    LScrollFrame& Scroll() { return fScroll; }

private:
    CUvadWin(LHandler* parent, CRecord* prefNode, CRecord* settings, u32 serial);

    CUndoQ fUndo;
    CRecord* fPrefNode;
    // The rows are wider than a small screen at large fonts: the window
    // scrolls its content there, every field of a row within its cell.
    LScrollFrame fScroll;
    LFrame fContent;
    CHeaderFrameV* fHeader;
    CPlusButton fPlus;
    LListNavi* fNavi = nullptr;
    u8 fPlaced = 0;
    CKvsUvadList* fList = nullptr;
};
