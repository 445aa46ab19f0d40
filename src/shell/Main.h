// The main window: the MDI frame that holds the browser child windows, the
// menus, and the state the other windows share. Its parts are objects of
// their own: the bars and their layout (BarLayout), the tab bar (TabStrip),
// the child windows' view of it (ChildWindowHost) and the open windows
// (WindowRegistry). Its handlers keep the design's names and are spread over
// several files by concern: Main.cpp (construction, start-up, shutdown),
// MainMenus.cpp (the menus as tables, the window menu), MainOpen.cpp (opening
// pages), MainTabs.cpp (the tab bar's handlers), MainCommands.cpp (commands
// on the active page), MainLayout.cpp (the bars' handlers), MainPopups.cpp
// (new windows, recently closed), MainBookmarks.cpp and MainWebList.cpp.
#pragma once

#include "bookmarks/BookMark.h"
#include "bookmarks/EditWebList.h"
#include "browser/BrowserHost.h"
#include "core/ClosedList.h"
#include "core/Settings.h"
#include "dialogs/Option.h"
#include "platform/Look.h"
#include "shell/Band.h"
#include "shell/BarLayout.h"
#include "shell/SessionWriter.h"
#include "shell/WindowRegistry.h"

#include <QElapsedTimer>
#include <QIcon>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <QThread>
#include <QTimer>
#include <QVector>
#include <algorithm>
#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QActionGroup;
class QDialog;
class QLabel;
class QLineEdit;
class QMdiArea;
class QMdiSubWindow;
class QMimeData;
class QMenu;
class QProgressBar;
class QPushButton;
class QToolBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace orvex {

class HistoryStore;
class TAddressCompleter;
class THistoryPanel;
class SleepPolicy;
class TChildForm;
struct CaughtPage;
class TFindBar;
class TTabControl;
class BarLayout;
class TabStrip;
class ChildWindowHost;
class Tfrm_BMEdit;
struct ClearDataChoice;
struct CompletionBookmark;

// The main window's menus and the items it keeps, under the design's names.
struct MainMenuItems {
    QMenu *mnuFile = nullptr;
    QMenu *mnuLeastURL = nullptr;
    QAction *mnuLeastURL_Child = nullptr;
    QAction *mnuFile_Close = nullptr;
    QMenu *mnuEdit = nullptr;
    QMenu *mnuShow = nullptr;
    QAction *mnuShow_default = nullptr, *mnuShow_Address = nullptr, *mnuShow_Status = nullptr,
            *mnuShow_Tab = nullptr, *mnuShow_J = nullptr;
    QMenu *mnuSize = nullptr;
    QAction *mnuSize_Max = nullptr, *mnuSize_Large = nullptr, *mnuSize_middle = nullptr,
            *mnuSize_Small = nullptr, *mnuSize_Min = nullptr;
    QMenu *mnuBookMark = nullptr;
    QAction *mnuBMEdit = nullptr;
    QMenu *mnuWebList = nullptr;
    QAction *mnuWebList_Edit = nullptr;
    QAction *IE_item = nullptr;
    QAction *Moz_Item = nullptr;
    QMenu *mnuWindow = nullptr;
    QList<QAction *> windowCommands; // cascade, tile, minimize all, arrange
};

// The main window's controls and menus, as Controls() shows them to tests
// and other units: they can use a control but not replace it. The bars, the
// tab bar and the main window each keep their own.
struct MainControls : BarWidgets, MainMenuItems {
    QMdiArea *mdiArea = nullptr;
    TFindBar *FindBar1 = nullptr; // above the tab bar while finding in the page
    QWidget *TabBar = nullptr;
    TTabControl *TabControl1 = nullptr; // follows the window list
    QMenu *TabPopup = nullptr;
};

class TMainForm : public QMainWindow, public OptionHost, public BookmarkEditorHost, public WebListHost {
    Q_OBJECT
public:
    // Runs the construction steps; opens no page. `params` are the
    // command-line addresses.
    explicit TMainForm(const QStringList &params, QWidget *parent = nullptr);
    ~TMainForm() override;

