// Address completion: while the user types in the address box, a list under
// it of the pages from the history and the bookmarks that hold every typed
// word (title and address; bookmarks marked ★), best first. ↓/↑ choose and
// show the chosen address in the box, Enter opens it (the box's own Enter
// handling navigates), a click opens it too, Delete removes a history entry,
// Esc puts back what was typed. The query runs after the keystroke has been
// handled, so typing never waits for it.
#pragma once

#include "core/HistoryIndex.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <vector>

class QLineEdit;
class QTreeWidget;

namespace orvex {

class HistoryStore;

class TAddressCompleter : public QObject {
    Q_OBJECT
public:
    using BookmarkSource = std::function<std::vector<CompletionBookmark>()>;
    static constexpr size_t kShown = 8;

    TAddressCompleter(QLineEdit &box, HistoryStore &store, BookmarkSource bookmarks,
                      QObject *parent = nullptr);
    ~TAddressCompleter() override;

    // Runs the query for what was typed now (the timer does it otherwise).
    void Update();
    void Hide();
    bool IsShown() const;
    QTreeWidget *Popup() const { return popup_; }
    const std::vector<CompletionMatch> &Matches() const { return matches_; }
    // The chosen row, -1 while the typed text stands.
    int Current() const { return current_; }

signals:
    // A row was clicked: the box now holds its address.
    void Chosen(const QString &url);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Choose(int row);
    void ShowInBox(const QString &text);
    void Place();

    QLineEdit &box_;
    HistoryStore &store_;
    BookmarkSource bookmarks_;
    QTreeWidget *popup_;
    QTimer queryTimer_;
    QString typed_;
    std::vector<CompletionMatch> matches_;
    int current_ = -1;
};

} // namespace orvex
