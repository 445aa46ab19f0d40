#include "browser/childIE.h"

#include <QAction>
#include <QLineEdit>
#include <QProgressBar>
#include <algorithm>
#include <stdexcept>

namespace orvex {

Tfrm_IE::Tfrm_IE(BrowserHost &host, QWidget *parent, std::unique_ptr<WebBrowser2> adopted)
    : TChildForm(host, parent)
{
    web_ = std::make_unique<TUIWebBrowser>(this, std::move(adopted)); // throws before anything is shown
    AttachBrowser(web_->Browser());
    setWindowTitle(QStringLiteral("Internet Explorer"));

    // Creation: the page's text size first, then the shared steps. The IE
    // control's text size is one setting for all its windows, so a new page
    // shows the size that is checked; an engine that cannot zoom keeps its own.
    PageMojiSize = host_.MojiSize();
    if (PageMojiSize <= 4) {
        try {
            browser_->Zoom(PageMojiSize);
        } catch (const std::runtime_error &) {
            // An engine that cannot size its text shows the page at its own
            // size, as the size commands leave it; the window still opens.
        }
    }
    FormCreate();
}

Tfrm_IE::~Tfrm_IE()
{
    ReleaseBrowser();
}

void Tfrm_IE::FormResize()
{
    // The engine control fills the window through the sub-window's layout;
    // what remains is to remember the state for the next window.
    if (RecordsWindowState())
        host_.ChildWinState() = ChildStateOf(windowState());
}

void Tfrm_IE::ActivateEngine()
{
    host_.CheckMojiSize(PageMojiSize);
    host_.Indicators().mnuShow_Size->setEnabled(true);
}

void Tfrm_IE::ShowProgress(int progress, int progressMax)
{
    QProgressBar *bar = host_.Indicators().ProgressBar1;
    if (progressMax != 0) {
        bar->setValue(Percent(progress, progressMax));
    } else if (progress == 0) {
        bar->setValue(0);
    }
    ProgressPos = bar->value();
}

} // namespace orvex