    // ---- state others read ----
    MainControls Controls() const;
    BarLayout &Bars() const { return *bars_; }
    TabStrip &Tabs() const { return *tabs_; }
    // The open windows in tab order, their numbers and tab texts.
    const WindowRegistry &Windows() const { return windows_; }
    SleepPolicy &Sleep() const { return *sleep_; }
    bool FirstResize() const { return firstResize_; }
    bool HasParams() const { return hasParams_; }
    const ClosedList &RecentlyClosed() const { return closedList_; }
    ChildState ChildWinState() const { return childWinState_; }
    uint8_t MojiSize() const { return mojiSize_; }
    PageIndicators &Indicators() { return indicators_; }
    void SetAboutBox(QDialog *box) { aboutBox_ = box; }
    // How long one slice of a web list's openings may hold the event loop,
    // in ms: about a frame. Tests set 0, one window a slice.
    qint64 openSliceMs = 16;
    // How many of a web list's pages may load at once before its next
    // window opens: for a "Gecko" window the processors and one, at least
    // three; for an "Internet Explorer" window a screenful of tabs.
    int openLoadsAtOnce = std::max(3, QThread::idealThreadCount() + 1);
    int openIeLoadsAtOnce = 20;

    SettingsFile Settings() const { return SettingsFile(appDir_ + "config.ini"); }
    QIcon Image(Picture picture) const;
    // The data folder, with its trailing "/".
    std::string AppDir() const { return appDir_; }

    // ---- shutdown ----
    bool FormClose(); // throws when a write failed: the window stays open

    // ---- opening pages ----
    // A new window of engine `kind`, navigated to `address`, with `caption`
    // until its page reports a title. `caught`: a page caught for a new
    // window; the window adopts its control (and its engine) instead of
    // navigating a new one. Returns the new window, nullptr when the tab
    // limit refused it.
    TChildForm *OpenNewWindow(EngineKind kind, const QString &address, const QString &caption,
                              CaughtPage *caught = nullptr);
    // The engine new windows take: "General"/"LastEngine" at start, then the
    // user's choice in the Tools menu, whose check marks show it.
    EngineKind ToolsEngine() const { return toolsEngine_; }
    void txtAddressKeyDown(int key);
    void btnMoveClick();
    void FileNew1Execute();
    void ToolButton1Click() { FileNew1Execute(); }
    // Ctrl+T: a blank window in front, its address box empty and focused.
    void NewTabKey();
    void mnuNew_CilpClick();
    void FileOpen1Execute();
    void IE_ItemClick();
    void Moz_ItemClick();

    // ---- tab bar (the routines are the TabStrip's) ----
    void TabControl1MouseDown(Qt::MouseButton button, const QPoint &pos);
    void TabControl1DrawTab(QPainter &painter, int index, const QRect &rect, bool active);
    void popTabCloseClick();
    void popAddCloseClick();
    void mnu_AllCloseClick();
    void mnu_AllCloseNotMeClick();

    // ---- commands on the active page ----
    void BackCtrlClick();
    void FrwrdCtrlClick();
    void StopCtrlClick();
    void ReLoadCtrlClick();
    void mnuEdit_CopyClick();
    void mnuEdit_slrAllClick();
    void mnuFile_SaveAsClick();
    void SetTextSize(int size);
    // Page zoom of the active window: steps along, 0 back to 100 %.
    void ZoomPage(int steps);

    // ---- bars (the layout is the BarLayout's) ----
    void btnBarClick();
    void JBarMouseUp(int x);
    void JBarResize();
    void CoolBar1MouseUp();

    // ---- new windows and recently closed ----
    void mnuLeastURLClick();

    // ---- bookmarks (MainBookmarks.cpp) ----
    void BuildBookmarkMenu() override;
    void BuildBookmarkBar() override;
    void TreeView1Change(QTreeWidgetItem *node);
    void iventMenuClick(QAction *item);
    void mnuBMEditClick();

