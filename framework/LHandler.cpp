#include "framework/LHandler.h"

LHandler::~LHandler() {
    // By now the derived parts are gone, so the dying object answers as a plain handler.
    if (fParent) Send(LHandler_Destructing, this, fParent);
}

LMessage LHandler::HandleMessage(const LMessage& msg) {
    return LMessage::CopyRetarget(msg, fParent ? fParent : msg.source);
}

void LHandler::Send(LMessage msg) {
    if (!msg.source) return;
    const char* refName = msg.name;
    LHandler* refSource = msg.source;
    for (;;) {
        LHandler* target = msg.target;
        if (!target) return;
        msg = target->HandleMessage(msg);
        if (msg.source == refSource && StrEqual(msg.name, refName)) {
            // Back at its sender unconsumed: nobody took it.
            if (target == refSource) return;
        } else {
            // A handler turned it into another message, which now travels on its own.
            refName = msg.name;
            refSource = msg.source;
        }
        if (!msg.source) return;
    }
}

bool LHandler::IsInChain(const LHandler* h, const LHandler* start, const LHandler* x) {
    if (!x) return false;
    if (x == h) return true;
    for (const LHandler* p = start; p && p != h; p = p->fParent) {
        if (p == x) return true;
    }
    return false;
}
