#include "browser/ChildForm.h"

#include "browser/Downloads.h"
#include "browser/PageServices.h"
#include "platform/UiServices.h"
#include "platform/UiTexts.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenu>
#include <QProgressBar>
#include <QScopedValueRollback>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <functional>
#include <iterator>

namespace orvex {

namespace {

// How long a page may take to answer whether it may close, unless it is
// asking the user.
constexpr int kClosePatienceMs = 10000;

// The window an engine control is shown full screen in. Esc puts it back
// when the page does not take the key itself.
class FullScreenHolder : public QWidget {
public:
    explicit FullScreenHolder(std::function<void()> leave) : leave_(std::move(leave))
    {
        setAttribute(Qt::WA_QuitOnClose, false);
        setAttribute(Qt::WA_DeleteOnClose);
        QPalette dark = palette();
        dark.setColor(QPalette::Window, Qt::black);
        setPalette(dark);
        setAutoFillBackground(true);
        auto *layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
    }

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        if (event->key() == Qt::Key_Escape && leave_)
            leave_();
        else
            QWidget::keyPressEvent(event);
    }
    void closeEvent(QCloseEvent *event) override
    {
        if (leave_)
            leave_();
        QWidget::closeEvent(event);
    }

private:
    std::function<void()> leave_;
};

} // namespace

void PageIndicators::EnablePageCommands(bool enabled)
{
    for (QAction *item : {mnuFile_SaveAs, mnuFile_Print, mnuEdit_Copy, mnuEdit_slrAll, mnuEdit_Find})
        if (item)
            item->setEnabled(enabled);
}

TChildForm::TChildForm(BrowserHost &host, QWidget *parent) : QMdiSubWindow(parent), host_(host)
{
    setAttribute(Qt::WA_DeleteOnClose);
    // A page that never answers (a hung page) does not keep its window for
    // ever; one whose question is on screen waits for the user.
    closePatience_.setInterval(kClosePatienceMs);
    connect(&closePatience_, &QTimer::timeout, this, [this] {
        if (!asking_)
            OnCloseAnswer(true);
    });
    // The main window's Ctrl+W closes the active window wherever the focus
    // is; the system menu's own close key (Ctrl+W here) would make it
    // ambiguous.
    if (QMenu *menu = systemMenu())
        for (QAction *action : menu->actions())
            if (action->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_W)))
                action->setShortcuts(QKeySequence::UnknownKey);
}

TChildForm::~TChildForm()
{
    // A page that goes while it is asked counts as gone; the askers hear
    // it once this window is.
    if (!closeAskers_.empty())
        QTimer::singleShot(0, qApp, [askers = std::move(closeAskers_)] {
            for (const auto &answer : askers)
                answer(true);
        });
}

void TChildForm::AttachBrowser(WebBrowser2 *browser)
{
    browser_ = browser;
    setWidget(browser->Control());
    // A control in an X window of its own (the "Gecko" view) makes Qt give
    // every other child of this window one as well, the system menu among
    // them: a top-level window made, announced to the window manager and
    // sent the program's icon for every page opened, though the menu is
    // seldom shown. It gets its window when it is first shown.
    if (QMenu *menu = systemMenu(); menu && !menu->internalWinId())
        menu->setAttribute(Qt::WA_NativeWindow, false);
    browser->SetEvents(this);
}

void TChildForm::FormCreate()
{
    host_.SetAllClosing(0);
    ApplyChildWinState();
    PageIndicators &ind = host_.Indicators();
    BackState = ind.BackCtrl->isEnabled();
    FrwrdState = ind.FrwrdCtrl->isEnabled();
    StopState = ind.StopCtrl->isEnabled();
    ReLoadState = false;
    IsOpen = true;
    FormResize();
}

void TChildForm::Discard()
{
    LeaveFullScreen();
    discarding_ = true;
    IsOpen = false;
    if (browser_)
        browser_->SetEvents(nullptr);
    hide();
    deleteLater();
}

