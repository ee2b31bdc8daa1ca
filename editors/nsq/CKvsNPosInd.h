#pragma once
// The now-position indicator of a clip frame: where the device plays inside
// the clip, " / ", and how long the clip's file is.

#include "editors/nsq/CNSqKinds.h"
#include "framework/LFrame.h"
#include "framework/LTextPane.h"

class CKvsNPosInd : public LFrame {
public:
    CKvsNPosInd(LPane* container, CNSqDevCtx* ctx);
    ~CKvsNPosInd() override;

    void StateChanged(u32 op) override;
    void SetClip(const CNSqClip& clip);
    void Refresh();

    const CNSqClip& Clip() const { return fClip; }
    LTextPane& Position() { return fPos; }
    LTextPane& Duration() { return fDur; }

private:
    static void OnChange(void* self, CRecordNote* note);
    void Listen(bool on);

    CNSqDevCtx* fCtx;
    CNSqClip fClip;
    LTextPane fPos;
    LTextPane fSep;
    LTextPane fDur;
    CRecordDoc* fMediaDoc = nullptr;
    bool fListening = false;
};
