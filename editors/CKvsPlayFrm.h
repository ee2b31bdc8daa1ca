#pragma once
// The play frame of the basic play edit: the sequences on the left with their
// header, a stop button and a "+" button, the selected sequence's scene edit
// frame beside them and the device's file frame. It tells its parent when it
// is shown or hidden, so that the edit's windows follow it.

#include <memory>

#include "framework/LFrame.h"
#include "framework/LStdCtl.h"
#include "framework/LTextPane.h"

class CHeaderFrameV;
class CKvsScnEdF;
class CKvsSeqList;
class CRecord;
class LListNavi;
class MPlayDevice;

inline constexpr const char* CKvsPlayFrm_Vis = "CKvsPlayFrm_Vis";

class CKvsPlayFrm : public LFrame {
public:
    CKvsPlayFrm(LHandler* parent, LPane* container, MPlayDevice* device, CRecord* seqSettings);
    ~CKvsPlayFrm() override;

    LMessage HandleMessage(const LMessage& msg) override;
    void StateChanged(u32 op) override;

    // The sequence of the first selected row, null without one or past the end.
    CRecord* GetSelectedSeq() const;

    CRecord* SeqSettings() const { return fSettings; }
    CHeaderFrameV* Header() const { return fHeader; }
    CStateButton& StopButton() { return fStop; }
    CPlusButton& PlusButton() { return fPlus; }
    LListNavi* Navi() const { return fNavi; }
    CKvsSeqList* List() const { return fList; }
    CKvsScnEdF* SceneEdit() const { return fScnEd; }
    // The device file frame, or an empty stand-in without the hook.
    LPane* FilePane() const { return fFiles; }
    // The marks of the device playing a sequence and playing aux scenes.
    LTextPane& SeqPlayMark() { return fSeqMark; }
    LTextPane& AuxPlayMark() { return fAuxMark; }
    void SetPlaying(bool sequence, bool aux);

private:
    CRecord* fSettings;
    CHeaderFrameV* fHeader;
    CStateButton fStop;
    CPlusButton fPlus;
    LListNavi* fNavi;
    CKvsSeqList* fList;
    CKvsScnEdF* fScnEd;
    LPane* fFiles;
    LTextPane fSeqMark;
    LTextPane fAuxMark;
};
