#pragma once
// The system font panel, through which the view preferences let the user pick
// the fonts of the size codes.

#include "base/LString.h"

// A font as the panel reports it.
struct LFontSpec {
    LString fontName;    // the face, e.g. "DejaVu Sans Bold"
    LString familyName;  // e.g. "DejaVu Sans"
    f32 pointSize = 0;
    u8 bold = 0;
    u8 italic = 0;
};

// Called after every change in a modeless panel with event 2; with event 3
// (spec: the font it showed) when the user closed it, which ends the binding.
using LFontPanelCallback = void (*)(void* owner, const LFontSpec* spec, u32 event);
enum : u32 { kFontPanelChanged = 2, kFontPanelClosed = 3 };

enum : u32 { kFontPanelSize = 1, kFontPanelFace = 2, kFontPanelColor = 4 };
// With the flags: the user asked for the panel (a row chosen, its command), so
// one minimised comes back too; without, a panel shown again only comes forward.
enum : u32 { kFontPanelAsked = 8 };
enum : i32 { kFontPanelDone = 0, kFontPanelNone = 1, kFontPanelShown = 2 };

// Shows the panel with the described font. Modal: answers kFontPanelDone and
// rewrites spec with the chosen font. Modeless: answers kFontPanelShown and
// reports each change through the callback until CloseFontPanel. kFontPanelNone
// when the platform has no panel. flags: the changes the panel may offer.
i32 RunFontPanel(bool modal, LFontSpec* spec, void* owner, LFontPanelCallback callback, u32 flags);
// Ends the panel's binding when it belongs to that owner and callback.
void CloseFontPanel(void* owner, LFontPanelCallback callback);
