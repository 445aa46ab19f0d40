#include "browser/untTab.h"

#include <QMouseEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <QStyleOptionTab>

namespace orvex {

TTabControl::TTabControl(QWidget *parent) : QTabBar(parent)
{
    setDrawBase(false);
    setExpanding(false);
    setUsesScrollButtons(true);
    setElideMode(Qt::ElideRight);
    setShape(QTabBar::RoundedSouth);
}

void TTabControl::SetFixedTabWidth(int width)
{
    fixedWidth_ = width;
    // Let the bar recompute its tab geometry.
    setIconSize(iconSize());
    updateGeometry();
    update();
}

void TTabControl::SetButtonStyle(bool buttons)
{
    buttons_ = buttons;
    setShape(buttons ? QTabBar::RoundedNorth : QTabBar::RoundedSouth);
    update();
}

void TTabControl::SetTabIndexSilently(int index)
{
    QSignalBlocker block(this);
    setCurrentIndex(index);
}

QSize TTabControl::tabSizeHint(int index) const
{
    int width = fixedWidth_;
    if (width <= 0) {
        const QString text = tabText(index);
        auto it = textWidths_.constFind(text);
        if (it == textWidths_.constEnd()) {
            if (textWidths_.size() > 4096)
                textWidths_.clear();
            it = textWidths_.insert(text, fontMetrics().horizontalAdvance(text));
        }
        width = it.value() + 20;
    }
    return QSize(width, std::max(fontMetrics().height() + 8, 22));
}

void TTabControl::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange)
        textWidths_.clear();
    QTabBar::changeEvent(event);
}

QSize TTabControl::minimumTabSizeHint(int index) const
{
    return tabSizeHint(index);
}

void TTabControl::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const int current = currentIndex();
    for (int i = 0; i < count(); ++i) {
        QRect rect = tabRect(i);
        if (!rect.isValid() || !rect.intersects(this->rect()))
            continue;
        if (draw_)
            draw_(painter, i, rect, i == current);
        // The frame: a raised button, or a tab open towards the page above.
        painter.setPen(palette().color(QPalette::Dark));
        if (buttons_) {
            painter.drawRect(rect.adjusted(1, 1, -2, -2));
        } else {
            painter.drawLine(rect.bottomLeft(), rect.topLeft());
            painter.drawLine(rect.bottomLeft(), rect.bottomRight());
            painter.drawLine(rect.bottomRight(), rect.topRight());
        }
    }
}

void TTabControl::mousePressEvent(QMouseEvent *event)
{
    emit MouseDown(event->button(), event->pos());
    if (event->button() == Qt::LeftButton)
        QTabBar::mousePressEvent(event);
}

} // namespace orvex