void TChildForm::ApplyChildWinState()
{
    const ChildState state = host_.ChildWinState();
    // The state takes effect only in the MDI area. Given to a window not in
    // it yet, it would make a native top-level window for a moment (with the
    // program's icons), which the area then throws away, leaving stale state
    // behind; the window gets its state when the area takes it (Place).
    if (!mdiArea())
        return;
    switch (state) {
    case ChildState::Maximized:
        showMaximized();
        break;
    case ChildState::Minimized:
        showMinimized();
        break;
    case ChildState::Normal:
        show();
        break;
    }
}

void ShowConnection(QLabel *indicator, ConnectionSecurity security, const QString &host)
{
    if (!indicator)
        return;
    const char *text = nullptr, *tip = nullptr, *colour = nullptr;
    switch (security) {
    case ConnectionSecurity::None:
        indicator->clear();
        indicator->setToolTip(QString());
        indicator->hide();
        return;
    case ConnectionSecurity::Secure:
        text = txt::ConnectionSecure, tip = txt::ConnectionSecureTip, colour = "#18794e";
        break;
    case ConnectionSecurity::Insecure:
        text = txt::ConnectionInsecure, tip = txt::ConnectionInsecureTip, colour = "#555555";
        break;
    case ConnectionSecurity::CertificateException:
        text = txt::ConnectionException, tip = txt::ConnectionExceptionTip, colour = "#c00000";
        break;
    }
    // Not every text names the host; QString::arg would warn on those.
    const auto fill = [&host](const char *pattern) {
        const QString text = QString::fromUtf8(pattern);
        return text.contains(QLatin1String("%1")) ? text.arg(host) : text;
    };
    indicator->setText(fill(text));
    indicator->setToolTip(fill(tip));
    indicator->setStyleSheet(QStringLiteral("QLabel{color:%1;padding:0 4px}").arg(QLatin1String(colour)));
    indicator->show();
}

QSize DefaultWindowSize(const QSize &area)
{
    return QSize(std::min(std::max(320, area.width() * 3 / 4), area.width()),
                 std::min(std::max(240, area.height() * 3 / 4), area.height()));
}

QSize TChildForm::sizeHint() const
{
    if (QMdiArea *area = mdiArea())
        return DefaultWindowSize(area->viewport()->size());
    return QMdiSubWindow::sizeHint();
}

void TChildForm::Place(QMdiArea *area, const QRect &normal, bool behind)
{
    area->addSubWindow(this);
    // The area puts a new window where it finds room; the place asked for
    // is given after it.
    setGeometry(normal);
    if (behind) {
        // Under the others from the start: its native window would
        // otherwise be put over the front page by the server for as long as
        // the opening takes.
        lower();
        showingBehind_ = true;
        show();
        showingBehind_ = false;
    } else {
        ApplyChildWinState(); // shows the window, already in its state
    }
    placed_ = true;
    if (!behind)
        area->setActiveSubWindow(this);
}

void TChildForm::showEvent(QShowEvent *event)
{
    // The area's window activates itself whenever it is shown, which
    // raises it over the front window; one shown behind skips that (the
    // rest of the area's handling concerns maximised windows).
    if (showingBehind_)
        QWidget::showEvent(event);
    else
        QMdiSubWindow::showEvent(event);
}

bool TChildForm::RecordsWindowState()
{
    // A window not yet in the area has no state of its own to record.
    if (!placed_ && !mdiArea())
        return false;
    if (host_.Arranging())
        return false;
    TChildForm *active = host_.ActiveChild();
    return !mdiArea() || !active || active == this;
}

void TChildForm::SetCaption(const QString &caption)
{
    // Qt shows "[*][*]" as "[*]".
    QString escaped = caption;
    setWindowTitle(escaped.replace(QLatin1String("[*]"), QLatin1String("[*][*]")));
}

QString TChildForm::Caption() const
{
    QString caption = windowTitle();
    return caption.replace(QLatin1String("[*][*]"), QLatin1String("[*]"));
}

