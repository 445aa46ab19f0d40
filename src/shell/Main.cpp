#include "shell/Main.h"

#include "bookmarks/EditWebList.h"
#include "browser/ChildForm.h"
#include "browser/Downloads.h"
#include "browser/FindBar.h"
#include "browser/untTab.h"
#include "core/BookmarkStore.h"
#include "core/ColorText.h"
#include "core/Errors.h"
#include "core/FileIO.h"
#include "core/FileProblems.h"
#include "core/FolderClaim.h"
#include "core/LineList.h"
#include "core/ProfileFile.h"
#include "core/ProgramFolder.h"
#include "dialogs/Option.h"
#include "history/AddressCompleter.h"
#include "history/HistoryPanel.h"
#include "history/HistoryStore.h"
#include "platform/Look.h"
#include "platform/UiServices.h"
#include "platform/UiTexts.h"
#include "shell/Captions.h"
#include "shell/SleepPolicy.h"

#include <QAction>
#include <QCloseEvent>
#include <QDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
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
    setWindowTitle(QStringLiteral("Orvex"));
    // The bars are shown and hidden from the View menu only.
    setContextMenuPolicy(Qt::PreventContextMenu);
    BuildImages();
    BuildBars();
    sleep_ = new SleepPolicy(
        mdiArea, TabControl1, windows_, [this] { return sleep::ReadLimits(Settings()); }, this);
    BuildMenus();
    FormCreate();
    BuildHistory();
}

TMainForm::~TMainForm()
{
    closing_ = true; // the windows going with it report nothing back
    DiscardWindows();
    // The child widgets outlive this body (Qt deletes them in ~QWidget) and
    // still signal while they go, the MDI area its activations above all:
    // none of that may reach the form, which is no TMainForm by then.
    for (QObject *child : findChildren<QObject *>())
        disconnect(child, nullptr, this, nullptr);
    // The completion list and the panel read the store: they go first.
    completer_.reset();
    delete historyPanel_;
    historyPanel_ = nullptr;
    history_.reset();
    if (ownBookmarkEditor_ && frm_BMEdit == ownBookmarkEditor_.get())
        frm_BMEdit = nullptr;
}

// ---------------------------------------------------------------------------
// Pictures: the image list shared by the buttons and menus (platform/Look.h).

QIcon TMainForm::Image(Picture picture) const
{
    const int index = static_cast<int>(picture);
    return index >= 0 && index < images_.size() ? images_[index] : QIcon();
}

