// The universe address window drawn by Qt offscreen in both forms, saved as
// uvad_artnet.png and uvad_sacn.png in the build folder.
#include <QImage>
#include <QWidget>

#include <gtest/gtest.h>

#include "ControlFixture.h"
#include "editors/CKvsUvadList.h"
#include "editors/CUvadWin.h"
#include "records/CRecordDoc.h"
#include "records/DeviceKinds.h"
#include "records/RecordKinds.h"
#include "records/ShowKinds.h"

namespace {

QImage Shot(LFrame* frame, const char* name) {
    QCoreApplication::processEvents();
    QWidget* top = AsMWindow(frame->GetNativeWindow());
    const QImage image = top->grab().toImage();
    EXPECT_TRUE(image.save(QStringLiteral(KEVO_BINARY_DIR "/") + name));
    return image;
}

TEST(UvadOffscreen, BothForms) {
    ControlEnv env("offscreen");
    RegisterAllRecordKinds();
    CRecordDoc settings(CRecord::New(CRecordSchema::Find(kFamKvt, kKindDvst)));
    CRecord* table = settings.Root()->GetChild(DvstF::uvas);
    const struct {
        u32 univ, flws;
        const char* ip;
    } rows[] = {{0x123, 20, "192.168.0.10"}, {0, 9, "10.0.0.2"}, {32760, 100, "2.0.0.1"}};
    for (const auto& r : rows) {
        CRecord* u = CRecord::New(CRecordSchema::Find(kFamKvt, kKindUvad));
        u->SetU32(nullptr, UvadF::univ, r.univ);
        u->SetU32(nullptr, UvadF::flws, r.flws);
        u->SetString(nullptr, UvadF::ipad, LString(r.ip));
        table->InsertItem(nullptr, UvasF::uvas, table->GetListCount(UvasF::uvas), u);
    }
    CUvadWin* win = CUvadWin::New(gApp, nullptr, settings.Root());
    win->Open();
    const QImage artnet = Shot(win, "uvad_artnet.png");
    settings.Root()->SetU8(nullptr, DvstF::saco, 1);
    const QImage sacn = Shot(win, "uvad_sacn.png");
    EXPECT_GT(artnet.width(), 250);
    EXPECT_EQ(artnet.size(), sacn.size());
    EXPECT_NE(artnet, sacn);
    EXPECT_TRUE(win->List()->Sacn());
    delete win;
}

}  // namespace