void TChildForm::SubChange(bool active)
{
    PageIndicators &ind = host_.Indicators();
    if (active) {
        // The states go into the active child, whichever window called.
        if (TChildForm *child = host_.ActiveChild()) {
            child->BackState = ind.BackCtrl->isEnabled();
            child->FrwrdState = ind.FrwrdCtrl->isEnabled();
            child->ReLoadState = ind.ReLoadCtrl->isEnabled();
            child->StopState = ind.StopCtrl->isEnabled();
        }
        return;
    }
    ind.ProgressBar1->setValue(0);
    ind.txtAddress->clear();
    ShowConnection(ind.Connection, ConnectionSecurity::None, QString());
    ind.StatusPanel->clear();
    ind.BackCtrl->setEnabled(false);
    ind.FrwrdCtrl->setEnabled(false);
    ind.ReLoadCtrl->setEnabled(false);
    ind.StopCtrl->setEnabled(false);
}

void TChildForm::ReleaseBrowser()
{
    LeaveFullScreen(); // the control goes with this window, not with its full-screen one
    if (browser_)
        browser_->SetEvents(nullptr);
}

int TChildForm::Percent(int progress, int progressMax)
{
    const long long pos = static_cast<long long>(progress) * 100 / progressMax;
    return static_cast<int>(std::clamp<long long>(pos, 0, 100));
}

void TChildForm::FormActivate()
{
    host_.Indicators().txtAddress->setText(browser_->LocationURL());
    ShowSavedStates();
    if (host_.AllClosing() == 0)
        host_.SelectTabOfWindow(Tag);
}

void TChildForm::ShowSavedStates()
{
    PageIndicators &ind = host_.Indicators();
    ShowConnection(ind.Connection, Connection, ConnectionHost);
    ind.ProgressBar1->setValue(ProgressPos);
    ActivateEngine();
    TChildForm *active = host_.ActiveChild();
    if (!active)
        active = this;
    ind.BackCtrl->setEnabled(active->BackState);
    ind.FrwrdCtrl->setEnabled(active->FrwrdState);
    ind.StopCtrl->setEnabled(active->StopState);
    ind.ReLoadCtrl->setEnabled(active->ReLoadState);
    ind.EnablePageCommands(true);
    ShowZoom();
}

void TChildForm::OnZoomWheel(int steps)
{
    Guarded([this, steps] {
        if (steps != 0)
            ZoomBy(steps);
    });
}

void TChildForm::ZoomBy(int steps)
{
    static constexpr double kSteps[] = {0.25, 0.33, 0.5,  0.67, 0.75, 0.8, 0.9, 1.0, 1.1,
                                        1.25, 1.5,  1.75, 2.0,  2.5,  3.0, 4.0, 5.0};
    constexpr int kCount = static_cast<int>(std::size(kSteps));
    double factor = 1.0;
    if (steps != 0) {
        // The nearest step, then `steps` along.
        const double current = browser_->ZoomFactor();
        int at = 0;
        for (int i = 1; i < kCount; ++i)
            if (std::abs(kSteps[i] - current) < std::abs(kSteps[at] - current))
                at = i;
        factor = kSteps[std::clamp(at + steps, 0, kCount - 1)];
    }
    browser_->SetZoomFactor(factor);
    ShowZoom();
}

void TChildForm::ShowZoom()
{
    QLabel *panel = host_.Indicators().ZoomPanel;
    if (!panel || host_.ActiveChild() != this)
        return;
    const int percent = static_cast<int>(std::lround(browser_->ZoomFactor() * 100));
    panel->setText(QString::fromUtf8(txt::ZoomStatus).arg(percent));
    panel->setVisible(percent != 100);
}

