// The main window's handlers of its bars; the bars, their layout and the
// "Bar" section of the settings are the BarLayout's.
#include "shell/Main.h"

#include "shell/BarLayout.h"

namespace orvex {

void TMainForm::BandPositionRead()
{
    bars_->BandPositionRead();
}

void TMainForm::BandPositionWrite()
{
    bars_->BandPositionWrite();
}

void TMainForm::ViewToolBar()
{
    bars_->ViewToolBar();
}

void TMainForm::btnBarClick()
{
    bars_->btnBarClick();
}

void TMainForm::JBarMouseUp(int x)
{
    bars_->JBarMouseUp(x);
}

void TMainForm::JBarResize()
{
    bars_->JBarResize();
}

void TMainForm::CoolBar1MouseUp()
{
    bars_->CoolBar1MouseUp();
}

} // namespace orvex
