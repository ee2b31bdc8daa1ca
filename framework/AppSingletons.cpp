#include "framework/AppSingletons.h"

#include "base/FileOps.h"
#include "base/LScrap.h"
#include "base/Resources.h"
#include "framework/CMainLoop.h"
#include "framework/InputState.h"
#include "framework/LWindow.h"

LProcessInfo* gProcessInfo = nullptr;
LSpecialFolders* gSpecialFolders = nullptr;
LMouse* gMouse = nullptr;
LKeyboard* gKeyboard = nullptr;
LDesktop* gDesktop = nullptr;
LResFile* gSystemResFile = nullptr;
LResFile* gAppResFile = nullptr;
LResSource* gThirdResSource = nullptr;
LResChain* gResChain = nullptr;
LIdleWaker* gIdleWaker = nullptr;
LClipboard* gClipboard = nullptr;
CMainLoopBase* gApp = nullptr;

namespace {
// The chain that was the default before start-up, given back at shutdown.
LResSource* sPreviousChain = nullptr;

template <class T>
void Drop(T*& p) {
    delete p;
    p = nullptr;
}

LString& ProgramName() {
    static LString name;
    return name;
}
}  // namespace

LProcessInfo::LProcessInfo()
    : fResFileRef(CurResFile()), fCreator(FourCC("????")), fName(ProgramName()) {}

void LProcessInfo::SetProgramName(const LString& name) {
    ProgramName() = name;
    if (gProcessInfo) gProcessInfo->fName = name;
}

void InitAppSingletons(AppFactory makeApp) {
    gProcessInfo = new LProcessInfo;
    gSpecialFolders = new LSpecialFolders(
        gProcessInfo->fBundlePath.IsEmpty() ? nullptr : &gProcessInfo->fBundlePath);
    gMouse = new LMouse;
    gKeyboard = new LKeyboard;
    gDesktop = new LDesktop;
    gSystemResFile = new LResFile(0);
    gAppResFile = new LResFile(gProcessInfo->fResFileRef);
    gThirdResSource = nullptr;
    gResChain = new LResChain;
    gResChain->AddSource(gSystemResFile);
    gResChain->AddSource(gAppResFile);
    if (gThirdResSource) gResChain->AddSource(gThirdResSource);
    sPreviousChain = DefaultResChain();
    SetDefaultResChain(gResChain);
    gIdleWaker = new LIdleWaker;
    gClipboard = new LClipboard;
    LClipboard::MakeInstance(gClipboard);
    gApp = makeApp ? makeApp() : nullptr;
}

void ShutdownAppSingletons() {
    Drop(gApp);
    LClipboard::MakeInstance(nullptr);
    Drop(gClipboard);
    Drop(gIdleWaker);
    SetDefaultResChain(sPreviousChain);
    sPreviousChain = nullptr;
    Drop(gResChain);
    Drop(gAppResFile);
    Drop(gSystemResFile);
    Drop(gDesktop);
    Drop(gKeyboard);
    Drop(gMouse);
    Drop(gSpecialFolders);
    Drop(gProcessInfo);
}