void TChildForm::FormClose()
{
    PageIndicators &ind = host_.Indicators();
    LeaveFullScreen();
    IsOpen = false;
    // The indicators show the front window: a window closing behind it
    // leaves them to it.
    TChildForm *front = host_.ActiveChild();
    const bool behind = front && front != this;
    if (!behind) {
        SubChange(false);
        ind.EnablePageCommands(false);
        ind.mnuShow_Size->setEnabled(false);
        if (ind.ZoomPanel)
            ind.ZoomPanel->hide();
    }
    PageServices::Session().ForgetWindow(Tag);
    host_.RemoveTab(Tag);
    host_.AddClosedURL(browser_ ? browser_->LocationURL() : QString());
    if (!behind)
        ind.txtAddress->clear();
    // No more events for a window on its way out.
    if (browser_)
        browser_->SetEvents(nullptr);
    host_.ChildClosed(this);
    // Whatever window is in front now shows its own states.
    front = host_.ActiveChild();
    if (front && front != this && front->IsOpen)
        front->ShowSavedStates();
}

void TChildForm::AskPageToClose(std::function<void(bool)> answer)
{
    closeAskers_.push_back(std::move(answer));
    if (closeAskers_.size() > 1)
        return; // already asked: its answer goes to every asker
    if (!browser_ || !IsOpen || discarding_) {
        QTimer::singleShot(0, this, [this] { OnCloseAnswer(true); });
        return;
    }
    closePatience_.start();
    const QScopedValueRollback<bool> requesting(requestingClose_, true);
    browser_->RequestClose();
}

void TChildForm::OnCloseAnswer(bool mayClose)
{
    if (closeAskers_.empty())
        return; // late, after the patience ran out
    if (requestingClose_) {
        // Answered before RequestClose returned: the askers hear it once
        // their own call has returned.
        QTimer::singleShot(0, this, [this, mayClose] { OnCloseAnswer(mayClose); });
        return;
    }
    closePatience_.stop();
    const std::vector<std::function<void(bool)>> askers = std::move(closeAskers_);
    closeAskers_.clear();
    for (const auto &answer : askers)
        Guarded([&] { answer(mayClose); });
}

bool TChildForm::CloseAgreed()
{
    const QScopedValueRollback<bool> agreed(closeAllowed_, true);
    return close();
}

void AskPagesToClose(std::vector<QPointer<TChildForm>> pages, std::function<void(bool)> done)
{
    auto next =
        std::find_if(pages.begin(), pages.end(), [](const QPointer<TChildForm> &page) { return page; });
    if (next == pages.end()) {
        done(true);
        return;
    }
    TChildForm *page = *next;
    pages.erase(pages.begin(), next + 1);
    page->AskPageToClose([pages = std::move(pages), done = std::move(done)](bool mayClose) mutable {
        if (mayClose)
            AskPagesToClose(std::move(pages), std::move(done));
        else
            done(false);
    });
}

void TChildForm::closeEvent(QCloseEvent *event)
{
    if (discarding_ || !IsOpen) {
        QMdiSubWindow::closeEvent(event);
        return;
    }
    // The page is asked first; the window closes once it agrees, and
    // staying keeps it.
    if (!closeAllowed_) {
        event->ignore();
        QPointer<TChildForm> self(this);
        AskPageToClose([self](bool mayClose) {
            if (self && mayClose)
                self->CloseAgreed();
        });
        return;
    }
    Guarded([this] { FormClose(); });
    QMdiSubWindow::closeEvent(event);
}

void TChildForm::resizeEvent(QResizeEvent *event)
{
    QMdiSubWindow::resizeEvent(event);
    if (IsOpen && placed_)
        Guarded([this] { FormResize(); });
}

void TChildForm::changeEvent(QEvent *event)
{
    QMdiSubWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && IsOpen && placed_)
        Guarded([this] { FormResize(); });
}

void TChildForm::OnStatusTextChange(const QString &text)
{
    // The indicators belong to the window in front.
    Guarded([&] {
        if (host_.ActiveChild() == this)
            host_.Indicators().StatusPanel->setText(text);
    });
}

void TChildForm::OnProgressChange(int progress, int progressMax)
{
    Guarded([&] {
        if (host_.ActiveChild() == this)
            ShowProgress(progress, progressMax);
    });
}

