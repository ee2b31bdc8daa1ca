#pragma once
// Record channels of a simulated device: "/.cmd/udkvtset", "/.cmd/udkvtcmd",
// "/.cmd/udseqset", "/.cmd/udplayset", "/.cmd/udseqstat", "/.cmd/udsysstat",
// each backed by a real record of the registered kinds.

#include "tools/simdevice/Control.h"

class CRecordDoc;
class CRecord;

namespace simdev {

// Gives a new device its channel records and command files.
void InstallChannels(Sim& sim, Device& d);
// The record behind a channel command path ("/.cmd/udseqstat"), or null.
CRecordDoc* ChannelDoc(Device& d, const std::string& path);
// The record behind a channel path ("/.cmd/udsysstat"); null without one.
CRecord* ChannelRecord(Device& d, const std::string& path);
// chan-get and chan-set.
void AddChannelCommands(Control& control, Sim& sim);

}  // namespace simdev
