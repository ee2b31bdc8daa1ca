#pragma once
// Services the device runs on its own DMX recordings: trim a recording to a
// range, join consecutive scenes' recordings, merge several scenes' recordings
// into one, and find where the events of a recording start. Each asks for what
// it needs, then runs as a device service under its progress dialog.

#include <vector>

#include "base/LString.h"
#include "devlink/ServiceUi.h"
#include "framework/CNumVol.h"
#include "framework/LDialog.h"
#include "framework/LStdCtl.h"
#include "framework/LTextPane.h"

class CRecord;
class LHandler;
class MPlayDevice;

inline constexpr const char* kDetStartTexts = "KVSDETSTART";
// Items of "KVSSVCU".
enum : u32 {
    kSvcSameAsSource = 14,
    kSvcReplaceButton = 15,
    kSvcReplaceAsk = 16,
    kSvcTrimTitle = 17,
    kSvcMergeTitle = 18,
    kSvcJoinTitle = 19,
    kSvcBadName = 20,
};

// What the services ask the user besides the progress: the output name, the
// detection settings, a question and a message. The device screens use the
// framework's dialogs; tests answer for the user.
class MDrcServiceUi : public MDevServiceUi {
public:
    // The name field starts with name; false when cancelled. item: the
    // title and OK button text of "KVSSVCU".
    virtual bool AskName(LHandler* parent, u32 item, LString* name) = 0;
    // Two buttons: "KVSSVCU" text item and confirm button item; true confirmed.
    virtual bool Confirm(LHandler* parent, u32 textItem, u32 buttonItem) = 0;
    // The detect-start dialog over type (0..2) and threshold (0..255); false cancelled.
    virtual bool AskDetect(LHandler* parent, u32* type, u32* threshold) = 0;
};
// The framework's dialogs.
MDrcServiceUi& DefaultDrcServiceUi();

// ---- the texts of the requests
// Seconds with at most 3 decimals, no trailing zeros, no bare point.
LString DrcSeconds(f64 seconds);
// "drctrim//" source "//" output "//" start, and "//" end only when end > start.
LString DrcTrimText(const LString& source, const LString& output, f64 startS, f64 endS);
// "drcfindev//" file, then "//real", "//chng" or "//over//" threshold by type.
LString DrcFindStartText(const LString& file, u32 type, u32 threshold);
// The reply of a start search: a decimal number of seconds within
// 0..2147483 (a start in milliseconds must fit an i32); false otherwise.
bool ParseDrcStartReply(const LString& reply, f64* seconds);
// The output name a service writes: trim keeps the source's extension, join
// and merge take "drc".
LString DrcOutputName(const LString& entered, const LString& source, bool trim);

// ---- the services; each answers the service's result (false when cancelled)
// Names that the device file name rule refuses are never sent ("KVSSVCU" 20).
bool RequestDrcTrim(LHandler* handler, MPlayDevice& device, const LString& file, f64 startS,
                    f64 endS, MDrcServiceUi& ui = DefaultDrcServiceUi());
bool RequestDrcDetectStart(LHandler* handler, MPlayDevice& device, const LString& file,
                           f64* seconds, MDrcServiceUi& ui = DefaultDrcServiceUi());
// Scenes first..last (inclusive) of the sequence's `scns`.
bool RequestDrcJoin(LHandler* handler, MPlayDevice& device, const CRecord* sequence, u32 first,
                    u32 last, MDrcServiceUi& ui = DefaultDrcServiceUi());
// The scenes at the indexes of `scns`, in that order.
bool RequestDrcMerge(LHandler* handler, MPlayDevice& device, const CRecord* sequence,
                     const std::vector<u32>& indexes, MDrcServiceUi& ui = DefaultDrcServiceUi());
// The names last entered for join and merge (kept while the program runs).
void ForgetDrcNames();

// The detect-start dialog: the type pop-up and, for the third type only, the threshold.
class CKvsDetStartDlg : public LDialog {
public:
    explicit CKvsDetStartDlg(LHandler* parent);
    LMessage HandleMessage(const LMessage& msg) override;
    void SetType(u32 type);

    LStdButton fOk;
    LStdButton fCancel;
    LTextPane fTypeLabel;
    LPopupList fType;
    LTextPane fLevelLabel;
    CNumVol fLevel;
};
