// TSHBrowseForFolderEx: asks the user for a folder in a small folder dialog
// (a tree of directories on QFileSystemModel) with a caption, an initial
// selection, a root above which nothing can be reached, a placement rule, a
// status line and an OK button that a handler can enable or disable.
#pragma once

#include <QDialog>
#include <QObject>
#include <QString>
#include <functional>
#include <set>

class QFileSystemModel;
class QLabel;
class QPushButton;
class QSortFilterProxyModel;
class QTreeView;

namespace orvex {

enum TSelectFolder {
    sfDesktop,
    sfManual,
    sfDrives,
    sfDesktopDir,
    sfFavorites,
    sfPrograms,
    sfRecent,
    sfSendTo,
    sfStartMenu,
    sfStartup,
    sfTemplates,
};
enum TRootFolder {
    rfDesktop,
    rfManual,
    rfDrives,
    rfDesktopDir,
    rfFavorites,
    rfPrograms,
    rfRecent,
    rfSendTo,
    rfStartMenu,
    rfStartup,
    rfTemplates,
};
enum TShowStyle { ssNone, ssCenterScreen, ssClient };
enum TSHBrowseOption {
    sboDontGoBelowDomain,
    sboReturnFSAncestors,
    sboReturnOnlyFSDirs,
    sboStatusTextAndShowPath,
    sboStatusText,
};
using TSHBrowseOptions = std::set<TSHBrowseOption>;
enum TOKButtonState { obsNone, obsEnabled, obsDisabled };

// The browse-dialog flags the options stand for.
enum BrowseFlag : unsigned {
    BIF_RETURNONLYFSDIRS = 0x0001,
    BIF_DONTGOBELOWDOMAIN = 0x0002,
    BIF_STATUSTEXT = 0x0004,
    BIF_RETURNFSANCESTORS = 0x0008,
};

// The folder a special-folder member stands for on this system ("" when
// it cannot be had). `asRoot` matters for the desktop only: as the top of a
// tree it is the whole file system, as a selection the user's desktop folder.
QString SpecialFolderPath(TSelectFolder folder, bool asRoot);

class TSHBrowseForFolderEx;

// The folder dialog. Its tree shows the root folder itself and the folders
// below it, nothing else.
class FolderBrowseDialog : public QDialog {
    Q_OBJECT
public:
    FolderBrowseDialog(QWidget *parent, const QString &root, const QString &title, bool statusLine);

    // Makes `path` the current folder; false (and no change) when it is not
    // the root or a folder below it.
    bool SelectPath(const QString &path);
    QString CurrentPath() const; // "" when nothing is selected
    QString CurrentDisplayName() const;
    QString RootPath() const { return root_; }
    QString StatusText() const;
    void SetStatusText(const QString &text);
    QPushButton *OkButton() const { return okButton_; }
    QTreeView *Tree() const { return tree_; }
    // Presses OK as the user would: nothing happens while it is disabled.
    void PressOk();

signals:
    void SelectionChanged(const QString &path);

private:
    QString root_;
    QFileSystemModel *model_;
    QSortFilterProxyModel *proxy_;
    QTreeView *tree_;
    QLabel *title_;
    QLabel *status_;
    QPushButton *okButton_;
};

class TSHBrowseForFolderEx : public QObject {
    Q_OBJECT
public:
    using TSHBrowseEvent = std::function<void(TSHBrowseForFolderEx *Sender, QWidget *Wnd, const QString &Path,
                                              QString &ShowText, TOKButtonState &OKButtonState)>;

    // The owner is the form the dialog is placed over (ssClient).
    explicit TSHBrowseForFolderEx(QObject *owner = nullptr);

    QString Caption;
    TSelectFolder SelectFolder = sfDrives;
    QString SelectFolderName;
    TRootFolder RootFolder = rfDesktop;
    QString RootFolderName;
    TSHBrowseOptions Options{sboReturnOnlyFSDirs};
    TShowStyle ShowStyle = ssClient;
    TSHBrowseEvent OnSelectionChanged;

    const QString &FolderPath() const { return folderPath_; }
    const QString &DisplayName() const { return displayName_; }

    // True when a folder was chosen; FolderPath and DisplayName tell which.
    virtual bool Execute();

    // Runs the dialog modally and returns its QDialog result. Tests replace
    // it to answer the dialog without a user (select something, PressOk or
    // reject, return dialog.result()); empty means exec().
    static std::function<int(FolderBrowseDialog &)> RunHook;

protected:
    virtual void DoSelectionChanged(QWidget *Wnd, const QString &Path, QString &ShowText,
                                    TOKButtonState &OKButtonState);

private:
    QString ResolveFolder(int member, const QString &name, bool asRoot) const;
    void Place(FolderBrowseDialog &dialog) const;
    void AfterMessage(FolderBrowseDialog &dialog, const QString &showText, TOKButtonState state) const;

    QString folderPath_;
    QString displayName_;
    QString initialSelection_; // during Execute only
    bool showPath_ = false;
};

} // namespace orvex
