// The menus as data: one table per menu of (caption, command, key, picture,
// where the main window keeps the item), so the Japanese captions stand in
// one reviewable place. Every command runs inside the guard. The window menu
// also lists the open windows.
#include "shell/Main.h"

#include "browser/ChildForm.h"
#include "platform/Look.h"
#include "platform/UiServices.h"
#include "shell/BarLayout.h"
#include "shell/MenuText.h"
#include "shell/SleepPolicy.h"
#include "shell/TabStrip.h"

#include <QAction>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <functional>
#include <initializer_list>
#include <utility>

namespace orvex {

namespace {

// One item of a menu: its caption, its command, its key, its picture (an
// index into the main window's pictures, -1 for none), where the main window
// keeps it, and whether it carries a check mark.
struct MenuItem {
    MenuItem() = default; // a separator
    MenuItem(const char *caption, std::function<void(TMainForm &)> command, QKeySequence key = {},
             int picture = -1, QAction **keep = nullptr, bool checkable = false)
        : caption(caption), command(std::move(command)), key(std::move(key)), picture(picture), keep(keep),
          checkable(checkable)
    {
    }

    const char *caption = nullptr;
    std::function<void(TMainForm &)> command;
    QKeySequence key;
    int picture = -1;
    QAction **keep = nullptr;
    bool checkable = false;
};

const MenuItem kSeparator;
const QKeySequence kNoKey;

constexpr int Pic(Picture picture)
{
    return static_cast<int>(picture);
}

void AddItems(TMainForm &form, QMenu *menu, std::initializer_list<MenuItem> items)
{
    for (const MenuItem &item : items) {
        if (!item.caption) {
            menu->addSeparator();
            continue;
        }
        QAction *action = menu->addAction(QString::fromUtf8(item.caption));
        action->setShortcut(item.key);
        action->setCheckable(item.checkable);
        if (item.picture >= 0)
            action->setIcon(form.Image(static_cast<Picture>(item.picture)));
        QObject::connect(action, &QAction::triggered, &form,
                         Guard([&form, command = item.command] { command(form); }));
        if (item.keep)
            *item.keep = action;
    }
}

} // namespace

void TMainForm::BuildMenus()
{
    QMenuBar *bar = menuBar();

    menu_.mnuFile = bar->addMenu(QStringLiteral("ファイル(&F)"));
    AddItems(*this, menu_.mnuFile->addMenu(QStringLiteral("新規作成(&N)")),
             {
                 {"&空白", &TMainForm::FileNew1Execute, Qt::CTRL | Qt::Key_N, Pic(Picture::NewPage)},
                 {"クリップボード(&C)", &TMainForm::mnuNew_CilpClick},
             });
    AddItems(*this, menu_.mnuFile,
             {
                 {"開く(&O)...", &TMainForm::FileOpen1Execute, Qt::CTRL | Qt::Key_O, Pic(Picture::Open)},
                 {"閉じる(&C)", &TMainForm::mnuFile_CloseClick, kNoKey, -1, &menu_.mnuFile_Close},
                 {"名前をつけて保存(&A)...", &TMainForm::mnuFile_SaveAsClick, kNoKey, Pic(Picture::Save),
                  &indicators_.mnuFile_SaveAs},
                 {"印刷(&P)...", &TMainForm::mnuFile_PrintClick, Qt::CTRL | Qt::Key_P, -1,
                  &indicators_.mnuFile_Print},
                 kSeparator,
             });
    // Filled from the recently closed list each time it opens.
    menu_.mnuLeastURL = menu_.mnuFile->addMenu(QStringLiteral("最近閉じたURL(&E)"));
    menu_.mnuLeastURL_Child = menu_.mnuLeastURL->addAction(QString());
    connect(menu_.mnuLeastURL, &QMenu::aboutToShow, this, Guard([this] { mnuLeastURLClick(); }));
    AddItems(*this, menu_.mnuFile,
             {
                 kSeparator,
                 {"終了(&X)", [](TMainForm &form) { form.close(); }},
             });

    menu_.mnuEdit = bar->addMenu(QStringLiteral("編集(&E)"));
    AddItems(*this, menu_.mnuEdit,
             {
                 {"コピー(&P)", &TMainForm::mnuEdit_CopyClick, kNoKey, Pic(Picture::Copy),
                  &indicators_.mnuEdit_Copy},
                 kSeparator,
                 {"全て選択(&A)", &TMainForm::mnuEdit_slrAllClick, Qt::CTRL | Qt::Key_A,
                  Pic(Picture::SelectAll), &indicators_.mnuEdit_slrAll},
                 kSeparator,
                 {"このページの検索(&F)...", &TMainForm::mnuEdit_FindClick, Qt::CTRL | Qt::Key_F, -1,
                  &indicators_.mnuEdit_Find},
             });

    menu_.mnuShow = bar->addMenu(QStringLiteral("表示(&V)"));
    AddItems(
        *this, menu_.mnuShow->addMenu(QStringLiteral("ツールバー(&T)")),
        {
            {"標準", [](TMainForm &f) { f.bars_->ToggleView(0); }, kNoKey, -1, &menu_.mnuShow_default, true},
            {"アドレスバー", [](TMainForm &f) { f.bars_->ToggleView(1); }, kNoKey, -1, &menu_.mnuShow_Address,
             true},
            {"ステータスバー", [](TMainForm &f) { f.bars_->ToggleView(2); }, kNoKey, -1,
             &menu_.mnuShow_Status, true},
            {"タブバー", [](TMainForm &f) { f.bars_->ToggleView(3); }, kNoKey, -1, &menu_.mnuShow_Tab, true},
            {"Jバー", [](TMainForm &f) { f.bars_->ToggleView(4); }, kNoKey, -1, &menu_.mnuShow_J, true},
        });
    for (QAction *item : {menu_.mnuShow_default, menu_.mnuShow_Address, menu_.mnuShow_Status,
                          menu_.mnuShow_Tab, menu_.mnuShow_J})
        item->setChecked(true);
    const BarWidgets &bars = bars_->Widgets();
    bars_->SetViewToggles({{{menu_.mnuShow_default, bars.ToolBar2},
                            {menu_.mnuShow_Address, bars.ToolBar3},
                            {menu_.mnuShow_Status, bars.ToolBar1},
                            {menu_.mnuShow_Tab, tabs_->Bar()},
                            {menu_.mnuShow_J, bars.JBar}}});
    menu_.mnuShow->addSeparator();
    // The buttons of the "標準" bar are the items here (BuildBars).
    QMenu *mnuGo = menu_.mnuShow->addMenu(QStringLiteral("移動(&O)"));
    mnuGo->addAction(indicators_.BackCtrl);
    mnuGo->addAction(indicators_.FrwrdCtrl);
    menu_.mnuShow->addAction(indicators_.StopCtrl);
    menu_.mnuShow->addAction(indicators_.ReLoadCtrl);
    menu_.mnuShow->addSeparator();
    menu_.mnuSize = menu_.mnuShow->addMenu(QStringLiteral("文字サイズ"));
    indicators_.mnuShow_Size = menu_.mnuSize->menuAction();
    const auto textSize = [](int size) { return [size](TMainForm &form) { form.SetTextSize(size); }; };
    AddItems(*this, menu_.mnuSize,
             {
                 {"最大(&B)", textSize(4), kNoKey, -1, &menu_.mnuSize_Max, true},
                 {"大(&L)", textSize(3), kNoKey, -1, &menu_.mnuSize_Large, true},
                 {"中(&M)", textSize(2), kNoKey, -1, &menu_.mnuSize_middle, true},
                 {"小(&S)", textSize(1), kNoKey, -1, &menu_.mnuSize_Small, true},
                 {"最小(A)", textSize(0), kNoKey, -1, &menu_.mnuSize_Min, true},
             });
    AddItems(*this, menu_.mnuShow,
             {
                 kSeparator,
                 {"履歴(&H)", &TMainForm::mnuHistoryClick, Qt::CTRL | Qt::Key_H, -1, &mnuShow_History, true},
             });

    menu_.mnuBookMark = bar->addMenu(QStringLiteral("ブックマーク(&B)"));
    AddItems(*this, menu_.mnuBookMark,
             {
                 {"ブックマークに追加(&A)", &TMainForm::popAddBookMarkClick, Qt::CTRL | Qt::Key_D},
                 {"ブックマークを編集(&E)", &TMainForm::mnuBMEditClick, kNoKey, -1, &menu_.mnuBMEdit},
                 kSeparator,
             });

    menu_.mnuWebList = bar->addMenu(QStringLiteral("Webリスト(&L)"));
    AddItems(
        *this, menu_.mnuWebList,
        {
            {"Webリストを編集(&E)", &TMainForm::mnuWebList_EditClick, kNoKey, -1, &menu_.mnuWebList_Edit},
            kSeparator,
        });

    QMenu *mnuTool = bar->addMenu(QStringLiteral("ツール(&T)"));
    AddItems(*this, mnuTool->addMenu(QStringLiteral("エンジン")),
             {
                 {"Internet Explorer", &TMainForm::IE_ItemClick, kNoKey, -1, &menu_.IE_item, true},
                 {"Gekko", &TMainForm::Moz_ItemClick, kNoKey, -1, &menu_.Moz_Item, true},
             });
    AddItems(
        *this, mnuTool,
        {
            {"閲覧データの消去(&D)...", &TMainForm::mnuClearDataClick, Qt::CTRL | Qt::SHIFT | Qt::Key_Delete},
            {"オプション", &TMainForm::mnuOptionClick, Qt::Key_F12, Pic(Picture::Options)},
        });

    menu_.mnuWindow = bar->addMenu(QStringLiteral("ウィンドウ(&W)"));
    QAction *windowItems[5] = {};
    AddItems(*this, menu_.mnuWindow,
             {
                 {"重ねて表示(&C)", [](TMainForm &form) { form.mdiArea->cascadeSubWindows(); }, kNoKey, -1,
                  &windowItems[0]},
                 {"水平に並べて表示(&H)", [](TMainForm &form) { form.TileWindows(true); }, kNoKey, -1,
                  &windowItems[1]},
                 {"垂直に並べて表示(&V)", [](TMainForm &form) { form.TileWindows(false); }, kNoKey, -1,
                  &windowItems[2]},
                 {"すべてを最小化(&M)", &TMainForm::MinimizeAll, kNoKey, -1, &windowItems[3]},
                 {"アイコンの整列(&A)", &TMainForm::ArrangeIcons, kNoKey, -1, &windowItems[4]},
             });
    menu_.windowCommands = QList<QAction *>(std::begin(windowItems), std::end(windowItems));
    connect(menu_.mnuWindow, &QMenu::aboutToShow, this, Guard([this] { RebuildWindowList(); }));

    AddItems(*this, bar->addMenu(QStringLiteral("ヘルプ(&H)")),
             {
                 {"バージョン情報(&A)...", &TMainForm::HelpAbout1Execute, kNoKey, Pic(Picture::Help)},
             });

    // The tab bar's menu.
    QMenu *tabPopup = tabs_->Popup();
    AddItems(*this, tabPopup->addMenu(QStringLiteral("追加")),
             {
                 {"CloseURＬに追加", &TMainForm::popAddCloseClick},
                 {"ブックマークに追加(&A)", &TMainForm::popAddBookMarkClick},
             });
    tabPopup->addSeparator();
    AddItems(*this, tabPopup->addMenu(QStringLiteral("&全て閉じる")),
             {
                 {"全て閉じる(&L)", &TMainForm::mnu_AllCloseClick},
                 {"これ以外を全て閉じる(&M)", &TMainForm::mnu_AllCloseNotMeClick},
             });
    AddItems(*this, tabPopup,
             {
                 {"閉じる(&C)", &TMainForm::popTabCloseClick},
             });
    sleep_->AddKeepItem(tabPopup, [this] { return tabs_->PopupTab(); });

    AddKeyCommands();
    UpdateChildCommands();
}

// Keys without a menu item: the tab keys of every browser, and more keys
// for commands that have one. They act wherever the focus is in the window.
void TMainForm::AddKeyCommands()
{
    const auto tabAt = [](int index) { return [index](TMainForm &form) { form.tabs_->SelectTabAt(index); }; };
    const auto step = [](int steps) { return [steps](TMainForm &form) { form.tabs_->SelectTabBy(steps); }; };
    const auto zoom = [](int steps) { return [steps](TMainForm &form) { form.ZoomPage(steps); }; };
    const std::pair<std::function<void(TMainForm &)>, QList<QKeySequence>> keys[] = {
        {&TMainForm::NewTabKey, {Qt::CTRL | Qt::Key_T}},
        {&TMainForm::mnuFile_CloseClick, {Qt::CTRL | Qt::Key_W}},
        {&TMainForm::ReopenClosed, {Qt::CTRL | Qt::SHIFT | Qt::Key_T}},
        {step(1), {Qt::CTRL | Qt::Key_Tab, Qt::CTRL | Qt::Key_PageDown}},
        {step(-1),
         {Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab, Qt::CTRL | Qt::SHIFT | Qt::Key_Tab,
          Qt::CTRL | Qt::Key_PageUp}},
        {tabAt(0), {Qt::ALT | Qt::Key_1}},
        {tabAt(1), {Qt::ALT | Qt::Key_2}},
        {tabAt(2), {Qt::ALT | Qt::Key_3}},
        {tabAt(3), {Qt::ALT | Qt::Key_4}},
        {tabAt(4), {Qt::ALT | Qt::Key_5}},
        {tabAt(5), {Qt::ALT | Qt::Key_6}},
        {tabAt(6), {Qt::ALT | Qt::Key_7}},
        {tabAt(7), {Qt::ALT | Qt::Key_8}},
        {tabAt(-1), {Qt::ALT | Qt::Key_9}},
        {[](TMainForm &form) { form.bars_->FocusAddress(); },
         {Qt::CTRL | Qt::Key_L, Qt::ALT | Qt::Key_D, Qt::Key_F6}},
        // "+" takes Shift on most keyboards, ";" is its key on Japanese ones.
        {zoom(1),
         {Qt::CTRL | Qt::Key_Plus, Qt::CTRL | Qt::SHIFT | Qt::Key_Plus, Qt::CTRL | Qt::Key_Equal,
          Qt::CTRL | Qt::Key_Semicolon}},
        {zoom(-1), {Qt::CTRL | Qt::Key_Minus}},
        {zoom(0), {Qt::CTRL | Qt::Key_0}},
    };
    for (const auto &[command, sequences] : keys) {
        auto *action = new QAction(this);
        action->setShortcuts(sequences);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, Guard([this, command = command] { command(*this); }));
        addAction(action);
        keyCommands_.push_back(action);
    }
}

