#include "shell/Main.h"

#include "bookmarks/EditWebList.h"
#include "browser/ChildForm.h"
#include "browser/Downloads.h"
#include "browser/FindBar.h"
#include "browser/untTab.h"
#include "platform/Errors.h"
#include "platform/FileIO.h"
#include "platform/FolderClaim.h"
#include "platform/LineList.h"
#include "platform/ProfileFile.h"
#include "platform/ProgramFolder.h"
#include "platform/UiServices.h"
#include "platform/UiTexts.h"
#include "settings/ColorText.h"
#include "settings/Option.h"
#include "shell/MenuText.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWindow>

namespace orvex {

TMainForm::TMainForm(const QStringList &params, QWidget *parent) : QMainWindow(parent), params_(params)
{
    SetMainLink(this);
    setWindowTitle(QStringLiteral("Orvex"));
    // The bars are shown and hidden from the View menu only.
    setContextMenuPolicy(Qt::PreventContextMenu);
    BuildImages();
    BuildBars();
    BuildMenus();
    FormCreate();
}

TMainForm::~TMainForm()
{
    closing_ = true; // the windows going with it report nothing back
    DiscardWindows();
    if (Main() == this)
        SetMainLink(nullptr);
}

// ---------------------------------------------------------------------------
// Pictures: fourteen 16x16 images shared by the buttons and menus.

QIcon TMainForm::Image(int index) const
{
    return index >= 0 && index < images_.size() ? images_[index] : QIcon();
}

void TMainForm::BuildImages()
{
    auto make = [](const std::function<void(QPainter &)> &draw) {
        QPixmap pixmap(16, 16);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        draw(p);
        return QIcon(pixmap);
    };
    auto page = [](QPainter &p, int dx, int dy, QColor fill) {
        QPolygon sheet({QPoint(3 + dx, 1 + dy), QPoint(10 + dx, 1 + dy), QPoint(13 + dx, 4 + dy),
                        QPoint(13 + dx, 14 + dy), QPoint(3 + dx, 14 + dy)});
        p.setPen(QColor(60, 60, 60));
        p.setBrush(fill);
        p.drawPolygon(sheet);
    };
    auto arrow = [](QPainter &p, bool left, QColor color) {
        QPolygon a = left ? QPolygon({QPoint(1, 8), QPoint(8, 2), QPoint(8, 5), QPoint(14, 5), QPoint(14, 11),
                                      QPoint(8, 11), QPoint(8, 14)})
                          : QPolygon({QPoint(15, 8), QPoint(8, 2), QPoint(8, 5), QPoint(2, 5), QPoint(2, 11),
                                      QPoint(8, 11), QPoint(8, 14)});
        p.setPen(color.darker(150));
        p.setBrush(color);
        p.drawPolygon(a);
    };
    images_.clear();
    images_ << make([&](QPainter &p) { page(p, 0, 0, Qt::white); });             // 0 new page
    images_ << make([&](QPainter &p) { arrow(p, true, QColor(40, 150, 60)); });  // 1 back
    images_ << make([&](QPainter &p) { arrow(p, false, QColor(40, 150, 60)); }); // 2 forward
    images_ << make([](QPainter &p) {                                            // 3 stop
        p.setPen(QColor(120, 0, 0));
        p.setBrush(QColor(210, 30, 30));
        p.drawEllipse(QRect(1, 1, 14, 14));
        p.setPen(QPen(Qt::white, 2));
        p.drawLine(5, 5, 11, 11);
        p.drawLine(11, 5, 5, 11);
    });
    images_ << make([](QPainter &p) { // 4 reload
        p.setPen(QPen(QColor(30, 90, 180), 2));
        p.drawArc(QRect(2, 2, 12, 12), 60 * 16, 280 * 16);
        p.setBrush(QColor(30, 90, 180));
        p.drawPolygon(QPolygon({QPoint(10, 0), QPoint(15, 4), QPoint(9, 6)}));
    });
    images_ << make([&](QPainter &p) {
        page(p, -2, -1, Qt::white);
        page(p, 1, 1, QColor(235, 240, 255));
    });                               // 5 copy
    images_ << make([](QPainter &p) { // 6 select all
        p.setPen(QPen(QColor(30, 90, 180), 1, Qt::DashLine));
        p.setBrush(QColor(200, 220, 255));
        p.drawRect(QRect(1, 1, 13, 13));
    });
    images_ << make([](QPainter &p) { // 7 save
        p.setPen(QColor(20, 20, 80));
        p.setBrush(QColor(60, 80, 170));
        p.drawRect(QRect(1, 1, 13, 13));
        p.setBrush(Qt::white);
        p.drawRect(QRect(4, 2, 7, 5));
    });
    images_ << make([](QPainter &p) { // 8 open
        p.setPen(QColor(120, 90, 10));
        p.setBrush(QColor(240, 200, 80));
        p.drawPolygon(QPolygon(
            {QPoint(1, 4), QPoint(6, 4), QPoint(7, 6), QPoint(14, 6), QPoint(14, 14), QPoint(1, 14)}));
    });
    images_ << make([](QPainter &p) { // 9 options
        p.setPen(QColor(60, 60, 60));
        p.setBrush(QColor(170, 170, 170));
        p.drawEllipse(QRect(2, 2, 12, 12));
        p.setBrush(Qt::white);
        p.drawEllipse(QRect(6, 6, 4, 4));
    });
    images_ << make([](QPainter &p) { // 10 help
        p.setPen(QColor(20, 60, 140));
        p.setBrush(QColor(60, 120, 220));
        p.drawEllipse(QRect(1, 1, 14, 14));
        p.setPen(Qt::white);
        QFont f = p.font();
        f.setBold(true);
        f.setPixelSize(11);
        p.setFont(f);
        p.drawText(QRect(1, 1, 14, 14), Qt::AlignCenter, QStringLiteral("?"));
    });
    images_ << make([](QPainter &p) { // 11 folder
        p.setPen(QColor(130, 100, 10));
        p.setBrush(QColor(250, 210, 90));
        p.drawPolygon(QPolygon(
            {QPoint(1, 3), QPoint(6, 3), QPoint(8, 5), QPoint(15, 5), QPoint(15, 14), QPoint(1, 14)}));
    });
    images_ << make([&](QPainter &p) { // 12 web page
        page(p, 0, 0, Qt::white);
        p.setPen(QColor(30, 110, 200));
        p.setBrush(QColor(120, 180, 240));
        p.drawEllipse(QRect(5, 6, 7, 7));
    });
    images_ << make([&](QPainter &p) { // 13 stack of pages
        page(p, -2, -1, QColor(230, 230, 230));
        page(p, 0, 0, QColor(245, 245, 245));
        page(p, 2, 1, Qt::white);
    });
}

// ---------------------------------------------------------------------------
// Bars and controls.

void TMainForm::BuildBars()
{
    // The band bar: two movable bars in the top area, each starting a row.
    ToolBar2 = new TBand(QStringLiteral("標準"), this);
    ToolBar2->setObjectName(QStringLiteral("ToolBar2"));
    ToolBar2->setIconSize(QSize(16, 16));
    ToolBar2->setMinimumHeight(24);
    ToolButton1 = ToolBar2->addAction(Image(0), QStringLiteral("空白"));
    connect(ToolButton1, &QAction::triggered, this, [this] { Guarded([this] { ToolButton1Click(); }); });
    ToolBar2->addSeparator();
    indicators.BackCtrl = ToolBar2->addAction(Image(1), QStringLiteral("戻る"));
    indicators.FrwrdCtrl = ToolBar2->addAction(Image(2), QStringLiteral("進む"));
    indicators.StopCtrl = ToolBar2->addAction(Image(3), QStringLiteral("中止"));
    indicators.ReLoadCtrl = ToolBar2->addAction(Image(4), QStringLiteral("更新"));
    // The buttons double as the View menu's items: caption there, keys, and
    // the button's own name as its tip. A key works while its button is
    // enabled, so it acts on the active window as the button does.
    struct NavItem {
        QAction *action;
        void (TMainForm::*handler)();
        const char *caption;
        QKeySequence key;
    };
    const NavItem nav[] = {
        {indicators.BackCtrl, &TMainForm::BackCtrlClick, "戻る(&B)", QKeySequence(Qt::ALT | Qt::Key_Left)},
        {indicators.FrwrdCtrl, &TMainForm::FrwrdCtrlClick, "進む(&F)", QKeySequence(Qt::ALT | Qt::Key_Right)},
        {indicators.StopCtrl, &TMainForm::StopCtrlClick, "中止(&P)", QKeySequence(Qt::Key_Escape)},
        {indicators.ReLoadCtrl, &TMainForm::ReLoadCtrlClick, "最新の情報に更新(&R)",
         QKeySequence(Qt::Key_F5)},
    };
    for (const auto &[action, handler, caption, key] : nav) {
        action->setToolTip(action->text());
        action->setText(QString::fromUtf8(caption));
        action->setShortcut(key);
        action->setEnabled(false);
        connect(action, &QAction::triggered, this,
                [this, h = handler] { Guarded([this, h] { (this->*h)(); }); });
    }
    addToolBar(Qt::TopToolBarArea, ToolBar2);
    addToolBarBreak(Qt::TopToolBarArea);

    ToolBar3 = new TBand(QStringLiteral("アドレスバー"), this);
    ToolBar3->setObjectName(QStringLiteral("ToolBar3"));
    ToolBar3->setMinimumHeight(24);
    Label1 = new QLabel(QStringLiteral("アドレス"), ToolBar3);
    Label1->setMinimumWidth(44); // wider where the font needs it
    txtAddress = new QLineEdit(ToolBar3);
    txtAddress->setObjectName(QStringLiteral("txtAddress"));
    btnMove = new QPushButton(QStringLiteral("移動"), ToolBar3);
    btnMove->setFixedWidth(41);
    ToolBar3->addWidget(Label1);
    ToolBar3->addWidget(txtAddress);
    ToolBar3->addWidget(btnMove);
    connect(btnMove, &QPushButton::clicked, this, [this] { Guarded([this] { btnMoveClick(); }); });
    connect(txtAddress, &QLineEdit::returnPressed, this,
            [this] { Guarded([this] { txtAddressKeyDown(Qt::Key_Return); }); });
    addToolBar(Qt::TopToolBarArea, ToolBar3);
    for (QToolBar *bar : {ToolBar2, ToolBar3}) {
        bar->setMovable(true);
        bar->setFloatable(false); // a floating bar would have no place among the bands
        bar->setAllowedAreas(Qt::TopToolBarArea);
        bar->installEventFilter(this);
    }

    // Side bar: the bookmark tree and its collapse button.
    JBar = new QWidget;
    JBar->setObjectName(QStringLiteral("JBar"));
    JBar->setCursor(Qt::SizeHorCursor);
    JBar->setFixedWidth(153);
    auto *jbarLayout = new QHBoxLayout(JBar);
    jbarLayout->setContentsMargins(0, 0, 2, 0);
    jbarLayout->setSpacing(0);
    TreeView1 = new QTreeWidget(JBar);
    TreeView1->setObjectName(QStringLiteral("TreeView1"));
    TreeView1->header()->hide();
    TreeView1->setIndentation(19);
    TreeView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TreeView1->setCursor(Qt::ArrowCursor);
    btnBar = new QToolButton(JBar);
    btnBar->setFixedWidth(8);
    btnBar->setCursor(Qt::PointingHandCursor);
    btnBar->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    jbarLayout->addWidget(TreeView1);
    jbarLayout->addWidget(btnBar);
    connect(btnBar, &QToolButton::clicked, this, [this] { Guarded([this] { btnBarClick(); }); });
    connect(TreeView1, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem *node) { Guarded([this, node] { TreeView1Change(node); }); });
    JBar->installEventFilter(this);

