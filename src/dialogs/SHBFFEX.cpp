#include "dialogs/SHBFFEX.h"

#include "platform/UiServices.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSortFilterProxyModel>
#include <QTextStream>
#include <QTreeView>
#include <QVBoxLayout>

namespace orvex {

std::function<int(FolderBrowseDialog &)> TSHBrowseForFolderEx::RunHook;

namespace {

QString Home()
{
    const QString home = qEnvironmentVariable("HOME");
    return home.isEmpty() ? QDir::homePath() : home;
}

QString XdgHome(const char *variable, const QString &fallback)
{
    const QString value = qEnvironmentVariable(variable);
    return value.startsWith('/') ? value : Home() + fallback;
}

// A folder of the XDG user directories ("DESKTOP", "TEMPLATES"), read from
// $XDG_CONFIG_HOME/user-dirs.dirs as xdg-user-dir does; "" when not set.
QString XdgUserDir(const QString &name)
{
    QFile file(XdgHome("XDG_CONFIG_HOME", "/.config") + "/user-dirs.dirs");
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    const QString key = "XDG_" + name + "_DIR=";
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (!line.startsWith(key))
            continue;
        QString value = line.mid(key.size());
        if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
            value = value.mid(1, value.size() - 2);
        if (value.startsWith("$HOME"))
            value = Home() + value.mid(5);
        // "$HOME/" alone means the folder is switched off.
        return QDir::cleanPath(value) == QDir::cleanPath(Home()) ? QString() : QDir::cleanPath(value);
    }
    return QString();
}

QString ExistingDir(const QString &path)
{
    return !path.isEmpty() && QFileInfo(path).isDir() ? QDir::cleanPath(path) : QString();
}

// The user's desktop folder: the XDG desktop directory, else ~/Desktop,
// else the home folder itself.
QString DesktopFolder()
{
    for (const QString &candidate : {XdgUserDir("DESKTOP"), Home() + "/Desktop"})
        if (!ExistingDir(candidate).isEmpty())
            return ExistingDir(candidate);
    return ExistingDir(Home());
}

bool IsSameOrBelow(const QString &path, const QString &root)
{
    if (root == "/")
        return path.startsWith('/');
    return path == root || path.startsWith(root + '/');
}

// Keeps the root folder, what lies below it, and the folders above it (the
// tree begins below those, but the model reaches the root through them).
class RootFilter : public QSortFilterProxyModel {
public:
    RootFilter(QFileSystemModel *model, QString root, QObject *parent)
        : QSortFilterProxyModel(parent), model_(model), root_(std::move(root))
    {
        setSourceModel(model);
    }

protected:
    bool filterAcceptsRow(int row, const QModelIndex &parent) const override
    {
        const QString path = model_->filePath(model_->index(row, 0, parent));
        return IsSameOrBelow(path, root_) || IsSameOrBelow(root_, path);
    }

private:
    QFileSystemModel *model_;
    QString root_;
};

} // namespace

// Special folders on this system. Windows' shell folders have no exact
// counterpart, so each member maps to the folder that serves the same use:
//   Desktop     as a root: "/" (the Windows desktop is the top of the shell
//               namespace and holds every drive); as a selection: the
//               desktop folder (XDG desktop dir, ~/Desktop, else ~)
//   Drives      "/" (My Computer: the whole file system)
//   DesktopDir  the desktop folder, as above
//   Favorites   ~/Favorites (no XDG counterpart)
//   Programs    $XDG_DATA_HOME/applications (the menu's program entries)
//   Recent      $XDG_DATA_HOME/RecentDocuments (links to recent documents)
//   SendTo      $XDG_DATA_HOME/nautilus/scripts (actions on chosen files)
//   StartMenu   $XDG_CONFIG_HOME/menus (the menu's layout)
//   Startup     $XDG_CONFIG_HOME/autostart (programs run at log-in)
//   Templates   the XDG templates dir, else ~/Templates
// A folder that does not exist gives "", as a failed lookup does on Windows.
QString SpecialFolderPath(TSelectFolder folder, bool asRoot)
{
    const QString dataHome = XdgHome("XDG_DATA_HOME", "/.local/share");
    const QString configHome = XdgHome("XDG_CONFIG_HOME", "/.config");
    switch (folder) {
    case sfDesktop:
    case sfManual:
        return asRoot ? QStringLiteral("/") : DesktopFolder();
    case sfDrives:
        return QStringLiteral("/");
    case sfDesktopDir:
        return DesktopFolder();
    case sfFavorites:
        return ExistingDir(Home() + "/Favorites");
    case sfPrograms:
        return ExistingDir(dataHome + "/applications");
    case sfRecent:
        return ExistingDir(dataHome + "/RecentDocuments");
    case sfSendTo:
        return ExistingDir(dataHome + "/nautilus/scripts");
    case sfStartMenu:
        return ExistingDir(configHome + "/menus");
    case sfStartup:
        return ExistingDir(configHome + "/autostart");
    case sfTemplates: {
        const QString xdg = ExistingDir(XdgUserDir("TEMPLATES"));
        return xdg.isEmpty() ? ExistingDir(Home() + "/Templates") : xdg;
    }
    }
    return QString();
}

