// The bars of the main window and their layout: the two bands of the top
// band bar (the "標準" bar and the address bar: order, row break, width), the
// side bar ("Jバー") with its collapse button, the status strip with the
// progress bar, the five view toggles, the layout rules applied at every
// resize, and the "Bar" section of the settings file that keeps all of it
// between runs. It makes the bars and holds them; the main window puts the
// side bar and the status strip into its own layout.
//
// The band bar is the main window's top tool bar area. A band's position is
// the bar's place in that area, a row break is a tool bar break before it.
#pragma once

#include <QObject>
#include <QPoint>
#include <array>

class QAction;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QToolBar;
class QToolButton;
class QTreeWidget;
class QWidget;

namespace orvex {

class TBand;
class TMainForm;
struct PageIndicators;

// The bars' controls, under the design's names.
struct BarWidgets {
    TBand *ToolBar2 = nullptr; // band 0: the "標準" bar
    TBand *ToolBar3 = nullptr; // band 1: the address bar
    QAction *ToolButton1 = nullptr;
    QLabel *Label1 = nullptr;
    QLineEdit *txtAddress = nullptr;
    QLabel *lblConnection = nullptr; // the connection of the page in front
    QPushButton *btnMove = nullptr;
    QWidget *JBar = nullptr;
    QTreeWidget *TreeView1 = nullptr;
    QToolButton *btnBar = nullptr;
    QWidget *ToolBar1 = nullptr; // the status strip
    QLabel *StatusBar1 = nullptr;
    QLabel *ZoomPanel = nullptr; // inside StatusBar1
    QProgressBar *ProgressBar1 = nullptr;
};

class BarLayout : public QObject {
public:
    // Makes the bars, puts the bands into the form's top area and the page
    // indicators among them into `indicators`; their commands go to the form.
    BarLayout(TMainForm &form, PageIndicators &indicators);

    const BarWidgets &Widgets() const { return w_; }

    // The View menu's items for the "標準" bar, the address bar, the status
    // strip, the tab bar and the side bar, with the bars they show.
    struct ViewToggle {
        QAction *item;
        QWidget *bar;
    };
    void SetViewToggles(const std::array<ViewToggle, 5> &toggles) { toggles_ = toggles; }

    void BandPositionRead();
    void BandPositionWrite();
    // Hides each bar whose View item is unchecked.
    void ViewToolBar();
    void ToggleBar(QAction *item, QWidget *bar);
    // The View item of toggle `index` (in the order above) clicked.
    void ToggleView(size_t index) { ToggleBar(toggles_.at(index).item, toggles_.at(index).bar); }
    // The side bar collapses to its button and opens to its remembered width.
    void btnBarClick();
    void JBarMouseUp(int x);
    void JBarResize();
    void CoolBar1MouseUp();
    // A band dragged by its handle from `from` and let go at `to` (global
    // coordinates): let go past the middle of the other band on its row, the
    // two change places.
    void ReorderBandsAfterDrag(QToolBar *dragged, const QPoint &from, const QPoint &to);
    // The status strip's controls and the address bar, at every resize.
    void LayoutRules();
    int JBarWidth() const;
    void SetJBarWidth(int width);
    int BtnBarTag() const { return btnBarTag_; } // remembered side bar width; 0 while expanded
    // The address box, to type in.
    void FocusAddress();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void BuildBands(PageIndicators &indicators);
    void BuildSideBar();
    void BuildStatusStrip(PageIndicators &indicators);
    std::array<QToolBar *, 2> BandsInOrder();
    TBand *BandWithId(int id) const;
    int IdOfBand(const QToolBar *bar) const;

    TMainForm &form_;
    BarWidgets w_;
    std::array<ViewToggle, 5> toggles_{};
    int btnBarTag_ = 0;
    bool jbarDragging_ = false;
    QToolBar *bandPressed_ = nullptr;        // the band whose handle the mouse holds
    QPoint bandPressPos_;                    // where it was pressed, in global coordinates
    std::array<int, 2> bandWidthsAtPress_{}; // of ToolBar2 and ToolBar3 then
};

} // namespace orvex