    FindBar1 = new TFindBar;

    mdiArea = new QMdiArea;
    mdiArea->setObjectName(QStringLiteral("MDIClient"));
    const uint32_t inactiveCaption = ColorToRgb(0x80000003);
    mdiArea->setBackground(QColor(QRgb(inactiveCaption)));
    connect(mdiArea, &QMdiArea::subWindowActivated, this, &TMainForm::OnSubWindowActivated);

    // Tab bar: 28 px, above the status strip.
    TabBar = new QWidget;
    TabBar->setObjectName(QStringLiteral("TabBar"));
    TabBar->setFixedHeight(28);
    TabControl1 = new TTabControl(TabBar);
    TabControl1->setObjectName(QStringLiteral("TabControl1"));
    TabControl1->SetDrawTab([this](QPainter &p, int index, const QRect &rect, bool active) {
        Guarded([&] { TabControl1DrawTab(p, index, rect, active); });
    });
    ConnectTabBar();
    connect(TabControl1, &TTabControl::MouseDown, this,
            [this](Qt::MouseButton b, const QPoint &pos) { Guarded([&] { TabControl1MouseDown(b, pos); }); });
    TabBar->installEventFilter(this);

    // Status strip: status text and progress.
    ToolBar1 = new QWidget;
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    auto *statusLayout = new QHBoxLayout(ToolBar1);
    statusLayout->setContentsMargins(0, 0, 0, 0);
    statusLayout->setSpacing(0);
    StatusBar1 = new QLabel(ToolBar1);
    StatusBar1->setFrameShape(QFrame::Panel);
    StatusBar1->setFrameShadow(QFrame::Sunken);
    StatusBar1->setMinimumHeight(20);
    ProgressBar1 = new QProgressBar(ToolBar1);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setFixedWidth(130);
    statusLayout->addWidget(StatusBar1, 1);
    statusLayout->addWidget(ProgressBar1);
    ToolBar1->installEventFilter(this);

