// Windows out of sight sleep. A window that is neither the active one nor
// visible in the MDI area (covered, minimised, behind a maximised window) has
// its page frozen after a short time and discarded after a longer one, or
// sooner, oldest first, while the program's memory is over its budget. A
// page is put to sleep only when its engine says it would lose nothing, and
// never before its first load has ended, while it loads, shows full screen
// or its window is kept awake by the user. The window, its tab, caption,
// address and history stay; seeing the window again wakes its page.
//
// The decisions (Decide, SeenWindows) are plain functions over plain data;
// SleepPolicy gathers that data from the MDI area and applies them.
#pragma once

#include "browser/WebBrowser.h"

#include <QHash>
#include <QObject>
#include <QRect>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QAction;
class QMdiArea;
class QMenu;
class QPainter;
class QWidget;

namespace orvex {

class SettingsFile;
class TChildForm;
class WindowRegistry;

namespace sleep {

struct Limits {
    bool enabled = true;
    int64_t freezeAfterMs = 0;
    int64_t discardAfterMs = 0;
    int64_t memoryBudget = 0; // bytes over all the program's processes; 0: none
};
Limits ReadLimits(const SettingsFile &settings);

// One window as the decisions see it.
struct Window {
    int32_t number = -1;
    bool seen = true;
    int64_t outOfSightSince = 0; // on the policy's clock, while not seen
    PageLifecycle lifecycle = PageLifecycle::Active;
    bool maySleep = false;  // not kept awake, not loading, not full screen, nothing to lose
    bool mayFreeze = false; // and the engine has not refused to freeze it
};

struct Step {
    int32_t number;
    PageLifecycle to;
};

// What to do now: wake every seen sleeper; freeze or discard each window out
// of sight for long enough; over the memory budget, discard the window out
// of sight longest that is not yet discarded (one a round, the next round
// measures again).
std::vector<Step> Decide(const std::vector<Window> &windows, int64_t now, int64_t memoryUsed,
                         const Limits &limits);

struct Placement {
    QRect frame;       // in the area's coordinates
    bool shown = true; // neither hidden nor minimised
    QRect page;        // the part of the frame the page fills
};
// For windows given front to back: whether any part of each shows inside
// `area`.
std::vector<bool> SeenWindows(const QRect &area, const std::vector<Placement> &frontToBack);
// The same for each window's page: whether any part of it inside `area` is
// left uncovered by the frames of the windows in front.
std::vector<bool> SeenPages(const QRect &area, const std::vector<Placement> &frontToBack);

// The area's browser windows front to back, and where each is.
struct Stack {
    std::vector<TChildForm *> windows;
    std::vector<Placement> placements;
};
Stack Stacked(const QMdiArea &area);
// The browser window on top of the area's others, if any.
TChildForm *Topmost(const QMdiArea &area);

// This process and every process below it (the engines' renderers and web
// processes, and theirs), this one first.
std::vector<int> ProgramProcesses();
// The proportional memory (PSS) of `processes` (ProgramProcesses: this
// process and the engines' renderers and web processes below it), in bytes.
int64_t ProgramMemory(const std::vector<int> &processes);
// The program's processes (sorted) and their resident memory summed, which
// the kernel keeps counted: read in microseconds, where the proportional
// memory walks every page of every process.
struct Residents {
    std::vector<int> processes;
    int64_t bytes = 0;
};
Residents ProgramResidents();

// The program's memory for the memory budget, read fully only when it may
// have changed: while the same processes hold about the same resident
// memory, the last full reading stands, moved by the change. At 20 windows
// a full reading every round of the policy kept 3 % of a core busy.
class MemoryGauge {
public:
    static constexpr int64_t kDriftBytes = 32 * 1024 * 1024;
    static constexpr int64_t kMaxAgeMs = 60 * 1000;

    int64_t Read();

    // Replaced by tests: the cheap reading, the full one, the clock (ms).
    std::function<Residents()> residents = ProgramResidents;
    std::function<int64_t(const std::vector<int> &)> proportional = ProgramMemory;
    std::function<int64_t()> clock;

private:
    Residents base_;
    int64_t full_ = -1;
    int64_t at_ = 0;
};

} // namespace sleep

class SleepPolicy : public QObject {
public:
    static constexpr int kRoundMs = 2000;

    // `tabs`: the tab bar, redrawn when a window falls asleep or wakes.
    SleepPolicy(QMdiArea *area, QWidget *tabs, const WindowRegistry &windows,
                std::function<sleep::Limits()> limits, QObject *parent);

    // One round: look at every window, wake, freeze or discard.
    void Round();
    // The window comes to the front: its page wakes at once.
    void Wake(TChildForm *child);

    // The tab at `index` shows a sleeping window: its contents are drawn paler.
    bool Sleeping(int index) const;
    void PaleTab(QPainter &painter, int index, const QRect &rect) const;

    // "Keep this window awake" in the tab menu, for the tab `popupTab` names.
    void AddKeepItem(QMenu *menu, std::function<int()> popupTab);
    bool KeptAwake(int32_t number) const { return tracks_.value(number).keep; }
    void SetKeptAwake(int32_t number, bool keep);

    // Replaced by tests: the clock in milliseconds, the memory reading, and
    // where the reading runs (a worker thread: it walks every process of the
    // program, which would hold up the user-interface thread).
    std::function<int64_t()> clock;
    std::function<int64_t()> memory;
    std::function<void(std::function<void()>)> inBackground;

private:
    struct Track {
        int64_t outOfSightSince = -1;
        int64_t askAgainAt = 0; // after a page said it would lose something
        bool keep = false;
        bool asking = false;
        bool freezeRefused = false;
    };
    void Apply(const sleep::Step &step);
    // The last finished reading of the program's memory, and a new reading
    // started when none runs; 0 while there is none that began after the
    // last discard.
    int64_t MemoryUsed();

    struct Reading; // shared with the thread that reads

    QMdiArea *area_;
    QWidget *tabs_;
    const WindowRegistry &windows_;
    std::function<sleep::Limits()> limits_;
    QHash<int32_t, Track> tracks_;
    std::shared_ptr<Reading> reading_;
    int discards_ = 0; // pages discarded so far
    QTimer timer_;
    QAction *keepItem_ = nullptr;
};

} // namespace orvex
