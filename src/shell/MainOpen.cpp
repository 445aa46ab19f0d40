// Opening pages: the one routine every new window goes through, and the
// commands that open or move to addresses.
#include "shell/Main.h"

#include "browser/childIE.h"
#include "browser/childMoz.h"
#include "browser/untTab.h"
#include "platform/Errors.h"
#include "platform/UiServices.h"

#include <QAction>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace orvex {

ArrangingScope::ArrangingScope(TMainForm &form) : form_(form)
{
    ++form_.arranging_;
}
ArrangingScope::~ArrangingScope()
{
    if (--form_.arranging_ == 0 && form_.coverPending_)
        form_.UpdateCoveredPages();
}

void TMainForm::OpenNewWindow(const QString &caption, const QString &address)
{
    const SettingsFile settings = Settings();
    const std::string mozPath = settings.Read(keys::MozPath);
    const bool mozilla = settings.LowByteOne(keys::Mozilla);
    const bool limited = settings.NonZero(keys::TabLen);
    const uint8_t maxLen = static_cast<uint8_t>(settings.Read(keys::TabMaxLen));

    // The tab limit refuses silently.
    if (limited && TabControl1->count() == maxLen)
        return;

    // The Gecko folder becomes the working folder, whichever engine is checked.
    if (mozilla && ::chdir(mozPath.c_str()) != 0) {
        const int code = errno;
        throw Error(FormatMessage("フォルダ %s に移動できません", mozPath) + " (I/O error " +
                    std::to_string(code) + ": " + std::strerror(code) + ")");
    }

    const int remembered = TabControl1->currentIndex();
    const bool newWindowActive = settings.NonZero(keys::NewWindowActive);
    ++WinCount;
    WinTags << QString::number(WinCount);
    {
        const int selected = TabControl1->currentIndex();
        TabControl1->blockSignals(true);
        TabControl1->addTab(QStringLiteral("loading"));
        // A tab added to an empty bar becomes the selected one, as the
        // platform's tab control does; otherwise the selection stays.
        if (selected >= 0)
            TabControl1->setCurrentIndex(selected);
        TabControl1->blockSignals(false);
    }

    TChildForm *child = nullptr;
    try {
        if (IE_item->isChecked())
            child = new Tfrm_IE(*this, nullptr);
        else
            child = new Tfrm_MZ(*this, nullptr);
    } catch (...) {
        // Windows and tabs stay paired: the tab of a window that could not
        // be made is taken back.
        TabControl1->blockSignals(true);
        TabControl1->removeTab(TabControl1->count() - 1);
        if (remembered >= 0)
            TabControl1->setCurrentIndex(remembered);
        TabControl1->blockSignals(false);
        WinTags.removeLast();
        throw;
    }
    ArrangingScope arranging(*this);
    children_.push_back(child);
    child->setWindowIcon(Image(12));
    // A window opened behind a maximised window. The area would restore the
    // front window when the new one is activated, and maximise it again when
    // it comes back to the front, resizing and redrawing its page twice: it
    // keeps the front window as it is while the new one is placed. The new
    // window is shown in the normal state it ends in, and its page, covered
    // at the end, stays hidden from the start, so the engine neither sizes
    // nor draws it meanwhile.
    TChildForm *front = ActiveChild();
    const bool behindMaximised = remembered >= 0 && !newWindowActive && front && front->isMaximized();
    if (behindMaximised)
        if (QWidget *page = child->widget())
            page->hide();
    mdiArea->setOption(QMdiArea::DontMaximizeSubWindowOnActivation, behindMaximised);
    child->Place(mdiArea, WinCount, behindMaximised);
    mdiArea->setOption(QMdiArea::DontMaximizeSubWindowOnActivation, false);
    connect(child, &QMdiSubWindow::windowStateChanged, this, &TMainForm::UpdateCoveredPages);
    UpdateCoveredPages();
    UpdateChildCommands();

    child->setWindowTitle(caption);
    // An engine error on Navigate still completes the open, so the window
    // keeps its number and its tab; the error is reported afterwards.
    std::exception_ptr navigateError;
    try {
        child->Browser()->Navigate(address);
    } catch (...) {
        navigateError = std::current_exception();
    }
    child->Tag = WinCount;

    if (newWindowActive) {
        TabControl1->SetTabIndexSilently(TabControl1->count() - 1);
    } else {
        if (remembered >= 0)
            TabControl1->SetTabIndexSilently(remembered);
        TabControl1Change();
    }
    if (navigateError)
        std::rethrow_exception(navigateError);
}

void TMainForm::OpenLines(const std::vector<std::string> &lines, const QString &caption)
{
    for (const std::string &line : lines)
        OpenNewWindow(caption, ToQ(line));
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
    const QString text = txtAddress->text();
    if (mode == 1)
        FileNew1Execute();
    if (!text.isEmpty())
        if (WebBrowser2 *browser = ActiveBrowser())
            browser->Navigate(text);
}

void TMainForm::FileNew1Execute()
{
    if (IE_item->isChecked())
        OpenNewWindow(QStringLiteral("Internet Explorer"), QString());
    else
        OpenNewWindow(QStringLiteral("Gecko"), QStringLiteral("about:blank"));
}

void TMainForm::mnuNew_CilpClick()
{
    const QString text = Ui().ClipboardText();
    OpenNewWindow(IE_item->isChecked() ? QStringLiteral("Internet Explorer") : QStringLiteral("Gecko"), text);
}

void TMainForm::FileOpen1Execute()
{
    FileDialogRequest request;
    request.filter = QStringLiteral("すべてのファイル(*.*)|*.*");
    if (std::optional<QString> path = Ui().OpenFile(this, request))
        OpenNewWindow(QString(), *path);
}

void TMainForm::IE_ItemClick()
{
    IE_item->setChecked(true);
    Moz_Item->setChecked(false);
}

void TMainForm::Moz_ItemClick()
{
    Moz_Item->setChecked(true);
    IE_item->setChecked(false);
}

void TMainForm::LeastURLItemClick(QAction *item)
{
    OpenNewWindow(QStringLiteral("loading"), item->statusTip());
}

} // namespace orvex
