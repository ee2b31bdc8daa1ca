#pragma once
// The schedule window's content: the device's in-schedule check box and the
// schedule mode, the event list, and for the selected event its conditions,
// its execution and its periods. Also the test window, which picks a date and
// time at which the list marks the event that would be in effect.

#include "framework/CHeaderFrame.h"
#include "framework/CNumVol.h"
#include "framework/LCellListPane.h"
#include "framework/LEditText.h"
#include "framework/LListNavi.h"
#include "framework/LSeparator.h"
#include "framework/LStdCtl.h"
#include "framework/LTextPane.h"

class CKvsSchList;
class CRecordDoc;
class CRecord;
class CSchPrdList;
class MPlayDevice;
struct CRecordNote;

inline constexpr const char* CWeekList_Changed = "CWeekList_Changed";
inline constexpr const char* CSchTestWin_Change = "CSchTestWin_Change";

class CWeekCell : public LListCell {
public:
    explicit CWeekCell(LPane* list);
    CStateButton fButton;
};

// Seven day buttons, Monday first.
class CWeekList : public LCellListPane {
public:
    explicit CWeekList(LPane* owner);

    LMessage HandleMessage(const LMessage& msg) override;
    LListCell* CreateCell() override;
    bool BindCell(LListCell* frame, LCell cell) override;
    void SetupCell(LListCell* frame) override;
    u32 CellQuery(LCell* size) override;
    i32 GetPrefWidth(LDrawCtx* ctx, i32 hint) override;
    i32 GetPrefHeight(LDrawCtx* ctx, i32 hint) override;

    void SetDay(u32 day, bool on);
    bool Day(u32 day) const { return day < 7 && fDays[day]; }
    // "1,3,5," for Monday, Wednesday and Friday; "" for none.
    LString Text() const;

private:
    u8 fDays[7] = {};
};

// The seven condition texts of an event.
class CKvsSchPrmFrm : public LFrame {
    // First: the children report while they are built.
    CRecord* fEvent = nullptr;
    CRecordDoc* fDoc = nullptr;  // where the listener is: a detached event has no owner
    bool fLoading = false;

public:
    explicit CKvsSchPrmFrm(LPane* parent);
    ~CKvsSchPrmFrm() override;

    void SetEvent(CRecord* event);
    void LoadFields();
    LMessage HandleMessage(const LMessage& msg) override;

    // The edit of a condition field (fcpy .. fcps, not fcpw).
    LAsciiEdit* Edit(u8 field);

    LTextPane fL0;
    LAsciiEdit fYear;
    LTextPane fL1;
    LAsciiEdit fMonth;
    LTextPane fL2;
    LAsciiEdit fDay;
    LTextPane fL3;
    CWeekList fWeek;
    LTextPane fL4;
    LAsciiEdit fHour;
    LTextPane fL5;
    LAsciiEdit fMinute;
    LTextPane fL6;
    LAsciiEdit fSecond;

private:
    static void Listener(void* self, CRecordNote* note);
    void Listen(bool on);
};

// The event's execution record: duration, sync mode and offset.
class CKvsSchAuxFrm : public LFrame {
    // First: the children report while they are built.
    CRecord* fRecord = nullptr;
    CRecord* fEvent = nullptr;
    CRecordDoc* fDoc = nullptr;

public:
    explicit CKvsSchAuxFrm(LPane* parent);
    ~CKvsSchAuxFrm() override;

    // The execution record of the event (its `axud`, possibly none). The frame
    // follows the event's `axud` when a read replaces or removes it.
    void SetRecord(CRecord* record, CRecord* event);
    CRecord* Record() const { return fRecord; }
    void LoadFields();
    void UpdateVisibility();
    LMessage HandleMessage(const LMessage& msg) override;

    LTextPane fDurLabel;
    CTimeSlider fDuration;
    LTextPane fModeLabel;
    LPopupList fMode;
    LTextPane fOffsetLabel;
    CTimeSlider fOffset;
    LSeparator fLine;

private:
    static void Listener(void* self, CRecordNote* note);
};

class CKvsSchEditFrm : public LFrame {
    // First: the children report while they are built.
    MPlayDevice* fDevice;
    CRecord* fSettings;

public:
    CKvsSchEditFrm(LHandler* parent, LPane* container, MPlayDevice* device, CRecord* seqSettings);
    ~CKvsSchEditFrm() override;

    LMessage HandleMessage(const LMessage& msg) override;
    void PostLayoutVM(LDrawCtx* ctx, LLayoutVM& vm) override;
    void BindSelected();

    LStdCheck fCheck;
    LPopupList fMode;
    CHeaderFrameV fHeader;
    CPlusButton fAdd;
    LListNavi* fNavi = nullptr;
    CKvsSchList* fList = nullptr;
    LFrame* fInner = nullptr;
    CKvsSchPrmFrm* fPrm = nullptr;
    CKvsSchAuxFrm* fAux = nullptr;
    CPlusButton* fAddPeriod = nullptr;
    LListNavi* fPrdNavi = nullptr;
    CSchPrdList* fPeriods = nullptr;

private:
    static void Listener(void* self, CRecordNote* note);
    void ReadDeviceState();
};

// The test date and time, in a floating panel of its own.
class CSchTestWin : public LFrame {
public:
    CSchTestWin(LHandler* parent, LPane* container);

    void Normalise();
    // The fields' date-time, normalised.
    CalDateTime TestTime();
    LMessage HandleMessage(const LMessage& msg) override;
    // The test time steers only what the list shows: no step of the play edit.
    bool RecordsNoEdits() const override { return true; }

    CNumVol fYear;
    LTextPane fSlash1;
    CNumVol fMonth;
    LTextPane fSlash2;
    CNumVol fDay;
    LTextPane fWeekday;
    CTimeSlider fTime;
};