// ---- FolderBrowseDialog -------------------------------------------------------

FolderBrowseDialog::FolderBrowseDialog(QWidget *parent, const QString &root, const QString &title,
                                       bool statusLine)
    : QDialog(parent), root_(root)
{
    setWindowTitle(QStringLiteral("フォルダの参照"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    resize(320, 380);

    model_ = new QFileSystemModel(this);
    model_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    model_->setRootPath(root_);
    proxy_ = new RootFilter(model_, root_, this);

    title_ = new QLabel(title, this);
    title_->setWordWrap(true);
    status_ = new QLabel(this);
    status_->setVisible(statusLine);
    status_->setTextFormat(Qt::PlainText);

    tree_ = new QTreeView(this);
    tree_->setModel(proxy_);
    tree_->setHeaderHidden(true);
    for (int column = 1; column < model_->columnCount(); ++column)
        tree_->hideColumn(column);
    tree_->setSelectionMode(QAbstractItemView::SingleSelection);
    // The tree begins at the root's parent so that the root itself is an
    // item; the filter hides the root's siblings.
    const QModelIndex rootSource = model_->index(root_);
    tree_->setRootIndex(proxy_->mapFromSource(rootSource.parent()));
    tree_->expand(proxy_->mapFromSource(rootSource));

    auto *buttons = new QDialogButtonBox(this);
    okButton_ = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
    okButton_->setEnabled(false);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(title_);
    layout->addWidget(status_);
    layout->addWidget(tree_, 1);
    layout->addWidget(buttons);

    connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            Guard([this](const QModelIndex &current) {
                okButton_->setEnabled(current.isValid());
                emit SelectionChanged(CurrentPath());
            }));
}

bool FolderBrowseDialog::SelectPath(const QString &path)
{
    const QString clean = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    if (path.isEmpty() || !IsSameOrBelow(clean, root_) || !QFileInfo(clean).isDir())
        return false;
    const QModelIndex index = proxy_->mapFromSource(model_->index(clean));
    if (!index.isValid())
        return false;
    for (QModelIndex up = index.parent(); up.isValid(); up = up.parent())
        tree_->expand(up);
    tree_->setCurrentIndex(index);
    tree_->scrollTo(index);
    return true;
}

QString FolderBrowseDialog::CurrentPath() const
{
    const QModelIndex index = tree_->currentIndex();
    return index.isValid() ? model_->filePath(proxy_->mapToSource(index)) : QString();
}

QString FolderBrowseDialog::CurrentDisplayName() const
{
    const QModelIndex index = tree_->currentIndex();
    if (!index.isValid())
        return QString();
    const QString name = model_->fileName(proxy_->mapToSource(index));
    return name.isEmpty() ? CurrentPath() : name;
}

QString FolderBrowseDialog::StatusText() const
{
    return status_->text();
}

void FolderBrowseDialog::SetStatusText(const QString &text)
{
    status_->setText(text);
}

void FolderBrowseDialog::PressOk()
{
    okButton_->click();
}

// ---- TSHBrowseForFolderEx -------------------------------------------------------

TSHBrowseForFolderEx::TSHBrowseForFolderEx(QObject *owner) : QObject(owner) {}

void TSHBrowseForFolderEx::DoSelectionChanged(QWidget *Wnd, const QString &Path, QString &ShowText,
                                              TOKButtonState &OKButtonState)
{
    if (OnSelectionChanged)
        OnSelectionChanged(this, Wnd, Path, ShowText, OKButtonState);
}

// The folder of a member: for the manual member, the named folder when the
// name is set and names a folder (a relative name is looked up on the
// desktop, as the desktop folder parses names); otherwise the special folder.
QString TSHBrowseForFolderEx::ResolveFolder(int member, const QString &name, bool asRoot) const
{
    if (member == sfManual && !name.isEmpty()) {
        const QFileInfo info(QDir(DesktopFolder()).absoluteFilePath(name));
        if (info.isDir())
            return QDir::cleanPath(info.absoluteFilePath());
    }
    return SpecialFolderPath(static_cast<TSelectFolder>(member), asRoot);
}

void TSHBrowseForFolderEx::Place(FolderBrowseDialog &dialog) const
{
    if (ShowStyle == ssCenterScreen) {
        QScreen *screen = QGuiApplication::primaryScreen();
        if (!screen)
            return;
        const QRect work = screen->availableGeometry();
        dialog.move((work.width() - dialog.width()) / 2, (work.height() - dialog.height()) / 3);
    } else if (ShowStyle == ssClient) {
        auto *form = qobject_cast<QWidget *>(parent());
        if (form && form->isWindow())
            dialog.move(form->mapToGlobal(QPoint(0, 0)));
    }
}

// Step common to every message: the status line shows the show text and the
// handler's OK-button state is applied.
void TSHBrowseForFolderEx::AfterMessage(FolderBrowseDialog &dialog, const QString &showText,
                                        TOKButtonState state) const
{
    dialog.SetStatusText(showText);
    if (state == obsEnabled)
        dialog.OkButton()->setEnabled(true);
    else if (state == obsDisabled)
        dialog.OkButton()->setEnabled(false);
}

bool TSHBrowseForFolderEx::Execute()
{
    folderPath_.clear();
    displayName_.clear();

    initialSelection_ = ResolveFolder(SelectFolder, SelectFolderName, false);
    const QString root = ResolveFolder(RootFolder, RootFolderName, true);
    if (root.isEmpty()) {
        initialSelection_.clear();
        return false;
    }

    // The flags of the options in their order; the show-path option ends
    // the examination.
    unsigned flags = 0;
    showPath_ = false;
    static const std::pair<TSHBrowseOption, unsigned> kFlags[] = {
        {sboDontGoBelowDomain, BIF_DONTGOBELOWDOMAIN},
        {sboReturnFSAncestors, BIF_RETURNFSANCESTORS},
        {sboReturnOnlyFSDirs, BIF_RETURNONLYFSDIRS},
        {sboStatusTextAndShowPath, BIF_STATUSTEXT},
        {sboStatusText, BIF_STATUSTEXT},
    };
    for (const auto &[option, flag] : kFlags) {
        if (!Options.count(option))
            continue;
        flags |= flag;
        if (option == sboStatusTextAndShowPath) {
            showPath_ = true;
            break;
        }
    }
    // Every item of this dialog is a file-system folder, so the FS-only,
    // ancestor and domain flags need nothing more.

    auto *ownerForm = qobject_cast<QWidget *>(parent());
    FolderBrowseDialog dialog(ownerForm ? ownerForm->window() : nullptr, root, Caption,
                              (flags & BIF_STATUSTEXT) != 0);

    QObject::connect(&dialog, &FolderBrowseDialog::SelectionChanged, &dialog, Guard([&](const QString &path) {
        QString showText;
        TOKButtonState state = obsNone;
        DoSelectionChanged(&dialog, path, showText, state);
        if (showPath_)
            showText = path;
        AfterMessage(dialog, showText, state);
    }));

    // Initialised: place the dialog and clear the status line, then select
    // the initial folder. Selecting last lets the selection message that
    // follows fill the status line instead of having it cleared again.
    Place(dialog);
    AfterMessage(dialog, QString(), obsNone);
    if (!initialSelection_.isEmpty())
        dialog.SelectPath(initialSelection_);

    // The dialog is application-modal: the program's windows take no input
    // while it runs (disabling the main window instead would also disable
    // the forms it owns, this dialog's owner among them).
    dialog.setWindowModality(Qt::ApplicationModal);
    const int result = RunHook ? RunHook(dialog) : dialog.exec();

    bool chosen = false;
    if (result == QDialog::Accepted && !dialog.CurrentPath().isEmpty()) {
        chosen = true;
        displayName_ = dialog.CurrentDisplayName();
        folderPath_ = dialog.CurrentPath();
    }
    initialSelection_.clear();
    if (ownerForm) {
        ownerForm->window()->raise();
        ownerForm->window()->activateWindow();
    }
    return chosen;
}

} // namespace orvex
