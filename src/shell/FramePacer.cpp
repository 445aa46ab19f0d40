#include "shell/FramePacer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

#include <algorithm>

namespace orvex {

FramePacer::FramePacer(QWidget *window, int frameMs) : QObject(window), window_(window), frameMs_(frameMs)
{
    pending_.setSingleShot(true);
    pending_.setTimerType(Qt::PreciseTimer);
    connect(&pending_, &QTimer::timeout, this, &FramePacer::Paint);
    window_->installEventFilter(this);
}

bool FramePacer::eventFilter(QObject *watched, QEvent *event)
{
    // The window's backing store asks for its painting with an update
    // request; one held back here leaves the dirty parts waiting, and the
    // request sent when the frame is over paints them all.
    if (watched != window_ || event->type() != QEvent::UpdateRequest || painting_)
        return false;
    const qint64 interval = Interval();
    const qint64 since = lastPaint_.isValid() ? lastPaint_.elapsed() : interval;
    if (since >= interval) {
        Paint();
        return true;
    }
    if (!pending_.isActive())
        pending_.start(static_cast<int>(interval - since));
    return true;
}

qint64 FramePacer::Interval() const
{
    // Painting takes at most a third of the time, and a painting slow once
    // (the first, with its fonts) holds the next back three frames at most.
    return std::clamp<qint64>(3 * lastCostMs_, frameMs_, 3 * frameMs_);
}

void FramePacer::Paint()
{
    lastPaint_.start();
    painting_ = true;
    QEvent request(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(window_, &request);
    painting_ = false;
    lastCostMs_ = lastPaint_.elapsed();
}

} // namespace orvex
