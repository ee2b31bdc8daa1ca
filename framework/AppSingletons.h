#pragma once
// The process-wide singletons, made in one order when the application is about
// to finish launching and deleted in the reverse order when it terminates.

#include "base/LString.h"

class CMainLoopBase;
class LClipboard;
class LDesktop;
class LIdleWaker;
class LKeyboard;
class LMouse;
class LResChain;
class LResFile;
class LResSource;
class LSpecialFolders;

// Process and bundle information.
class LProcessInfo {
public:
    LProcessInfo();

    LString fBundlePath;
    u32 fResFileRef;
    i32 fForkRef = -1;
    u32 fCreator;
    LString fSecond;
    // The program's name as users read it (the save question's title); a
    // Linux program has no bundle whose file name could say it.
    LString fName;

    // Named by the platform before the singletons are made.
    static void SetProgramName(const LString& name);
};

// Makes the application object (a CMainLoopBase) last of all.
using AppFactory = CMainLoopBase* (*)();

void InitAppSingletons(AppFactory makeApp);
void ShutdownAppSingletons();

extern LProcessInfo* gProcessInfo;
extern LSpecialFolders* gSpecialFolders;
extern LMouse* gMouse;
extern LKeyboard* gKeyboard;
extern LDesktop* gDesktop;
extern LResFile* gSystemResFile;
extern LResFile* gAppResFile;
extern LResSource* gThirdResSource;
extern LResChain* gResChain;
extern LIdleWaker* gIdleWaker;
extern LClipboard* gClipboard;
extern CMainLoopBase* gApp;
