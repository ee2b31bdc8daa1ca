#pragma once
// Framework timers: due timers send "LTimer_Expire" (source = the timer) to
// their parent. All timers share two lists served from the main loop's one
// native timer, which is re-armed after every start and every service.

#include "base/LList.h"
#include "framework/LHandler.h"

inline constexpr const char* LTimer_Expire = "LTimer_Expire";

class LTimer : public LHandler, public LLink {
public:
    explicit LTimer(LHandler* parent) : LHandler(parent) {}
    ~LTimer() override;

    // One-shot after *intervalMs; mode is the delivery modality (0: always).
    void Start(const u32* intervalMs, u32 mode = 0);
    void Start(u32 intervalMs, u32 mode = 0) { Start(&intervalMs, mode); }
    // Repeats every *periodMs, mode 0.
    void StartRepeating(const u32* periodMs);
    void StartRepeating(u32 periodMs) { StartRepeating(&periodMs); }
    // Answers whether the timer was running. Does not re-arm the native timer.
    bool Stop();

    bool IsRunning() const { return IsLinked(); }
    u32 Deadline() const { return fDeadline; }
    u32 Period() const { return fPeriod; }
    u32 Mode() const { return fMode; }

    // Milliseconds until the lists must be served: 0 when a held timer may be
    // delivered now, 2147483647 when nothing is scheduled.
    static i32 NextWaitMs(LHandler* modal, LHandler* window, bool active);
    // The next "LTimer_Expire" to send, or the empty message. A pass is a run
    // of calls up to the empty answer; a timer started during a pass waits for
    // the next one, so a handler restarting its timer with 0 ms cannot keep one
    // pass going for ever.
    static LMessage TakeNextDue(u32 now, LHandler* modal, LHandler* window, bool active);
    // One service: sends every due message of one pass, then re-arms the native timer.
    static void FireDue(u32 now, LHandler* modal, LHandler* window, bool active);

    // Would the timer be delivered now under this modality?
    bool MayDeliver(LHandler* modal, LHandler* window, bool active) const;

private:
    void Unlink();
    void InsertByDeadline(u32 now);

    u32 fMode = 0;
    u32 fDeadline = 0;
    u32 fPeriod = 0;
    u32 fStartPass = 0;  // the pass during which it was started, 0 outside passes
};
