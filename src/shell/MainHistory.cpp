// The history in the main window: pages the windows show are recorded, the
// history panel stands beside the side bar (表示 > 履歴, Ctrl+H), the address
// box completes from the history and the bookmarks, and 閲覧データの消去
// clears the history and the engines' cookies and cache.
#include "shell/Main.h"

#include "browser/ChildForm.h"
#include "browser/EngineLoader.h"
#include "core/BookmarkStore.h"
#include "core/Errors.h"
#include "core/FileProblems.h"
#include "history/AddressCompleter.h"
#include "history/ClearDataDialog.h"
#include "history/HistoryPanel.h"
#include "history/HistoryStore.h"
#include "platform/UiServices.h"
#include "shell/BarLayout.h"

#include <QAction>
#include <QBoxLayout>
#include <QDateTime>
#include <QLineEdit>
#include <QTreeView>
#include <limits>

namespace orvex {

namespace {

constexpr const char *kHistoryFile = "history.sqlite";
constexpr int kHistoryPanelWidth = 240;

void FlattenBookmarks(const BookmarkTree &tree, std::vector<CompletionBookmark> &out)
{
    for (const BookmarkNode &node : tree) {
        if (node.folder)
            FlattenBookmarks(node.children, out);
        else if (!node.url.empty())
            out.push_back({node.url, node.caption});
    }
}

} // namespace

void TMainForm::BuildHistory()
{
    history_ = std::make_unique<HistoryStore>(ToQ(appDir_ + kHistoryFile));
    connect(history_.get(), &HistoryStore::Damaged, this, Guard([](const QString &backup) {
                ReportFileProblem(FormatMessage(msg::HistoryKeptAside, FromQ(backup)));
            }));

    historyPanel_ = new THistoryPanel(*history_);
    historyPanel_->setFixedWidth(kHistoryPanelWidth);
    historyPanel_->hide();
    // The panel stands right of the side bar, in the row of the MDI area.
    QWidget *sideBar = bars_->Widgets().JBar;
    if (auto *row = qobject_cast<QBoxLayout *>(sideBar->parentWidget()->layout()->itemAt(0)->layout()))
        row->insertWidget(row->indexOf(sideBar) + 1, historyPanel_);
    connect(historyPanel_, &THistoryPanel::OpenRequested, this,
            Guard([this](const QString &url, bool newWindow) {
                bars_->Widgets().txtAddress->setText(url);
                WebBrowser2 *active = ChildCount() > 0 ? ActiveBrowser() : nullptr;
                if (newWindow || !active)
                    OpenNewWindow(ToolsEngine(), url, QString());
                else
                    active->Navigate(url);
            }));
    if (Settings().One(keys::ExtHistoryPanel)) {
        historyPanel_->show();
        mnuShow_History->setChecked(true);
    }

    completer_ = std::make_unique<TAddressCompleter>(*bars_->Widgets().txtAddress, *history_,
                                                     [this] { return CompletionBookmarks(); });
    connect(completer_.get(), &TAddressCompleter::Chosen, this, Guard([this] { btnMoveClick(); }));
}

const std::vector<CompletionBookmark> &TMainForm::CompletionBookmarks()
{
    // The file is read again only when it changed; so is the flat list.
    const std::shared_ptr<const BookmarkFile> file = ReadBookmarkFile();
    if (!completionBookmarks_ || completionSource_ != file) {
        completionBookmarks_ = std::make_unique<std::vector<CompletionBookmark>>();
        FlattenBookmarks(file->tree, *completionBookmarks_);
        completionSource_ = file;
    }
    return *completionBookmarks_;
}

void TMainForm::mnuHistoryClick()
{
    const bool show = !historyPanel_->isVisible();
    historyPanel_->setVisible(show);
    mnuShow_History->setChecked(show);
    if (show)
        historyPanel_->SearchBox()->setFocus();
    // Written only once the user has chosen, as every key of this section.
    Settings().WriteFlag(keys::ExtHistoryPanel, show);
}

void TMainForm::mnuClearDataClick()
{
    TClearDataDialog dialog(this);
    if (dialog.exec() == QDialog::Accepted)
        ClearBrowsingData(dialog.Choice());
}

void TMainForm::ClearBrowsingData(const ClearDataChoice &choice)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const qint64 since = choice.Since(now);
    if (choice.history) {
        // To the end of time: visits recorded a moment after "now" go too.
        history_->RemoveVisitedBetween(since, std::numeric_limits<qint64>::max());
        history_->Flush();
    }
    ClearDataRequest request;
    request.kinds =
        (choice.cookies ? uint32_t(CLEARDATA_COOKIES) : 0u) | (choice.cache ? uint32_t(CLEARDATA_CACHE) : 0u);
    request.since = since;
    if (request.kinds == 0)
        return;
    // Each engine is cleared even when the other cannot be; the first
    // failure is told afterwards.
    std::string failure;
    for (EngineKind kind : {EngineKind::InternetExplorer, EngineKind::Gecko}) {
        try {
            ClearEngineData(kind, request);
        } catch (const std::exception &e) {
            if (failure.empty())
                failure = e.what();
        }
    }
    if (!failure.empty())
        throw Error(failure);
}

void TMainForm::PageVisited(const QString &url, const QString &title)
{
    if (history_ && Settings().NonZero(keys::ExtHistory))
        history_->RecordVisit(url, title);
}

void TMainForm::PageTitled(const QString &url, const QString &title)
{
    if (history_)
        history_->SetTitle(url, title);
}

} // namespace orvex
