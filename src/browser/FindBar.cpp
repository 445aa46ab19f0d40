#include "browser/FindBar.h"

#include "browser/ChildForm.h"
#include "platform/UiServices.h"
#include "platform/UiTexts.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

namespace orvex {

namespace {
QString Text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}
} // namespace

TFindBar::TFindBar(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("FindBar"));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    btnClose = new QToolButton(this);
    btnClose->setText(QStringLiteral("×"));
    btnClose->setToolTip(Text(txt::FindClose));
    btnClose->setAutoRaise(true);
    auto *label = new QLabel(Text(txt::FindLabel), this);
    txtFind = new QLineEdit(this);
    txtFind->setObjectName(QStringLiteral("txtFind"));
    txtFind->setMinimumWidth(200);
    label->setBuddy(txtFind);
    btnNext = new QPushButton(Text(txt::FindNext), this);
    btnPrevious = new QPushButton(Text(txt::FindPrevious), this);
    chkMatchCase = new QCheckBox(Text(txt::FindMatchCase), this);
    lblMatches = new QLabel(this);
    lblMatches->setMinimumWidth(60);
    layout->addWidget(btnClose);
    layout->addWidget(label);
    layout->addWidget(txtFind);
    layout->addWidget(btnNext);
    layout->addWidget(btnPrevious);
    layout->addWidget(chkMatchCase);
    layout->addWidget(lblMatches);
    layout->addStretch(1);

    connect(btnClose, &QToolButton::clicked, this, [this] { Guarded([this] { CloseBar(); }); });
    connect(btnNext, &QPushButton::clicked, this, [this] { Guarded([this] { FindNext(); }); });
    connect(btnPrevious, &QPushButton::clicked, this, [this] { Guarded([this] { FindPrevious(); }); });
    connect(txtFind, &QLineEdit::textEdited, this, [this] { Guarded([this] { FindNext(); }); });
    connect(chkMatchCase, &QCheckBox::toggled, this, [this] { Guarded([this] { FindNext(); }); });
    txtFind->installEventFilter(this);
    hide();
}

bool TFindBar::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == txtFind) {
        // Esc belongs to the bar while its text box has the focus, not to
        // the main window's stop command.
        if (event->type() == QEvent::ShortcutOverride &&
            static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
            event->accept();
            return true;
        }
        if (event->type() == QEvent::KeyPress) {
            auto *key = static_cast<QKeyEvent *>(event);
            if (key->key() == Qt::Key_Escape) {
                Guarded([this] { CloseBar(); });
                return true;
            }
            if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
                const bool backward = key->modifiers() & Qt::ShiftModifier;
                Guarded([this, backward] { Search(backward); });
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TFindBar::OpenFor(TChildForm *child)
{
    if (!child)
        return;
    show();
    SetTarget(child);
    txtFind->setFocus();
    txtFind->selectAll();
}

void TFindBar::SetTarget(TChildForm *child)
{
    if (child == target_)
        return;
    if (target_) {
        Clear(target_);
        disconnect(resultConnection_);
    }
    target_ = child;
    lblMatches->clear();
    if (!child)
        return;
    resultConnection_ = connect(child, &TChildForm::FindResult, this, &TFindBar::ShowResult);
    if (isVisible() && !txtFind->text().isEmpty())
        FindNext();
}

void TFindBar::CloseBar()
{
    if (target_) {
        Clear(target_);
        disconnect(resultConnection_);
        if (QWidget *page = target_->widget())
            page->setFocus();
    }
    target_ = nullptr;
    lblMatches->clear();
    hide();
}

void TFindBar::Clear(TChildForm *child)
{
    if (child->IsOpen && child->Browser())
        child->Browser()->Find(FindRequest());
}

void TFindBar::Search(bool backward)
{
    if (!target_ || !target_->IsOpen || !target_->Browser())
        return;
    FindRequest request;
    request.text = txtFind->text();
    request.backward = backward;
    request.matchCase = chkMatchCase->isChecked();
    if (request.text.isEmpty())
        lblMatches->clear();
    target_->Browser()->Find(request);
}

void TFindBar::ShowResult(const QString &text, int matches)
{
    // An answer to an earlier text is already out of date.
    if (text.isEmpty() || text != txtFind->text())
        return;
    lblMatches->setText(Text(txt::FindMatches).arg(matches));
}

} // namespace orvex
