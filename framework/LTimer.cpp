#include "framework/LTimer.h"

#include "services/GraphicsServices.h"

namespace {

// Made on first use so that timers in static objects find them.
LList& Scheduled() {
    static LList list;
    return list;
}
LList& Held() {
    static LList list;
    return list;
}

// Passes are numbered from 1; 0 marks a timer started outside any pass.
u32 sPass = 1;
bool sInPass = false;

i32 Diff(u32 a, u32 b) {
    return i32(a - b);
}

}  // namespace

LTimer::~LTimer() {
    Unlink();
}

void LTimer::Unlink() {
    if (!IsLinked()) return;
    if (!Scheduled().Remove(this)) Held().Remove(this);
}

void LTimer::InsertByDeadline(u32 now) {
    // After the last timer due no later than this one, so equal deadlines keep start order.
    LList& list = Scheduled();
    i32 mine = Diff(fDeadline, now);
    LLink* prev = nullptr;
    for (LLink* n = list.Head(); !n->IsEnd(); n = n->Next()) {
        if (Diff(static_cast<LTimer*>(n)->fDeadline, now) <= mine)
            prev = n;
        else
            break;
    }
    list.InsertAfter(this, prev);
}

void LTimer::Start(const u32* intervalMs, u32 mode) {
    Unlink();
    u32 now = GraphicsServices().NowMs();
    fMode = mode;
    fDeadline = now + *intervalMs;
    fPeriod = 0;
    fStartPass = sInPass ? sPass : 0;
    InsertByDeadline(now);
    GraphicsServices().RearmMainTimer();
}

void LTimer::StartRepeating(const u32* periodMs) {
    Unlink();
    u32 now = GraphicsServices().NowMs();
    fMode = 0;
    fDeadline = now + *periodMs;
    fPeriod = *periodMs;
    fStartPass = sInPass ? sPass : 0;
    InsertByDeadline(now);
    GraphicsServices().RearmMainTimer();
}

bool LTimer::Stop() {
    bool was = IsLinked();
    Unlink();
    return was;
}

bool LTimer::MayDeliver(LHandler* modal, LHandler* window, bool active) const {
    auto inside = [this](LHandler* x) { return IsInChain(this, fParent, x); };
    u32 m = fMode;
    if (modal) {
        switch (m) {
            case 0:
            case 4:
                return true;
            case 1:
            case 5:
                return inside(modal);
            case 2:
            case 6:
                return active;
            case 3:
            case 7:
                return active && inside(modal);
            default:
                return inside(modal);
        }
    }
    bool windowOk = !window || inside(window);
    switch (m) {
        case 0:
            return true;
        case 2:
        case 6:
            return active;
        case 3:
        case 7:
            return active && windowOk;
        default:
            return windowOk;  // 1, 4, 5, above 7
    }
}

i32 LTimer::NextWaitMs(LHandler* modal, LHandler* window, bool active) {
    for (LLink* n = Held().Head(); !n->IsEnd(); n = n->Next()) {
        if (static_cast<LTimer*>(n)->MayDeliver(modal, window, active)) return 0;
    }
    LLink* head = Scheduled().Head();
    if (head->IsEnd()) return 2147483647;
    i32 wait = Diff(static_cast<LTimer*>(head)->fDeadline, GraphicsServices().NowMs());
    return wait < 0 ? 0 : wait;
}

LMessage LTimer::TakeNextDue(u32 now, LHandler* modal, LHandler* window, bool active) {
    sInPass = true;
    LTimer* taken = nullptr;
    for (LLink* n = Held().Head(); !n->IsEnd(); n = n->Next()) {
        LTimer* t = static_cast<LTimer*>(n);
        if (t->MayDeliver(modal, window, active)) {
            Held().Remove(t);
            taken = t;
            break;
        }
    }
    while (!taken) {
        LLink* head = Scheduled().Head();
        if (head->IsEnd()) break;
        LTimer* t = static_cast<LTimer*>(head);
        // Everything behind a timer started in this pass was started in it too
        // or lies later: the pass ends here.
        if (Diff(now, t->fDeadline) < 0 || t->fStartPass == sPass) break;
        Scheduled().PopFront();
        if (t->MayDeliver(modal, window, active))
            taken = t;
        else
            Held().PushBack(t);
    }
    if (!taken) {
        sInPass = false;
        ++sPass;
        if (sPass == 0) sPass = 1;
        return LMessage();
    }
    if (taken->fPeriod) {
        u32 next = taken->fDeadline + taken->fPeriod;
        // A late repeating timer neither fires in bursts nor drifts while it keeps up.
        taken->fDeadline = Diff(now, next) < 0 ? next : now + taken->fPeriod;
        taken->fStartPass = 0;
        taken->InsertByDeadline(now);
    }
    return LMessage{LTimer_Expire, taken, taken->fParent};
}

void LTimer::FireDue(u32 now, LHandler* modal, LHandler* window, bool active) {
    for (;;) {
        LMessage m = TakeNextDue(now, modal, window, active);
        if (m.IsEmpty()) break;
        Send(m);
    }
    GraphicsServices().RearmMainTimer();
}
