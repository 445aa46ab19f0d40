// Pages that ask for new windows get them as tabs, unless the address is on
// the block list; and the recently closed pages offered for reopening.
#include "shell/Main.h"

#include "browser/tmpWeb.h"
#include "core/Errors.h"
#include "core/LineList.h"
#include "core/Settings.h"
#include "core/UrlMask.h"
#include "platform/UiServices.h"
#include "shell/Captions.h"
#include "shell/MenuText.h"

#include <QAction>
#include <QMenu>
#include <future>
#include <memory>

namespace orvex {

void TMainForm::NewWindowRequested(EngineKind requester, WebBrowser2 *&ppDisp, bool &cancel)
{
    // The catcher's engine is the requester's (an engine can only hand its
    // page to its own kind). When the Tools menu's engine is the same, the
    // new window adopts the page itself, with its opener, its form data and
    // what a script writes into it; a page cannot cross engines, so in the
    // other engine the address opens with a new request.
    Tfrm_tmpWeb::Handlers handlers;
    handlers.decide = [this, requester](const QString &address) {
        using Fate = Tfrm_tmpWeb::Fate;
        // A page's source view has no address to load anew: it stays in its
        // engine whatever the Tools menu says.
        const bool adopt = ToolsEngine() == requester || address.startsWith(QLatin1String("view-source:"));
        // An about:blank pop-up is checked at the address it goes on to.
        const bool blank = adopt && address == QLatin1String("about:blank");
        if (!blank && IsPopupURL(address))
            return Fate::Refuse;
        if (!adopt)
            return Fate::Reopen;
        return TabLimitReached() ? Fate::Refuse : Fate::Adopt;
    };
    handlers.reopen = [this](const QString &address) {
        OpenNewWindow(ToolsEngine(), address, EngineCaption(ToolsEngine()));
    };
    handlers.adopt = [this](CaughtPage &page) {
        OpenNewWindow(page.kind, QString(), EngineCaption(page.kind), &page);
    };
    auto *catcher = new Tfrm_tmpWeb(requester, std::move(handlers), this);
    ppDisp = catcher->WebBrowser1();
    cancel = false;
}

namespace {

// The block list, compiled on a worker thread once per change of the file,
// so that a large list neither holds up the start nor every check.
std::shared_future<std::shared_ptr<const MaskList>> CompiledBlockList(const std::string &path)
{
    static std::shared_ptr<const std::vector<std::string>> lines;
    static std::shared_future<std::shared_ptr<const MaskList>> masks;
    const std::shared_ptr<const std::vector<std::string>> current = LoadLineListShared(path);
    if (current != lines) {
        lines = current;
        masks = std::async(std::launch::async, [current] {
                    return std::make_shared<const MaskList>(*current);
                }).share();
    }
    return masks;
}

} // namespace

void TMainForm::PreparePopupCheck()
{
    if (!Settings().NonZero(keys::CloseURL))
        return;
    try {
        CompiledBlockList(appDir_ + "CloseURL.txt");
    } catch (const Error &) {
        // Told at the first check, where the list is needed.
    }
}

bool TMainForm::IsPopupURL(const QString &address)
{
    if (!Settings().NonZero(keys::CloseURL))
        return false;
    // Every line counts, so a malformed mask anywhere is reported.
    return CompiledBlockList(appDir_ + "CloseURL.txt").get()->MatchesAny(FromQ(address));
}

void TMainForm::mnuLeastURLClick()
{
    // Everything but the placeholder goes; then one item per address, oldest first.
    for (QAction *item : menu_.mnuLeastURL->actions()) {
        if (item == menu_.mnuLeastURL_Child)
            continue;
        menu_.mnuLeastURL->removeAction(item);
        item->deleteLater();
    }
    const std::vector<std::string> &entries = closedList_.Entries();
    for (size_t i = 0; i < entries.size(); ++i) {
        const std::string shown = FromQ(MenuLiteral(ToQ(entries[i])));
        auto *item = new QAction(ToQ(ClosedList::Caption(i, shown)), this);
        item->setStatusTip(ToQ(entries[i]));
        connect(item, &QAction::triggered, this, Guard([this, item] { LeastURLItemClick(item); }));
        menu_.mnuLeastURL->insertAction(menu_.mnuLeastURL_Child, item);
    }
}

} // namespace orvex
