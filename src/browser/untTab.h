// The owner-drawn tab bar of the main window. It shows a list of tabs kept
// elsewhere (the main window's windows) and follows that list's changes; a
// tab the user picks is reported, and the list decides. It draws each tab's
// frame as the platform's tab control does (a tab joined to the page, or a
// push button); what is inside the frame is left to a callback, so that the
// main window reads the colours from the settings at every drawing.
#pragma once

#include <QHash>
#include <QTabBar>
#include <functional>

namespace orvex {

class TTabControl : public QTabBar {
    Q_OBJECT
public:
    explicit TTabControl(QWidget *parent = nullptr);

    // Draws the contents of one tab into `rect`, the area inside its frame.
    using DrawTab = std::function<void(QPainter &, int index, const QRect &rect, bool active)>;
    void SetDrawTab(DrawTab draw) { draw_ = std::move(draw); }

    // The list's changes, each with the list's selected index after it.
    // Tab captions are page titles shown as they are: an "&" in one is a
    // character, never an access key of the bar.
    void InsertTab(int index, const QString &caption, int selected);
    void RemoveTab(int index, int selected);
    void SetCaption(int index, const QString &caption);
    void FollowSelection(int selected);
    QString Caption(int index) const;

    // 0 or less: tabs size to their text.
    void SetFixedTabWidth(int width);
    int FixedTabWidth() const { return fixedWidth_; }
    // Tab style along the bottom, or button style along the top.
    void SetButtonStyle(bool buttons);
    bool ButtonStyle() const { return buttons_; }

    // Where a tab's frame is drawn, and the area inside it, where the
    // callback draws.
    QRect FrameRect(int index) const;
    QRect ContentsRect(int index) const;

signals:
    void MouseDown(Qt::MouseButton button, const QPoint &pos);
    void DoubleClicked(const QPoint &pos);
    // The user picked another tab (a click, a key, the wheel); the bar shows
    // it until the list answers with its selection.
    void TabChosen(int index);

protected:
    bool event(QEvent *event) override;
    QSize tabSizeHint(int index) const override;
    QSize minimumTabSizeHint(int index) const override;
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void PaintFrame(QPainter &painter, int index, bool selected);
    void OnCurrentChanged(int index);

    DrawTab draw_;
    // Text widths by text: the bar measures every tab at each layout, and
    // most captions repeat ("loading").
    mutable QHash<QString, int> textWidths_;
    int fixedWidth_ = 0;
    bool buttons_ = false;
    int followed_ = -1;      // the list's selected index
    bool following_ = false; // the bar's own changes of the current tab are not the user's
};

} // namespace orvex
