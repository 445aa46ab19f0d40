// The owner-drawn tab bar of the main window. The control keeps only the
// tab texts and the selection; drawing is left to a callback so that the main
// window reads the colours from the settings at every drawing.
#pragma once

#include <QHash>
#include <QTabBar>
#include <functional>

namespace orvex {

class TTabControl : public QTabBar {
    Q_OBJECT
public:
    explicit TTabControl(QWidget *parent = nullptr);

    using DrawTab = std::function<void(QPainter &, int index, const QRect &rect, bool active)>;
    void SetDrawTab(DrawTab draw) { draw_ = std::move(draw); }

    // 0 or less: tabs size to their text.
    void SetFixedTabWidth(int width);
    int FixedTabWidth() const { return fixedWidth_; }
    // Tab style along the bottom, or button style along the top.
    void SetButtonStyle(bool buttons);
    bool ButtonStyle() const { return buttons_; }

    // Selects a tab without raising the change handler (as a program's own
    // change of the selection does not).
    void SetTabIndexSilently(int index);

signals:
    void MouseDown(Qt::MouseButton button, const QPoint &pos);

protected:
    QSize tabSizeHint(int index) const override;
    QSize minimumTabSizeHint(int index) const override;
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    DrawTab draw_;
    // Text widths by text: the bar measures every tab at each layout, and
    // most captions repeat ("loading").
    mutable QHash<QString, int> textWidths_;
    int fixedWidth_ = 0;
    bool buttons_ = false;
};

} // namespace orvex
