#pragma once
// The device window: the list of the devices found by the status poll, the
// refresh bar and the device frame of the selected device.

class CKvsDevDoc;
class MKvsDevView;

// The device window of the document, shown.
MKvsDevView* NewKvsDevWindow(CKvsDevDoc* doc);
