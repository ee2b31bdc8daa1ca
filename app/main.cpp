// KEVOruneSet: finds the KEVOrune devices on the local network and edits them.
#include "devices/CKvsApp.h"
#include "platform/qt/AppDelegate.h"

int main(int argc, char** argv) {
    return AppMain(argc, argv, NewKvsApp);
}
