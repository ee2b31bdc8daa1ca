#pragma once
// The aux-play window: the aux plays of a device's sequence settings by name on
// the left, the triggers of the selected one on the right.

#include "editors/CAxPlyTrgList.h"
#include "framework/LEditText.h"
#include "framework/LScrollFrame.h"
#include "framework/LTypedCellList.h"

class CHeaderFrameV;
class CPlusButton;
class LListNavi;
struct CPlayWindowArgs;

class CKvsAxPlyCell : public LListCell {
public:
    explicit CKvsAxPlyCell(LPane* list);
    LEditText fName;
};

class CKvsAxPlyList : public LTypedCellList {
public:
    CKvsAxPlyList(LPane* owner, CRecord* seqSettings);
    ~CKvsAxPlyList() override;

    LMessage HandleMessage(const LMessage& msg) override;
    LListCell* CreateCell() override;
    bool BindCell(LListCell* frame, LCell cell) override;
    u32 CellQuery(LCell* size) override;

    // 'YKVT'/'APLS' of the settings.
    CRecord* AuxPlays() const;
    u32 Count() const;
    i32 SelectedRow() const;
    void FocusName(i32 row);

private:
    void OnChange(CRecordNote* note);
    static void Listener(void* self, CRecordNote* note);

    CRecord* fSettings;
};

class CKvsAxPlyWin : public LFrame {
public:
    CKvsAxPlyWin(LHandler* parent, LPane* owner, MPlayDevice* device, CRecord* seqSettings);
    ~CKvsAxPlyWin() override;

    LMessage HandleMessage(const LMessage& msg) override;
    void PostLayoutVM(LDrawCtx* ctx, LLayoutVM& vm) override;

    void BindSelected();
    bool EditorShown() const;
    // The window as wide as what it shows: the list alone, or the list and the
    // trigger editor.
    void FitWidth();

    static LFrame* Make(const CPlayWindowArgs& args);

    CRecord* fSettings;
    CHeaderFrameV* fHeader;
    CPlusButton* fAdd;
    LListNavi* fNavi;
    CKvsAxPlyList* fList;
    LFrame* fEditor;
    CHeaderFrameV* fTrgHeader;
    CPlusButton* fAddTrg;
    LListNavi* fTrgNavi;
    CAxPlyTrgList* fTrgList;
    // The window scrolls what it shows where the screen is narrower than
    // that (large fonts): the trigger rows keep every control in them.
    LScrollFrame fScroll;
    LFrame fContent;
};