void TMainForm::UpdateChildCommands()
{
    const bool any = ChildCount() > 0;
    menu_.mnuFile_Close->setEnabled(any);
    for (QAction *action : menu_.windowCommands)
        action->setEnabled(any);
}

void TMainForm::RebuildWindowList()
{
    // The window system appends the open child windows to the window menu.
    for (QAction *action : menu_.mnuWindow->actions())
        if (!menu_.windowCommands.contains(action))
            menu_.mnuWindow->removeAction(action), action->deleteLater();
    const std::vector<TChildForm *> children = Children();
    if (children.empty())
        return;
    menu_.mnuWindow->addSeparator();
    int n = 1;
    TChildForm *active = ActiveChild();
    for (TChildForm *child : children) {
        QAction *item =
            menu_.mnuWindow->addAction(QStringLiteral("&%1 %2").arg(n++).arg(MenuLiteral(child->Caption())));
        item->setCheckable(true);
        item->setChecked(child == active);
        connect(item, &QAction::triggered, this, Guard([this, child] {
                    if (windows_.IndexOfChild(child) >= 0)
                        mdiArea->setActiveSubWindow(child);
                }));
    }
}

void TMainForm::TileWindows(bool horizontal)
{
    // Tile in rows (horizontal) or columns (vertical), as the window system does.
    std::vector<TChildForm *> visible;
    for (TChildForm *child : Children())
        if (!child->isMinimized())
            visible.push_back(child);
    if (visible.empty())
        return;
    const QRect area = mdiArea->viewport()->rect();
    const int n = static_cast<int>(visible.size());
    for (int i = 0; i < n; ++i) {
        TChildForm *child = visible[i];
        child->showNormal();
        if (horizontal)
            child->setGeometry(0, area.height() * i / n, area.width(), area.height() / n);
        else
            child->setGeometry(area.width() * i / n, 0, area.width() / n, area.height());
    }
}

void TMainForm::ArrangeIcons()
{
    int x = 0;
    const int bottom = mdiArea->viewport()->height();
    for (TChildForm *child : Children()) {
        if (!child->isMinimized())
            continue;
        child->move(x, bottom - child->height());
        x += child->width();
    }
}

void TMainForm::MinimizeAll()
{
    for (TChildForm *child : Children())
        child->showMinimized();
}

void TMainForm::mnuFile_CloseClick()
{
    if (TChildForm *child = ActiveChild())
        child->CloseWindow();
}

} // namespace orvex
