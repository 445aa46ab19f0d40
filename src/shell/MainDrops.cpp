// Links, pictures and addresses dropped on the main window: on the tab bar or
// the empty MDI area each opens a new window; on the address box the first
// replaces the address and the active window goes there.
#include "shell/Main.h"

#include "browser/ChildForm.h"
#include "browser/untTab.h"
#include "core/AddressText.h"
#include "platform/UiServices.h"
#include "shell/BarLayout.h"
#include "shell/Captions.h"
#include "shell/TabStrip.h"

#include <QDropEvent>
#include <QLineEdit>
#include <QMdiArea>
#include <QMimeData>

namespace orvex {

QStringList TMainForm::DroppedAddresses(const QMimeData *data) const
{
    QStringList addresses;
    if (!data)
        return addresses;
    for (const QUrl &url : data->urls())
        if (url.isValid())
            addresses << (url.isLocalFile() ? url.toLocalFile() : url.toString());
    if (addresses.isEmpty() && data->hasText()) {
        // Text: its first line, an address as it stands, words searched.
        const QString text = data->text().section('\n', 0, 0).trimmed();
        if (!text.isEmpty())
            addresses << (ClassifyTypedText(FromQ(text)).kind == TypedText::Search ? SearchAddressFor(text)
                                                                                   : text);
    }
    return addresses;
}

bool TMainForm::DropFilter(QObject *watched, QEvent *event)
{
    QLineEdit *address = bars_->Widgets().txtAddress;
    const bool onTabs = watched == tabs_->Control() || watched == mdiArea->viewport();
    if (!onTabs && watched != address)
        return false;
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return false;
    auto *drop = static_cast<QDropEvent *>(event);
    const QMimeData *data = drop->mimeData();
    // Entering and moving look at the kinds on offer only, not the data:
    // reading a drag's data from another program waits for that program's
    // answer, at every move. From a page of this program's own (a "Gecko"
    // page), the answer could not come while the event loop waits, and the
    // drag hung. The drop itself reads the addresses.
    const QStringList addresses = type == QEvent::Drop ? DroppedAddresses(data) : QStringList();
    const bool taken =
        type == QEvent::Drop ? !addresses.isEmpty() : data && (data->hasUrls() || data->hasText());
    if (!taken)
        return false;
    drop->setDropAction(Qt::CopyAction);
    drop->accept();
    if (type != QEvent::Drop)
        return true;
    Guarded([this, onTabs, addresses, address] {
        if (onTabs) {
            for (const QString &address : addresses)
                OpenNewWindow(ToolsEngine(), address, kLoadingCaption);
            return;
        }
        address->setText(addresses.first());
        if (TChildForm *child = ActiveChild())
            child->Browser()->Navigate(addresses.first());
        else
            OpenNewWindow(ToolsEngine(), addresses.first(), kLoadingCaption);
    });
    return true;
}

void TMainForm::AcceptDrops()
{
    for (QWidget *target : {static_cast<QWidget *>(tabs_->Control()), mdiArea->viewport(),
                            static_cast<QWidget *>(bars_->Widgets().txtAddress)}) {
        target->setAcceptDrops(true);
        target->installEventFilter(this);
    }
}

} // namespace orvex
