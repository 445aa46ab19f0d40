// The history panel (履歴): the history store's entries by the day of their
// last visit (今日, 昨日, then dates), newest first, with a search box. An
// entry opens in the active window, or in a new one with Ctrl or the middle
// button; entries and whole days can be deleted.
#pragma once

#include "core/HistoryIndex.h"

#include <QAbstractItemModel>
#include <QDate>
#include <QTimer>
#include <QWidget>
#include <vector>

class QLineEdit;
class QTreeView;

namespace orvex {

class HistoryStore;

// Days as top rows, their entries as children.
class HistoryModel : public QAbstractItemModel {
    Q_OBJECT
public:
    explicit HistoryModel(QObject *parent = nullptr) : QAbstractItemModel(parent) {}

    // Takes the index's entries (newest first) that hold every word of
    // `filter`; `today` names the days 今日 and 昨日. The rows refer to the
    // index's entries until the next Reset.
    void Reset(const HistoryIndex &index, const QString &filter, const QDate &today);

    // The entry of a child row; nullptr for a day, an invalid index or an
    // entry the index has dropped since the last Reset.
    const HistoryEntry *Entry(const QModelIndex &index) const;
    // The day of a top row, or of a child's parent.
    QDate Day(const QModelIndex &index) const;
    // The label of a day row.
    QString DayLabel(int day) const;

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;

private:
    struct DayRows {
        QDate date;
        size_t begin, end; // entries_[begin, end)
    };
    const HistoryIndex *history_ = nullptr;
    std::vector<std::pair<int64_t, uint32_t>> rows_; // (last visit, slot), newest first
    std::vector<DayRows> days_;                      // over rows_
    QDate today_;
};

class THistoryPanel : public QWidget {
    Q_OBJECT
public:
    THistoryPanel(HistoryStore &store, QWidget *parent = nullptr);

    // Reads the store again (at once; changes arriving later are gathered).
    void Refresh();
    QLineEdit *SearchBox() const { return search_; }
    QTreeView *Tree() const { return tree_; }
    HistoryModel &Model() { return model_; }
    // Deletes the entry or the whole day at `index`.
    void DeleteAt(const QModelIndex &index);

signals:
    void OpenRequested(const QString &url, bool newWindow);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void ShowMenu(const QPoint &pos);
    void Open(const QModelIndex &index, bool newWindow);

    HistoryStore &store_;
    HistoryModel model_;
    QLineEdit *search_;
    QTreeView *tree_;
    QTimer refreshTimer_;
};

} // namespace orvex
