#pragma once
// The periods of a schedule event: one row per period, each with a row of
// seven range selectors (year down to second) over a start and an end group
// of date-time fields. A period's range part `rang` says which parts it uses;
// the fields of the other parts are hidden but still carry values.

#include "framework/CHeaderFrame.h"
#include "framework/CNumVol.h"
#include "framework/LSeparator.h"
#include "framework/LStdCtl.h"
#include "framework/LTextPane.h"
#include "framework/LTimer.h"
#include "framework/LTypedCellList.h"

class CRecord;
class CRecordDoc;
struct CRecordNote;

class CSchPrdDtFrm : public LFrame {
public:
    explicit CSchPrdDtFrm(LPane* parent);

    // The number field of a part (second .. year); null for the weekday.
    CNumVol* Field(u32 part);

    LTextPane fLabel;
    CNumVol fYear;
    LTextPane fSlash1;
    CNumVol fMonth;
    LTextPane fSlash2;
    CNumVol fDay;
    LPopupList fWeekday;
    CNumVol fHour;
    LTextPane fColon1;
    CNumVol fMinute;
    LTextPane fColon2;
    CNumVol fSecond;
};

class CSchPrdCell : public LListCell {
public:
    explicit CSchPrdCell(LPane* list);
    void PostLayoutVM(LDrawCtx* ctx, LLayoutVM& vm) override;
    // The range part the selector shows (6 - selected item).
    u8 Range() const;

    CHeaderFrameV fRange;
    CSchPrdDtFrm fStart;
    CSchPrdDtFrm fEnd;
    LSeparator fLine;
};

class CSchPrdList : public LTypedCellList {
public:
    explicit CSchPrdList(LPane* owner);
    ~CSchPrdList() override;

    void SetEvent(CRecord* event);
    CRecord* Event() const { return fEvent; }
    void AddPeriod();

    LMessage HandleMessage(const LMessage& msg) override;
    LListCell* CreateCell() override;
    bool BindCell(LListCell* frame, LCell cell) override;
    u32 CellQuery(LCell* size) override;

    // Shows the parts a range uses and loads every field from the array.
    static void ShowGroup(CSchPrdDtFrm& group, const CRecord* period, u8 field, u8 range);
    // Writes parts 0, 1, 2, 4, 5, 6 from the fields, the day held to its month.
    void StoreGroup(CRecord* period, u8 field, CSchPrdDtFrm& group, u8 range);

    LTimer& RefreshTimer() { return fTimer; }

private:
    u32 Count() const;
    // Binds the row again and draws it whole.
    void Redraw(LCell cell);
    void OnChange(CRecordNote* note);
    static void Listener(void* self, CRecordNote* note);

    CRecord* fEvent = nullptr;
    CRecordDoc* fDoc = nullptr;  // where the listener is: a detached event has no owner
    LTimer fTimer{this};
};
