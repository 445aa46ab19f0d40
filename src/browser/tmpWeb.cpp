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

Tfrm_tmpWeb::Tfrm_tmpWeb(EngineKind kind, Handlers handlers, QWidget *dialogOwner)
    : kind_(kind), handlers_(std::move(handlers)), dialogOwner_(dialogOwner), catching_(true)
{
    setAttribute(Qt::WA_DontShowOnScreen);
    web_ = CreateWebBrowser(kind, this);
    web_->SetEvents(this);
    ++liveCatchers;
}

Tfrm_tmpWeb::~Tfrm_tmpWeb()
{
    if (web_)
        web_->SetEvents(nullptr);
    if (catching_)
        --liveCatchers;
}

void Tfrm_tmpWeb::OnFileDownload(Download *download)
{
    Guarded([&] { Downloads().Add(download, dialogOwner_); });
}

void Tfrm_tmpWeb::OnBeforeNavigate2(const QString &url, bool &cancel)
{
    Guarded([&] { WebBrowser1BeforeNavigate2(url, cancel); });
}

void Tfrm_tmpWeb::WebBrowser1BeforeNavigate2(const QString &url, bool &cancel)
{
    // Only the first navigation tells the address. A page on its way to be
    // adopted loads on (a redirect, say); any other is cancelled.
    if (handled_) {
        cancel = fate_ != Fate::Adopt || closed_;
        return;
    }
    handled_ = true;
    // Decided now, so that a refused page sends no request at all.
    try {
        fate_ = handlers_.decide ? handlers_.decide(url) : Fate::Refuse;
    } catch (...) {
        fate_ = Fate::Refuse;
        error_ = std::current_exception();
    }
    cancel = fate_ != Fate::Adopt;
    QPointer<Tfrm_tmpWeb> self(this);
    QTimer::singleShot(0, [self, url] {
        if (self)
            self->Finish(url);
    });
}

void Tfrm_tmpWeb::OnWindowClosing()
{
    closed_ = true;
    if (handled_)
        return; // Finish releases it
    handled_ = true;
    QPointer<Tfrm_tmpWeb> self(this);
    QTimer::singleShot(0, [self] { delete self.data(); });
}

void Tfrm_tmpWeb::Finish(const QString &url)
{
    if (error_) {
        const std::exception_ptr error = error_;
        Guarded([&] { std::rethrow_exception(error); });
    } else if (fate_ == Fate::Reopen) {
        if (web_)
            web_->Stop();
        if (handlers_.reopen)
            Guarded([&] { handlers_.reopen(url); });
    } else if (fate_ == Fate::Adopt && !closed_ && web_ && handlers_.adopt) {
        CaughtPage page;
        page.kind = kind_;
        page.title = title_;
        page.checkNextAddress = url == QLatin1String("about:blank");
        web_->SetEvents(nullptr);
        page.control = std::move(web_);
        Guarded([&] { handlers_.adopt(page); });
        // Not adopted after all (the tab limit was reached meanwhile): the
        // page goes with the catcher.
        web_ = std::move(page.control);
    }
    delete this;
}

} // namespace orvex
