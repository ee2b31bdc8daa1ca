#pragma once
// Fills the editors' door to the device screens (editors/DeviceHooks.h) with the
// device operations built here. Called once at start-up, before the first
// window opens; tests of the editors install their own stubs instead.

void InstallDeviceHooks();
