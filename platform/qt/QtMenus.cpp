#include "platform/qt/QtMenus.h"

#include <QApplication>
#include <QCursor>
#include <QIcon>
#include <QPixmap>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

#include "framework/CMainLoop.h"
#include "platform/qt/QtDrawing.h"
#include "platform/qt/QtWindows.h"

namespace {
QtMenuServices* sInstance = nullptr;

QString FromL(const LString& s) {
    return QString::fromUtf8(s.CStr(), qsizetype(s.Length()));
}

QAction* ActionAt(QMenu* menu, u32 index) {
    const QList<QAction*> actions = menu->actions();
    return index < u32(actions.size()) ? actions[qsizetype(index)] : nullptr;
}
}  // namespace

QtMenuServices::QtMenuServices() {
    sInstance = this;
    InstallMenuServices(this);
}

QtMenuServices::~QtMenuServices() {
    InstallMenuServices(nullptr);
    for (const QPointer<QMenuBar>& bar : fWindowBars) {
        if (bar) bar->clear();
    }
    for (MenuRec& r : fMenus) delete r.qmenu;
    if (sInstance == this) sInstance = nullptr;
}

QtMenuServices* QtMenuServices::Instance() {
    return sInstance;
}

static QString& OwnAppName() {
    static QString name;
    return name;
}

void QtMenuServices::SetAppName(const QString& name) {
    OwnAppName() = name;
}

QString QtMenuServices::AppName() {
    if (!OwnAppName().isEmpty()) return OwnAppName();
    QString name = QGuiApplication::applicationDisplayName();
    if (name.isEmpty()) name = QCoreApplication::applicationName();
    return name.isEmpty() ? QStringLiteral("App") : name;
}

QString QtMenuServices::KeyText(const LMenuItem& item) {
    if (!item.fHasKey) return QString();
    return KeyText(item.fKeyChar, item.fModifiers);
}

bool QtMenuServices::KeyDisplayText(u32 ch, u32 itemModifiers, LString* out) {
    const QString text = KeyText(ch, itemModifiers);
    *out = LString(text.toUtf8().constData());
    return !text.isEmpty();
}