    // ---- history (MainHistory.cpp) ----
    HistoryStore *History() const { return history_.get(); }
    THistoryPanel *HistoryPanel() const { return historyPanel_; }
    TAddressCompleter *Completer() const { return completer_.get(); }
    void mnuHistoryClick(); // 表示 > 履歴: the history panel, shown or hidden
    // Clears what the choice names, in the history and in both engines'
    // profiles.
    void ClearBrowsingData(const ClearDataChoice &choice);

    // ---- web lists (MainWebList.cpp) ----
    void EnumFiles(const std::string &folder) override;

    // ---- OptionHost ----
    void SetGeckoItemEnabled(bool enabled) override;
    void ApplyTabWidth(int width) override;
    void ApplyTabType(int tabType) override;

    // ---- window menu (MainMenus.cpp) ----
    void mnuFile_CloseClick();
    void TileWindows(bool horizontal);

    // ---- helpers ----
    TChildForm *ActiveChild();
    WebBrowser2 *ActiveBrowser();
    // The live child windows in tab order.
    std::vector<TChildForm *> Children() const { return windows_.Children(); }
    TChildForm *FindChild(int32_t number) const { return windows_.Child(number); }
    int ChildCount() const { return windows_.ChildCount(); }
    // "0:loading* 1:Example": tabs with their window numbers, '*' on the selected one.
    QString DescribeTabs() const { return windows_.Describe(); }

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The design's handlers that only the menus, keys and the window's own
    // start-up and shutdown run.
    // ---- start-up and shutdown ----
    void FormCreate();
    void FormResize();
    void OpenParams();
    void OpenStartUp();
    void mnuOptionClick();
    void HelpAbout1Execute();
    // ---- opening pages ----
    // The tab limit is on and reached.
    bool TabLimitReached();
    // Typed text in a window: an address as it stands, words through the
    // search address of the settings (core/AddressText.h).
    void NavigateTyped(TChildForm *child, const QString &text);
    QString SearchAddressFor(const QString &words) const;
    void WebListItemClick(QAction *item);
    void LeastURLItemClick(QAction *item);
    // Opens a window for each line, in order. A long list gives way to the
    // event loop between short slices of openings, so the program keeps
    // drawing and the first pages load while the rest open.
    void OpenLines(const std::vector<std::string> &lines, const QString &caption);
    void OpenPendingLines();
    // ---- tab bar ----
    void TabControl1Change();
    void TabControl1DblClick(const QPoint &pos);
    // The most recently closed address again (each press one further back).
    void ReopenClosed();
    // ---- commands on the active page ----
    void mnuEdit_FindClick();
    void mnuFile_PrintClick();
    void ReadMojiSize();
    // ---- bars ----
    void BandPositionRead();
    void ViewToolBar();
    void BandPositionWrite();
    // ---- remembered place of the main window (MainSession.cpp) ----
    // "left,top,width,height,maximised", as Option_Ext keeps it.
    QString PlaceText() const;
    void RestorePlace();
    // The windows of the last run, at start: offered back after a crash,
    // opened again when the settings say so. True when they were opened.
    bool OfferSession();
    Session CurrentSession() const;
    // Before quitting with several windows, when the settings say so; false
    // keeps the program running.
    bool ConfirmQuit();
    // ---- new windows, bookmarks, web lists, history, window menu ----
    // Starts compiling the block list in the background when blocking is on.
    void PreparePopupCheck();
    void popAddBookMarkClick();
    void mnuWebList_EditClick();
    void mnuClearDataClick(); // ツール > 閲覧データの消去
    void MinimizeAll();
    void ArrangeIcons();

    void BuildImages();
    void SetToolsEngine(EngineKind kind);
    void BuildMenus();
    void AddKeyCommands();
    void BuildBars();
    void OnSubWindowActivated(QMdiSubWindow *window);
    void UpdateChildCommands();
    void UpdateCoveredPages();
    void RebuildWindowList();
    // Where the next new window goes in the MDI area (its normal geometry).
    QRect NextWindowPlace(const QWidget &window);

    // What the child windows ask of the main window (ChildWindowHost).
    void CheckMojiSize(int size);
    void ChildClosed(TChildForm *child);
    void NewWindowRequested(EngineKind requester, WebBrowser2 *&ppDisp, bool &cancel);
    void PageVisited(const QString &url, const QString &title);
    void PageTitled(const QString &url, const QString &title);
    bool IsPopupURL(const QString &address);

