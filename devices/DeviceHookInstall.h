#pragma once
// Fills the editors' hooks at start-up, before the first window opens: the door
// to the device screens (editors/DeviceHooks.h) with the device operations built
// here, and the play edit's windows and dialogs (editors/PlayHooks.h). One place,
// so that every piece added later is installed the same way; tests of the
// editors install their own stubs instead.

void InstallDeviceHooks();
