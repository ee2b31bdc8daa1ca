#pragma once
// The schedule window of a device's play edit: exists while the sequence
// settings use the schedule.

#include "framework/LDialog.h"
#include "framework/LScrollFrame.h"

class CKvsSchEditFrm;
class CRecord;
class CSchTestWin;
class MPlayDevice;
struct CPlayHooks;
struct CPlayWindowArgs;

class CKvsSchWin : public LModalFrame {
public:
    CKvsSchWin(LHandler* parent, LPane* owner, MPlayDevice* device, CRecord* seqSettings);
    ~CKvsSchWin() override;

    LMessage HandleMessage(const LMessage& msg) override;
    void StateChanged(u32 op) override;
    // Hands the test window's date and time to the list.
    void ApplyTestTime();
    void OpenTestWindow();

    CKvsSchEditFrm* EditFrame() const { return fEdit; }
    CSchTestWin* TestWindow() const { return fTest; }
    LScrollFrame& Scroll() { return fScroll; }

    static LFrame* Make(const CPlayWindowArgs& args);

private:
    CRecord* fSettings;
    CKvsSchEditFrm* fEdit = nullptr;
    CSchTestWin* fTest = nullptr;
    // The test window was shown when this window was hidden.
    bool fTestShownBefore = false;
    // The edit frame scrolls where the window cannot show it whole (a small
    // screen, large fonts): the event list keeps its rows and "+" its place.
    // Last: it reports to the window while built, which then has no edit frame.
    LScrollFrame fScroll;
};

void InstallScheduleHooks(CPlayHooks& hooks);
