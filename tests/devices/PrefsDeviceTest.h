#pragma once
// A device-link test whose views read the application's resources and
// preferences: the resource chain, every record kind, and a fresh preferences
// document for each test.
#include <memory>

#include "base/Resources.h"
#include "records/AppPrefsDoc.h"
#include "records/CRecordDoc.h"
#include "records/NsqPrefKinds.h"
#include "records/RecordKinds.h"
#include "tests/devlink/DeviceTestUtil.h"

namespace devtest {

class PrefsDeviceTest : public DeviceLinkTest {
protected:
    void SetUp() override {
        DeviceLinkTest::SetUp();
        static LResFile appFile(AppResFileRef());
        SetDefaultResChain(&appFile);
        RegisterKinds();
        prefs = std::make_unique<CRecordDoc>(CRecord::New(CRecordSchema::Find(kFamKvs, kKindPref)));
        SetAppPrefsDoc(prefs.get());
    }
    // Before the preferences document is made: kinds its nodes need go here too.
    virtual void RegisterKinds() { RegisterAllRecordKinds(); }
    // Subclasses drop their views and controllers before calling this.
    void TearDown() override {
        SetAppPrefsDoc(nullptr);
        DeviceLinkTest::TearDown();
    }

    std::unique_ptr<CRecordDoc> prefs;
};

}  // namespace devtest
