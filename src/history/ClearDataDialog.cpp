#include "history/ClearDataDialog.h"

#include "platform/UiTexts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace orvex {

qint64 ClearDataChoice::Since(qint64 now) const
{
    constexpr qint64 hour = 60LL * 60 * 1000;
    switch (period) {
    case Period::Hour:
        return now - hour;
    case Period::Day:
        return now - 24 * hour;
    case Period::Week:
        return now - 7 * 24 * hour;
    case Period::All:
        break;
    }
    return 0;
}

TClearDataDialog::TClearDataDialog(QWidget *parent)
    : QDialog(parent), period_(new QComboBox(this)), history_(new QCheckBox(this)),
      cookies_(new QCheckBox(this)), cache_(new QCheckBox(this))
{
    setWindowTitle(QString::fromUtf8(txt::ClearDataTitle));
    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    for (const char *period : {txt::ClearDataHour, txt::ClearDataDay, txt::ClearDataWeek, txt::ClearDataAll})
        period_->addItem(QString::fromUtf8(period));
    auto *periodLabel = new QLabel(QString::fromUtf8(txt::ClearDataRange), this);
    periodLabel->setBuddy(period_);
    form->addRow(periodLabel, period_);
    layout->addLayout(form);
    history_->setText(QString::fromUtf8(txt::ClearDataHistory));
    cookies_->setText(QString::fromUtf8(txt::ClearDataCookies));
    cache_->setText(QString::fromUtf8(txt::ClearDataCache));
    for (QCheckBox *box : {history_, cookies_, cache_})
        layout->addWidget(box);
    auto *note = new QLabel(QString::fromUtf8(txt::ClearDataNote), this);
    note->setWordWrap(true);
    layout->addWidget(note);
    auto *buttons = new QDialogButtonBox(this);
    QPushButton *ok = buttons->addButton(QString::fromUtf8(txt::ClearDataOk), QDialogButtonBox::AcceptRole);
    buttons->addButton(QString::fromUtf8(txt::ClearDataCancel), QDialogButtonBox::RejectRole);
    ok->setDefault(true);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // Nothing ticked, nothing to clear.
    auto update = [this, ok] { ok->setEnabled(Choice().Any()); };
    for (QCheckBox *box : {history_, cookies_, cache_})
        connect(box, &QCheckBox::toggled, this, update);
    SetChoice(ClearDataChoice());
}

ClearDataChoice TClearDataDialog::Choice() const
{
    ClearDataChoice choice;
    choice.history = history_->isChecked();
    choice.cookies = cookies_->isChecked();
    choice.cache = cache_->isChecked();
    choice.period = static_cast<ClearDataChoice::Period>(period_->currentIndex());
    return choice;
}

void TClearDataDialog::SetChoice(const ClearDataChoice &choice)
{
    history_->setChecked(choice.history);
    cookies_->setChecked(choice.cookies);
    cache_->setChecked(choice.cache);
    period_->setCurrentIndex(static_cast<int>(choice.period));
}

} // namespace orvex
