#include "browser/ChildForm.h"

#include "platform/UiServices.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QProgressBar>
#include <algorithm>

namespace orvex {

int AllClosing = 0;

TChildForm::TChildForm(BrowserHost &host, QWidget *parent) : QMdiSubWindow(parent), host_(host)
{
    setAttribute(Qt::WA_DeleteOnClose);
}

TChildForm::~TChildForm() = default;

void TChildForm::AttachBrowser(WebBrowser2 *browser)
{
    browser_ = browser;
    setWidget(browser->Control());
    browser->SetEvents(this);
}

void TChildForm::FormCreate()
{
    AllClosing = 0;
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

void TChildForm::Place(QMdiArea *area, int number, bool behind)
{
    // The default place of a new window: cascaded from the top left, three
    // quarters of the area in size. Giving it here also spares the area its
    // search for a free spot, which grows with every window already open.
    const QSize client = area->viewport()->size();
    const QSize size(std::max(320, client.width() * 3 / 4), std::max(240, client.height() * 3 / 4));
    const int step = 24 * (number % 8);
    setGeometry(step, step, size.width(), size.height());
    area->addSubWindow(this);
    if (behind)
        show();
    else
        ApplyChildWinState(); // shows the window, already in its state
    placed_ = true;
    area->setActiveSubWindow(this);
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
    ind.StatusPanel->clear();
    ind.BackCtrl->setEnabled(false);
    ind.FrwrdCtrl->setEnabled(false);
    ind.ReLoadCtrl->setEnabled(false);
    ind.StopCtrl->setEnabled(false);
}

void TChildForm::ActivateIndicators()
{
    PageIndicators &ind = host_.Indicators();
    TChildForm *active = host_.ActiveChild();
    if (!active)
        active = this;
    ind.BackCtrl->setEnabled(active->BackState);
    ind.FrwrdCtrl->setEnabled(active->FrwrdState);
    ind.StopCtrl->setEnabled(active->StopState);
    ind.ReLoadCtrl->setEnabled(active->ReLoadState);
    ind.mnuFile_SaveAs->setEnabled(true);
    ind.mnuEdit_slrAll->setEnabled(true);
    ind.mnuEdit_Copy->setEnabled(true);
}

void TChildForm::FormClose()
{
    PageIndicators &ind = host_.Indicators();
    IsOpen = false;
    SubChange(false);
    ind.mnuFile_SaveAs->setEnabled(false);
    ind.mnuEdit_slrAll->setEnabled(false);
    ind.mnuEdit_Copy->setEnabled(false);
    ind.mnuShow_Size->setEnabled(false);
    host_.RemoveTab(Tag);
    host_.AddClosedURL(browser_ ? browser_->LocationURL() : QString());
    ind.txtAddress->clear();
    // No more events for a window on its way out.
    if (browser_)
        browser_->SetEvents(nullptr);
    host_.ChildClosed(this);
}

void TChildForm::closeEvent(QCloseEvent *event)
{
    if (discarding_ || !IsOpen) {
        QMdiSubWindow::closeEvent(event);
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
    Guarded([&] { host_.Indicators().StatusPanel->setText(text); });
}

void TChildForm::OnTitleChange(const QString &text)
{
    Guarded([&] {
        setWindowTitle(text);
        host_.SetTabCaptionOfWindow(Tag, text);
        host_.Indicators().txtAddress->setText(browser_->LocationURL());
    });
}

void TChildForm::OnCommandStateChange(int command, bool enable)
{
    Guarded([&] {
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

void TChildForm::OnBeforeNavigate2(const QString &, bool &)
{
    // Child windows let every navigation go ahead; only the catcher looks.
}

} // namespace orvex
