// The open browser windows in tab order: for each its number, its engine,
// its child window and its tab text; the numbering (WinCount) and the flags
// of the tab commands that close windows. It is the one owner of these
// facts: WinTags, the tab bar and the window list are derived from it, and
// the tab bar follows it through its signals.
#pragma once

#include "browser/EngineLoader.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

namespace orvex {

class TChildForm;

class WindowRegistry : public QObject {
    Q_OBJECT
public:
    struct Entry {
        int32_t number = -1;
        EngineKind kind = EngineKind::InternetExplorer;
        // Null while the window is being made, and once it has closed while
        // the tab command that closed it has not yet taken its tab.
        TChildForm *child = nullptr;
        QString text; // the tab's caption
    };

    // Reserves the next number and appends its entry, with the tab text
    // "loading". The first entry becomes the selected one, as a tab added
    // to an empty tab control does; otherwise the selection stays.
    int32_t Open(EngineKind kind);
    // The window made for an entry.
    void Attach(int32_t number, TChildForm *child);
    // A window that has closed; its entry, if it still has one, stays until
    // its tab is taken.
    void Detach(const TChildForm *child);
    // Takes the entry at `index`. The selection moves as in the platform's
    // tab control: a later tab keeps its entry selected, the selected tab
    // passes the selection to the tab after it (or the last one).
    void Remove(int index);
    // Takes every entry (the main window's shutdown).
    void Clear();

    int Count() const { return static_cast<int>(entries_.size()); }
    const Entry &At(int index) const { return entries_[static_cast<size_t>(index)]; }
    // The index of the window numbered `number`, -1 when there is none.
    int IndexOf(int32_t number) const;
    // The design's FindTab: the index of the number's tab, 0 when none.
    int FindTab(int32_t number) const;
    int IndexOfChild(const TChildForm *child) const;
    TChildForm *Child(int32_t number) const;
    // The live child windows in tab order, and how many there are.
    std::vector<TChildForm *> Children() const;
    int ChildCount() const;

    void SetText(int index, const QString &text);

    int Selected() const { return selected_; }
    // The program's own selection: the window shown stays as it is. An
    // index that names no tab leaves the selection unchanged.
    void Select(int index);
    // The user's choice of a tab; its window is to be brought to the front.
    void Choose(int index);

    // The number of the newest window, -1 before the first; only grows.
    int32_t WinCount() const { return winCount_; }
    // For each tab, in tab order, its window's number in decimal.
    QStringList WinTags() const;
    // "0:loading* 1:Example": the tabs with their numbers, '*' on the selected one.
    QString Describe() const;

    // Set while a tab command closes a window, so that the window's own
    // close does not take its tab a second time.
    bool TabClosing() const { return tabClosing_; }
    void SetTabClosing(bool closing) { tabClosing_ = closing; }
    // Nonzero while "全て閉じる(&L)" closes every window; it stays so until
    // the next window is made.
    int AllClosing() const { return allClosing_; }
    void SetAllClosing(int value) { allClosing_ = value; }

signals:
    void inserted(int index);
    void removed(int index);
    void renamed(int index);
    // The selected index changed by Select or Choose. Insertions and
    // removals carry the selection with them; Selected() tells where.
    void selected(int index);
    void chosen(int index);

private:
    std::vector<Entry> entries_;
    int selected_ = -1;
    int32_t winCount_ = -1;
    bool tabClosing_ = false;
    int allClosing_ = 0;
};

} // namespace orvex
