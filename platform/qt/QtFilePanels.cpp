#include "platform/qt/QtFilePanels.h"

#include <QFileDialog>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QSortFilterProxyModel>

#include "base/Paths.h"
#include "framework/CMainLoop.h"
#include "framework/LEmbeddedPane.h"

namespace {

QFileDialog* sRunning = nullptr;

QString FromL(const LString& s) {
    return QString::fromUtf8(s.CStr(), qsizetype(s.Length()));
}

LString ToL(const QString& s) {
    const QByteArray b = s.toUtf8();
    return LString(std::string_view(b.constData(), size_t(b.size())));
}

// The panel's rule over the dialog's file system model.
class PanelFilter : public QSortFilterProxyModel {
public:
    explicit PanelFilter(const CFilePanel& panel) : fPanel(panel) {}
    void Refresh() { invalidateFilter(); }

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override {
        auto* fs = qobject_cast<QFileSystemModel*>(sourceModel());
        if (!fs) return true;
        const QByteArray path = fs->filePath(fs->index(row, 0, parent)).toUtf8();
        return fPanel.ShouldShow(path.constData());
    }

private:
    const CFilePanel& fPanel;
};

}  // namespace

QtFilePanelServices::QtFilePanelServices() {
    InstallFilePanelServices(this);
}

QtFilePanelServices::~QtFilePanelServices() {
    InstallFilePanelServices(nullptr);
}

QFileDialog* QtFilePanelServices::Running() {
    return sRunning;
}

void QtFilePanelServices::RunPanel(CFilePanel& panel) {
    // At the session's end nobody is there to choose a file.
    if (const CMainLoop* loop = CMainLoop::Current(); loop && loop->fEnding) {
        panel.SetResult(false, LString());
        return;
    }
    QFileDialog dlg;
    dlg.setOption(QFileDialog::DontUseNativeDialog);
    dlg.setOption(QFileDialog::HideNameFilterDetails);
    // Set before showing: Qt ignores it on a window already visible.
    dlg.setWindowModality(Qt::ApplicationModal);
    if (!panel.Message().IsEmpty()) dlg.setWindowTitle(FromL(panel.Message()));
    switch (panel.GetKind()) {
        case CFilePanel::kOpen:
            dlg.setFileMode(QFileDialog::ExistingFile);
            break;
        case CFilePanel::kSave:
            dlg.setFileMode(QFileDialog::AnyFile);
            dlg.setAcceptMode(QFileDialog::AcceptSave);
            break;
        case CFilePanel::kFolder:
            dlg.setFileMode(QFileDialog::Directory);
            dlg.setOption(QFileDialog::ShowDirsOnly);
            break;
    }
    LString local;
    if (!panel.StartDir().IsEmpty() && !FileUrlToPosixPath(&local, panel.StartDir()).IsEmpty())
        dlg.setDirectory(FromL(local));
    if (!panel.DefaultName().IsEmpty()) dlg.selectFile(FromL(panel.DefaultName()));

    auto* filter = new PanelFilter(panel);
    filter->setParent(&dlg);
    const CFileTypeList* types = panel.Types();
    auto applySuffix = [&] {
        const auto& allowed = panel.Allowed();
        if (panel.GetKind() == CFilePanel::kSave)
            dlg.setDefaultSuffix(allowed.size() == 1 ? FromL(allowed[0]) : QString());
    };
    // The accessory frame (with the type pop-up) goes below the dialog's own
    // rows; without one the dialog's filter box chooses the type.
    LEmbeddedPane* accessory = panel.BuildAccessory(&dlg, [&] {
        applySuffix();
        filter->Refresh();
    });
    if (auto* grid = qobject_cast<QGridLayout*>(dlg.layout()); accessory && grid)
        grid->addWidget(static_cast<QWidget*>(accessory->View()), grid->rowCount(), 0, 1, -1);
    if (!accessory && types && types->Count() && panel.GetKind() != CFilePanel::kFolder) {
        QStringList names;
        for (u32 i = 0; i < types->Count(); ++i) {
            LString name;
            // "(*)": the dialog's own filter lets everything through to the proxy.
            names << FromL(types->GetName(&name, i)) + QStringLiteral(" (*)");
        }
        dlg.setNameFilters(names);
        if (panel.SelectedEntry() >= 0) dlg.selectNameFilter(names[panel.SelectedEntry()]);
        QObject::connect(&dlg, &QFileDialog::filterSelected, &dlg, [&, names](const QString& f) {
            const qsizetype i = names.indexOf(f);
            if (i >= 0) panel.ApplyChoice(u32(i));
            applySuffix();
            filter->Refresh();
        });
    }
    applySuffix();
    dlg.setProxyModel(filter);

    QFileDialog* outer = sRunning;
    sRunning = &dlg;
    const bool ok = dlg.exec() == QDialog::Accepted && !dlg.selectedFiles().isEmpty();
    sRunning = outer;
    panel.DropAccessory();  // its view lives in the dialog
    LString url;
    if (ok) PosixPathToFileUrl(&url, ToL(dlg.selectedFiles().first()));
    panel.SetResult(ok, url);
}
