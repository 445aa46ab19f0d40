// The tab bar under the windows: the bar, its tab control and its menu, the
// tabs' texts and colours, and the tab routines. One tab per child window,
// tied to it by the window number, both kept in the window list, which the
// bar follows; a tab the user picks goes to the list, whose choice brings the
// window forward. Numbers are compared at full width, so the bookkeeping
// stays exact however many windows a run opens.
#pragma once

#include <QObject>
#include <cstdint>

class QMenu;
class QPainter;
class QPoint;
class QRect;
class QWidget;

namespace orvex {

class TMainForm;
class TTabControl;
class WindowRegistry;

class TabStrip : public QObject {
public:
    // The bar goes into the main window's layout; the menu is the window's.
    TabStrip(TMainForm &form, WindowRegistry &windows);

    QWidget *Bar() const { return bar_; }
    TTabControl *Control() const { return control_; }
    QMenu *Popup() const { return popup_; }

    // The tab last hit by a right or middle press; kNoTab when none.
    static constexpr int kNoTab = 255;
    int PopupTab() const { return popupTab_; }
    void SetPopupTab(int index) { popupTab_ = index; } // as a press on the bar sets it

    // ---- the tab routines ----
    int FindTab(int32_t number) const;
    // Unless a tab command is closing the window: its tab goes, the
    // selection stays on the tab it was on.
    void RemoveTab(int32_t number);
    void HitTestTab(const QPoint &pos);
    bool CloseTab(int index); // false while the page is asked (its tab goes once it agrees)
    // The address of the tab's page joins the pop-up block list.
    void AddCloseURL(int index);
    void ShowTab(int index);
    // ActivateCh, ActivateBG, DeActivateCh, DeActivateBG, from the settings.
    void ReadTabColors(uint32_t colors[4]) const;
    // The drawing of one tab with colours already read.
    void PaintTab(QPainter &painter, int index, const QRect &rect, bool active,
                  const uint32_t colors[4]) const;
    // A right press opens the menu, a middle press closes the tab.
    void MouseDown(Qt::MouseButton button, const QPoint &pos);

    // Every window, or every window but the one of PopupTab(); a page that
    // stays keeps its tab.
    void CloseAll();
    void CloseAllButPopupTab();
    // The tab `steps` away in tab order (wrapping); the tab at an index (-1:
    // the last).
    void SelectTabBy(int steps);
    void SelectTabAt(int index);

    void ApplyTabWidth(int width);
    void ApplyTabType(int tabType);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    TMainForm &form_;
    WindowRegistry &windows_;
    QWidget *bar_;         // TabBar: 28 px, above the status strip
    TTabControl *control_; // TabControl1: fills the bar, follows the window list
    QMenu *popup_;         // TabPopup
    int popupTab_ = 0;
};

} // namespace orvex
