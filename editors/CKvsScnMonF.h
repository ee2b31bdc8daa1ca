#pragma once
// Where the device is in the selected scene while it plays it: the position
// and the length, a bar that moves with the position and, dragged, moves the
// device there, and the play button. The position is read from the device
// about every 250 ms after each answer while the scene plays.

#include "framework/CNumVol.h"
#include "framework/LFrame.h"
#include "framework/LStdCtl.h"
#include "framework/LTextPane.h"
#include "framework/LTimer.h"

class CRecordDoc;
class MPlayDevice;
struct CRecordNote;

class CKvsScnMonF : public LFrame {
public:
    static constexpr u32 kPollMs = 250;

    CKvsScnMonF(LHandler* parent, LPane* container, MPlayDevice* device);
    ~CKvsScnMonF() override;

    LMessage HandleMessage(const LMessage& msg) override;
    void StateChanged(u32 op) override;

    // The selected scene is the one the device plays.
    void SetActive(bool active);
    // 0: the parameter frame has the focus ("△"), 1: the scene list ("▽").
    void SetFocusSide(u32 side);
    bool IsActive() const { return fActive; }
    u32 Mode() const;
    LTimer& PollTimer() { return fTimer; }
    LScrollBar& Bar() { return fBar; }
    CStateButton& PlayButton() { return fPlay; }
    CTimeSlider& Position() { return fPos; }
    CTimeSlider& Length() { return fLen; }
    const LString& Arrow() const { return fArrow.GetText(); }

    // A device time in ms from a value in seconds, held to the i32 range.
    static i32 MsFromSeconds(i64 seconds);

private:
    void Display();
    void Poll();
    CRecordDoc* Doc(u32 which) const;
    static void OnPosition(void* self, bool success);
    static void Listener(void* self, CRecordNote* note);

    MPlayDevice* fDevice;
    u8 fActive = 0;
    LTimer fTimer;
    LTextPane fPosCap;
    CTimeSlider fPos;
    LTextPane fLenCap;
    CTimeSlider fLen;
    LScrollBar fBar;
    CStateButton fPlay;
    LTextPane fArrow;
};