void TMainForm::BuildImages()
{
    images_.clear();
    for (int i = 0; i < kPictureCount; ++i)
        images_ << PaintPicture(static_cast<Picture>(i));
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
    ToolButton1 = ToolBar2->addAction(Image(Picture::NewPage), QStringLiteral("空白"));
    connect(ToolButton1, &QAction::triggered, this, Guard([this] { ToolButton1Click(); }));
    ToolBar2->addSeparator();
    indicators.BackCtrl = ToolBar2->addAction(Image(Picture::Back), QStringLiteral("戻る"));
    indicators.FrwrdCtrl = ToolBar2->addAction(Image(Picture::Forward), QStringLiteral("進む"));
    indicators.StopCtrl = ToolBar2->addAction(Image(Picture::Stop), QStringLiteral("中止"));
    indicators.ReLoadCtrl = ToolBar2->addAction(Image(Picture::Reload), QStringLiteral("更新"));
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
        connect(action, &QAction::triggered, this, Guard([this, h = handler] { (this->*h)(); }));
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
    // The connection indicator sits in a holder of its own: a widget of a
    // tool bar cannot be hidden by itself, the holder's label can.
    auto *connectionHolder = new QWidget(ToolBar3);
    auto *connectionLayout = new QHBoxLayout(connectionHolder);
    connectionLayout->setContentsMargins(0, 0, 0, 0);
    lblConnection = new QLabel(connectionHolder);
    lblConnection->setObjectName(QStringLiteral("lblConnection"));
    connectionLayout->addWidget(lblConnection);
    btnMove = new QPushButton(QStringLiteral("移動"), ToolBar3);
    btnMove->setFixedWidth(41);
    ToolBar3->addWidget(Label1);
    ShowConnection(lblConnection, ConnectionSecurity::None, QString());
    ToolBar3->addWidget(connectionHolder);
    ToolBar3->addWidget(txtAddress);
    ToolBar3->addWidget(btnMove);
    connect(btnMove, &QPushButton::clicked, this, Guard([this] { btnMoveClick(); }));
    connect(txtAddress, &QLineEdit::returnPressed, this,
            Guard([this] { txtAddressKeyDown(Qt::Key_Return); }));
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
    connect(btnBar, &QToolButton::clicked, this, Guard([this] { btnBarClick(); }));
    connect(TreeView1, &QTreeWidget::currentItemChanged, this,
            Guard([this](QTreeWidgetItem *node) { TreeView1Change(node); }));
    JBar->installEventFilter(this);

    FindBar1 = new TFindBar;

    mdiArea = new QMdiArea;
    mdiArea->setObjectName(QStringLiteral("MDIClient"));
    mdiArea->setBackground(ToQColor(clInactiveCaption));
    connect(mdiArea, &QMdiArea::subWindowActivated, this, &TMainForm::OnSubWindowActivated);

    // Tab bar: 28 px, above the status strip.
    TabBar = new QWidget;
    TabBar->setObjectName(QStringLiteral("TabBar"));
    TabBar->setFixedHeight(28);
    TabControl1 = new TTabControl(TabBar);
    TabControl1->setObjectName(QStringLiteral("TabControl1"));
    TabControl1->SetDrawTab(Guard([this](QPainter &p, int index, const QRect &rect, bool active) {
        TabControl1DrawTab(p, index, rect, active);
    }));
    ConnectTabBar();
    connect(TabControl1, &TTabControl::MouseDown, this,
            Guard([this](Qt::MouseButton b, const QPoint &pos) { TabControl1MouseDown(b, pos); }));
    connect(TabControl1, &TTabControl::DoubleClicked, this,
            Guard([this](const QPoint &pos) { TabControl1DblClick(pos); }));
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
    // The page zoom, at the right end of the status panel while it is not 100 %.
    auto *zoomLayout = new QHBoxLayout(StatusBar1);
    zoomLayout->setContentsMargins(0, 0, 4, 0);
    zoomLayout->addStretch(1);
    ZoomPanel = new QLabel(StatusBar1);
    ZoomPanel->setObjectName(QStringLiteral("ZoomPanel"));
    ZoomPanel->setAutoFillBackground(true);
    ZoomPanel->hide();
    zoomLayout->addWidget(ZoomPanel);
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
    indicators.Connection = lblConnection;
    indicators.ZoomPanel = ZoomPanel;
    AcceptDrops();
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
    // A bookmark file an earlier version left in the Gecko folder comes to
    // the data folder first; the user is told once the window shows.
    const std::string adopted = AdoptBookmarkFile(AppDirPath, Settings().Read(keys::MozPath));
    if (!adopted.empty())
        QTimer::singleShot(0, this, [this, text = ToQ(adopted)] {
            Ui().ShowMessage(this, QStringLiteral("Orvex"), text, MessageIcon::Information);
        });
    Downloads().SetSettingsPath(AppDirPath + "config.ini");
    session_ =
        std::make_unique<SessionWriter>(AppDirPath + kSessionFileName, [this] { return CurrentSession(); });
    for (auto signal : {&WindowRegistry::inserted, &WindowRegistry::removed, &WindowRegistry::renamed})
        connect(&windows_, signal, this, [this] {
            if (!closing_)
                session_->Changed();
        });
    BandPositionRead();
    BuildBookmarkMenu();

    const SettingsFile settings = Settings();
    SetToolsEngine(settings.Read(keys::LastEngine) == "IE" ? EngineKind::InternetExplorer
                                                           : EngineKind::Gecko);
    if (settings.Read(keys::Mozilla) == 0)
        Moz_Item->setEnabled(false);
    if (settings.Read(keys::TabFix) == 1)
        TabControl1->SetFixedTabWidth(settings.Read(keys::TabMaxSize));
    const int32_t winSize = settings.Read(keys::WinSize);
    childWinState = winSize == 1 || winSize == 2 ? static_cast<ChildState>(winSize) : ChildState::Normal;
    TabControl1->SetButtonStyle(settings.Read(keys::TabType) != 0);

    BuildBookmarkBar();
    EnumFiles(AppDirPath + "WebList");
    ViewToolBar();
    indicators.EnablePageCommands(false);
    ReadMojiSize();
    indicators.mnuShow_Size->setEnabled(false);
    RestorePlace();
    PreparePopupCheck();
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
    // What went wrong while the forms were made shows first.
    ReleaseErrorBoxes();
    Guarded([this] {
        const bool restored = OfferSession();
        OpenParams();
        if (!hasParams_ && !restored)
            OpenStartUp();
        session_->Changed(); // this run is under way
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
        OpenNewWindow(ToolsEngine(), address, kLondingCaption);
}

void TMainForm::OpenStartUp()
{
    const SettingsFile settings = Settings();
    const std::string path = settings.Read(keys::StartUpPath);
    const uint8_t type = static_cast<uint8_t>(settings.Read(keys::StartUpType));
    if (type == 1) {
        OpenNewWindow(ToolsEngine(), ToQ(path), kStartUpCaption);
    } else if (type == 2 && FileExists(path)) {
        OpenLines(LoadLineList(path), kLondingCaption);
    }
}

void TMainForm::mnuOptionClick()
{
    auto *dialog = new Tfrm_Option(*this, AppDirPath);
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
    // The run ends in order: its windows for the next start.
    Session last = CurrentSession();
    last.ended = true;
    session_->Finish(last);
    {
        // config.ini is written once, with every key in its order.
        ProfileBatch batch(settings.Path());
        settings.Write(keys::LastEngine, toolsEngine_ == EngineKind::InternetExplorer ? "IE" : "Gecko");
        settings.Write(keys::LastMojiSize, mojiSize);
        settings.Write(keys::WinSize, static_cast<int>(childWinState));
        BandPositionWrite();
        // The main window's place only once the user moved or sized it.
        if (drawn_ && PlaceText() != placeAtStart_)
            settings.Write(keys::MainPlace, FromQ(PlaceText()));
        if (!batch.Commit())
            throw Error(SaveFailedText(msg::CannotWriteSettings, settings.Path()));
    }
    closedList.Save(AppDirPath + "Close.txt");
    return true;
}

void TMainForm::closeEvent(QCloseEvent *event)
{
    bool quit = true;
    Guarded([&] { quit = ConfirmQuit(); });
    if (!quit) {
        event->ignore();
        return;
    }
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
    // Every page is asked; one that stays keeps the program open.
    std::vector<QPointer<TChildForm>> pages;
    for (TChildForm *child : Children())
        pages.emplace_back(child);
    for (const QPointer<TChildForm> &page : pages)
        if (page && !page->AskPageToClose()) {
            event->ignore();
            return;
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
    if (DropFilter(watched, event))
        return true;
    if (watched == windowHandle() && event->type() == QEvent::Expose) {
        // The window paints itself on this event; the start-up actions run
        // right after it.
        if (!drawn_ && windowHandle()->isExposed()) {
            windowHandle()->removeEventFilter(this);
            QTimer::singleShot(0, this, [this] {
                drawn_ = true;
                placeAtStart_ = PlaceText();
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
                QTimer::singleShot(0, this, Guard([this, bar = bandPressed_, from, to] {
                                       ReorderBandsAfterDrag(bar, from, to);
                                   }));
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
// OptionHost.

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
    if (child)
        Guarded([this, child] { sleep_->Wake(child); });
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
