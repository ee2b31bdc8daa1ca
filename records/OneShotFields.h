#pragma once
// Command fields that act once per change. A device command record sends each
// field the moment its setter changes it; writing the same value again would
// be no change and send nothing. So the value goes out through the setter and
// the stored value is then put back behind the listeners' backs.

#include "base/LString.h"

class CRecord;

// Field 2 (`plsn` of 'YKVT'/'DVCM'): the text through the setter without undo,
// then the empty string stored without notice.
void SetField2Transient(CRecord* record, const LString& text);
// Any string field, as above.
void SetCommandOneShotText(CRecord* record, u8 field, const LString& text);
// A scalar field (i32, u32 or u8): the value through the setter without undo,
// then the field's declared default stored without notice.
void SetCommandOneShot(CRecord* record, u8 field, i32 value);
// All of them first put the field back to its default without notice: a value
// read back from the device must not make the press no change.

// True while one of the two above sends its change to the listeners. A press is
// an action, not a state: a listener that would fold a change into an earlier
// one of the same field (a record channel's waiting write) must not fold this.
bool OneShotChangeUnderway();