    void BuildHistory();
    const std::vector<CompletionBookmark> &CompletionBookmarks();
    // Dropped links (MainDrops.cpp).
    void AcceptDrops();
    bool DropFilter(QObject *watched, QEvent *event);
    QStringList DroppedAddresses(const QMimeData *data) const;
    // The windows go without their own close handling (shutdown).
    void DiscardWindows();

    // ---- shared state ----
    bool firstResize_ = true;
    bool hasParams_ = false;
    WindowRegistry windows_;
    SleepPolicy *sleep_ = nullptr;
    ClosedList closedList_;
    std::string appDir_; // the data folder (DataFolder), with its trailing "/"
    ChildState childWinState_ = ChildState::Normal;
    uint8_t mojiSize_ = 2;
    PageIndicators indicators_;
    QDialog *aboutBox_ = nullptr; // the About box made at start-up
    EngineKind toolsEngine_ = EngineKind::InternetExplorer;

    // ---- parts and controls ----
    std::unique_ptr<ChildWindowHost> host_;
    BarLayout *bars_ = nullptr; // children of the form
    TabStrip *tabs_ = nullptr;
    QMdiArea *mdiArea = nullptr;
    TFindBar *FindBar1 = nullptr; // above the tab bar while finding in the page
    MainMenuItems menu_;
    QAction *mnuShow_History = nullptr;

    QStringList params_;
    QVector<QIcon> images_;
    std::vector<QAction *> keyCommands_;    // the key-only commands (AddKeyCommands)
    std::optional<QPoint> lastPlace_;       // where the last new window was put
    size_t reopened_ = 0;                   // closed addresses reopened by ReopenClosed in a row
    std::vector<std::string> reopenedFrom_; // the closed list they were taken from
    QString placeAtStart_;                  // the main window's place once first drawn
    std::unique_ptr<SessionWriter> session_;
    bool sessionOffered_ = false;
    bool closing_ = false;
    bool askingPages_ = false; // quitting: the pages are being asked
    bool pagesAgreed_ = false; // quitting: every page agreed to go
    bool drawn_ = false;       // the window has been shown and painted once
    bool startingUp_ = false;  // the start-up actions are running
    int arranging_ = 0;
    // What OpenLines has yet to open, with the engine chosen when it was asked.
    struct PendingLine {
        EngineKind engine;
        QString address;
        QString caption;
    };
    std::deque<PendingLine> pendingLines_;
    bool pendingScheduled_ = false;
    // The windows a web list opened whose pages may still be loading.
    struct ListLoad {
        QPointer<TChildForm> child;
        QElapsedTimer opened;
    };
    std::vector<ListLoad> listLoads_;
    static constexpr int kListLoadWaitMs = 3000;
    static constexpr int kListLoadPollMs = 40;
    // Drops the list's windows that finished loading and answers how many
    // are still loading.
    int ListPagesLoading();
    bool coverPending_ = false; // pages to cover or uncover once the arranging ends
    bool covering_ = false;     // pages being covered or uncovered
    QTimer coverLater_;         // windows moved, resized, shown or hidden: pages to cover or uncover
    // The history: its store, the panel beside the side bar and the address
    // box's completion; the bookmarks completion offers, with the file they
    // were read from.
    std::unique_ptr<HistoryStore> history_;
    THistoryPanel *historyPanel_ = nullptr;
    std::unique_ptr<TAddressCompleter> completer_;
    std::shared_ptr<const void> completionSource_;
    std::unique_ptr<std::vector<CompletionBookmark>> completionBookmarks_;
    std::unique_ptr<Tfrm_BMEdit> ownBookmarkEditor_; // when the application made none
    friend class ArrangingScope;
    friend class ChildWindowHost;
};

// Marks the main window's own placing of windows (see Arranging()).
class ArrangingScope {
public:
    explicit ArrangingScope(TMainForm &form);
    ~ArrangingScope();

private:
    TMainForm &form_;
};

} // namespace orvex
