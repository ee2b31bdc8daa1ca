#pragma once
// A frame that shows one content frame through a port, with scroll bars once
// the port is smaller than the least size the content stays whole in (its
// layout's MinW and MinH): on a small screen or at a large font size every
// field of the content stays within reach. Above that size the content takes
// the whole port, and no bar shows.

#include "framework/LFrame.h"
#include "framework/LStdCtl.h"

class LScrollFrame : public LFrame {
public:
    // The frame the content goes into: the content is its only child.
    class Port : public LFrame {
    public:
        Port(LScrollFrame* owner);
        LMessage HandleMessage(const LMessage& msg) override;
        bool RevealsFocus() const override { return true; }

    private:
        LScrollFrame* fOwner;
    };

    LScrollFrame(LHandler* parent, LPane* container);
    LMessage HandleMessage(const LMessage& msg) override;
    void BoundsChanged(const LRect& old) override;
    // Other fonts or a new view: the content's least size may have changed
    // while the frame kept its bounds.
    void StateChanged(u32 op) override;
    // The content's own sizes: the window is offered what the content asks.
    i32 GetPrefWidth(LDrawCtx* ctx, i32 hint) override;
    i32 GetPrefHeight(LDrawCtx* ctx, i32 hint) override;

    Port& GetPort() { return fPort; }
    LScrollBar& HBar() { return fHBar; }
    LScrollBar& VBar() { return fVBar; }
    i32 ScrollX() const { return fX; }
    i32 ScrollY() const { return fY; }
    void ScrollTo(i32 x, i32 y);
    // Scrolls as little as shows the pane whole (its top left first).
    void Reveal(LPane* pane);
    bool ScrollByWheel() override;
    // Places the port, the bars and the content for the frame's bounds and
    // the content's least size.
    void Layout();

private:
    LPane* Content() const;
    LMessage HandleBar(const LMessage& msg, bool horizontal);

    Port fPort;
    LScrollBar fHBar;
    LScrollBar fVBar;
    i32 fX = 0;
    i32 fY = 0;
    i32 fContentW = 0;
    i32 fContentH = 0;
};
