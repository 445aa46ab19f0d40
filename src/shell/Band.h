// A band of the main window's band bar: a tool bar whose width the user sets
// by dragging and the "Bar" settings keep. The kept width is the width the
// band asks for, not a minimum: on a short row the band gives way, but never
// so far that one of its controls would be pushed out of sight.
#pragma once

#include <QToolBar>

namespace orvex {

class TBand : public QToolBar {
public:
    using QToolBar::QToolBar;

    // 0 or less: the band asks for the width of its controls.
    void SetPreferredWidth(int width);
    int PreferredWidth() const { return preferredWidth_; }

    // The grip the band is dragged by.
    QRect HandleRect() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

private:
    int preferredWidth_ = 0;
};

} // namespace orvex
