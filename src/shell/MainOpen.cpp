// Opening pages: the one routine every new window goes through, and the
// commands that open or move to addresses.
#include "shell/Main.h"

#include "browser/childIE.h"
#include "browser/childMoz.h"
#include "browser/tmpWeb.h"
#include "browser/untTab.h"
#include "core/AddressText.h"
#include "core/Errors.h"
#include "platform/UiServices.h"
#include "platform/UiTexts.h"
#include "shell/BarLayout.h"
#include "shell/Captions.h"
#include "shell/ChildWindowHost.h"
#include "shell/TabStrip.h"

#include <QAction>
#include <QElapsedTimer>
#include <QHostInfo>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QStyle>
#include <QStyleOptionTitleBar>
#include <QTimer>
#include <algorithm>

namespace orvex {

namespace {

// A window opened behind the one in front is activated, and then the front
// window again, as the MDI area keeps its order of activation. An activated
// window takes the keyboard focus unless it has it already: lent the focused
// control as focus proxy, each window has it, and the focus stays with the
// control. Focus inside a page cannot be lent so: the page's window lets go
// of it when the new window is activated, and it is given back afterwards.
// Each activation also writes the window's address into the address box:
// what the user was typing there is put back as it was.
class FocusShield {
public:
    FocusShield(QWidget *typing, const std::vector<TChildForm *> &windows) : typing_(typing)
    {
        if (!typing_)
            return;
        if (auto *box = qobject_cast<QLineEdit *>(typing_)) {
            typed_ = box->text();
            cursor_ = box->cursorPosition();
            selectionStart_ = box->selectionStart();
            selectionLength_ = box->selectedText().size();
        }
        // Only a control outside the pages is lent.
        for (TChildForm *window : windows)
            if (window->isAncestorOf(typing_))
                return;
        for (TChildForm *window : windows) {
            if (window->focusProxy())
                continue;
            window->setFocusProxy(typing_);
            lent_.push_back(window);
        }
    }
    ~FocusShield() { Lift(); }
    FocusShield(const FocusShield &) = delete;
    FocusShield &operator=(const FocusShield &) = delete;

    void Restore()
    {
        Lift();
        auto *box = qobject_cast<QLineEdit *>(typing_.data());
        if (box && box->text() != typed_) {
            box->setText(typed_);
            if (selectionStart_ < 0)
                box->setCursorPosition(cursor_);
            else if (cursor_ == selectionStart_) // selected leftwards
                box->setSelection(selectionStart_ + selectionLength_, -selectionLength_);
            else
                box->setSelection(selectionStart_, selectionLength_);
        }
        if (typing_ && !typing_->hasFocus() && typing_->isVisible())
            typing_->setFocus(Qt::OtherFocusReason);
    }

private:
    void Lift()
    {
        for (const QPointer<QWidget> &window : lent_)
            if (window && window->focusProxy() == typing_)
                window->setFocusProxy(nullptr);
        lent_.clear();
    }

