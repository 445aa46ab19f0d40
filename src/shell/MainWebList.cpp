// The web list menu: one item per file of the web list folder, and opening
// every address of a list in its own window.
#include "shell/Main.h"

#include "core/LineList.h"
#include "platform/UiServices.h"
#include "shell/Captions.h"
#include "shell/MenuText.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMenu>

#include <algorithm>

namespace orvex {

namespace {

// The two fixed items: "Webリストを編集(&E)" and the separator under it.
constexpr int kFixedWebListItems = 2;

// The file name without its extension (".wlf"); a name without one is
// shown whole.
QString ListCaption(const QString &fileName)
{
    const int dot = fileName.lastIndexOf('.');
    const QString name = dot > 0 ? fileName.left(dot) : fileName;
    return QStringLiteral("&") + MenuLiteral(name);
}

// The files of a folder in the order the Windows file system lists them:
// by name, letters compared in upper case.
QStringList ListFiles(const QString &folder)
{
    QStringList names;
    const QFileInfoList entries =
        QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::System, QDir::Unsorted);
    for (const QFileInfo &entry : entries) {
        // Only regular files (or links to one): reading a pipe or a device
        // from the menu would hang the program.
        if (entry.isFile())
            names << entry.fileName();
    }
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const QString ua = a.toUpper(), ub = b.toUpper();
        return ua != ub ? ua < ub : a < b;
    });
    return names;
}

} // namespace

void TMainForm::EnumFiles(const std::string &folder)
{
    QString path = ToQ(folder);
    if (!path.endsWith('/'))
        path += '/';

    const QList<QAction *> old = menu_.mnuWebList->actions();
    for (int i = kFixedWebListItems; i < old.size(); ++i) {
        menu_.mnuWebList->removeAction(old[i]);
        delete old[i];
    }

    for (const QString &name : ListFiles(path)) {
        auto *item = new QAction(Image(Picture::Pages), ListCaption(name), this);
        item->setStatusTip(name);
        connect(item, &QAction::triggered, this, Guard([this, item] { WebListItemClick(item); }));
        menu_.mnuWebList->addAction(item);
    }
}

void TMainForm::WebListItemClick(QAction *item)
{
    const std::string path = appDir_ + "WebList/" + FromQ(item->statusTip());
    OpenLines(LoadLineList(path), kLondingCaption);
}

} // namespace orvex
