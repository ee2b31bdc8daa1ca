#pragma once
// The pieces of the play edit that live in other editors: its windows, its
// dialogs and the button-label renderer. The play command handler owns the
// commands that open them; devices/DeviceHookInstall.cpp installs each at
// start-up. While a hook is empty (as in the editors' own tests) its command
// stays out of the menus (never enabled), and the layout of the play screen is
// built without glyph fonts.

#include "base/Types.h"

class CBtnLabelFontSource;
class CRecord;
class LFrame;
class LHandler;
class LPane;
class LRgn;
class MPlayDevice;

// The windows a play edit opens and keeps, in the order it keeps them.
enum class PlayWindow : u32 {
    kButtons,   // play-button assignment
    kAutoPlay,  // auto play
    kBgm,       // background music
    kPwdw,      // the PWDW sequence
    kSchedule,  // schedules
    kAuxPlay,   // aux plays
    kCount
};

// What a window is made with. The window's parent handler is the play edit:
// its edits find the edit's undo queue through it, and its "LFrame_Close" goes
// there, which deletes it (the schedule window: turns `ussc` off instead).
struct CPlayWindowArgs {
    LHandler* parent = nullptr;
    LPane* owner = nullptr;  // null for the aux-play window
    MPlayDevice* device = nullptr;
    CRecord* seqSettings = nullptr;   // 'YKVT'/'SQST'
    CRecord* playSettings = nullptr;  // 'YKVT'/'PLYS'
};
using PlayWindowFactory = LFrame* (*)(const CPlayWindowArgs& args);

struct CPlayHooks {
    PlayWindowFactory windows[u32(PlayWindow::kCount)] = {};

    // The dialogs run modally over the owner pane and answer true only when
    // the user confirmed them; the caller stores nothing otherwise.
    // Scene triggers: stores `sntg` itself; hands
    // back the number field (the caller cuts the fraction off into `tgmk`) and
    // the external-trigger check box (`extg`). Both come in with their values.
    bool (*sceneTrigger)(LHandler* parent, LPane* owner, CRecord* sntg, f32* number,
                         bool* external) = nullptr;
    // Master fader: stores `prpc` of the device
    // settings itself; the check box comes in and goes back as vsmf.
    bool (*masterFader)(LHandler* parent, LPane* owner, CRecord* prpc, bool* vsmf) = nullptr;
    // Sequence format: nsq is the two-way choice (false the
    // first entry, basic; true the second, NSQ), dmct the check box.
    bool (*seqFormat)(LHandler* parent, LPane* owner, bool* nsq, bool* dmct) = nullptr;

    // Move time: moves the start times of the selected scenes
    // (rows of the list field of the sequence) in one undoable step.
    void (*moveSceneTimes)(LHandler* parent, LPane* owner, CRecord* sequence, u8 field,
                           const LRgn& selection) = nullptr;
    // The move-time dialog itself ("MOVETIMEDLG"), for the NSQ
    // timeline: opens on *ms and the radio choice *follow; true when
    // confirmed, with both written back.
    bool (*moveTimeDialog)(LHandler* parent, u32* ms, u32* follow) = nullptr;

    // The button-label glyph renderer, measuring with the
    // drawing environment of the owner pane; the caller deletes it.
    CBtnLabelFontSource* (*newLabelRenderer)(LPane* owner) = nullptr;
};

// The process-wide hooks, filled at start-up (and by tests around each case).
CPlayHooks& PlayHooks();
