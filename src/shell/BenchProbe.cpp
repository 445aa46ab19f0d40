#include "shell/BenchProbe.h"

#include "browser/ChildForm.h"
#include "shell/Main.h"
#include "shell/TabStrip.h"

#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>
#include <ctime>
#include <unistd.h>

namespace orvex {

namespace {

class BenchProbe : public QObject {
public:
    explicit BenchProbe(TMainForm *form)
        : QObject(form), form_(form), input_(STDIN_FILENO, QSocketNotifier::Read)
    {
        // A short timer: the time between its turns, less its interval, is
        // how long the loop was held.
        meter_.setTimerType(Qt::PreciseTimer);
        meter_.setInterval(kTickMs);
        connect(&meter_, &QTimer::timeout, this,
                [this] { longest_ = std::max(longest_, lastTick_.restart() - kTickMs); });
        lastTick_.start();
        meter_.start();
        connect(&input_, &QSocketNotifier::activated, this, [this] { ReadCommand(); });
    }

private:
    static constexpr qint64 kTickMs = 5;

    void ReadCommand()
    {
        char buffer[256];
        const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            input_.setEnabled(false);
            return;
        }
        pending_.append(buffer, int(n));
        for (int end; (end = pending_.indexOf('\n')) >= 0;) {
            Run(pending_.left(end).trimmed());
            pending_.remove(0, end + 1);
        }
    }

    void Run(const QByteArray &command)
    {
        const WindowRegistry &windows = form_->Windows();
        if (command == "gap") {
            std::printf("gap %lld\n", static_cast<long long>(std::max<qint64>(0, longest_)));
            longest_ = 0;
        } else if (command == "quiet") {
            meter_.stop();
            std::printf("quiet 0\n");
        } else if (command == "state") {
            QByteArray letters;
            for (int i = 0; i < windows.Count(); ++i) {
                const TChildForm *child = windows.At(i).child;
                const WebBrowser2 *browser = child ? child->Browser() : nullptr;
                const PageLifecycle state = browser ? browser->Lifecycle() : PageLifecycle::Active;
                letters += state == PageLifecycle::Active ? 'A' : state == PageLifecycle::Frozen ? 'F' : 'D';
            }
            std::printf("state %s\n", letters.constData());
        } else if (command.startsWith("wake ")) {
            const int index = command.mid(5).toInt();
            timespec at{};
            clock_gettime(CLOCK_MONOTONIC, &at);
            form_->Tabs().SelectTabAt(index);
            std::printf("woke %d %.1f\n", index, double(at.tv_sec) * 1000 + double(at.tv_nsec) / 1e6);
        }
        std::fflush(stdout);
    }

    TMainForm *form_;
    QSocketNotifier input_;
    QTimer meter_;
    QElapsedTimer lastTick_;
    qint64 longest_ = 0;
    QByteArray pending_;
};

} // namespace

void StartBenchProbe(TMainForm *form)
{
    if (qEnvironmentVariableIsSet("ORVEX_BENCH_PROBE"))
        new BenchProbe(form);
}

} // namespace orvex
