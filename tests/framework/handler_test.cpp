#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/LHandler.h"

namespace {

// Records every message it sees into a shared log as "<id>:<name>".
class Recorder : public LHandler {
public:
    Recorder(std::vector<std::string>* log, const char* id, LHandler* parent = nullptr)
        : LHandler(parent), fLog(log), fId(id) {}

    LMessage HandleMessage(const LMessage& msg) override {
        fLog->push_back(std::string(fId) + ":" + (msg.name ? msg.name : "(null)"));
        if (fConsume && msg.Is(fConsume)) return LMessage();
        if (fRenameFrom && msg.Is(fRenameFrom))
            return LMessage{fRenameTo, msg.source, fParent ? fParent : msg.source};
        return LHandler::HandleMessage(msg);
    }

    std::vector<std::string>* fLog;
    const char* fId;
    const char* fConsume = nullptr;
    const char* fRenameFrom = nullptr;
    const char* fRenameTo = nullptr;
};

std::string Join(const std::vector<std::string>& v) {
    std::string s;
    for (const auto& e : v) s += (s.empty() ? "" : " ") + e;
    return s;
}

// root <- frame <- pane <- leaf ; root <- other
struct Tree {
    std::vector<std::string> log;
    Recorder root{&log, "root"};
    Recorder frame{&log, "frame", &root};
    Recorder pane{&log, "pane", &frame};
    Recorder leaf{&log, "leaf", &pane};
    Recorder other{&log, "other", &root};
};

}  // namespace

TEST(Handler, DeliveryAlongTheChain) {
    struct Case {
        Recorder Tree::*source;
        Recorder Tree::*target;
        const char* want;
    } cases[] = {
        // Up to the root, then back to the source once.
        {&Tree::other, &Tree::leaf,
         "leaf:X_Ping pane:X_Ping frame:X_Ping root:X_Ping other:X_Ping"},
        // A source below the target: the target's chain, then the source, nothing more.
        {&Tree::leaf, &Tree::frame, "frame:X_Ping root:X_Ping leaf:X_Ping"},
        // Sent to a parentless handler: it hands it back to the source, which sees it once.
        {&Tree::other, &Tree::root, "root:X_Ping other:X_Ping"},
        // An ancestor source stops it.
        {&Tree::frame, &Tree::leaf, "leaf:X_Ping pane:X_Ping frame:X_Ping"},
        // Self-addressed: only itself.
        {&Tree::pane, &Tree::pane, "pane:X_Ping"},
    };
    for (const Case& c : cases) {
        Tree t;
        LHandler::Send("X_Ping", &(t.*c.source), &(t.*c.target));
        EXPECT_EQ(Join(t.log), c.want);
    }
}

TEST(Handler, ConsumedOrNullSourceEndsDelivery) {
    Tree t;
    t.frame.fConsume = "X_Ping";
    LHandler::Send("X_Ping", &t.other, &t.leaf);
    EXPECT_EQ(Join(t.log), "leaf:X_Ping pane:X_Ping frame:X_Ping");
    t.log.clear();
    LHandler::Send("X_Ping", nullptr, &t.leaf);
    EXPECT_TRUE(t.log.empty());
    LHandler::Send("X_Ping", &t.leaf, nullptr);
    EXPECT_TRUE(t.log.empty());
}

TEST(Handler, RenamedMessageTravelsUnderItsNewName) {
    Tree t;
    // The source turns its own message into another one when it comes back.
    t.other.fRenameFrom = "X_Ping";
    t.other.fRenameTo = "X_Pong";
    LHandler::Send("X_Ping", &t.other, &t.leaf);
    // X_Pong leaves "other" for its parent, rises to the root, returns to "other" and stops.
    EXPECT_EQ(
        Join(t.log),
        "leaf:X_Ping pane:X_Ping frame:X_Ping root:X_Ping other:X_Ping root:X_Pong other:X_Pong");

    // Renamed on the way: the new name stops at the source.
    Tree u;
    u.pane.fRenameFrom = "X_Ping";
    u.pane.fRenameTo = "X_Pong";
    LHandler::Send("X_Ping", &u.frame, &u.leaf);
    EXPECT_EQ(Join(u.log), "leaf:X_Ping pane:X_Ping frame:X_Pong");
}

TEST(Handler, NamesCompareByText) {
    char built[] = {'L', 'T', 'i', 'm', 'e', 'r', '_', 'E', 'x', 'p', 'i', 'r', 'e', 0};
    EXPECT_TRUE(StrEqual(built, "LTimer_Expire"));
    EXPECT_TRUE(StrEqual(nullptr, ""));
    EXPECT_TRUE(StrEqual(nullptr, nullptr));
    EXPECT_FALSE(StrEqual(nullptr, "a"));

    // A copy of the name text ends delivery at the source just like the constant.
    Tree t;
    t.other.fRenameFrom = "X_Ping";
    static char copy[] = "X_Ping";
    t.other.fRenameTo = copy;
    LHandler::Send("X_Ping", &t.other, &t.root);
    EXPECT_EQ(Join(t.log), "root:X_Ping other:X_Ping");
}

TEST(Handler, DyingHandlerTellsItsParent) {
    std::vector<std::string> log;
    Recorder root(&log, "root");
    struct Watch : Recorder {
        using Recorder::Recorder;
        LMessage HandleMessage(const LMessage& msg) override {
            if (msg.Is(LHandler_Destructing)) lastSource = msg.source;
            return Recorder::HandleMessage(msg);
        }
        LHandler* lastSource = nullptr;
    } frame(&log, "frame", &root);
    auto* child = new Recorder(&log, "child", &frame);
    LHandler* childAddr = child;
    delete child;
    EXPECT_EQ(frame.lastSource, childAddr);
    // It rises to the root and back to the dying source, which answers as a plain handler.
    EXPECT_EQ(Join(log), "frame:LHandler_Destructing root:LHandler_Destructing");

    log.clear();
    { Recorder orphan(&log, "orphan"); }
    EXPECT_TRUE(log.empty());
}

TEST(Handler, IsInChain) {
    Tree t;
    EXPECT_TRUE(LHandler::IsInChain(&t.leaf, t.leaf.Parent(), &t.leaf));
    EXPECT_TRUE(LHandler::IsInChain(&t.leaf, t.leaf.Parent(), &t.pane));
    EXPECT_TRUE(LHandler::IsInChain(&t.leaf, t.leaf.Parent(), &t.root));
    EXPECT_FALSE(LHandler::IsInChain(&t.leaf, t.leaf.Parent(), &t.other));
    EXPECT_FALSE(LHandler::IsInChain(&t.leaf, t.leaf.Parent(), nullptr));
    EXPECT_FALSE(LHandler::IsInChain(&t.pane, t.pane.Parent(), &t.leaf));
}
