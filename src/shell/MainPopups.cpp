// Pages that ask for new windows get them as tabs, unless the address is on
// the block list; and the recently closed pages offered for reopening.
#include "shell/Main.h"

#include "browser/UrlMask.h"
#include "browser/tmpWeb.h"
#include "platform/LineList.h"
#include "platform/UiServices.h"
#include "shell/MenuText.h"

#include <QAction>
#include <QMenu>

namespace orvex {

void TMainForm::NewWindowRequested(EngineKind requester, WebBrowser2 *&ppDisp, bool &cancel)
{
    // The catcher's engine is the requester's (an engine can only hand its
    // page to its own kind); the new window takes the Tools menu's engine.
    auto *catcher = new Tfrm_tmpWeb(
        requester,
        [this](const QString &address) {
            if (IsPopupURL(address))
                return;
            OpenNewWindow(IE_item->isChecked() ? QStringLiteral("Internet Explorer")
                                               : QStringLiteral("Gecko"),
                          address);
        },
        this);
    ppDisp = catcher->WebBrowser1();
    cancel = false;
}

bool TMainForm::IsPopupURL(const QString &address)
{
    if (!Settings().NonZero(keys::CloseURL))
        return false;
    // Read and compiled once per change of the file, not at every request.
    static std::shared_ptr<const std::vector<std::string>> lines;
    static std::shared_ptr<const MaskList> masks;
    const std::shared_ptr<const std::vector<std::string>> current =
        LoadLineListShared(AppDirPath + "CloseURL.txt");
    if (current != lines) {
        masks = std::make_shared<const MaskList>(*current);
        lines = current;
    }
    // Every line counts, so a malformed mask anywhere is reported.
    return masks->MatchesAny(FromQ(address));
}

void TMainForm::mnuLeastURLClick()
{
    // Everything but the placeholder goes; then one item per address, oldest first.
    for (QAction *item : mnuLeastURL->actions()) {
        if (item == mnuLeastURL_Child)
            continue;
        mnuLeastURL->removeAction(item);
        item->deleteLater();
    }
    const std::vector<std::string> &entries = closedList.Entries();
    for (size_t i = 0; i < entries.size(); ++i) {
        const std::string shown = FromQ(MenuLiteral(ToQ(entries[i])));
        auto *item = new QAction(ToQ(ClosedList::Caption(i, shown)), this);
        item->setStatusTip(ToQ(entries[i]));
        connect(item, &QAction::triggered, this, [this, item] { Guarded([=] { LeastURLItemClick(item); }); });
        mnuLeastURL->insertAction(mnuLeastURL_Child, item);
    }
}

} // namespace orvex