    QPointer<QWidget> typing_;
    std::vector<QPointer<QWidget>> lent_;
    QString typed_;
    int cursor_ = 0;
    int selectionStart_ = -1;
    int selectionLength_ = 0;
};

} // namespace

ArrangingScope::ArrangingScope(TMainForm &form) : form_(form)
{
    ++form_.arranging_;
}
ArrangingScope::~ArrangingScope()
{
    if (--form_.arranging_ == 0 && form_.coverPending_)
        form_.UpdateCoveredPages();
}

bool TMainForm::TabLimitReached()
{
    const SettingsFile settings = Settings();
    return settings.NonZero(keys::TabLen) &&
           windows_.Count() == static_cast<uint8_t>(settings.Read(keys::TabMaxLen));
}

TChildForm *TMainForm::OpenNewWindow(EngineKind kind, const QString &address, const QString &caption,
                                     CaughtPage *caught)
{
    const SettingsFile settings = Settings();

    // The tab limit refuses silently.
    if (TabLimitReached())
        return nullptr;

    // The Gecko folder only says where the Gecko module is looked for
    // (EngineLoader): the working folder stays, and with it every file.

    const int remembered = windows_.Selected();
    const bool newWindowActive = settings.NonZero(keys::NewWindowActive);
    // With a tab selected that keeps its selection, the new window opens
    // behind the window in front of it.
    const bool background = remembered >= 0 && !newWindowActive;
    // An adopted page stays in the engine that made it.
    if (caught)
        kind = caught->kind;
    const int32_t number = windows_.Open(kind);

    TChildForm *child = nullptr;
    try {
        std::unique_ptr<WebBrowser2> adopted = caught ? std::move(caught->control) : nullptr;
        if (kind == EngineKind::InternetExplorer)
            child = new Tfrm_IE(*host_, nullptr, std::move(adopted));
        else
            child = new Tfrm_MZ(*host_, nullptr, std::move(adopted));
    } catch (...) {
        // Windows and tabs stay paired: the tab of a window that could not
        // be made is taken back; its number stays used.
        windows_.Remove(windows_.IndexOf(number));
        windows_.Select(remembered);
        throw;
    }
    // The window has its number before it is shown or navigated: what its
    // engine reports from then on (a title during Navigate, for one) goes to
    // its own tab.
    child->Tag = number;
    ArrangingScope arranging(*this);
    const QRect place = NextWindowPlace(*child);
    windows_.Attach(number, child);
    const std::vector<TChildForm *> children = Children();
    // Whatever has the keyboard focus keeps it while a window opens behind.
    FocusShield shield(background ? focusWidget() : nullptr, children);
    child->setWindowIcon(Image(Picture::WebPage));
    // A window opened behind a maximised window. The area would restore the
    // front window when the new one is activated, and maximise it again when
    // it comes back to the front, resizing and redrawing its page twice: it
    // keeps the front window as it is while the new one is placed. The new
    // window is shown in the normal state it ends in, and its page, covered
    // at the end, stays hidden from the start, so the engine neither sizes
    // nor draws it meanwhile.
    TChildForm *front = ActiveChild();
    const bool behindMaximised = background && front && front->isMaximized();
    if (behindMaximised)
        if (QWidget *page = child->widget())
            page->hide();
    mdiArea->setOption(QMdiArea::DontMaximizeSubWindowOnActivation, behindMaximised);
    child->Place(mdiArea, place, behindMaximised);
    mdiArea->setOption(QMdiArea::DontMaximizeSubWindowOnActivation, false);
    connect(child, &QMdiSubWindow::windowStateChanged, this, &TMainForm::UpdateCoveredPages);
    child->installEventFilter(this);
    UpdateCoveredPages();
    UpdateChildCommands();

    child->SetCaption(caption);
    // An engine error on Navigate still completes the open, so the window
    // keeps its number and its tab; the error is reported afterwards.
    std::exception_ptr navigateError;
    if (caught) {
        // The adopted page is loading already; a title it reported while
        // caught is its caption now.
        child->CheckNextAddress = caught->checkNextAddress;
        if (!caught->title.isEmpty())
            child->OnTitleChange(caught->title);
    } else {
        try {
            child->Browser()->Navigate(address);
        } catch (...) {
            navigateError = std::current_exception();
        }
    }

    if (newWindowActive) {
        windows_.Select(windows_.Count() - 1);
    } else {
        windows_.Select(remembered);
        TabControl1Change();
    }
    shield.Restore();
    if (navigateError)
        std::rethrow_exception(navigateError);
    return child;
}

QRect TMainForm::NextWindowPlace(const QWidget &window)
{
    // Three quarters of the area in size, never larger than the area; each
    // new window a title bar's height down and right of the one before,
    // back at the top left when the next place would leave the area.
    const QRect area = mdiArea->viewport()->rect();
    const QSize size = DefaultWindowSize(area.size());
    QStyleOptionTitleBar titleBar;
    titleBar.initFrom(&window);
    titleBar.titleBarFlags = Qt::SubWindow;
    const int step = std::max(1, window.style()->pixelMetric(QStyle::PM_TitleBarHeight, &titleBar, &window));
    QPoint topLeft(0, 0);
    if (ChildCount() > 0 && lastPlace_)
        topLeft = *lastPlace_ + QPoint(step, step);
    if (!area.contains(QRect(topLeft, size)))
        topLeft = QPoint(0, 0);
    lastPlace_ = topLeft;
    return QRect(topLeft, size);
}

void TMainForm::OpenLines(const std::vector<std::string> &lines, const QString &caption)
{
    for (const std::string &line : lines)
        pendingLines_.push_back({ToolsEngine(), ToQ(line), caption});
    if (!pendingScheduled_)
        OpenPendingLines();
}

void TMainForm::OpenPendingLines()
{
    // A window with a real engine takes from a few to thirty milliseconds to
    // make, the more the busier the machine (the pages opened before it load
    // meanwhile): windows are made until the slice's time is used, at least
    // one, and the loop turns before the next ones. The next slice waits on
    // a timer, not a posted call: posted calls run before any timer, so a
    // chain of them held back every timer of the program (drawing, the
    // caret) until the whole list was open.
    pendingScheduled_ = false;
    const auto later = [this](int ms) {
        pendingScheduled_ = true;
        QTimer::singleShot(ms, this, Guard([this] { OpenPendingLines(); }));
    };
    QElapsedTimer turn;
    turn.start();
    while (!pendingLines_.empty()) {
        // Every page a "Gecko" window opens starts a page process of its own,
        // and thirty starting at once took the processors from the event
        // loop for most of the opening (and from one another: the first
        // page showed only when nearly all had loaded). The next such
        // window waits while as many of the list's pages load as the
        // machine has processors and one. "Internet Explorer" windows share
        // a page process per site and are held only in long lists: a
        // hundred pages loading at once showed the first after ten seconds.
        const bool gecko = pendingLines_.front().engine == EngineKind::Gecko;
        if (ListPagesLoading() >= (gecko ? openLoadsAtOnce : openIeLoadsAtOnce))
            return later(kListLoadPollMs);
        try {
            // The first window of an engine waits a turn while the engine
            // starts: both held the event loop a third of a second.
            if (PrepareEngine(pendingLines_.front().engine))
                return later(1);
            const PendingLine line = pendingLines_.front();
            pendingLines_.pop_front();
            if (TChildForm *child = OpenNewWindow(line.engine, line.address, line.caption)) {
                listLoads_.push_back({child, {}});
                listLoads_.back().opened.start();
            }
        } catch (...) {
            // An error ends the list where it happened, as it always did.
            pendingLines_.clear();
            throw;
        }
        if (!pendingLines_.empty() && turn.elapsed() >= openSliceMs)
            return later(1);
    }
}

int TMainForm::ListPagesLoading()
{
    // A page counts while its engine is busy with it, from the request on,
    // but not for longer than kListLoadWaitMs: a slow server does not hold
    // back the rest of the list.
    listLoads_.erase(std::remove_if(listLoads_.begin(), listLoads_.end(),
                                    [](const ListLoad &load) {
                                        return !load.child || !load.child->Browser() ||
                                               !load.child->Browser()->Busy() ||
                                               load.opened.elapsed() >= kListLoadWaitMs;
                                    }),
                     listLoads_.end());
    return int(listLoads_.size());
}

void TMainForm::txtAddressKeyDown(int key)
{
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == 13)
        btnMoveClick();
}