QString QtMenuServices::KeyText(u32 ch, u32 itemModifiers) {
    if (ch < 32 || ch > 126) return QString();
    QString text;
    if (!(itemModifiers & kItemNoCommand)) text += QStringLiteral("Ctrl+");
    if (itemModifiers & kItemOption) text += QStringLiteral("Alt+");
    if (itemModifiers & kItemControl) text += QStringLiteral("Meta+");
    if (itemModifiers & kItemShift) text += QStringLiteral("Shift+");
    const char c = char(ch);
    if (c == ' ')
        text += QStringLiteral("Space");
    else
        text += QChar(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return text;
}

QString QtMenuServices::ItemText(const LMenuItem& item, bool appMenu) {
    QString title = FromL(item.fTitle);
    if (appMenu) title.replace(QStringLiteral("%0"), AppName());
    // A lone & would become a mnemonic.
    title.replace(u'&', QStringLiteral("&&"));
    const QString key = KeyText(item);
    return key.isEmpty() ? title : title + u'\t' + key;
}

QtMenuServices::MenuRec* QtMenuServices::Find(QMenu* qmenu) {
    for (MenuRec& r : fMenus) {
        if (r.qmenu == qmenu) return &r;
    }
    return nullptr;
}

QAction* QtMenuServices::QuitAction(QMenu* menu) const {
    for (const MenuRec& r : fMenus) {
        if (r.qmenu == menu) return r.quit;
    }
    return nullptr;
}

void QtMenuServices::SetQuitHandler(void (*quit)()) {
    fQuit = quit;
}

LNativeMenu QtMenuServices::NewMenu(LMenu* menu, const LString& title, bool appMenu) {
    auto* qmenu = new QMenu(appMenu ? AppName() : FromL(title));
    MenuRec rec{qmenu, menu, appMenu, nullptr};
    if (appMenu) {
        // The platform's own Quit ends the application menu; the framework's
        // Quit item stays without a native item and decides its enabling.
        rec.quit =
            qmenu->addAction(QStringLiteral("Quit ") + AppName() + QStringLiteral("\tCtrl+q"));
        connect(rec.quit, &QAction::triggered, this, [this] {
            if (fPopping) return;
            if (fQuit)
                fQuit();
            else if (CMainLoop* loop = CMainLoop::Current())
                loop->RequestQuit();
        });
    }
    connect(qmenu, &QMenu::aboutToShow, this, [this, qmenu] { Validate(qmenu); });
    fMenus.push_back(rec);
    return qmenu;
}

void QtMenuServices::ReleaseMenu(LNativeMenu menu) {
    auto* qmenu = static_cast<QMenu*>(menu);
    RemoveBarMenu(qmenu);
    for (size_t i = 0; i < fMenus.size(); ++i) {
        if (fMenus[i].qmenu == qmenu) {
            fMenus.erase(fMenus.begin() + long(i));
            break;
        }
    }
    delete qmenu;
}

void QtMenuServices::InsertItem(LNativeMenu menu, u32 index, LMenuItem* item) {
    auto* qmenu = static_cast<QMenu*>(menu);
    MenuRec* rec = Find(qmenu);
    auto* action = new QAction(ItemText(*item, rec && rec->app), qmenu);
    if (item->IsSeparator()) action->setSeparator(true);
    connect(action, &QAction::triggered, this, [this, action] { Choose(action); });
    qmenu->insertAction(ActionAt(qmenu, index), action);
}

void QtMenuServices::RemoveItem(LNativeMenu menu, u32 index) {
    auto* qmenu = static_cast<QMenu*>(menu);
    QAction* action = ActionAt(qmenu, index);
    MenuRec* rec = Find(qmenu);
    if (!action || (rec && action == rec->quit)) return;
    qmenu->removeAction(action);
    delete action;
}

void QtMenuServices::UpdateItem(LNativeMenu menu, u32 index, const LMenuItem& item) {
    auto* qmenu = static_cast<QMenu*>(menu);
    QAction* action = ActionAt(qmenu, index);
    MenuRec* rec = Find(qmenu);
    if (!action || (rec && action == rec->quit)) return;
    // In place: the item keeps its position whether it shows as a separator or not.
    action->setSeparator(item.IsSeparator());
    if (item.IsSeparator()) return;
    action->setText(ItemText(item, rec && rec->app));
    // Bridged edit commands are the text widget's, whatever the framework says.
    action->setEnabled(item.fEnabled != 0 || action->property("kevoEditOp").toInt() != 0);
    QMenu* sub = item.fSubmenu ? static_cast<QMenu*>(item.fSubmenu->fNative) : nullptr;
    if (action->menu() != sub) action->setMenu(sub);
    action->setCheckable(item.fChecked != 0);
    action->setChecked(item.fChecked != 0);
    void* native = nullptr;
    auto* image = item.fImage && item.fImage->GetNativeImage(&native)
                      ? dynamic_cast<QtImage*>(static_cast<LNativeImage*>(native))
                      : nullptr;
    action->setIcon(image ? QIcon(QPixmap::fromImage(image->fImage)) : QIcon());
}

void QtMenuServices::ValidateExtraItems(LNativeMenu menu, u32 first) {
    auto* qmenu = static_cast<QMenu*>(menu);
    MenuRec* rec = Find(qmenu);
    const QList<QAction*> actions = qmenu->actions();
    for (qsizetype i = qsizetype(first); i < actions.size(); ++i) {
        QAction* a = actions[i];
        if (rec && a == rec->quit) {
            a->setEnabled(CMainLoop::IsQuitEnabled());
            // Titled and keyed as the framework's own Quit item, which has no native item.
            for (u32 n = 0; rec->menu && n < rec->menu->CountItems(); ++n) {
                const LMenuItem* q = rec->menu->ItemAt(n);
                if (q->HasCommand(LStdCmd_Quit) && !q->IsSeparator())
                    a->setText(ItemText(*q, true));
            }
        } else if (!a->isSeparator())
            a->setEnabled(true);
    }
}

void QtMenuServices::InsertBarMenu(LNativeMenu menu, LNativeMenu before) {
    auto* qmenu = static_cast<QMenu*>(menu);
    RemoveBarMenu(qmenu);
    auto at = fBar.end();
    for (auto it = fBar.begin(); it != fBar.end(); ++it) {
        if (*it == before) at = it;
    }
    fBar.insert(at, qmenu);
    MirrorBars();
}

void QtMenuServices::InsertBarMenuAt(LNativeMenu menu, i32 position) {
    if (position < 0) return;
    auto* qmenu = static_cast<QMenu*>(menu);
    RemoveBarMenu(qmenu);
    const size_t at = position == 0 ? fBar.size() : std::min(size_t(position - 1), fBar.size());
    fBar.insert(fBar.begin() + long(at), qmenu);
    MirrorBars();
}

void QtMenuServices::RemoveBarMenu(LNativeMenu menu) {
    for (size_t i = 0; i < fBar.size(); ++i) {
        if (fBar[i] == menu) {
            fBar.erase(fBar.begin() + long(i));
            MirrorBars();
            return;
        }
    }
}

void QtMenuServices::MirrorBars() {
    // One bar per window: the current bar is what the active window shows (with
    // its own menus merged in while it is active); the others keep what they
    // showed when they were last active, and pick the bar up again when they
    // are activated (their menus merge in and come back here).
    QWidget* active = QApplication::activeWindow();
    for (size_t i = 0; i < fWindowBars.size();) {
        QMenuBar* bar = fWindowBars[i];
        if (!bar) {
            fWindowBars.erase(fWindowBars.begin() + long(i));
            continue;
        }
        ++i;
        if (active && bar->window() != active) continue;
        if (!active && bar->window()->isVisible()) continue;
        FillBar(bar);
    }
}

void QtMenuServices::FillBar(QMenuBar* bar) {
    const QList<QAction*> shown = bar->actions();
    bool same = shown.size() == qsizetype(fBar.size());
    for (size_t i = 0; same && i < fBar.size(); ++i)
        same = shown[qsizetype(i)] == fBar[i]->menuAction();
    if (!same) {
        bar->clear();
        for (QMenu* m : fBar) bar->addMenu(m);
    }
    // A narrow window would fold its titles behind the bar's extension button.
    if (auto* window = dynamic_cast<MWindow*>(bar->window()))
        window->WidenForBar(bar->sizeHint().width());
}

QMenuBar* QtMenuServices::NewWindowMenuBar(QWidget* parent) {
    auto* bar = new QMenuBar(parent);
    bar->setNativeMenuBar(false);
    fWindowBars.push_back(bar);
    FillBar(bar);
    return bar;
}

void QtMenuServices::Validate(QMenu* qmenu) {
    // Submenus are brought up to date with their top-level menu.
    if (!std::count(fBar.begin(), fBar.end(), qmenu) || fPopping) return;
    LMenuBar* bar = LMenuBar::Current();
    if (!bar) return;
    if (CMainLoop* loop = CMainLoop::Current()) {
        loop->ValidateMenus();
    } else {
        bar->ResetItemStates();
        LHandler::Send(LMenuBar_Ready, bar, bar);
    }
    bar->SyncAll();
}

void QtMenuServices::Choose(QAction* action) {
    if (fPopping) return;
    const int op = action->property("kevoEditOp").toInt();
    if (op != kEditOpNone) {
        QtPerformEditOp(op);
        return;
    }
    auto* qmenu = qobject_cast<QMenu*>(action->parent());
    LMenuBar* bar = LMenuBar::Current();
    if (!qmenu || !bar) return;
    LNativeItem native{qmenu, u32(qmenu->actions().indexOf(action))};
    LMenuItem* item = bar->ItemChosen(native);
    if (!item) return;
    CMainLoop* loop = CMainLoop::Current();
    LHandler* target = loop ? FindMenuTarget(loop) : nullptr;
    LHandler::Send(LMenuItem_Selected, item, target ? target : static_cast<LHandler*>(bar));
}

bool QtMenuServices::PopUpMenu(LNativeMenu menu, LNativeItem* chosen) {
    auto* qmenu = static_cast<QMenu*>(menu);
    fPopping = true;
    QAction* action = qmenu->exec(QCursor::pos());
    fPopping = false;
    auto* owner = action ? qobject_cast<QMenu*>(action->parent()) : nullptr;
    if (!owner || action->menu()) return false;
    chosen->menu = owner;
    chosen->index = u32(owner->actions().indexOf(action));
    return true;
}

// ---------------------------------------------------------------- edit bridge

bool QtPerformEditOp(int op) {
    QWidget* w = QApplication::focusWidget();
    if (auto* line = qobject_cast<QLineEdit*>(w)) {
        switch (op) {
            case kEditOpUndo:
                line->undo();
                break;
            case kEditOpRedo:
                line->redo();
                break;
            case kEditOpCut:
                line->cut();
                break;
            case kEditOpCopy:
                line->copy();
                break;
            case kEditOpPaste:
                line->paste();
                break;
            case kEditOpDelete:
                line->del();
                break;
            default:
                return false;
        }
        return true;
    }
    auto edit = [op](auto* e) {
        switch (op) {
            case kEditOpUndo:
                e->undo();
                break;
            case kEditOpRedo:
                e->redo();
                break;
            case kEditOpCut:
                e->cut();
                break;
            case kEditOpCopy:
                e->copy();
                break;
            case kEditOpPaste:
                e->paste();
                break;
            case kEditOpDelete:
                e->textCursor().removeSelectedText();
                break;
            default:
                return false;
        }
        return true;
    };
    if (auto* text = qobject_cast<QTextEdit*>(w)) return edit(text);
    if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) return edit(plain);
    return false;
}

