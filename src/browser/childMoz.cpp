#include "browser/childMoz.h"

#include <QAction>
#include <QLineEdit>
#include <QProgressBar>
#include <algorithm>

namespace orvex {

Tfrm_MZ::Tfrm_MZ(BrowserHost &host, QWidget *parent, std::unique_ptr<WebBrowser2> adopted)
    : TChildForm(host, parent)
{
    // A new control throws before anything is shown.
    web_ = adopted ? std::move(adopted) : CreateWebBrowser(EngineKind::Gecko, this);
    AttachBrowser(web_.get());
    setWindowTitle(QStringLiteral("Gecko"));

    // Creation. A Gecko window opens in the state new windows take, like an
    // IE window, so that maximised windows stay maximised whatever engine
    // opened them.
    FormCreate();
}

Tfrm_MZ::~Tfrm_MZ()
{
    ReleaseBrowser();
}

void Tfrm_MZ::FormResize()
{
    // A minimised Gecko window leaves the state of new windows alone.
    if (RecordsWindowState() && !(windowState() & Qt::WindowMinimized))
        host_.ChildWinState() = ChildStateOf(windowState());
}

void Tfrm_MZ::ActivateEngine()
{
    FormResize();
    host_.Indicators().mnuShow_Size->setEnabled(false);
}

void Tfrm_MZ::ShowProgress(int progress, int progressMax)
{
    PageIndicators &ind = host_.Indicators();
    QProgressBar *bar = ind.ProgressBar1;
    if (progress != 0 && progressMax != 0)
        bar->setValue(Percent(progress, progressMax));
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
