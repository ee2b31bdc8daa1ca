#pragma once
// The play frame of the NSQ play edit: the NSQ sequences on the left with
// their header, a stop and a "+" button, the selected sequence's loop flag,
// the selected scene's frames, the device's file frame and the track editor
// below. It tells its parent when it is shown or hidden, so that the edit's
// windows follow it.

#include "editors/nsq/CKvsPlaySelLink.h"
#include "framework/LFrame.h"
#include "framework/LSeparator.h"
#include "framework/LStdCtl.h"
#include "framework/LTextPane.h"

class CHeaderFrameV;
class CKvsNSqSeqList;
class CNSqTimeScale;
class CNSqTrkEditF;
class CNSqUScnF;
class CNSqUScnPrmF;
class CNSqUSqPrmF;
class LListNavi;
class LMenu;
class MPlayDevice;

inline constexpr const char* CKvsPlay2Frm_Vis = "CKvsPlay2Frm_Vis";
// The selected NSQ sequence changed (source: the frame, target: its parent).
inline constexpr const char* CKvsPlay2Frm_Seq = "CKvsPlay2Frm_Seq";

class CKvsPlay2Frm : public LFrame {
public:
    CKvsPlay2Frm(LHandler* parent, LPane* container, MPlayDevice* device, CNSqTimeScale* scale,
                 CRecord* seqSettings, LMenu* sceneMenu);
    ~CKvsPlay2Frm() override;

    LMessage HandleMessage(const LMessage& msg) override;
    void StateChanged(u32 op) override;
    void Draw(LDrawCtx& ctx) override;

    // The NSQ sequence of the first selected row, null without one or past the end.
    CRecord* GetSelectedNsqSeq() const;

    CKvsPlaySelLink& Link() { return fLink; }
    CStateButton& StopButton() { return *fStop; }
    CPlusButton& PlusButton() { return *fPlus; }
    // Where the device plays the shown sequence, beside the buttons.
    LTextPane& TimeText() { return *fTime; }
    CKvsNSqSeqList* List() const { return fList; }
    CNSqUSqPrmF* SeqPrm() const { return fSqPrm; }
    CNSqUScnF* SceneFrame() const { return fScnF; }
    CNSqUScnPrmF* ScenePrm() const { return fScnPrm; }
    LPane* FilePane() const { return fFiles; }
    CNSqTrkEditF* TrackEdit() const { return fTrkEdit; }

private:
    CRecord* fSettings;
    CKvsPlaySelLink fLink;
    LFrame* fSeqF;
    CHeaderFrameV* fHeader;
    CStateButton* fStop;
    CPlusButton* fPlus;
    LListNavi* fNavi;
    LTextPane* fTime;
    CKvsNSqSeqList* fList;
    CNSqUSqPrmF* fSqPrm;
    CNSqUScnF* fScnF;
    CNSqUScnPrmF* fScnPrm;
    LSeparator* fSep;
    LPane* fFiles;
    CNSqTrkEditF* fTrkEdit;
};
