#include "browser/childIE.h"

#include <QAction>
#include <QLineEdit>
#include <QProgressBar>
#include <algorithm>

namespace orvex {

Tfrm_IE::Tfrm_IE(BrowserHost &host, QWidget *parent) : TChildForm(host, parent)
{
    web_ = std::make_unique<TUIWebBrowser>(this); // throws before anything is shown
    AttachBrowser(web_->Browser());
    setWindowTitle(QStringLiteral("Internet Explorer"));

    // Creation: the page's text size first, then the shared steps. The IE
    // control's text size is one setting for all its windows, so a new page
    // shows the size that is checked; an engine that cannot zoom keeps its own.
    PageMojiSize = host_.MojiSize();
    if (PageMojiSize <= 4) {
        try {
            browser_->ExecWB(OLECMDID_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, QVariant(int(PageMojiSize)),
                             nullptr);
        } catch (...) {
        }
    }
    FormCreate();
}

Tfrm_IE::~Tfrm_IE()
{
    LeaveFullScreen(); // the control goes with this window, not with its full-screen one
    if (browser_)
        browser_->SetEvents(nullptr);
}

void Tfrm_IE::FormResize()
{
    // The engine control fills the window through the sub-window's layout;
    // what remains is to remember the state for the next window.
    if (!RecordsWindowState())
        return;
    if (windowState() & Qt::WindowMinimized)
        host_.ChildWinState() = ChildState::Minimized;
    else if (windowState() & Qt::WindowMaximized)
        host_.ChildWinState() = ChildState::Maximized;
    else
        host_.ChildWinState() = ChildState::Normal;
}

void Tfrm_IE::FormActivate()
{
    PageIndicators &ind = host_.Indicators();
    ind.txtAddress->setText(browser_->LocationURL());
    ind.ProgressBar1->setValue(ProgressPos);
    ActivateIndicators();
    host_.CheckMojiSize(PageMojiSize);
    ind.mnuShow_Size->setEnabled(true);
    if (host_.AllClosing() == 0)
        host_.SelectTabOfWindow(Tag);
}

void Tfrm_IE::OnProgressChange(int progress, int progressMax)
{
    if (host_.ActiveChild() != this)
        return;
    QProgressBar *bar = host_.Indicators().ProgressBar1;
    if (progressMax != 0) {
        long long pos = static_cast<long long>(progress) * 100 / progressMax;
        bar->setValue(static_cast<int>(std::clamp<long long>(pos, 0, 100)));
    } else if (progress == 0) {
        bar->setValue(0);
    }
    ProgressPos = bar->value();
}

} // namespace orvex
