#include "platform/Look.h"

#include "core/ColorText.h"

#include <QApplication>
#include <QHash>
#include <QPainter>
#include <QPixmap>
#include <QPolygon>
#include <QProxyStyle>
#include <QWidget>

namespace orvex {

namespace {

// The outline and the fill of the shapes drawn next.
void Outline(QPainter &p, const QPen &pen, const QBrush &fill)
{
    p.setPen(pen);
    p.setBrush(fill);
}

// A sheet of paper with a folded corner, moved by (dx, dy).
void DrawPage(QPainter &p, int dx, int dy, const QColor &fill)
{
    Outline(p, QColor(60, 60, 60), fill);
    p.drawPolygon(QPolygon({QPoint(3 + dx, 1 + dy), QPoint(10 + dx, 1 + dy), QPoint(13 + dx, 4 + dy),
                            QPoint(13 + dx, 14 + dy), QPoint(3 + dx, 14 + dy)}));
}

void DrawArrow(QPainter &p, bool left)
{
    const QColor green(40, 150, 60);
    Outline(p, green.darker(150), green);
    p.drawPolygon(left ? QPolygon({QPoint(1, 8), QPoint(8, 2), QPoint(8, 5), QPoint(14, 5), QPoint(14, 11),
                                   QPoint(8, 11), QPoint(8, 14)})
                       : QPolygon({QPoint(15, 8), QPoint(8, 2), QPoint(8, 5), QPoint(2, 5), QPoint(2, 11),
                                   QPoint(8, 11), QPoint(8, 14)}));
}

class IconKeepingStyle : public QProxyStyle {
public:
    QIcon standardIcon(StandardPixmap which, const QStyleOption *option, const QWidget *widget) const override
    {
        // An icon asked for without an option depends only on the style and
        // the direction of the text.
        if (option)
            return QProxyStyle::standardIcon(which, option, widget);
        const Qt::LayoutDirection direction =
            widget ? widget->layoutDirection() : QApplication::layoutDirection();
        const int key = int(which) * 2 + (direction == Qt::RightToLeft ? 1 : 0);
        auto kept = icons_.constFind(key);
        if (kept == icons_.constEnd())
            kept = icons_.insert(key, QProxyStyle::standardIcon(which, nullptr, widget));
        return *kept;
    }

private:
    mutable QHash<int, QIcon> icons_;
};

void Draw(QPainter &p, Picture picture)
{
    switch (picture) {
    case Picture::NewPage:
        DrawPage(p, 0, 0, Qt::white);
        break;
    case Picture::Back:
    case Picture::Forward:
        DrawArrow(p, picture == Picture::Back);
        break;
    case Picture::Stop:
        Outline(p, QColor(120, 0, 0), QColor(210, 30, 30));
        p.drawEllipse(QRect(1, 1, 14, 14));
        p.setPen(QPen(Qt::white, 2));
        p.drawLine(5, 5, 11, 11);
        p.drawLine(11, 5, 5, 11);
        break;
    case Picture::Reload:
        p.setPen(QPen(QColor(30, 90, 180), 2));
        p.drawArc(QRect(2, 2, 12, 12), 60 * 16, 280 * 16);
        p.setBrush(QColor(30, 90, 180));
        p.drawPolygon(QPolygon({QPoint(10, 0), QPoint(15, 4), QPoint(9, 6)}));
        break;
    case Picture::Copy:
        DrawPage(p, -2, -1, Qt::white);
        DrawPage(p, 1, 1, QColor(235, 240, 255));
        break;
    case Picture::SelectAll:
        Outline(p, QPen(QColor(30, 90, 180), 1, Qt::DashLine), QColor(200, 220, 255));
        p.drawRect(QRect(1, 1, 13, 13));
        break;
    case Picture::Save:
        Outline(p, QColor(20, 20, 80), QColor(60, 80, 170));
        p.drawRect(QRect(1, 1, 13, 13));
        p.setBrush(Qt::white);
        p.drawRect(QRect(4, 2, 7, 5));
        break;
    case Picture::Open:
        Outline(p, QColor(120, 90, 10), QColor(240, 200, 80));
        p.drawPolygon(QPolygon(
            {QPoint(1, 4), QPoint(6, 4), QPoint(7, 6), QPoint(14, 6), QPoint(14, 14), QPoint(1, 14)}));
        break;
    case Picture::Options:
        Outline(p, QColor(60, 60, 60), QColor(170, 170, 170));
        p.drawEllipse(QRect(2, 2, 12, 12));
        p.setBrush(Qt::white);
        p.drawEllipse(QRect(6, 6, 4, 4));
        break;
    case Picture::Help: {
        Outline(p, QColor(20, 60, 140), QColor(60, 120, 220));
        p.drawEllipse(QRect(1, 1, 14, 14));
        p.setPen(Qt::white);
        QFont font = p.font();
        font.setBold(true);
        font.setPixelSize(11);
        p.setFont(font);
        p.drawText(QRect(1, 1, 14, 14), Qt::AlignCenter, QStringLiteral("?"));
        break;
    }
    case Picture::Folder:
        Outline(p, QColor(130, 100, 10), QColor(250, 210, 90));
        p.drawPolygon(QPolygon(
            {QPoint(1, 3), QPoint(6, 3), QPoint(8, 5), QPoint(15, 5), QPoint(15, 14), QPoint(1, 14)}));
        break;
    case Picture::WebPage:
        DrawPage(p, 0, 0, Qt::white);
        Outline(p, QColor(30, 110, 200), QColor(120, 180, 240));
        p.drawEllipse(QRect(5, 6, 7, 7));
        break;
    case Picture::Pages:
        DrawPage(p, -2, -1, QColor(230, 230, 230));
        DrawPage(p, 0, 0, QColor(245, 245, 245));
        DrawPage(p, 2, 1, Qt::white);
        break;
    }
}

} // namespace

QIcon PaintPicture(Picture picture)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    Draw(painter, picture);
    painter.end();
    return QIcon(pixmap);
}

void KeepStandardIcons()
{
    QApplication::setStyle(new IconKeepingStyle);
}

QColor ToQColor(uint32_t color)
{
    return QColor::fromRgb(ColorToRgb(color));
}

void UseFormFont(QWidget *form, int pixelSize)
{
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setPixelSize(pixelSize);
    form->setFont(font);
}

void PaintBackground(QWidget *form, uint32_t color)
{
    QPalette palette = form->palette();
    palette.setColor(QPalette::Window, ToQColor(color));
    form->setPalette(palette);
    form->setAutoFillBackground(true);
}

} // namespace orvex
