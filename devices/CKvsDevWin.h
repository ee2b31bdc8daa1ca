#pragma once
// The device window: the list of the devices found by the status poll (one row
// per device, by serial), the refresh bar and the device frame of the selected
// device. Its menu bar "APPW" carries the device commands of the document.

#include "devices/CKvsDevDoc.h"
#include "devices/CKvsDevFrm.h"
#include "framework/CHeaderFrame.h"
#include "framework/LListNavi.h"
#include "framework/LSeparator.h"
#include "framework/LTypedCellList.h"

class CKvsDevCell : public LListCell {
public:
    explicit CKvsDevCell(LPane* list);
    LTextPane fLabel;
    LSeparator fLine;
};

class CKvsDevList : public LTypedCellList {
public:
    CKvsDevList(LPane* owner, CKvsDevSet* set);
    ~CKvsDevList() override;

    LMessage HandleMessage(const LMessage& msg) override;
    // Rows as wide as the list, whatever the bounds did; their height stays.
    void CellSizeChanged() override;
    bool CellSizeFollows(const LRect& old) const override;
    LListCell* CreateCell() override;
    bool BindCell(LListCell* frame, LCell cell) override;
    // The device frame whose typed addresses a click on another row ends first.
    void SetDeviceFrame(CKvsDevFrm* frame) { fFrame = frame; }

private:
    static void OnChange(void* self, CRecordNote* note);

    CKvsDevSet* fSet;
    CKvsDevFrm* fFrame = nullptr;
    u32 fCreated;
    i32 fLastRow = -1;
    i32 fRemoving = -1;
    u32 fClickStamp = 0;
};

class CKvsDevWin : public LFrame, public MKvsDevView {
public:
    CKvsDevWin(LHandler* doc, CKvsDevSet* set);
    ~CKvsDevWin() override;

    void PostLayout(LDrawCtx* ctx, LLayoutEval& eval) override;

    // MKvsDevView
    void SetRefreshProgress(u32 value) override;
    i32 SelectedRow() override;
    void SelectRow(i32 row) override;
    void ShowDevice(u16 serial, CRecord* settings, CRecord* state) override;
    LRect WindowBounds() override { return GetWindowBounds(); }
    void PlaceWindow(const LRect& bounds) override { SetWindowBounds(bounds); }
    LHandler* WindowHandler() override { return this; }
    LHandler* ListHandler() override { return fList; }
    void SetStatusText(const LString& text) override;

    CKvsDevSet* fSet;
    LTextPane fTitle;
    CProgressBar fBar;
    CHeaderFrameH* fHeader;
    LSeparator fLine;
    LListNavi* fNavi;
    CKvsDevList* fList;
    CKvsDevFrm* fFrame;
    i32 fProgress = 0;
    LTextPane* fStatus;  // the search's one line under the list
};

// The device window of the document, shown.
MKvsDevView* NewKvsDevWindow(CKvsDevDoc* doc);
