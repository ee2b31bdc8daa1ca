#pragma once
// The play buttons of the play settings as a grid that fills its pane: a
// press plays the button's place on the device, a sequence or recordings
// dropped on a cell choose its sequence, and cells are inserted and deleted
// by shifting the rest of their row or column.

#include "framework/LDropPane.h"
#include "framework/LSeparator.h"
#include "framework/LStdCtl.h"
#include "framework/LTypedCellList.h"

class CDropSource;
class CRecord;
class LMenuBar;
class LMenuItem;
struct CRecordNote;

// List to parent: a drop on a cell, which is now the selected cell.
inline constexpr const char* CKvsBtnList_Drop = "CKvsBtnList_Drop";

class CKvsPlayBtnCell : public LListCell {
public:
    explicit CKvsPlayBtnCell(LPane* list);

    LDropPane fDrop;
    CStateButton fButton;
    LSeparator fLines[2];
};

class CKvsBtnList : public LTypedCellList {
public:
    // play: the play settings ('PLYS'); command: the device's 'DVCM' (may be null).
    CKvsBtnList(LPane* owner, CRecord* play, CRecord* command);
    ~CKvsBtnList() override;

    LMessage HandleMessage(const LMessage& msg) override;
    // The grid's columns and rows as the settings say, cells filling the pane
    // in both directions, whatever the bounds did.
    void CellSizeChanged() override;
    bool CellSizeFollows(const LRect& old) const override;
    LListCell* CreateCell() override;
    bool BindCell(LListCell* frame, LCell cell) override;
    u32 CellQuery(LCell* size) override;
    // An empty place shows the outline of its button: a grid of one cell fills
    // the pane, and its lines would otherwise lie on the pane's own border.
    void Draw(LDrawCtx& ctx) override;

    // The data dropped on the selected cell, while "CKvsBtnList_Drop" travels.
    CDropSource* GetDropData() const;
    // The shifting commands over the selection, for the grid's window, whose
    // menu they are in whichever of its panes has the focus: enabled on a bar
    // being readied; run for a chosen item (false when it was none of them or
    // nothing is selected).
    void EnableShifts(LMenuBar* bar) const;
    bool RunShift(const LMenuItem* item);

private:
    void FitGrid();
    void OnChange(CRecordNote* note);
    static void Listener(void* self, CRecordNote* note);

    CRecord* fPlay;
    CRecord* fCommand;
    LDropPane* fDropped = nullptr;
};