void TChildForm::OnTitleChange(const QString &text)
{
    Guarded([&] {
        SetCaption(text);
        pageTitle_ = text;
        host_.PageTitled(browser_->LocationURL(), text);
        host_.SetTabCaptionOfWindow(Tag, text);
        // A window behind keeps its hands off the address box, where the
        // user may be typing for the window in front; so does the window in
        // front while the user types there or has selected its text (Ctrl+L):
        // a page that changes its title every few seconds would otherwise
        // take the typing away, or the selection the next key replaces.
        QLineEdit *address = host_.Indicators().txtAddress;
        const bool typing = address->window()->focusWidget() == address &&
                            (address->isModified() || address->hasSelectedText());
        if (host_.ActiveChild() == this && !typing)
            address->setText(browser_->LocationURL());
    });
}

void TChildForm::OnCommandStateChange(int command, bool enable)
{
    Guarded([&] {
        // The engines report their history after every navigation, also for
        // pages loading behind the front one: a window behind keeps its own
        // states, which come back when it is activated, and leaves the
        // buttons to the front page.
        if (IsOpen && host_.ActiveChild() != this) {
            if (command == CSC_NAVIGATEFORWARD)
                FrwrdState = enable;
            else if (command == CSC_NAVIGATEBACK)
                BackState = enable;
            ReLoadState = true;
            return;
        }
        PageIndicators &ind = host_.Indicators();
        if (command == CSC_NAVIGATEFORWARD)
            ind.FrwrdCtrl->setEnabled(enable);
        else if (command == CSC_NAVIGATEBACK)
            ind.BackCtrl->setEnabled(enable);
        ind.ReLoadCtrl->setEnabled(true);
        SubChange(IsOpen);
    });
}

void TChildForm::OnNewWindow2(WebBrowser2 *&ppDisp, bool &cancel)
{
    Guarded([&] { host_.NewWindowRequested(Kind(), ppDisp, cancel); });
}

void TChildForm::OnBeforeNavigate2(const QString &url, bool &cancel)
{
    // Child windows let every navigation go ahead, but for the first one of
    // a pop-up adopted on about:blank, which the block list may stop.
    if (!CheckNextAddress)
        return;
    CheckNextAddress = false;
    Guarded([&] {
        if (!host_.IsPopupURL(url))
            return;
        cancel = true;
        OnWindowClosing();
    });
}

void TChildForm::OnWindowClosing()
{
    QTimer::singleShot(0, this, [this] {
        if (IsOpen)
            CloseWindow();
    });
}

void TChildForm::OnDownloadBegin()
{
    Guarded([this] {
        pageTitle_.clear();
        StopState = true;
        if (host_.ActiveChild() == this)
            host_.Indicators().StopCtrl->setEnabled(true);
    });
}

void TChildForm::OnDocumentComplete(const QString &url, bool ok)
{
    firstLoadDone_ = true;
    Guarded([&] {
        if (ok)
            host_.PageVisited(url, pageTitle_);
    });
}

void TChildForm::OnDownloadComplete()
{
    Guarded([this] {
        StopState = false;
        if (host_.ActiveChild() == this)
            host_.Indicators().StopCtrl->setEnabled(false);
    });
}

// ---------------------------------------------------------------------------
// The page's questions.

QWidget *TChildForm::DialogParent()
{
    if (QWidget *owner = host_.Window())
        return owner;
    return window();
}

void TChildForm::BringToFront()
{
    if (IsOpen && mdiArea() && host_.ActiveChild() != this)
        mdiArea()->setActiveSubWindow(this);
}

bool TChildForm::OnPageDialog(const PageDialogRequest &request, QString *text)
{
    bool answer = false;
    Guarded([&] {
        const QScopedValueRollback<bool> asking(asking_, true);
        answer = PageServices::Session().PageDialog(DialogParent(), Tag, request, text,
                                                    [this] { BringToFront(); });
    });
    return answer;
}

