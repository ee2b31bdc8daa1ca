#pragma once
// Panes for the pane and layout tests: a pane that records its state
// operations and answers set preferred sizes, and a container that keeps its
// children in a list and records the regions invalidated in it.

#include <string>
#include <vector>

#include "framework/LPane.h"

class TestPane : public LPane {
public:
    TestPane(LHandler* parent, LPane* container, i32 prefW = 16, i32 prefH = 16)
        : LPane(parent, container), fPrefW(prefW), fPrefH(prefH) {}

    void StateChanged(u32 op) override {
        fOps.push_back(op);
        LPane::StateChanged(op);
    }
    // Text-like answers: -13 one character, a width hint wraps the text to lines.
    i32 GetPrefWidth(LDrawCtx* ctx, i32 hint) override {
        (void)ctx;
        if (hint == -13) return fCharW;
        return hint < 0 ? 0 : fPrefW;
    }
    i32 GetPrefHeight(LDrawCtx* ctx, i32 hint) override {
        (void)ctx;
        if (hint < 0) return 0;
        if (hint > 0 && fWraps) return (fPrefW + hint - 1) / hint * fPrefH;
        return fPrefH;
    }

    i32 fPrefW;
    i32 fPrefH;
    i32 fCharW = 7;
    bool fWraps = false;
    std::vector<u32> fOps;
};

class TestContainer : public LPane {
public:
    explicit TestContainer(LHandler* parent = nullptr) : LPane(parent, nullptr) {
        // A container that is itself on screen.
        SetState(kOpContainerShown);
    }
    ~TestContainer() override {
        while (LLink* l = fChildren.PopFront()) delete static_cast<LPane*>(l);
    }

    LMessage HandleMessage(const LMessage& msg) override {
        if (msg.source != this && msg.Is(LPane_Constructing)) {
            fChildren.PushBack(static_cast<LPane*>(msg.source));
            return LMessage();
        }
        if (msg.source != this && msg.Is(LPane_Destructing)) {
            LPane* child = static_cast<LPane*>(msg.source);
            fChildren.Remove(child);
            fFocus.Forget(child);
            return LMessage();
        }
        if (msg.Is(LPane_Focus) || msg.Is(LPane_Unfocus) || msg.Is(LPane_ReqFocus) ||
            msg.Is(LPane_UpdateNow)) {
            fMessages.push_back(msg.name);
            return LMessage();
        }
        return LPane::HandleMessage(msg);
    }
    void InvalidateRect(const LRgn& redraw, const LRgn& erase) override {
        fRedraw.push_back(redraw);
        fErase.push_back(erase);
    }
    void FillDrawEnv(LDrawEnv& env) override {
        env.fWindow = fWindow;
        env.fOriginX += fOriginX;
        env.fOriginY += fOriginY;
    }

    LList fChildren;
    FocusSlot fFocus;
    std::vector<LRgn> fRedraw;
    std::vector<LRgn> fErase;
    std::vector<std::string> fMessages;
    void* fWindow = nullptr;
    i32 fOriginX = 0;
    i32 fOriginY = 0;
};
