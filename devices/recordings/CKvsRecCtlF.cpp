#include "devices/recordings/CKvsRecCtlF.h"

#include "devices/CKvsDevCtl.h"
#include "devices/files/CKvsFileFrm.h"
#include "devices/monitors/CKvsUnivList.h"
#include "framework/LPngImage.h"

namespace {

// Loaded once the first panel is built, then shared by every panel.
struct StateImages {
    LImageRef playOff, playOn, recOff, recOn, recStandby;
};
StateImages& Images() {
    static StateImages images;
    if (!images.playOff) {
        images.playOff = LoadPngImage("PLAYOFBTN");
        images.playOn = LoadPngImage("PLAYONBTN");
        images.recOff = LoadPngImage("RECOFBTN");
        images.recOn = LoadPngImage("RECONBTN");
        images.recStandby = LoadPngImage("RECSTBTN");
    }
    return images;
}

}  // namespace

CKvsRecCtlF::CKvsRecCtlF(LHandler* parent, LPane* container, CKvsDevCtl* ctl, CRecord* universes)
    : LFrame(parent, container),
      fControls(this, this),
      fZero(&fControls),
      fStop(&fControls),
      fPlay(&fControls),
      fRec(&fControls),
      fTime(&fControls),
      fName(&fControls),
      fBar(&fControls, 0, 1) {
    fTime.SetStyle(LFont(2));
    fTime.SetAlignment(1);
    fName.SetStyle(LFont(3));
    fControls.SetLayoutByName("KVSRECCTLF", 1);
    fNavi = new LListNavi(this, LListNavi::kVerticalBar, false);
    fUniverses = new CKvsUnvList(fNavi, universes);
    fNavi->SetList(fUniverses);
    fFiles = new CKvsFileFrm(this, this, ctl);
    Images();
    fZero.SetImage(LoadPngImage("ZEROBTN"));
    fStop.SetImage(LoadPngImage("STOPBTN"));
    SetPlayState(0);
    SetRecState(0);
    SetLayoutByName("KVSRECFRM", 1);
}

CKvsRecCtlF::~CKvsRecCtlF() {
    // The universe pane listens to records; it goes before the frame's children.
    delete fNavi;
    fNavi = nullptr;
    fUniverses = nullptr;
    delete fFiles;
    fFiles = nullptr;
}

void CKvsRecCtlF::SetPlayState(u32 state) {
    const bool on = state == 2;
    fPlayImage = on ? "PLAYONBTN" : "PLAYOFBTN";
    fPlay.SetImage(on ? Images().playOn : Images().playOff);
}

void CKvsRecCtlF::SetRecState(u32 state) {
    StateImages& images = Images();
    if (state == 3) {
        fRecImage = "RECONBTN";
        fRec.SetImage(images.recOn);
    } else if (state == 4) {
        fRecImage = "RECSTBTN";
        fRec.SetImage(images.recStandby);
    } else {
        fRecImage = "RECOFBTN";
        fRec.SetImage(images.recOff);
    }
}