    auto *central = new QWidget;
    auto *vbox = new QVBoxLayout(central);
    vbox->setContentsMargins(0, 0, 0, 0);
    vbox->setSpacing(0);
    auto *middle = new QHBoxLayout;
    middle->setSpacing(0);
    middle->addWidget(JBar);
    middle->addWidget(mdiArea, 1);
    vbox->addLayout(middle, 1);
    vbox->addWidget(FindBar1);
    vbox->addWidget(TabBar);
    vbox->addWidget(ToolBar1);
    setCentralWidget(central);

    indicators.txtAddress = txtAddress;
    indicators.ProgressBar1 = ProgressBar1;
    indicators.StatusPanel = StatusBar1;
}

QAction *TMainForm::AddItem(QMenu *menu, const QString &caption, void (TMainForm::*handler)(),
                            const QKeySequence &shortcut, int image)
{
    QAction *action = menu->addAction(caption);
    if (!shortcut.isEmpty())
        action->setShortcut(shortcut);
    if (image >= 0)
        action->setIcon(Image(image));
    if (handler)
        connect(action, &QAction::triggered, this,
                [this, handler] { Guarded([this, handler] { (this->*handler)(); }); });
    return action;
}

void TMainForm::BuildMenus()
{
    QMenuBar *bar = menuBar();

    mnuFile = bar->addMenu(QStringLiteral("ファイル(&F)"));
    QMenu *mnuNew = mnuFile->addMenu(QStringLiteral("新規作成(&N)"));
    AddItem(mnuNew, QStringLiteral("&空白"), &TMainForm::FileNew1Execute, QKeySequence(Qt::CTRL | Qt::Key_N),
            0);
    AddItem(mnuNew, QStringLiteral("クリップボード(&C)"), &TMainForm::mnuNew_CilpClick);
    AddItem(mnuFile, QStringLiteral("開く(&O)..."), &TMainForm::FileOpen1Execute,
            QKeySequence(Qt::CTRL | Qt::Key_O), 8);
    mnuFile_Close = AddItem(mnuFile, QStringLiteral("閉じる(&C)"), nullptr);
    connect(mnuFile_Close, &QAction::triggered, this, [this] {
        if (TChildForm *child = ActiveChild())
            child->CloseWindow();
    });
    mnuFile_Close->setEnabled(false);
    indicators.mnuFile_SaveAs =
        AddItem(mnuFile, QStringLiteral("名前をつけて保存(&A)..."), &TMainForm::mnuFile_SaveAsClick, {}, 7);
    indicators.mnuFile_Print = AddItem(mnuFile, QStringLiteral("印刷(&P)..."), &TMainForm::mnuFile_PrintClick,
                                       QKeySequence(Qt::CTRL | Qt::Key_P));
    mnuFile->addSeparator();
    mnuLeastURL = mnuFile->addMenu(QStringLiteral("最近閉じたURL(&E)"));
    mnuLeastURL_Child = mnuLeastURL->addAction(QString());
    connect(mnuLeastURL, &QMenu::aboutToShow, this, [this] { Guarded([this] { mnuLeastURLClick(); }); });
    mnuFile->addSeparator();
    AddItem(mnuFile, QStringLiteral("終了(&X)"), nullptr);
    connect(mnuFile->actions().last(), &QAction::triggered, this, &QWidget::close);

    mnuEdit = bar->addMenu(QStringLiteral("編集(&E)"));
    indicators.mnuEdit_Copy =
        AddItem(mnuEdit, QStringLiteral("コピー(&P)"), &TMainForm::mnuEdit_CopyClick, {}, 5);
    mnuEdit->addSeparator();
    indicators.mnuEdit_slrAll =
        AddItem(mnuEdit, QStringLiteral("全て選択(&A)"), &TMainForm::mnuEdit_slrAllClick,
                QKeySequence(Qt::CTRL | Qt::Key_A), 6);
    mnuEdit->addSeparator();
    indicators.mnuEdit_Find = AddItem(mnuEdit, QStringLiteral("このページの検索(&F)..."),
                                      &TMainForm::mnuEdit_FindClick, QKeySequence(Qt::CTRL | Qt::Key_F));

    mnuShow = bar->addMenu(QStringLiteral("表示(&V)"));
    QMenu *mnuToolBars = mnuShow->addMenu(QStringLiteral("ツールバー(&T)"));
    const std::pair<QAction **, std::pair<QString, QWidget *>> views[] = {
        {&mnuShow_default, {QStringLiteral("標準"), ToolBar2}},
        {&mnuShow_Address, {QStringLiteral("アドレスバー"), ToolBar3}},
        {&mnuShow_Status, {QStringLiteral("ステータスバー"), ToolBar1}},
        {&mnuShow_Tab, {QStringLiteral("タブバー"), TabBar}},
        {&mnuShow_J, {QStringLiteral("Jバー"), JBar}},
    };
    for (const auto &[item, entry] : views) {
        QAction *action = mnuToolBars->addAction(entry.first);
        action->setCheckable(true);
        action->setChecked(true);
        QWidget *target = entry.second;
        connect(action, &QAction::triggered, this,
                [this, action, target] { Guarded([=] { ToggleBar(action, target); }); });
        *item = action;
    }
    mnuShow->addSeparator();
    QMenu *mnuGo = mnuShow->addMenu(QStringLiteral("移動(&O)"));
    mnuGo->addAction(indicators.BackCtrl);
    mnuGo->addAction(indicators.FrwrdCtrl);
    mnuShow->addAction(indicators.StopCtrl);
    mnuShow->addAction(indicators.ReLoadCtrl);
    mnuShow->addSeparator();
    mnuSize = mnuShow->addMenu(QStringLiteral("文字サイズ"));
    indicators.mnuShow_Size = mnuSize->menuAction();
    const std::pair<QAction **, std::pair<QString, int>> sizes[] = {
        {&mnuSize_Max, {QStringLiteral("最大(&B)"), 4}},  {&mnuSize_Large, {QStringLiteral("大(&L)"), 3}},
        {&mnuSize_middle, {QStringLiteral("中(&M)"), 2}}, {&mnuSize_Small, {QStringLiteral("小(&S)"), 1}},
        {&mnuSize_Min, {QStringLiteral("最小(A)"), 0}},
    };
    for (const auto &[item, entry] : sizes) {
        QAction *action = mnuSize->addAction(entry.first);
        action->setCheckable(true);
        const int size = entry.second;
        connect(action, &QAction::triggered, this, [this, size] { Guarded([=] { SetTextSize(size); }); });
        *item = action;
    }

    mnuBookMark = bar->addMenu(QStringLiteral("ブックマーク(&B)"));
    mnuBMEdit = AddItem(mnuBookMark, QStringLiteral("ブックマークを編集(&E)"), &TMainForm::mnuBMEditClick);
    mnuBookMark->addSeparator();

    mnuWebList = bar->addMenu(QStringLiteral("Webリスト(&L)"));
    mnuWebList_Edit =
        AddItem(mnuWebList, QStringLiteral("Webリストを編集(&E)"), &TMainForm::mnuWebList_EditClick);
    mnuWebList->addSeparator();

    QMenu *mnuTool = bar->addMenu(QStringLiteral("ツール(&T)"));
    QMenu *mnuEngine = mnuTool->addMenu(QStringLiteral("エンジン"));
    IE_item = AddItem(mnuEngine, QStringLiteral("Internet Explorer"), &TMainForm::IE_ItemClick);
    Moz_Item = AddItem(mnuEngine, QStringLiteral("Gekko"), &TMainForm::Moz_ItemClick);
    IE_item->setCheckable(true);
    Moz_Item->setCheckable(true);
    AddItem(mnuTool, QStringLiteral("オプション"), &TMainForm::mnuOptionClick, QKeySequence(Qt::Key_F12), 9);

    mnuWindow = bar->addMenu(QStringLiteral("ウィンドウ(&W)"));
    windowCommands << mnuWindow->addAction(QStringLiteral("重ねて表示(&C)"), mdiArea,
                                           &QMdiArea::cascadeSubWindows);
    windowCommands << mnuWindow->addAction(QStringLiteral("水平に並べて表示(&H)"), this,
                                           [this] { TileWindows(true); });
    windowCommands << mnuWindow->addAction(QStringLiteral("垂直に並べて表示(&V)"), this,
                                           [this] { TileWindows(false); });
    windowCommands << mnuWindow->addAction(QStringLiteral("すべてを最小化(&M)"), this, [this] {
        for (TChildForm *child : Children())
            child->showMinimized();
    });
    windowCommands << mnuWindow->addAction(QStringLiteral("アイコンの整列(&A)"), this,
                                           [this] { ArrangeIcons(); });
    connect(mnuWindow, &QMenu::aboutToShow, this, &TMainForm::RebuildWindowList);

    QMenu *mnuHelp = bar->addMenu(QStringLiteral("ヘルプ(&H)"));
    AddItem(mnuHelp, QStringLiteral("バージョン情報(&A)..."), &TMainForm::HelpAbout1Execute, {}, 10);

    // Tab menu.
    TabPopup = new QMenu(this);
    QMenu *N3 = TabPopup->addMenu(QStringLiteral("追加"));
    AddItem(N3, QStringLiteral("CloseURＬに追加"), &TMainForm::popAddCloseClick);
    AddItem(N3, QStringLiteral("ブックマークに追加(&A)"), &TMainForm::popAddBookMarkClick);
    TabPopup->addSeparator();
    QMenu *N8 = TabPopup->addMenu(QStringLiteral("&全て閉じる"));
    AddItem(N8, QStringLiteral("全て閉じる(&L)"), &TMainForm::mnu_AllCloseClick);
    AddItem(N8, QStringLiteral("これ以外を全て閉じる(&M)"), &TMainForm::mnu_AllCloseNotMeClick);
    AddItem(TabPopup, QStringLiteral("閉じる(&C)"), &TMainForm::popTabCloseClick);

    UpdateChildCommands();
}

