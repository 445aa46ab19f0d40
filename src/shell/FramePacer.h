// Paints a window at most once a frame. Every change of a caption, the
// address box, the progress or a button asks for a repaint of the window,
// and while pages load these come many times a frame: the window is then
// painted once for all of them, a frame after the last painting, instead of
// once for each. A window whose painting is slow (drawn through a software
// OpenGL rasteriser, the whole window at every painting) is painted less
// often, up to three frames apart. Exposed parts are still painted at once.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class QWidget;

namespace orvex {

class FramePacer : public QObject {
public:
    // Paces `window` (a top-level widget) and goes with it.
    explicit FramePacer(QWidget *window, int frameMs = 16);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Paint();
    qint64 Interval() const;

    QWidget *window_;
    int frameMs_;
    QElapsedTimer lastPaint_;
    qint64 lastCostMs_ = 0;
    QTimer pending_;
    bool painting_ = false;
};

} // namespace orvex
