// How the forms look: the design's form font, the settings' colours as Qt
// shows them, and the one set of pictures of the buttons, menus and trees,
// painted in code.
#pragma once

#include <QColor>
#include <QIcon>
#include <cstdint>

class QWidget;

namespace orvex {

// The pictures, in the order of the main window's image list.
enum class Picture : int {
    NewPage,
    Back,
    Forward,
    Stop,
    Reload,
    Copy,
    SelectAll,
    Save,
    Open,
    Options,
    Help,
    Folder,
    WebPage,
    Pages,
};
inline constexpr int kPictureCount = 14;

// The picture, 16 by 16 pixels, painted anew: a form keeps the ones it shows.
QIcon PaintPicture(Picture picture);

// The application's style, keeping every standard icon it has made: the
// engine asks for the same arrows for each page it opens, and the style
// would read and decode their pictures anew each time. Once, after the
// QApplication is made.
void KeepStandardIcons();

// A colour of the settings (a system colour too) as Qt shows it.
QColor ToQColor(uint32_t color);

// The design's form font, "ＭＳ Ｐゴシック" at `pixelSize` pixels.
void UseFormFont(QWidget *form, int pixelSize = 12);

// The form's own colour (clBtnFace for the dialogs), filling its background.
void PaintBackground(QWidget *form, uint32_t color);

} // namespace orvex
