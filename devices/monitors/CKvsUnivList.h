#pragma once
// The universes of a universe status record ('YDRC'/'STAT'): one row per
// universe with its number, its sender and a miniature level graph. The pane
// that owns a monitor window opens it for the universe double-clicked.

#include "framework/LCellListPane.h"
#include "framework/LStdCtl.h"
#include "framework/LTextPane.h"
#include "records/CRecordDoc.h"

class CMonWin;

class CKvsUnivCell : public LListCell {
public:
    explicit CKvsUnivCell(LPane* list);
    void PreLayoutVM(LDrawCtx* ctx, LLayoutVM& vm) override;
    LTextPane fUniverse;
    CCallbackCtl fGraph;
    LTextPane fSender;
    // The row bound, for the graph: looked up when drawn, since a live cell may
    // outlast the universe it showed.
    class CKvsUnivList* fList = nullptr;
    i32 fRow = -1;
};

class CKvsUnivList : public LCellListPane {
public:
    CKvsUnivList(LPane* navi, CRecord* status);
    ~CKvsUnivList() override;

    LListCell* CreateCell() override;
    bool BindCell(LListCell* frame, LCell cell) override;

    // 0 Art-Net port addresses, otherwise sACN universes.
    virtual void SetNumberFormat(u8 format);
    LString FormatUniverse(u32 number) const;
    CRecord* Status() const { return fStatus; }
    u8 NumberFormat() const { return fFormat; }

    // The bars of the miniature graph of a universe's levels (start code first)
    // in an area; answers how many were written (at most the area's inner width).
    static u32 GraphBars(const LRect& area, const u8* stat, u32 count, LRect* bars);
    // "+" or "*" before a shared universe's first sender, then its dotted address.
    static LString SenderText(const CRecord* universe);

protected:
    static void OnChange(void* self, CRecordNote* note);
    static void DrawGraph(void* cell, CCallbackCtl* pane, LDrawCtx& ctx);
    void Listen(CRecord* status);
    void Unlisten();
    // Rows for every universe of the record, all refreshed.
    void Resync();

    CRecord* fStatus;
    CRecordDoc* fDoc = nullptr;
    u8 fFormat = 0;
};

// The universe pane that owns a DMX monitor window.
class CKvsUnvList : public CKvsUnivList {
public:
    CKvsUnvList(LPane* navi, CRecord* status);
    ~CKvsUnvList() override;

    LMessage HandleMessage(const LMessage& msg) override;
    void StateChanged(u32 op) override;
    void SetNumberFormat(u8 format) override;

    void SetSource(CRecord* status);
    void OpenMonitor();
    CMonWin* Monitor() const { return fMon; }
    bool MonitorOpen() const { return fMonOpen != 0; }
    u32 SelectedUniverse() const { return fSelected; }

private:
    static void OnSourceChange(void* self, CRecordNote* note);
    void Feed();
    void SetMonitorTitle();

    u32 fClickStamp;
    i32 fLastRow = -1;
    u32 fSelected = 0;
    u8 fMonOpen = 0;
    u8 fFedPresent = 0;  // the selected universe was in the list at the last feed
    CMonWin* fMon = nullptr;
    CRecordDoc* fMonDoc = nullptr;
};