void TMainForm::UpdateChildCommands()
{
    const bool any = ChildCount() > 0;
    mnuFile_Close->setEnabled(any);
    for (QAction *action : windowCommands)
        action->setEnabled(any);
}

void TMainForm::RebuildWindowList()
{
    // The window system appends the open child windows to the window menu.
    for (QAction *action : mnuWindow->actions())
        if (!windowCommands.contains(action))
            mnuWindow->removeAction(action), action->deleteLater();
    const std::vector<TChildForm *> children = Children();
    if (children.empty())
        return;
    mnuWindow->addSeparator();
    int n = 1;
    TChildForm *active = ActiveChild();
    for (TChildForm *child : children) {
        QAction *item =
            mnuWindow->addAction(QStringLiteral("&%1 %2").arg(n++).arg(MenuLiteral(child->Caption())));
        item->setCheckable(true);
        item->setChecked(child == active);
        connect(item, &QAction::triggered, this, [this, child] {
            if (windows_.IndexOfChild(child) >= 0)
                mdiArea->setActiveSubWindow(child);
        });
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

// ---------------------------------------------------------------------------
// Construction.

void TMainForm::FormCreate()
{
    firstResize_ = true;
    // The program's files live in the data folder: the program folder of a
    // portable copy, the user's folder of an installed one.
    AppDirPath = DataFolder();
    ClaimFolder(AppDirPath); // and clear what a crash left there, when no other Orvex uses it
    BandPositionRead();
    BuildBookmarkMenu();

    const SettingsFile settings = Settings();
    const bool ie = settings.Read(keys::LastEngine) == "IE";
    IE_item->setChecked(ie);
    Moz_Item->setChecked(!ie);
    if (settings.Read(keys::Mozilla) == 0)
        Moz_Item->setEnabled(false);
    if (settings.Read(keys::TabFix) == 1)
        TabControl1->SetFixedTabWidth(settings.Read(keys::TabMaxSize));
    switch (settings.Read(keys::WinSize)) {
    case 1:
        childWinState = ChildState::Maximized;
        break;
    case 2:
        childWinState = ChildState::Minimized;
        break;
    default:
        childWinState = ChildState::Normal;
        break;
    }
    TabControl1->SetButtonStyle(settings.Read(keys::TabType) != 0);

    BuildBookmarkBar();
    EnumFiles(AppDirPath + "WebList");
    ViewToolBar();
    indicators.mnuFile_SaveAs->setEnabled(false);
    indicators.mnuEdit_Copy->setEnabled(false);
    indicators.mnuEdit_slrAll->setEnabled(false);
    indicators.mnuEdit_Find->setEnabled(false);
    indicators.mnuFile_Print->setEnabled(false);
    ReadMojiSize();
    indicators.mnuShow_Size->setEnabled(false);
}

// ---------------------------------------------------------------------------
// Start-up actions, run by the first resize.

void TMainForm::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    Guarded([this] { FormResize(); });
}

void TMainForm::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    // Qt delivers the first resize before the window is shown, let alone
    // drawn. The start-up actions wait until the window is on the screen
    // and painted, so that an error box at start-up stands over a drawn
    // window and the MDI area does not rearrange the windows they open.
    if (firstResize_ && !drawn_ && windowHandle())
        windowHandle()->installEventFilter(this);
}

