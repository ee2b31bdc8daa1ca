// The program's name and version where the standard dialogs show them: the
// save question is titled with the name the platform gives, and About carries
// the version the build stamps.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "base/FileOps.h"
#include "framework/AppSingletons.h"
#include "framework/StdDialogs.h"
#include "tests/framework/FakeControls.h"
#include "tests/framework/FakeWindows.h"

namespace {

TEST(ProgramIdentity, TheSaveQuestionCarriesTheProgramsName) {
    static LResFile appFile(AppResFileRef());
    SetDefaultResChain(&appFile);
    FakeServices services;
    FakeWindows windows{services};
    FakeControls controls;
    const struct {
        const char* name;     // given by the platform; null: none
        const char* bundle;   // the bundle path; empty: none
        const char* title;
    } cases[] = {
        {"KEVOruneSet", "", "KEVOruneSet"},
        {"KEVOruneSet", "file:///opt/Other.app", "KEVOruneSet"},
        {nullptr, "file:///opt/Other.app", "Other.app"},
        {nullptr, "", "Application"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        LProcessInfo::SetProgramName(LString(c.name ? c.name : ""));
        LProcessInfo info;
        info.fBundlePath = LString(c.bundle);
        LProcessInfo* saved = gProcessInfo;
        gProcessInfo = &info;
        {
            CSaveChangesDialog d(nullptr);
            EXPECT_EQ(std::string(d.fWindowTitle.View()), c.title);
        }
        gProcessInfo = saved;
    }
    LProcessInfo::SetProgramName(LString());
    SetDefaultResChain(nullptr);
}

TEST(ProgramIdentity, AboutHasTheBuildsVersion) {
    LString version;
    CBundleInfo(LString()).GetVersion(&version);
    EXPECT_FALSE(version.IsEmpty());
    EXPECT_EQ(std::string(version.View()).find_first_not_of("0123456789."), std::string::npos)
        << version.CStr();
}

}  // namespace
