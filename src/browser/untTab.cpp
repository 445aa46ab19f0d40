#include "browser/untTab.h"

#include "platform/UiServices.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScopedValueRollback>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionTab>
#include <QStyleOptionTabBarBase>
#include <QToolTip>

namespace orvex {

namespace {

// QTabBar takes an "&" in a tab text as the mark of an access key; doubled,
// it is a plain "&".
QString EscapeAccessKeys(const QString &text)
{
    QString escaped = text;
    return escaped.replace(QLatin1Char('&'), QLatin1String("&&"));
}

QString UnescapeAccessKeys(const QString &text)
{
    QString plain = text;
    return plain.replace(QLatin1String("&&"), QLatin1String("&"));
}

// Room between a button and its neighbours, and the width of a button's
// raised edge, as the platform's button-style tab control leaves them.
constexpr int kButtonGap = 1;
constexpr int kButtonEdge = 3;
// The width of a tab's frame, how far the selected tab reaches over its
// neighbours, and how much shorter the others stand.
constexpr int kTabEdge = 2;
constexpr int kSelectedGrowth = 2;
constexpr int kUnselectedDrop = 2;

} // namespace

TTabControl::TTabControl(QWidget *parent) : QTabBar(parent)
{
    setDrawBase(false); // drawn in paintEvent, with the frames
    setExpanding(false);
    setUsesScrollButtons(true);
    setElideMode(Qt::ElideRight);
    setShape(QTabBar::RoundedSouth);
    connect(this, &QTabBar::currentChanged, this, Guard([this](int index) { OnCurrentChanged(index); }));
}

void TTabControl::InsertTab(int index, const QString &caption, int selected)
{
    {
        const QScopedValueRollback<bool> following(following_, true);
        insertTab(index, EscapeAccessKeys(caption));
    }
    FollowSelection(selected);
}

void TTabControl::RemoveTab(int index, int selected)
{
    {
        const QScopedValueRollback<bool> following(following_, true);
        removeTab(index);
    }
    FollowSelection(selected);
}

void TTabControl::FollowSelection(int selected)
{
    followed_ = selected;
    const QScopedValueRollback<bool> following(following_, true);
    if (selected >= 0 && selected < count())
        setCurrentIndex(selected);
}

void TTabControl::OnCurrentChanged(int index)
{
    if (following_ || index == followed_ || index < 0)
        return;
    emit TabChosen(index);
}

void TTabControl::SetCaption(int index, const QString &caption)
{
    setTabText(index, EscapeAccessKeys(caption));
}

QString TTabControl::Caption(int index) const
{
    return UnescapeAccessKeys(tabText(index));
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

QSize TTabControl::tabSizeHint(int index) const
{
    int width = fixedWidth_;
    if (width <= 0) {
        const QString text = Caption(index);
        auto it = textWidths_.constFind(text);
        if (it == textWidths_.constEnd()) {
            if (textWidths_.size() > 4096)
                textWidths_.clear();
            it = textWidths_.insert(text, fontMetrics().horizontalAdvance(text));
        }
        width = it.value() + 20;
    }
    // Buttons leave room for their raised or sunken edge around the text.
    const int edges = buttons_ ? 2 * (kButtonGap + kButtonEdge) + 3 : 8;
    return QSize(width, std::max(fontMetrics().height() + edges, 22));
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

bool TTabControl::event(QEvent *event)
{
    // The tooltip of a tab is its whole caption, which the tab itself may
    // show cut short. Given as rich text so that a title holding markup is
    // shown as written.
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const int index = tabAt(help->pos());
        if (index < 0) {
            QToolTip::hideText();
            event->ignore();
            return true;
        }
        const QString html =
            QStringLiteral("<p style='white-space:pre-wrap'>%1</p>").arg(Caption(index).toHtmlEscaped());
        QToolTip::showText(help->globalPos(), html, this, tabRect(index));
        return true;
    }
    return QTabBar::event(event);
}

QRect TTabControl::FrameRect(int index) const
{
    const QRect rect = tabRect(index);
    if (buttons_)
        return rect.adjusted(kButtonGap, kButtonGap, -kButtonGap, -kButtonGap);
    // Tabs along the bottom, the page above: the selected tab stands out
    // over its neighbours. The style draws the others a little shorter.
    if (index == currentIndex())
        return rect.adjusted(-kSelectedGrowth, 0, kSelectedGrowth, 0);
    return rect;
}

QRect TTabControl::ContentsRect(int index) const
{
    const QRect frame = FrameRect(index);
    const bool selected = index == currentIndex();
    if (buttons_) {
        // A pressed button shows its face one pixel down and to the right,
        // inside a wider sunken rim.
        if (selected)
            return frame.adjusted(kButtonEdge + 1, kButtonEdge + 1, -kButtonEdge, -kButtonEdge);
        return frame.adjusted(kButtonEdge, kButtonEdge, -kButtonEdge, -kButtonEdge);
    }
    // The selected tab's face runs up into the page, through the page's
    // edge: nothing lies between them. The others stay below the edge.
    if (selected)
        return frame.adjusted(kTabEdge, 0, -kTabEdge, -kTabEdge);
    return frame.adjusted(kTabEdge, kTabEdge, -kTabEdge, -(kTabEdge + kUnselectedDrop));
}

void TTabControl::PaintFrame(QPainter &painter, int index, bool selected)
{
    if (buttons_) {
        QStyleOptionButton button;
        button.initFrom(this);
        button.rect = FrameRect(index);
        button.state &= ~(QStyle::State_MouseOver | QStyle::State_HasFocus);
        button.state |= selected ? (QStyle::State_Sunken | QStyle::State_On) : QStyle::State_Raised;
        style()->drawPrimitive(QStyle::PE_PanelButtonCommand, &button, &painter, this);
        if (selected) {
            // A pressed button's shadow along the inside of its top and left edges.
            const QRect face = ContentsRect(index).adjusted(-1, -1, 0, 0);
            painter.setPen(palette().color(QPalette::Dark));
            painter.drawLine(face.topLeft(), face.topRight());
            painter.drawLine(face.topLeft(), face.bottomLeft());
        }
        return;
    }
    QStyleOptionTab tab;
    initStyleOption(&tab, index);
    tab.rect = FrameRect(index);
    tab.text.clear();
    tab.icon = QIcon();
    style()->drawControl(QStyle::CE_TabBarTabShape, &tab, &painter, this);
}

void TTabControl::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const int current = currentIndex();

    // Tab style: the edge of the page runs along the top of the bar, and
    // the selected tab joins the page through it.
    if (!buttons_ && count() > 0) {
        QStyleOptionTabBarBase base;
        base.initFrom(this);
        base.shape = shape();
        base.rect = QRect(0, 0, width(), 2);
        for (int i = 0; i < count(); ++i)
            base.tabBarRect |= tabRect(i);
        base.selectedTabRect = current >= 0 ? FrameRect(current) : QRect();
        style()->drawPrimitive(QStyle::PE_FrameTabBarBase, &base, &painter, this);
        painter.setPen(palette().color(QPalette::Dark));
        painter.drawLine(0, 0, width() - 1, 0);
    }

    auto paintTab = [&](int i) {
        const QRect rect = tabRect(i);
        if (!rect.isValid() || !rect.intersects(this->rect()))
            return;
        const bool selected = i == current;
        PaintFrame(painter, i, selected);
        if (draw_) {
            painter.save();
            const QRect inside = ContentsRect(i);
            painter.setClipRect(inside);
            draw_(painter, i, inside, selected);
            painter.restore();
        }
    };
    // The selected tab last, so that it stands over its neighbours.
    for (int i = 0; i < count(); ++i)
        if (i != current)
            paintTab(i);
    if (current >= 0)
        paintTab(current);
}

void TTabControl::mousePressEvent(QMouseEvent *event)
{
    emit MouseDown(event->button(), event->pos());
    if (event->button() == Qt::LeftButton)
        QTabBar::mousePressEvent(event);
}

void TTabControl::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        emit DoubleClicked(event->pos());
    QTabBar::mouseDoubleClickEvent(event);
}

} // namespace orvex
