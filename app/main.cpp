// KEVOruneSet: finds the KEVOrune devices on the local network and edits them.
#include "devices/CKvsApp.h"
#include "platform/qt/AppDelegate.h"
#include "platform/qt/QtAppPrefStore.h"

int main(int argc, char** argv) {
    QtAppPrefStore prefs;
    InstallAppPrefStore(&prefs);
    const int status = AppMain(argc, argv, NewKvsApp, "KEVOruneSet");
    InstallAppPrefStore(nullptr);
    return status;
}
