#include "browser/childMoz.h"

#include <QAction>
#include <QLineEdit>
#include <QProgressBar>
#include <algorithm>

namespace orvex {

Tfrm_MZ::Tfrm_MZ(BrowserHost &host, QWidget *parent) : TChildForm(host, parent)
{
    web_ = CreateWebBrowser(EngineKind::Gecko, this); // throws before anything is shown
    AttachBrowser(web_.get());
    setWindowTitle(QStringLiteral("Gecko"));

    // Creation. A Gecko window opens in the state new windows take, like an
    // IE window, so that maximised windows stay maximised whatever engine
    // opened them.
    FormCreate();
}

Tfrm_MZ::~Tfrm_MZ()
{
    LeaveFullScreen(); // the control goes with this window, not with its full-screen one
    if (browser_)
        browser_->SetEvents(nullptr);
}

void Tfrm_MZ::FormResize()
{
    // A minimised Gecko window leaves the state of new windows alone.
    if (!RecordsWindowState())
        return;
    if (windowState() & Qt::WindowMinimized)
        return;
    host_.ChildWinState() =
        (windowState() & Qt::WindowMaximized) ? ChildState::Maximized : ChildState::Normal;
}

void Tfrm_MZ::FormActivate()
{
    PageIndicators &ind = host_.Indicators();
    ind.txtAddress->setText(browser_->LocationURL());
    ind.ProgressBar1->setValue(ProgressPos);
    FormResize();
    ActivateIndicators();
    ind.mnuShow_Size->setEnabled(false);
    if (host_.AllClosing() == 0)
        host_.SelectTabOfWindow(Tag);
}

void Tfrm_MZ::OnProgressChange(int progress, int progressMax)
{
    if (host_.ActiveChild() != this)
        return;
    PageIndicators &ind = host_.Indicators();
    QProgressBar *bar = ind.ProgressBar1;
    if (progress != 0 && progressMax != 0) {
        long long pos = static_cast<long long>(progress) * 100 / progressMax;
        bar->setValue(static_cast<int>(std::clamp<long long>(pos, 0, 100)));
    }
    // The Gecko engine reports its end as 100: the bar goes back to 0 and
    // the stop button goes off.
    if (bar->value() == 100) {
        bar->setValue(0);
        ind.StopCtrl->setEnabled(false);
    } else {
        ind.StopCtrl->setEnabled(true);
    }
    ProgressPos = bar->value();
}

} // namespace orvex
