#include "browser/tmpWeb.h"

#include "browser/Downloads.h"
#include "platform/UiServices.h"

#include <QPointer>
#include <QTimer>

namespace orvex {

Tfrm_tmpWeb *frm_tmpWeb = nullptr;

namespace {
int liveCatchers = 0;
}

int Tfrm_tmpWeb::LiveCount()
{
    return liveCatchers;
}

Tfrm_tmpWeb::Tfrm_tmpWeb()
{
    setAttribute(Qt::WA_DontShowOnScreen);
}

Tfrm_tmpWeb::Tfrm_tmpWeb(EngineKind kind, AddressHandler handler, QWidget *dialogOwner)
    : handler_(std::move(handler)), dialogOwner_(dialogOwner)
{
    setAttribute(Qt::WA_DontShowOnScreen);
    web_ = CreateWebBrowser(kind, this);
    web_->SetEvents(this);
    ++liveCatchers;
}

Tfrm_tmpWeb::~Tfrm_tmpWeb()
{
    if (web_) {
        web_->SetEvents(nullptr);
        --liveCatchers;
    }
}

void Tfrm_tmpWeb::OnFileDownload(Download *download)
{
    Guarded([&] { Downloads().Add(download, dialogOwner_); });
}

void Tfrm_tmpWeb::WebBrowser1BeforeNavigate2(const QString &url, bool &cancel)
{
    // Only the first navigation tells the address; nothing else refers to a
    // catcher after it, so its load is cancelled and the catcher released.
    cancel = true;
    if (handled_)
        return;
    handled_ = true;
    // The address is opened and the catcher released from the event loop,
    // not from inside the engine's call chain.
    QPointer<Tfrm_tmpWeb> self(this);
    QTimer::singleShot(0, [self, url] {
        if (!self)
            return;
        if (self->web_)
            self->web_->Stop();
        if (self->handler_)
            Guarded([&] { self->handler_(url); });
        delete self.data();
    });
}

} // namespace orvex
