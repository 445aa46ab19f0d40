#include "shell/SleepPolicy.h"

#include "browser/ChildForm.h"
#include "core/Settings.h"
#include "platform/UiServices.h"
#include "platform/UiTexts.h"
#include "shell/WindowRegistry.h"

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMdiArea>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QRegion>
#include <QThreadPool>
#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <unistd.h>
#include <unordered_map>
#include <utility>

namespace orvex {

namespace sleep {

Limits ReadLimits(const SettingsFile &settings)
{
    Limits limits;
    limits.enabled = settings.NonZero(keys::SleepOn);
    limits.freezeAfterMs = std::max<int64_t>(1, settings.Read(keys::SleepFreezeSeconds)) * 1000;
    limits.discardAfterMs = std::max<int64_t>(1, settings.Read(keys::SleepDiscardMinutes)) * 60 * 1000;
    limits.memoryBudget = std::max<int64_t>(0, settings.Read(keys::SleepMemoryMB)) * 1024 * 1024;
    return limits;
}

std::vector<Step> Decide(const std::vector<Window> &windows, int64_t now, int64_t memoryUsed,
                         const Limits &limits)
{
    std::vector<Step> steps;
    const Window *oldest = nullptr;
    for (const Window &w : windows) {
        if (w.seen) {
            if (w.lifecycle != PageLifecycle::Active)
                steps.push_back({w.number, PageLifecycle::Active});
            continue;
        }
        if (!limits.enabled || !w.maySleep || w.lifecycle == PageLifecycle::Discarded)
            continue;
        const int64_t away = now - w.outOfSightSince;
        if (away >= limits.discardAfterMs) {
            steps.push_back({w.number, PageLifecycle::Discarded});
            continue;
        }
        if (away >= limits.freezeAfterMs && w.mayFreeze && w.lifecycle == PageLifecycle::Active)
            steps.push_back({w.number, PageLifecycle::Frozen});
        if (!oldest || w.outOfSightSince < oldest->outOfSightSince)
            oldest = &w;
    }
    if (oldest && limits.memoryBudget > 0 && memoryUsed > limits.memoryBudget) {
        auto same = [&](const Step &s) { return s.number == oldest->number; };
        steps.erase(std::remove_if(steps.begin(), steps.end(), same), steps.end());
        steps.push_back({oldest->number, PageLifecycle::Discarded});
    }
    return steps;
}

namespace {

// Front to back: whether any part of each window's `part` inside `area` is
// left outside the frames in front of it. Once the frames cover the whole
// area (a maximised window in front), nothing behind them shows.
template <typename Part>
std::vector<bool> Uncovered(const QRect &area, const std::vector<Placement> &frontToBack, Part part)
{
    std::vector<bool> seen;
    seen.reserve(frontToBack.size());
    QRegion covered;
    bool allCovered = false;
    for (const Placement &p : frontToBack) {
        if (!p.shown || allCovered) {
            seen.push_back(false);
            continue;
        }
        seen.push_back(!(QRegion(part(p) & area) - covered).isEmpty());
        covered += p.frame;
        allCovered = (QRegion(area) - covered).isEmpty();
    }
    return seen;
}

} // namespace

std::vector<bool> SeenWindows(const QRect &area, const std::vector<Placement> &frontToBack)
{
    return Uncovered(area, frontToBack, [](const Placement &p) { return p.frame; });
}

std::vector<bool> SeenPages(const QRect &area, const std::vector<Placement> &frontToBack)
{
    return Uncovered(area, frontToBack, [](const Placement &p) { return p.page; });
}

Stack Stacked(const QMdiArea &area)
{
    // The area's windows are the children of its viewport, which a window
    // raised goes to the end of: the order of the children is the stacking
    // order. (The area's own list in that order looks each child up in a
    // list of its windows, which at a thousand windows costs milliseconds.)
    Stack stack;
    const QObjectList &order = area.viewport()->children();
    for (auto it = order.rbegin(); it != order.rend(); ++it)
        if (auto *child = qobject_cast<TChildForm *>(*it)) {
            stack.windows.push_back(child);
            // The page fills the frame inside its title bar and borders.
            stack.placements.push_back({child->geometry(), child->isVisible() && !child->isMinimized(),
                                        child->contentsRect().translated(child->pos())});
        }
    return stack;
}

TChildForm *Topmost(const QMdiArea &area)
{
    const QObjectList &order = area.viewport()->children();
    for (auto it = order.rbegin(); it != order.rend(); ++it)
        if (auto *child = qobject_cast<TChildForm *>(*it))
            return child;
    return nullptr;
}

std::vector<int> ProgramProcesses()
{
    // The process tree from /proc/<pid>/stat: "pid (name) state ppid ...",
    // where the name may hold spaces and parentheses.
    std::unordered_map<int, std::vector<int>> children;
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &name : pids) {
        bool number = false;
        const int pid = name.toInt(&number);
        if (!number)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const int close = line.lastIndexOf(')');
        const QList<QByteArray> fields = line.mid(close + 2).split(' ');
        if (close > 0 && fields.size() > 1)
            children[fields[1].toInt()].push_back(pid);
    }
    std::vector<int> tree;
    std::vector<int> pending{int(getpid())};
    while (!pending.empty()) {
        const int pid = pending.back();
        pending.pop_back();
        tree.push_back(pid);
        for (int child : children[pid])
            pending.push_back(child);
    }
    return tree;
}

int64_t ProgramMemory(const std::vector<int> &processes)
{
    int64_t total = 0;
    for (int pid : processes) {
        QFile rollup(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
        if (!rollup.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &row : rollup.readAll().split('\n'))
            if (row.startsWith("Pss:"))
                total += row.mid(4).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return total;
}

Residents ProgramResidents()
{
    static const long pageSize = sysconf(_SC_PAGESIZE);
    Residents residents;
    residents.processes = ProgramProcesses();
    std::sort(residents.processes.begin(), residents.processes.end());
    for (int pid : residents.processes) {
        QFile statm(QStringLiteral("/proc/%1/statm").arg(pid));
        if (statm.open(QIODevice::ReadOnly))
            residents.bytes += statm.readAll().split(' ').value(1).toLongLong() * pageSize;
    }
    return residents;
}

int64_t MemoryGauge::Read()
{
    Residents now = residents();
    const int64_t time = clock ? clock() : 0;
    // A process that came or went changes the shares of the others, which
    // the resident figures do not show.
    if (full_ < 0 || now.processes != base_.processes || std::abs(now.bytes - base_.bytes) > kDriftBytes ||
        time - at_ >= kMaxAgeMs) {
        full_ = proportional(now.processes);
        base_ = std::move(now);
        at_ = time;
        return full_;
    }
    return std::max<int64_t>(0, full_ + now.bytes - base_.bytes);
}

} // namespace sleep

struct SleepPolicy::Reading {
    std::mutex mutex;
    bool running = false;
    int64_t bytes = 0;
    int discards = -1; // the policy's discard count when the reading began
};

SleepPolicy::SleepPolicy(QMdiArea *area, QWidget *tabs, const WindowRegistry &windows,
                         std::function<sleep::Limits()> limits, QObject *parent)
    : QObject(parent), area_(area), tabs_(tabs), windows_(windows), limits_(std::move(limits))
{
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    clock = [started] { return started->elapsed(); };
    auto gauge = std::make_shared<sleep::MemoryGauge>();
    gauge->clock = clock;
    memory = [gauge] { return gauge->Read(); };
    inBackground = [](std::function<void()> job) { QThreadPool::globalInstance()->start(std::move(job)); };
    reading_ = std::make_shared<Reading>();
    timer_.setInterval(kRoundMs);
    connect(&timer_, &QTimer::timeout, this, Guard([this] { Round(); }));
    timer_.start();
}

void SleepPolicy::Round()
{
    const std::vector<TChildForm *> children = windows_.Children();
    TChildForm *active = qobject_cast<TChildForm *>(area_->activeSubWindow());
    const sleep::Stack stack = sleep::Stacked(*area_);
    const std::vector<TChildForm *> &stacked = stack.windows;
    const std::vector<bool> seen = sleep::SeenWindows(area_->viewport()->rect(), stack.placements);

    const int64_t now = clock();
    const sleep::Limits limits = limits_();
    std::vector<sleep::Window> states;
    QHash<int32_t, Track> kept;
    for (TChildForm *child : children) {
        WebBrowser2 *browser = child->Browser();
        if (!browser || child->Tag < 0)
            continue;
        Track track = tracks_.value(child->Tag);
        const auto at = std::find(stacked.begin(), stacked.end(), child);
        const bool isSeen = child == active || (at != stacked.end() && seen[size_t(at - stacked.begin())]);
        if (isSeen)
            track.outOfSightSince = -1;
        else if (track.outOfSightSince < 0)
            track.outOfSightSince = now;
        sleep::Window w;
        w.number = child->Tag;
        w.seen = isSeen;
        w.outOfSightSince = track.outOfSightSince;
        w.lifecycle = browser->Lifecycle();
        w.maySleep = !track.keep && !track.asking && now >= track.askAgainAt && !browser->Busy() &&
                     child->FirstLoadDone() && !child->FullScreenWindow();
        w.mayFreeze = !track.freezeRefused;
        states.push_back(w);
        kept.insert(child->Tag, track);
    }
    tracks_ = kept; // closed windows are forgotten
    // The reading walks every process of the program: only when the budget
    // could discard a window.
    const bool candidate = std::any_of(states.begin(), states.end(), [](const sleep::Window &w) {
        return !w.seen && w.maySleep && w.lifecycle != PageLifecycle::Discarded;
    });
    const bool measure = limits.enabled && limits.memoryBudget > 0 && candidate;
    for (const sleep::Step &step : sleep::Decide(states, now, measure ? MemoryUsed() : 0, limits))
        Apply(step);
}

int64_t SleepPolicy::MemoryUsed()
{
    // A round decides on the reading that finished last, at most a round
    // old. One that began before a page was discarded would count memory
    // being given back and discard a second window for nothing.
    const std::shared_ptr<Reading> reading = reading_;
    bool start = false;
    {
        std::lock_guard<std::mutex> lock(reading->mutex);
        start = !std::exchange(reading->running, true);
    }
    if (start)
        inBackground([reading, read = memory, began = discards_] {
            const int64_t bytes = read();
            std::lock_guard<std::mutex> lock(reading->mutex);
            reading->bytes = bytes;
            reading->discards = began;
            reading->running = false;
        });
    std::lock_guard<std::mutex> lock(reading->mutex);
    return reading->discards == discards_ ? reading->bytes : 0;
}

void SleepPolicy::Apply(const sleep::Step &step)
{
    TChildForm *child = windows_.Child(step.number);
    if (!child || !child->Browser())
        return;
    if (step.to == PageLifecycle::Active) {
        Wake(child);
        return;
    }
    // Asked first: the page may hold something it would lose.
    tracks_[step.number].asking = true;
    QPointer<TChildForm> alive(child);
    const int32_t number = step.number;
    const PageLifecycle to = step.to;
    child->Browser()->QuerySleepBlockers(Guard([this, alive, number, to](uint32_t blockers) {
        if (!alive || !tracks_.contains(number))
            return;
        Track &track = tracks_[number];
        track.asking = false;
        if (blockers != 0) {
            track.askAgainAt = clock() + 30 * 1000;
            return;
        }
        // Seen again, or kept awake, while the page answered.
        WebBrowser2 *browser = alive->Browser();
        if (!browser || track.outOfSightSince < 0 || track.keep)
            return;
        browser->SetLifecycle(to);
        if (to == PageLifecycle::Discarded && browser->Lifecycle() == PageLifecycle::Discarded)
            ++discards_;
        if (to == PageLifecycle::Frozen && browser->Lifecycle() == PageLifecycle::Active)
            track.freezeRefused = true;
        tabs_->update(); // the tab is drawn paler
    }));
}

void SleepPolicy::Wake(TChildForm *child)
{
    if (!child || !child->Browser())
        return;
    if (tracks_.contains(child->Tag))
        tracks_[child->Tag].outOfSightSince = -1;
    if (child->Browser()->Lifecycle() == PageLifecycle::Active)
        return;
    child->Browser()->SetLifecycle(PageLifecycle::Active);
    tabs_->update();
}

bool SleepPolicy::Sleeping(int index) const
{
    if (index < 0 || index >= windows_.Count() || !windows_.At(index).child)
        return false;
    WebBrowser2 *browser = windows_.At(index).child->Browser();
    return browser && browser->Lifecycle() != PageLifecycle::Active;
}

void SleepPolicy::PaleTab(QPainter &painter, int index, const QRect &rect) const
{
    if (Sleeping(index))
        painter.fillRect(rect, QColor(255, 255, 255, 110));
}

void SleepPolicy::AddKeepItem(QMenu *menu, std::function<int()> popupTab)
{
    keepItem_ = menu->addAction(QString::fromUtf8(txt::KeepAwake));
    keepItem_->setCheckable(true);
    auto number = [this, popupTab] {
        const int index = popupTab();
        return index >= 0 && index < windows_.Count() ? windows_.At(index).number : -1;
    };
    connect(menu, &QMenu::aboutToShow, this, Guard([this, number] {
                keepItem_->setEnabled(number() >= 0);
                keepItem_->setChecked(KeptAwake(number()));
            }));
    connect(keepItem_, &QAction::triggered, this,
            Guard([this, number](bool keep) { SetKeptAwake(number(), keep); }));
}

void SleepPolicy::SetKeptAwake(int32_t number, bool keep)
{
    if (number < 0)
        return;
    tracks_[number].keep = keep;
    if (keep)
        Wake(windows_.Child(number));
}

} // namespace orvex
