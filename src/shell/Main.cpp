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
#include "shell/BarLayout.h"
#include "shell/Captions.h"
#include "shell/ChildWindowHost.h"
#include "shell/SleepPolicy.h"
#include "shell/TabStrip.h"

#include <QAction>
#include <QCloseEvent>
#include <QDialog>
#include <QHBoxLayout>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPainter>
#include <QPointer>
#include <QScopedValueRollback>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

namespace orvex {

TMainForm::TMainForm(const QStringList &params, QWidget *parent)
    : QMainWindow(parent), host_(std::make_unique<ChildWindowHost>(*this)), params_(params)
{
    setWindowTitle(QStringLiteral("Orvex"));
    // The bars are shown and hidden from the View menu only.
    setContextMenuPolicy(Qt::PreventContextMenu);
    BuildImages();
    BuildBars();
    sleep_ = new SleepPolicy(
        mdiArea, tabs_->Control(), windows_, [this] { return sleep::ReadLimits(Settings()); }, this);
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
    bars_ = new BarLayout(*this, indicators_);
    FindBar1 = new TFindBar;

    mdiArea = new QMdiArea;
    mdiArea->setObjectName(QStringLiteral("MDIClient"));
    mdiArea->setBackground(ToQColor(clInactiveCaption));
    connect(mdiArea, &QMdiArea::subWindowActivated, this, &TMainForm::OnSubWindowActivated);
    // Windows that move, change size, show or hide cover and uncover pages:
    // the pages follow once the events of the moment are handled (all the
    // windows a "close all" hides, or the steps of a drag), before the
    // window paints again.
    coverLater_.setSingleShot(true);
    coverLater_.setInterval(0);
    connect(&coverLater_, &QTimer::timeout, this, Guard([this] { UpdateCoveredPages(); }));

    tabs_ = new TabStrip(*this, windows_);
    TTabControl *tabControl = tabs_->Control();
    tabControl->SetDrawTab(Guard([this](QPainter &p, int index, const QRect &rect, bool active) {
        TabControl1DrawTab(p, index, rect, active);
    }));
    connect(&windows_, &WindowRegistry::chosen, this, Guard([this] { TabControl1Change(); }));
    connect(tabControl, &TTabControl::MouseDown, this,
            Guard([this](Qt::MouseButton b, const QPoint &pos) { TabControl1MouseDown(b, pos); }));
    connect(tabControl, &TTabControl::DoubleClicked, this,
            Guard([this](const QPoint &pos) { TabControl1DblClick(pos); }));

    // The side bar and the windows side by side; under them the find bar,
    // the tab bar and the status strip.
    const BarWidgets &bars = bars_->Widgets();
    auto *central = new QWidget;
    auto *vbox = new QVBoxLayout(central);
    vbox->setContentsMargins(0, 0, 0, 0);
    vbox->setSpacing(0);
    auto *middle = new QHBoxLayout;
    middle->setSpacing(0);
    middle->addWidget(bars.JBar);
    middle->addWidget(mdiArea, 1);
    vbox->addLayout(middle, 1);
    vbox->addWidget(FindBar1);
    vbox->addWidget(tabs_->Bar());
    vbox->addWidget(bars.ToolBar1);
    setCentralWidget(central);
    AcceptDrops();
}

MainControls TMainForm::Controls() const
{
    MainControls c;
    static_cast<BarWidgets &>(c) = bars_->Widgets();
    static_cast<MainMenuItems &>(c) = menu_;
    c.mdiArea = mdiArea;
    c.FindBar1 = FindBar1;
    c.TabBar = tabs_->Bar();
    c.TabControl1 = tabs_->Control();
    c.TabPopup = tabs_->Popup();
    return c;
}

// ---------------------------------------------------------------------------
// Construction.

void TMainForm::FormCreate()
{
    firstResize_ = true;
    // The program's files live in the data folder: the program folder of a
    // portable copy, the user's folder of an installed one.
    appDir_ = DataFolder();
    ClaimFolder(appDir_); // and clear what a crash left there, when no other Orvex uses it
    // A bookmark file an earlier version left in the Gecko folder comes to
    // the data folder first; the user is told once the window shows.
    const std::string adopted = AdoptBookmarkFile(appDir_, Settings().Read(keys::MozPath));
    if (!adopted.empty())
        QTimer::singleShot(0, this, [this, text = ToQ(adopted)] {
            Ui().ShowMessage(this, QStringLiteral("Orvex"), text, MessageIcon::Information);
        });
    Downloads().SetSettingsPath(appDir_ + "config.ini");
    session_ =
        std::make_unique<SessionWriter>(appDir_ + kSessionFileName, [this] { return CurrentSession(); });
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
        menu_.Moz_Item->setEnabled(false);
    if (settings.Read(keys::TabFix) == 1)
        tabs_->ApplyTabWidth(settings.Read(keys::TabMaxSize));
    const int32_t winSize = settings.Read(keys::WinSize);
    childWinState_ = winSize == 1 || winSize == 2 ? static_cast<ChildState>(winSize) : ChildState::Normal;
    tabs_->ApplyTabType(settings.Read(keys::TabType));

    BuildBookmarkBar();
    EnumFiles(appDir_ + "WebList");
    ViewToolBar();
    indicators_.EnablePageCommands(false);
    ReadMojiSize();
    indicators_.mnuShow_Size->setEnabled(false);
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
    bars_->LayoutRules();
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
        if (!FileExists(appDir_ + "config.ini"))
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
    auto *dialog = new Tfrm_Option(*this, appDir_);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

void TMainForm::HelpAbout1Execute()
{
    if (aboutBox_)
        aboutBox_->exec();
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
    pendingLines_.clear(); // a web list still opening stops
    // The run ends in order: its windows for the next start.
    Session last = CurrentSession();
    last.ended = true;
    session_->Finish(last);
    {
        // config.ini is written once, with every key in its order.
        ProfileBatch batch(settings.Path());
        settings.Write(keys::LastEngine, toolsEngine_ == EngineKind::InternetExplorer ? "IE" : "Gecko");
        settings.Write(keys::LastMojiSize, mojiSize_);
        settings.Write(keys::WinSize, static_cast<int>(childWinState_));
        BandPositionWrite();
        // The main window's place only once the user moved or sized it.
        if (drawn_ && PlaceText() != placeAtStart_)
            settings.Write(keys::MainPlace, FromQ(PlaceText()));
        if (!batch.Commit())
            throw Error(SaveFailedText(msg::CannotWriteSettings, settings.Path()));
    }
    closedList_.Save(appDir_ + "Close.txt");
    return true;
}

void TMainForm::closeEvent(QCloseEvent *event)
{
    if (askingPages_) {
        event->ignore(); // the quit under way decides
        return;
    }
    bool quit = true;
    if (!pagesAgreed_)
        Guarded([&] { quit = ConfirmQuit(); });
    if (!quit) {
        event->ignore();
        return;
    }
    if (!pagesAgreed_ && Downloads().RunningCount() > 0) {
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
    // Every page is asked, one after another; one that stays keeps the
    // program open. Once all have agreed, the quit goes on from here.
    std::vector<QPointer<TChildForm>> pages;
    for (TChildForm *child : Children())
        pages.emplace_back(child);
    if (!pagesAgreed_ && !pages.empty()) {
        event->ignore();
        askingPages_ = true;
        QPointer<TMainForm> self(this);
        AskPagesToClose(std::move(pages), [self](bool allMayClose) {
            if (!self)
                return;
            self->askingPages_ = false;
            if (!allMayClose)
                return;
            const QScopedValueRollback<bool> agreed(self->pagesAgreed_, true);
            self->close();
        });
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
            closedList_.Save(appDir_ + "Close.txt");
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
// Events: the first painting, and drops.

bool TMainForm::eventFilter(QObject *watched, QEvent *event)
{
    if (DropFilter(watched, event))
        return true;
    // A window that moves, changes size, shows or hides may cover or uncover
    // pages, and so may a change in the area's size.
    switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::Hide:
        if (qobject_cast<TChildForm *>(watched) || watched == mdiArea->viewport())
            coverLater_.start();
        break;
    default:
        break;
    }
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
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------
// OptionHost.

void TMainForm::SetGeckoItemEnabled(bool enabled)
{
    menu_.Moz_Item->setEnabled(enabled);
}

void TMainForm::ApplyTabWidth(int width)
{
    tabs_->ApplyTabWidth(width);
}

void TMainForm::ApplyTabType(int tabType)
{
    tabs_->ApplyTabType(tabType);
}

// ---------------------------------------------------------------------------
// The child windows' side.

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
    // A page wholly covered by the windows in front of it (behind a
    // maximised window, every other page) is hidden, so that its engine
    // neither lays out nor draws what nobody sees, as a tab widget does with
    // the pages of its other tabs. It is shown again as soon as any part of
    // it comes into sight. Minimised windows are left to the area, which
    // hides their pages itself. A page with the keyboard focus stays: hidden,
    // it would pass the focus on, and the window that took it would come to
    // the front.
    if (closing_)
        return;
    // While the main window places windows, the area activates, maximises
    // and restores several of them in turn; each page is shown or hidden
    // once, when the placing is over, not at every step. Showing a page may
    // resize its window, which asks again: that is done after this pass.
    if (arranging_ > 0 || covering_) {
        coverPending_ = true;
        return;
    }
    const QScopedValueRollback<bool> covering(covering_, true);
    for (int pass = 0; pass < 2; ++pass) {
        coverPending_ = false;
        TChildForm *front = ActiveChild();
        const sleep::Stack stack = sleep::Stacked(*mdiArea);
        if (!front) {
            // No window in front. While another window is being activated
            // (it is marked active before the one in front lets go), that
            // activation ends the state and calls here again. Otherwise (the
            // front window closed while no other was next in the area's
            // order, for one), the topmost open window comes forward, as the
            // window behind a closed one does in an MDI frame, and the next
            // pass covers what it covers. Its page, if hidden, is shown with
            // the window's watch on it: the window activates itself and the
            // page takes the focus.
            TChildForm *next = nullptr;
            for (size_t i = 0; i < stack.windows.size(); ++i) {
                if (stack.windows[i]->windowState() & Qt::WindowActive)
                    return;
                if (!next && stack.placements[i].shown && windows_.IndexOfChild(stack.windows[i]) >= 0)
                    next = stack.windows[i];
            }
            if (!next)
                break;
            if (QWidget *page = next->widget(); page && !page->isVisibleTo(next))
                page->show();
            if (ActiveChild() != next)
                mdiArea->setActiveSubWindow(next);
            continue;
        }
        const std::vector<bool> seen = sleep::SeenPages(mdiArea->viewport()->rect(), stack.placements);
        const QWidget *focus = focusWidget(); // in this window, active or not
        for (size_t i = 0; i < stack.windows.size(); ++i) {
            TChildForm *child = stack.windows[i];
            QWidget *page = child->widget();
            if (!page || !stack.placements[i].shown)
                continue;
            const bool show =
                seen[i] || child == front || (focus && page->isAncestorOf(focus)) || page == focus;
            if (show == page->isVisibleTo(child))
                continue;
            // A window activates itself when its page is shown: the page
            // comes out from under the others with the window's watch on it
            // lifted, so that its window stays where it is in the stack.
            page->removeEventFilter(child);
            page->setVisible(show);
            page->installEventFilter(child);
        }
        if (!coverPending_)
            break;
    }
}

void TMainForm::CheckMojiSize(int size)
{
    QAction *items[] = {menu_.mnuSize_Min, menu_.mnuSize_Small, menu_.mnuSize_middle, menu_.mnuSize_Large,
                        menu_.mnuSize_Max};
    for (QAction *item : items)
        item->setChecked(false);
    if (size >= 0 && size <= 4)
        items[size]->setChecked(true);
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
