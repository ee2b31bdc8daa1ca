#pragma once
// The DMX monitor window: the 512 levels of one universe as an overview grid of
// eight level graphs, the packet rate, and an openable strip with one cell per
// channel (meter, number, value, percentage).

#include "base/DmxFrame.h"
#include "framework/CLevelMeter.h"
#include "framework/LCellListPane.h"
#include "framework/LCursor.h"
#include "framework/LTextPane.h"
#include "framework/LTimer.h"

class CHeaderFrameH;
class COpener;
struct CRecordNote;
class LListNavi;
class LSeparator;
class CMonWin;

// The packet rate of the frames shown: packets and the smallest and largest
// channel count since the last report.
class CTurnStat {
public:
    void AddPacket(u32 n);
    // Item 1 of "TURNSTAT" with %0 minimum, %1 maximum, %2 packets per second,
    // item 0 when nothing came; keep leaves minimum and maximum for the next.
    LString Report(bool keep, u32 now);
    void Reset();

    u32 fPackets = 0;
    u32 fMin = 0xFFFFFFFFu;
    u32 fMax = 0;
    u32 fLastTick = 0;
};

// The levels of 64 channels, each a 2-pixel column: a bar of 1 pixel and a mark
// at the height a level of 128 reaches.
class CKvsLevelGraph : public LPane {
public:
    explicit CKvsLevelGraph(LPane* parent);
    i32 GetPrefWidth(LDrawCtx* ctx, i32 hint) override;
    i32 GetPrefHeight(LDrawCtx* ctx, i32 hint) override;
    void Draw(LDrawCtx& ctx) override;

    void Bind(const u8* levels, u32 first, u32 count);
    // Channel k's bar in a graph of these bounds.
    static LRect BarRect(const LRect& bounds, u32 k, u8 level);
    static LPoint MarkAt(const LRect& bounds, u32 k);

    u32 First() const { return fFirst; }

private:
    const u8* fLevels = nullptr;
    u32 fFirst = 0;
    u32 fCount = 64;
};

class CMonGrpCell : public LListCell {
public:
    explicit CMonGrpCell(LPane* list);
    void PreLayoutVM(LDrawCtx* ctx, LLayoutVM& vm) override;

    LTextPane fTitle;
    CKvsLevelGraph fGraph;
};

class CMonGrid : public LCellListPane {
public:
    enum : u32 { kGroups = 8, kGroupChannels = 64 };
    CMonGrid(LPane* owner, CMonWin* win);

    LMessage HandleMessage(const LMessage& msg) override;
    LListCell* CreateCell() override;
    bool BindCell(LListCell* frame, LCell cell) override;

    // The preferred size is one group's: the layout multiplies it by the arrangement.
    void SetArrangement(i32 cols, i32 rows);
    void Update(const CDmxFrameBuf& frame);
    // The channel (0-based) under a point of the grid's container, or -1.
    i32 ChannelAt(LPoint pt);
    const u8* Levels() const { return fCache; }
    // Where the graph lies in a cell (cell coordinates).
    LRect GraphInCell();

private:
    CMonWin* fWin;
    u8 fCache[512] = {};
};

class CMonDtlCell : public LListCell {
public:
    explicit CMonDtlCell(LPane* list);
    CLevelMeter fMeter;
    LTextPane fNumber;
    LTextPane fValue;
    LTextPane fPercent;
    LSeparator* fLine;
};

class CMonChList : public LCellListPane {
public:
    explicit CMonChList(LPane* owner);
    LListCell* CreateCell() override;
    bool BindCell(LListCell* frame, LCell cell) override;
    void SetupCell(LListCell* frame) override;

    void Update(const CDmxFrameBuf& frame);
    void ScrollToChannel(u32 n);
    // The first column that shows channel n in the middle of v full columns.
    static i32 ScrollStart(i32 n, i32 v);
    const u8* Levels() const { return fCache; }

private:
    u8 fCache[512] = {};
};

class CMonDtlFrm : public LFrame {
public:
    explicit CMonDtlFrm(LPane* parent);
    void PostLayoutVM(LDrawCtx* ctx, LLayoutVM& vm) override;

    CHeaderFrameH* fHeader;
    LSeparator* fLine;
    LListNavi* fNavi;
    CMonChList* fList;
};

class CMonWin : public LFrame {
public:
    explicit CMonWin(LHandler* parent);
    ~CMonWin() override;

    LMessage HandleMessage(const LMessage& msg) override;
    void PreLayoutVM(LDrawCtx* ctx, LLayoutVM& vm) override;

    void ShowFrame(const CDmxFrameBuf& frame);
    void ResetStats();
    void SelectChannel(u32 c);
    // Columns of the grid for a ratio of free to needed aspect.
    static i32 ColumnsFor(double r);
    // The grid arrangement for a proposed window size; answers the layout's size.
    LRect ArrangeFor(i32 w, i32 h);

    u32 SelectedChannel() const { return fSelected; }
    CTurnStat& Stats() { return fStat; }
    CMonGrid* Grid() const { return fGrid; }
    CMonDtlFrm* Detail() const { return fDetail; }
    COpener* Opener() const { return fOpener; }
    LTextPane& RateLine() { return *fRate; }
    LTimer& RateTimer() { return fRateTimer; }
    const CDmxFrameBuf& Shown() const { return fShown; }
    bool ChangedFlag() const { return fChanged != 0; }

private:
    static void OnPrefs(void* self, CRecordNote* note);
    void Resize();
    static bool ValueOption();
    static bool PercentOption();
    friend class CMonChList;
    friend class CMonDtlFrm;

    CTurnStat fStat;
    LTimer fRateTimer;
    u32 fSelected = 0;
    CDmxFrameBuf fCurrent;
    CDmxFrameBuf fShown;
    u8 fChanged = 0;
    u8 fKeepArrangement = 0;
    CMonGrid* fGrid;
    LFrame* fStatus;
    COpener* fOpener;
    LTextPane* fLabel;
    LTextPane* fRate;
    CMonDtlFrm* fDetail;
};
