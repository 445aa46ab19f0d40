#include "shell/FramePacer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

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
    const qint64 since = lastPaint_.isValid() ? lastPaint_.elapsed() : frameMs_;
    if (since >= frameMs_) {
        lastPaint_.start();
        return false;
    }
    if (!pending_.isActive())
        pending_.start(static_cast<int>(frameMs_ - since));
    return true;
}

void FramePacer::Paint()
{
    lastPaint_.start();
    painting_ = true;
    QEvent request(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(window_, &request);
    painting_ = false;
}

} // namespace orvex