void TMainForm::FormResize()
{
    LayoutRules();
    if (!firstResize_ || !drawn_ || startingUp_)
        return;
    // A failed action is shown here and leaves FirstResize set, so the next
    // resize tries again; not one while the error box is still open, which
    // would stack a second box on it.
    const QScopedValueRollback<bool> running(startingUp_, true);
    Guarded([this] {
        OpenParams();
        if (!hasParams_)
            OpenStartUp();
        if (!FileExists(AppDirPath + "config.ini"))
            mnuOptionClick();
        firstResize_ = false;
    });
}

void TMainForm::OpenParams()
{
    hasParams_ = false;
    if (params_.isEmpty())
        return;
    hasParams_ = true;
    for (const QString &address : params_)
        OpenNewWindow(QStringLiteral("londing"), address);
}

void TMainForm::OpenStartUp()
{
    const SettingsFile settings = Settings();
    const std::string path = settings.Read(keys::StartUpPath);
    const uint8_t type = static_cast<uint8_t>(settings.Read(keys::StartUpType));
    if (type == 1) {
        OpenNewWindow(QStringLiteral("Loading"), ToQ(path));
    } else if (type == 2 && FileExists(path)) {
        OpenLines(LoadLineList(path), QStringLiteral("londing"));
    }
}