void TMainForm::btnMoveClick()
{
    uint8_t mode = static_cast<uint8_t>(Settings().Read(keys::WindowAddressBar));
    if (ChildCount() == 0)
        mode = 1;
    const QString text = bars_->Widgets().txtAddress->text();
    // Sent: what the engine reports from now on shows in the box again.
    bars_->Widgets().txtAddress->setModified(false);
    if (mode == 1)
        FileNew1Execute();
    if (!text.isEmpty())
        if (TChildForm *child = ActiveChild())
            NavigateTyped(child, text);
}

QString TMainForm::SearchAddressFor(const QString &words) const
{
    return ToQ(SearchAddress(Settings().Read(keys::SearchURL), FromQ(words)));
}

void TMainForm::NavigateTyped(TChildForm *child, const QString &text)
{
    const TypedText typed = ClassifyTypedText(FromQ(text));
    if (typed.kind == TypedText::Address) {
        child->Browser()->Navigate(text);
    } else if (typed.kind == TypedText::Search) {
        child->Browser()->Navigate(SearchAddressFor(text));
    } else {
        // A single word opens as an address when it names a host; the
        // lookup runs aside, so a slow name server never holds the window.
        QPointer<TChildForm> target(child);
        const QString search = SearchAddressFor(text);
        QHostInfo::lookupHost(
            ToQ(typed.host), this, Guard([this, target, text, search](const QHostInfo &info) {
                if (!target || windows_.IndexOfChild(target) < 0)
                    return;
                const bool host = info.error() == QHostInfo::NoError && !info.addresses().isEmpty();
                target->Browser()->Navigate(host ? text : search);
            }));
    }
}

void TMainForm::FileNew1Execute()
{
    const EngineKind kind = ToolsEngine();
    const QString address = kind == EngineKind::InternetExplorer ? QString() : QStringLiteral("about:blank");
    OpenNewWindow(kind, address, EngineCaption(kind));
}

void TMainForm::NewTabKey()
{
    // Ctrl+T, as in every browser: the blank window comes to the front with
    // an empty address box to type in, whatever "NewWindow_Active" says for
    // the pages the menus and links open.
    const int before = windows_.Count();
    FileNew1Execute();
    if (windows_.Count() == before)
        return; // the tab limit
    windows_.Choose(windows_.Count() - 1);
    // Emptied for the user, as if by typing: the blank page's own title,
    // which may come after this, leaves it so (see OnTitleChange).
    bars_->Widgets().txtAddress->clear();
    bars_->Widgets().txtAddress->setModified(true);
    bars_->FocusAddress();
}

void TMainForm::mnuNew_CilpClick()
{
    const QString text = Ui().ClipboardText();
    OpenNewWindow(ToolsEngine(), text, EngineCaption(ToolsEngine()));
}

void TMainForm::FileOpen1Execute()
{
    FileDialogRequest request;
    request.filter = QStringLiteral("すべてのファイル(*.*)|*.*");
    if (std::optional<QString> path = Ui().OpenFile(this, request))
        OpenNewWindow(ToolsEngine(), *path, QString());
}

void TMainForm::SetToolsEngine(EngineKind kind)
{
    toolsEngine_ = kind;
    menu_.IE_item->setChecked(kind == EngineKind::InternetExplorer);
    menu_.Moz_Item->setChecked(kind == EngineKind::Gecko);
}

void TMainForm::IE_ItemClick()
{
    SetToolsEngine(EngineKind::InternetExplorer);
}

void TMainForm::Moz_ItemClick()
{
    SetToolsEngine(EngineKind::Gecko);
}

void TMainForm::LeastURLItemClick(QAction *item)
{
    OpenNewWindow(ToolsEngine(), item->statusTip(), kLoadingCaption);
}

} // namespace orvex
