// What a browser child window needs of the main window: its page
// indicators, the shared state and the tab routines. The main window
// implements it; tests can drive child windows through it too.
#pragma once

#include "browser/EngineLoader.h"

#include <QString>
#include <cstdint>

class QAction;
class QLabel;
class QLineEdit;
class QProgressBar;
class QWidget;

namespace orvex {

class TChildForm;

// The main window's one set of page indicators and the items a child window
// enables and disables.
struct PageIndicators {
    QLineEdit *txtAddress = nullptr;
    QProgressBar *ProgressBar1 = nullptr;
    QLabel *StatusPanel = nullptr; // first panel of StatusBar1
    QLabel *Connection = nullptr;  // the connection indicator at the address box
    QLabel *ZoomPanel = nullptr;   // page zoom of the active window, at the status panel's right
    QAction *BackCtrl = nullptr;
    QAction *FrwrdCtrl = nullptr;
    QAction *StopCtrl = nullptr;
    QAction *ReLoadCtrl = nullptr;
    QAction *mnuFile_SaveAs = nullptr;
    QAction *mnuEdit_slrAll = nullptr;
    QAction *mnuEdit_Copy = nullptr;
    QAction *mnuShow_Size = nullptr;
    QAction *mnuEdit_Find = nullptr;  // find in page, with the copy items
    QAction *mnuFile_Print = nullptr; // print, with save as

    // The commands on a page (save as, print, copy, select all, find): on
    // while a window is open.
    void EnablePageCommands(bool enabled);
};

// Window state for new child windows, with the values "General"/"WinSize"
// stores it as.
enum class ChildState : int { Normal = 0, Maximized = 1, Minimized = 2 };

// A window's state as the state of new windows, and back.
inline ChildState ChildStateOf(Qt::WindowStates states)
{
    return states & Qt::WindowMinimized   ? ChildState::Minimized
           : states & Qt::WindowMaximized ? ChildState::Maximized
                                          : ChildState::Normal;
}

class BrowserHost {
public:
    virtual ~BrowserHost() = default;
    virtual PageIndicators &Indicators() = 0;
    virtual TChildForm *ActiveChild() = 0;
    virtual ChildState &ChildWinState() = 0;
    // True while the main window itself places or brings forward windows:
    // the MDI area's own state changes then are not the user's choice.
    virtual bool Arranging() const = 0;
    virtual uint8_t MojiSize() const = 0;
    virtual void CheckMojiSize(int size) = 0;
    // Nonzero while "全て閉じる(&L)" closes every window; a new window's
    // creation sets it back to 0.
    virtual int AllClosing() const = 0;
    virtual void SetAllClosing(int value) = 0;
    // The owner of the dialogs a page asks for.
    virtual QWidget *Window() = 0;
    virtual void SelectTabOfWindow(int32_t number) = 0; // tab index := FindTab(number)
    virtual void SetTabCaptionOfWindow(int32_t number, const QString &caption) = 0;
    virtual void RemoveTab(int32_t number) = 0;
    virtual void AddClosedURL(const QString &address) = 0; // the recently closed list
    virtual void ChildClosed(TChildForm *child) = 0;       // bookkeeping of live windows
    // A page asks for a new window: the host answers with a catcher of the
    // same engine (or refuses).
    virtual void NewWindowRequested(EngineKind requester, WebBrowser2 *&ppDisp, bool &cancel) = 0;
    // True when the pop-up block list stops this address.
    virtual bool IsPopupURL(const QString &address) = 0;
};

} // namespace orvex
