#pragma once
// Settings that a record channel could not get to its device, named as the
// editors show them: those it still holds when it ends (the device did not
// answer, and they never reached it), and those the device refused.

#include <initializer_list>
#include <string>
#include <vector>

#include "base/LString.h"
#include "services/RunLoop.h"

class CDevRequestQueue;
class CRecord;
class LHandler;

// One setting of a record, from its path of tags below root: where it is, by
// the names the user gave ("Sequence 'Intro', Scene 'Blue'", the position when
// a name is empty), and what ("Fade").
LString SettingName(const CRecord* root, const LString& path);

// What a wait for the settings of device serial to go out says.
LString UnsentWaitText(u32 serial);

// A message over parent naming the settings that the channels never got to a
// device that left them unanswered; nothing when there are none, or at a forced
// end with nobody to read it.
void TellUnsentSettings(LHandler* parent, u32 serial,
                        std::initializer_list<const CDevRequestQueue*> channels);

// Before the channels of a device are left (a quit, the close of its window):
// what they still send is waited for under a dialog that says so, its Cancel
// there from the start. Settings the device has not confirmed when the wait
// ends (it left one unanswered, or the user cancelled) are named, and the user
// chooses to wait for them, again cancellable, or to go on without them: those
// are then dropped, never sent later. Nothing is asked at a forced end. False
// when the user went on without them.
enum class UnsentEnd : u32 { kClose = 0, kQuit = 1 };
bool SettleUnsentSettings(LHandler* parent, u32 serial, UnsentEnd end,
                          std::initializer_list<CDevRequestQueue*> channels);

// Tells the user which settings the device refused, once the burst they came
// in is over: one message names them all. The message is never shown from
// inside the channel's answer, which goes on with the settings behind.
class CRefusedSettings {
public:
    CRefusedSettings(LHandler* parent, u32 serial);
    ~CRefusedSettings();
    CRefusedSettings(const CRefusedSettings&) = delete;
    CRefusedSettings& operator=(const CRefusedSettings&) = delete;

    // Hears of the settings this channel's device refuses.
    void Watch(CDevRequestQueue& channel);
    // Shows what is still untold now (the owner's end).
    void Flush();

private:
    static void OnRefused(void* self, const CDevRequestQueue& channel, const LString& path);
    static void OnTimer(void* self);

    LHandler* fParent;
    u32 fSerial;
    std::vector<std::string> fNames;
    LRunLoopTimer fTimer;
    bool* fGone = nullptr;  // set while a message is up: this went meanwhile
};
