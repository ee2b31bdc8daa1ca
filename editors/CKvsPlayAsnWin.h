#pragma once
// The play-button assignment window: the grid size, the play buttons, the
// selected button's parameters, the label font; and its second window, the
// named button layouts stored from and applied to the grid.

#include "editors/CKvsBtnList.h"
#include "editors/CKvsBtnPrmF.h"
#include "framework/CNumVol.h"
#include "framework/LEditText.h"
#include "framework/LFrame.h"
#include "framework/LListNavi.h"
#include "framework/LTextPane.h"
#include "framework/LTypedCellList.h"

class CBtnLabelFontSource;
class MPlayDevice;
struct CPlayWindowArgs;
struct LFontSpec;

class CKvsBtnLysCell : public LListCell {
public:
    explicit CKvsBtnLysCell(LPane* list);
    LTextPane fNumber;
    LEditText fName;
};

class CKvsBtnLysList : public LTypedCellList {
public:
    CKvsBtnLysList(LPane* owner, CRecord* play);
    ~CKvsBtnLysList() override;

    LMessage HandleMessage(const LMessage& msg) override;
    LListCell* CreateCell() override;
    bool BindCell(LListCell* frame, LCell cell) override;
    u32 CellQuery(LCell* size) override;

private:
    u32 Count() const;
    void OnChange(CRecordNote* note);
    static void Listener(void* self, CRecordNote* note);
    CRecord* fPlay;
};

class CKvsBtnLysWin : public LFrame {
public:
    // serial: the device whose layouts these are (the window's title).
    CKvsBtnLysWin(LHandler* parent, CRecord* play, u32 serial);
    ~CKvsBtnLysWin() override;
    LMessage HandleMessage(const LMessage& msg) override;
    void UpdateButtons();

    CRecord* fPlay;
    LStdButton fApply;
    LStdButton fStore;
    LStdCheck fVisible;
    LListNavi fNavi;
    CKvsBtnLysList fList;

private:
    static void Listener(void* self, CRecordNote* note);
};

class CKvsPlayAsnWin : public LFrame {
public:
    CKvsPlayAsnWin(LHandler* parent, LPane* owner, MPlayDevice* device, CRecord* seqSettings,
                   CRecord* play);
    ~CKvsPlayAsnWin() override;

    LMessage HandleMessage(const LMessage& msg) override;
    void StateChanged(u32 op) override;
    // The parameter frame shows the first selected place's cell; hidden
    // without a selection.
    void ShowSelectedCell();
    // "btnfont" = the face, then every play-screen layout built again with it.
    void SetLabelFont(const LString& face);
    CKvsBtnLysWin* LayoutsWindow() const { return fLayouts; }

    MPlayDevice* fDevice;
    CRecord* fSeqSettings;
    CRecord* fPlay;
    CKvsBtnLysWin* fLayouts = nullptr;
    LFrame fGrid;
    LTextPane fColsLabel;
    CNumVol fCols;
    LTextPane fRowsLabel;
    CNumVol fRows;
    CKvsBtnPrmF fPrm;
    LStdButton fLayoutsBtn;
    LStdButton fFontBtn;
    LListNavi fNavi;
    CKvsBtnList fList;

private:
    void OnChange(CRecordNote* note);
    static void Listener(void* self, CRecordNote* note);
    static void OnFont(void* self, const LFontSpec* spec, u32 event);
};

// A button layout made from the grid (its screen layout built with the label
// font) stored over the selected row, keeping its name, or appended with an
// empty name (row < 0). One undo step; the stored row.
u32 StoreBtnLayout(CRecord* play, LHandler* ctx, i32 row, CBtnLabelFontSource* fonts);
// The play screen's layout and every stored layout's built again with the label font.
void RebuildUiLayouts(CRecord* play, LPane* owner);
// The factory the play edit opens the window with.
LFrame* NewPlayAsnWin(const CPlayWindowArgs& args);
