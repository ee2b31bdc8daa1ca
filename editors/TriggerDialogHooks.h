#pragma once
// Installs the scene trigger and master fader dialogs into the play edit's
// hooks (and, once built, the aux-play window).

struct CPlayHooks;

void InstallTriggerDialogHooks(CPlayHooks& hooks);
