// 閲覧データの消去: which kinds of browsing data to clear (history, cookies
// and site data, cache) and over what period. Bookmarks, web lists, the
// settings and the recently closed list are never part of it.
#pragma once

#include <QDialog>
#include <QtGlobal>

class QCheckBox;
class QComboBox;

namespace orvex {

struct ClearDataChoice {
    enum class Period { Hour, Day, Week, All };
    bool history = true;
    bool cookies = false;
    bool cache = true;
    Period period = Period::Hour;

    // The start of the period (milliseconds since the epoch); 0 for all.
    qint64 Since(qint64 now) const;
    bool Any() const { return history || cookies || cache; }
};

class TClearDataDialog : public QDialog {
    Q_OBJECT
public:
    explicit TClearDataDialog(QWidget *parent = nullptr);
    ClearDataChoice Choice() const;
    void SetChoice(const ClearDataChoice &choice);

    QCheckBox *HistoryBox() const { return history_; }
    QCheckBox *CookiesBox() const { return cookies_; }
    QCheckBox *CacheBox() const { return cache_; }
    QComboBox *PeriodBox() const { return period_; }

private:
    QComboBox *period_;
    QCheckBox *history_, *cookies_, *cache_;
};

} // namespace orvex
