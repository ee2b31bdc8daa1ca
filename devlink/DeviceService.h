#pragma once
// Long operations on a device (join, trim, merge, find start) run as device
// services: the request is written to "/.cmd/svcreq//" + name, then
// "/.cmd/svcpol//" + name is read every 2 s until the device reports the end,
// under a progress dialog the user can cancel.

#include "base/CStrm.h"
#include "base/LTextSink.h"
#include "devlink/DevObjLink.h"
#include "devlink/ServiceUi.h"

class CRecord;
class CReqQueue;

// The string list of the services' texts: item 4 the progress message, 0 to 3
// the transfer errors, 6 to 13 the service errors -1 to -8.
inline constexpr const char* kServiceTextsName = "KVSSVCU";

// True when the service finished; its last reply's text is appended to out.
// Every failure shows its message and answers false; a cancel answers false
// silently and withdraws the request in flight. The body (may be null) now
// belongs to the queue.
bool RunDeviceService(MDevObjLink* device, LHandler* parent, CReqQueue* queue, const char* name,
                      LTextSink& out, CStrm* body, MDevServiceUi& ui);
// The same under the framework's progress and message dialogs.
bool RunDeviceService(MDevObjLink* device, LHandler* parent, CReqQueue* queue, const char* name,
                      LTextSink& out, CStrm* body);

// Pulses the command record's `plsn` ("/") and `frfl` (1) through the setters,
// so that its channel sends them, and puts both back without notice; then keeps
// modal turns going from handler for 500 ms.
void PulseRefreshAndWait(LHandler* handler, CRecord* command);