void TMainForm::mnuOptionClick()
{
    auto *dialog = new Tfrm_Option(nullptr);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

void TMainForm::HelpAbout1Execute()
{
    if (AboutBoxDialog)
        AboutBoxDialog->exec();
}

void TMainForm::mnuWebList_EditClick()
{
    if (frm_WebList) {
        frm_WebList->show();
        frm_WebList->raise();
        frm_WebList->activateWindow();
    }
}

// ---------------------------------------------------------------------------
// Shutdown.

bool TMainForm::FormClose()
{
    const SettingsFile settings = Settings();
    {
        // config.ini is written once, with every key in its order.
        ProfileBatch batch(settings.Path());
        settings.Write(keys::LastEngine, IE_item->isChecked() ? "IE" : "Gecko");
        settings.Write(keys::LastMojiSize, mojiSize);
        settings.Write(keys::WinSize, static_cast<int>(childWinState == ChildState::Maximized   ? 1
                                                       : childWinState == ChildState::Minimized ? 2
                                                                                                : 0));
        BandPositionWrite();
        if (!batch.Commit())
            throw Error(FormatMessage(msg::CannotWriteSettings, settings.Path()));
    }
    closedList.Save(AppDirPath + "Close.txt");
    return true;
}

void TMainForm::closeEvent(QCloseEvent *event)
{
    if (Downloads().RunningCount() > 0) {
        Question question;
        question.title = QString::fromUtf8(txt::DownloadsRunningTitle);
        question.text = QString::fromUtf8(txt::DownloadsRunningText);
        question.acceptCaption = QString::fromUtf8(txt::DownloadsQuit);
        question.refuseCaption = QString::fromUtf8(txt::DownloadsKeep);
        if (!Ui().Ask(this, question)) {
            event->ignore();
            return;
        }
    }
    if (!Guarded([this] { FormClose(); })) {
        // The error is shown; quitting stays possible, without saving.
        Question quit;
        quit.title = QStringLiteral("Orvex");
        quit.text = QString::fromUtf8(msg::QuitWithoutSaving);
        quit.acceptCaption = QStringLiteral("はい");
        quit.refuseCaption = QStringLiteral("いいえ");
        if (!Ui().Ask(this, quit)) {
            event->ignore();
            return;
        }
        try {
            closedList.Save(AppDirPath + "Close.txt");
        } catch (const std::exception &) {
            // Leaving anyway: what could not be saved is lost by the user's choice.
        }
    }
    // The windows still open go without their own close handling.
    DiscardWindows();
    closing_ = true;
    event->accept();
}

// ---------------------------------------------------------------------------
// Events of the bars.

bool TMainForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == windowHandle() && event->type() == QEvent::Expose) {
        // The window paints itself on this event; the start-up actions run
        // right after it.
        if (!drawn_ && windowHandle()->isExposed()) {
            windowHandle()->removeEventFilter(this);
            QTimer::singleShot(0, this, [this] {
                drawn_ = true;
                Guarded([this] { FormResize(); });
            });
        }
    } else if (watched == JBar) {
        if (event->type() == QEvent::MouseButtonPress) {
            jbarDragging_ = true;
        } else if (event->type() == QEvent::MouseButtonRelease && jbarDragging_) {
            jbarDragging_ = false;
            const int x = static_cast<QMouseEvent *>(event)->pos().x();
            Guarded([this, x] { JBarMouseUp(x); });
        } else if (event->type() == QEvent::Resize) {
            Guarded([this] { JBarResize(); });
        }
    } else if ((watched == ToolBar2 || watched == ToolBar3) &&
               (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease)) {
        auto *mouse = static_cast<QMouseEvent *>(event);
        auto *band = static_cast<TBand *>(watched);
        if (event->type() == QEvent::MouseButtonPress) {
            if (mouse->button() == Qt::LeftButton && band->HandleRect().contains(mouse->pos())) {
                bandPressed_ = band;
                bandPressPos_ = mouse->globalPos();
                bandWidthsAtPress_ = {ToolBar2->width(), ToolBar3->width()};
            }
        } else {
            Guarded([this] { CoolBar1MouseUp(); });
            if (bandPressed_ == watched && mouse->button() == Qt::LeftButton) {
                // After the bar has ended its own move of the band.
                const QPoint from = bandPressPos_, to = mouse->globalPos();
                QTimer::singleShot(0, this, [this, bar = bandPressed_, from, to] {
                    Guarded([this, bar, from, to] { ReorderBandsAfterDrag(bar, from, to); });
                });
            }
            bandPressed_ = nullptr;
        }
    } else if (watched == TabBar && event->type() == QEvent::Resize) {
        TabControl1->setGeometry(0, 0, TabBar->width(), TabBar->height());
    } else if (watched == ToolBar1 && event->type() == QEvent::Resize) {
        Guarded([this] { LayoutRules(); });
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------
// MainLink.

void TMainForm::SetGeckoItemEnabled(bool enabled)
{
    Moz_Item->setEnabled(enabled);
}

void TMainForm::ApplyTabWidth(int width)
{
    TabControl1->SetFixedTabWidth(width);
}

void TMainForm::ApplyTabType(int tabType)
{
    TabControl1->SetButtonStyle(tabType != 0);
}

// ---------------------------------------------------------------------------
// BrowserHost.

TChildForm *TMainForm::ActiveChild()
{
    auto *window = qobject_cast<TChildForm *>(mdiArea->currentSubWindow());
    if (windows_.IndexOfChild(window) < 0)
        return nullptr;
    return window;
}

WebBrowser2 *TMainForm::ActiveBrowser()
{
    TChildForm *child = ActiveChild();
    return child ? child->Browser() : nullptr;
}

void TMainForm::OnSubWindowActivated(QMdiSubWindow *window)
{
    auto *child = qobject_cast<TChildForm *>(window);
    if (child && child->IsOpen)
        Guarded([child] { child->FormActivate(); });
    if (FindBar1->isVisible() && child)
        Guarded([this, child] { FindBar1->SetTarget(child); });
    UpdateCoveredPages();
}

void TMainForm::UpdateCoveredPages()
{
    // Behind a maximised window every other page is covered: its engine
    // control is hidden so the engine does not render what nobody sees, as
    // a tab widget does with the pages of its other tabs.
    if (closing_)
        return;
    // While the main window places windows, the area activates, maximises
    // and restores several of them in turn; each page is shown or hidden
    // once, when the placing is over, not at every step.
    if (arranging_ > 0) {
        coverPending_ = true;
        return;
    }
    coverPending_ = false;
    TChildForm *front = ActiveChild();
    const bool covered = front && front->isMaximized();
    for (TChildForm *child : Children())
        if (QWidget *page = child->widget())
            page->setVisible(!covered || child == front);
}

void TMainForm::CheckMojiSize(int size)
{
    QAction *items[] = {mnuSize_Min, mnuSize_Small, mnuSize_middle, mnuSize_Large, mnuSize_Max};
    for (QAction *item : items)
        item->setChecked(false);
    if (size >= 0 && size <= 4)
        items[size]->setChecked(true);
}

void TMainForm::AddClosedURL(const QString &address)
{
    closedList.Append(FromQ(address));
}

void TMainForm::DiscardWindows()
{
    for (TChildForm *child : Children())
        child->Discard();
    windows_.Clear();
}

void TMainForm::ChildClosed(TChildForm *child)
{
    windows_.Detach(child);
    if (ChildCount() == 0)
        FindBar1->CloseBar();
    UpdateChildCommands();
}

} // namespace orvex
