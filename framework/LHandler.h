#pragma once
// Handlers and the three-word messages they pass to each other.

#include "base/LString.h"
#include "base/Types.h"

class LHandler;

// Message names: a name is the sending class, an underscore and the event.
// Messages carry the text; names are compared by text, never by pointer.
inline constexpr const char* LHandler_Destructing = "LHandler_Destructing";
inline constexpr const char* LHandler_Mode = "LHandler_Mode";

struct LMessage {
    const char* name = nullptr;
    LHandler* source = nullptr;
    LHandler* target = nullptr;

    void Set(const char* n, LHandler* src, LHandler* tgt) {
        name = n;
        source = src;
        target = tgt;
    }
    void Clear() { *this = LMessage(); }
    // All three words zero: the message was consumed.
    bool IsEmpty() const { return name == nullptr && source == nullptr && target == nullptr; }
    static LMessage CopyRetarget(const LMessage& m, LHandler* tgt) {
        return LMessage{m.name, m.source, tgt};
    }
    bool Is(const char* n) const { return StrEqual(name, n); }
};

class LHandler {
public:
    explicit LHandler(LHandler* parent = nullptr) : fParent(parent) {}
    // Announces the death to the parent with "LHandler_Destructing".
    virtual ~LHandler();
    LHandler(const LHandler&) = delete;
    LHandler& operator=(const LHandler&) = delete;

    // Answers the message to deliver next; the empty message when consumed.
    // The default passes it to the parent, or back to its source at a root.
    virtual LMessage HandleMessage(const LMessage& msg);

    LHandler* Parent() const { return fParent; }

    // Delivers a message synchronously until it is consumed, runs out of
    // targets or comes back unchanged to its source.
    static void Send(LMessage msg);
    static void Send(const char* name, LHandler* source, LHandler* target) {
        Send(LMessage{name, source, target});
    }

    // True when x is h, or x is met walking from start up the parents before
    // reaching h or null. With start = h's parent: x is h or an ancestor of h.
    static bool IsInChain(const LHandler* h, const LHandler* start, const LHandler* x);

protected:
    LHandler* fParent;
};
