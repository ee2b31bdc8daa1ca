#pragma once
// Puts the scene universes frame at the scene edit frames' disposal.
void InstallScnUnvHook();
