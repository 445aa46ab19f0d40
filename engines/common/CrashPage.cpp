#include "CrashPage.h"

#include "EngineBase.h"
#include "EngineTexts.h"

#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace orvex::engine {

CrashPage::CrashPage(QWidget *over, std::function<void()> reload) : QWidget(over), reload_(std::move(reload))
{
    setObjectName(QStringLiteral("CrashPage"));
    // Over a native window (the Gecko module's embedded view) only a native
    // window of its own shows.
    if (over->testAttribute(Qt::WA_NativeWindow) || over->internalWinId()) {
        setAttribute(Qt::WA_DontCreateNativeAncestors);
        setAttribute(Qt::WA_NativeWindow);
    }
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, Qt::white);
    colours.setColor(QPalette::WindowText, QColor(0x33, 0x33, 0x33));
    setPalette(colours);

    auto *heading = new QLabel(QString::fromUtf8(texts::kPageEndedTitle), this);
    QFont large = heading->font();
    large.setPointSizeF(large.pointSizeF() * 1.4);
    large.setBold(true);
    heading->setFont(large);
    reason_ = new QLabel(this);
    reason_->setWordWrap(true);
    address_ = new QLabel(this);
    address_->setWordWrap(true);
    address_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    address_->setTextFormat(Qt::PlainText);
    address_->setStyleSheet(QStringLiteral("color:#666"));
    auto *hint = new QLabel(QString::fromUtf8(texts::kPageEndedHint), this);
    hint->setWordWrap(true);
    auto *button = new QPushButton(QString::fromUtf8(texts::kPageReload), this);
    connect(button, &QPushButton::clicked, this, [this] {
        if (reload_)
            reload_();
    });

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(48, 48, 48, 48);
    layout->setSpacing(14);
    layout->addWidget(heading);
    layout->addWidget(reason_);
    layout->addWidget(address_);
    layout->addWidget(hint);
    layout->addWidget(button, 0, Qt::AlignLeft);
    layout->addStretch(1);

    over->installEventFilter(this);
    hide();
}

void CrashPage::Show(const QString &address, PageEnd why)
{
    switch (why) {
    case PageEnd::OutOfMemory:
        reason_->setText(QString::fromUtf8(texts::kPageOutOfMemory).arg(PageMemoryLimitMb()));
        break;
    case PageEnd::Killed:
        reason_->setText(QString::fromUtf8(texts::kPageKilled));
        break;
    case PageEnd::Crashed:
        reason_->setText(QString::fromUtf8(texts::kPageCrashed));
        break;
    }
    address_->setText(address);
    setGeometry(parentWidget()->rect());
    show();
    raise();
}

bool CrashPage::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(watched, event);
}

} // namespace orvex::engine