bool TChildForm::OnAuthenticate(const AuthenticationRequest &request, QString &user, QString &password)
{
    bool answer = false;
    Guarded([&] {
        BringToFront();
        answer = PageServices::Session().Authenticate(DialogParent(), request, user, password);
    });
    return answer;
}

bool TChildForm::OnCertificateError(const CertificateErrorInfo &error)
{
    bool answer = false;
    Guarded([&] {
        answer = PageServices::Session().CertificateError(DialogParent(), Kind(), error,
                                                          [this] { BringToFront(); });
    });
    return answer;
}

QStringList TChildForm::OnChooseFiles(const FileChooserRequest &request)
{
    QStringList files;
    Guarded([&] { files = PageServices::Session().ChooseFiles(DialogParent(), request); });
    return files;
}

bool TChildForm::OnPermissionRequest(const QUrl &origin, PagePermission permission)
{
    bool answer = false;
    Guarded([&] {
        answer = PageServices::Session().Permission(DialogParent(), origin, permission,
                                                    [this] { BringToFront(); });
    });
    return answer;
}

void TChildForm::OnFileDownload(Download *download)
{
    // The manager owns the transfer from here, also when it refuses it.
    Guarded([&] { Downloads().Add(download, DialogParent()); });
}

void TChildForm::OnFindResult(const QString &text, int matches)
{
    emit FindResult(text, matches);
}

void TChildForm::PrintPage()
{
    const std::optional<PrintChoice> choice = Ui().ChoosePrinter(DialogParent(), windowTitle());
    if (!choice)
        return;
    PrintRequest request;
    request.printerName = choice->printerName;
    request.outputFile = choice->outputFile;
    request.landscape = choice->landscape;
    request.copies = choice->copies;
    browser_->Print(request);
}

void TChildForm::OnPrintFinished(bool ok, const QString &error)
{
    if (ok)
        return;
    const QString reason = error.isEmpty() ? QString::fromUtf8(txt::DownloadUnknownError) : error;
    ShowErrorBox(QString::fromUtf8(txt::PrintFailed).arg(reason));
}

void TChildForm::OnSaveFinished(bool ok, const QString &error)
{
    if (!ok)
        ShowErrorBox(error.isEmpty() ? QString::fromUtf8(txt::DownloadUnknownError) : error);
}

void TChildForm::OnConnectionChange(ConnectionSecurity security, const QString &host)
{
    Guarded([&] {
        Connection = security;
        ConnectionHost = host;
        if (IsOpen && host_.ActiveChild() == this)
            ShowConnection(host_.Indicators().Connection, security, host);
    });
}

// ---------------------------------------------------------------------------
// Full screen: the engine control leaves the window for a full-screen window
// of its own and comes back to the same place.

void TChildForm::OnFullScreenChange(bool fullScreen)
{
    Guarded([&] {
        if (fullScreen)
            EnterFullScreen();
        else
            LeaveFullScreen();
    });
}

void TChildForm::EnterFullScreen()
{
    if (fullScreen_ || !browser_ || !IsOpen)
        return;
    QWidget *control = browser_->Control();
    if (!control || widget() != control)
        return;
    auto *holder = new FullScreenHolder([this] { LeaveFullScreen(); });
    setWidget(nullptr); // takes the control out without deleting it
    holder->layout()->addWidget(control);
    control->show();
    fullScreen_ = holder;
    // The screen's size given first: without a window manager nobody else
    // sizes a full-screen window.
    holder->setGeometry(window()->screen()->geometry());
    holder->showFullScreen();
    holder->activateWindow();
    control->setFocus();
}

void TChildForm::LeaveFullScreen()
{
    if (!fullScreen_)
        return;
    QPointer<QWidget> holder = fullScreen_;
    fullScreen_ = nullptr;
    if (browser_)
        if (QWidget *control = browser_->Control()) {
            setWidget(control);
            control->show();
        }
    holder->hide();
    holder->deleteLater();
    if (QWidget *top = window()) {
        top->activateWindow();
    }
}

} // namespace orvex
