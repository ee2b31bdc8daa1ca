#pragma once
// The menu commands of a control window: the Art-Net monitor, the DrMX, sACN
// and Art-Net inputs, sACN output, the count-down, the audio format and the
// recording server. Commands whose windows come with other screens (recording
// settings, universe addresses) stay out of the menus until then.

class CKvsDevCtl;
class LMenuBar;
class LMenuItem;

// "LMenuBar_Ready" of a control window; nothing without a device.
void EnableControlCommands(CKvsDevCtl& ctl, LMenuBar* bar);
// "LMenuItem_Selected": true when the item carried one of the commands.
bool RunControlCommand(CKvsDevCtl& ctl, LMenuItem* item);
bool RunControlCommand(CKvsDevCtl& ctl, const char* command);