namespace {
std::vector<QPointer<QAction>> sBridged;
}  // namespace

bool QtPerformBridgedKey(const QKeyEvent& e) {
    const int key = e.key();
    if (sBridged.empty() || !(e.modifiers() & Qt::ControlModifier) || key < 0x20 || key > 0x7E)
        return false;
    QString text = QStringLiteral("Ctrl+");
    if (e.modifiers() & Qt::AltModifier) text += QStringLiteral("Alt+");
    if (e.modifiers() & Qt::MetaModifier) text += QStringLiteral("Meta+");
    if (e.modifiers() & Qt::ShiftModifier) text += QStringLiteral("Shift+");
    text += QChar(key).toLower();
    for (const QPointer<QAction>& a : sBridged) {
        if (a && a->text().section(u'\t', 1) == text)
            return QtPerformEditOp(a->property("kevoEditOp").toInt());
    }
    return false;
}

CEditMenuBridge::CEditMenuBridge() {
    LMenuBar* bar = LMenuBar::Current();
    LMenu* edit = bar ? bar->FindMenu("EDIT") : nullptr;
    QtMenuServices* services = QtMenuServices::Instance();
    if (!edit || !edit->fNative || !services) return;
    static const struct {
        const char* command;
        int op;
    } kOps[] = {{LStdCmd_Undo, kEditOpUndo},   {LStdCmd_Redo, kEditOpRedo},
                {LStdCmd_Cut, kEditOpCut},     {LStdCmd_Copy, kEditOpCopy},
                {LStdCmd_Paste, kEditOpPaste}, {LStdCmd_Delete, kEditOpDelete}};
    auto* qmenu = static_cast<QMenu*>(edit->fNative);
    for (const auto& k : kOps) {
        for (u32 i = 0; i < edit->CountItems(); ++i) {
            if (!edit->ItemAt(i)->HasCommand(k.command)) continue;
            QAction* action = ActionAt(qmenu, edit->fFirstNative + i);
            if (action) {
                services->SetBridged(action, k.op);
                action->setEnabled(true);
                fSaved.push_back(action);
                sBridged.push_back(action);
            }
            break;
        }
    }
}

CEditMenuBridge::~CEditMenuBridge() {
    QtMenuServices* services = QtMenuServices::Instance();
    for (const QPointer<QAction>& a : fSaved) {
        if (a && services) services->SetBridged(a, kEditOpNone);
        for (size_t i = sBridged.size(); i-- > 0;) {
            if (sBridged[i] == a) sBridged.erase(sBridged.begin() + long(i));
        }
    }
}
