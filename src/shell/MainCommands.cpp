// Commands on the active page: navigation, copy, select all, save as, find,
// print and the text size.
#include "shell/Main.h"

#include "browser/FindBar.h"
#include "browser/childIE.h"

#include <QAction>

namespace orvex {

void TMainForm::BackCtrlClick()
{
    if (WebBrowser2 *browser = ActiveBrowser())
        browser->GoBack();
}

void TMainForm::FrwrdCtrlClick()
{
    if (WebBrowser2 *browser = ActiveBrowser())
        browser->GoForward();
}

void TMainForm::StopCtrlClick()
{
    if (WebBrowser2 *browser = ActiveBrowser())
        browser->Stop();
}

void TMainForm::ReLoadCtrlClick()
{
    if (WebBrowser2 *browser = ActiveBrowser())
        browser->Refresh();
}

void TMainForm::mnuEdit_CopyClick()
{
    if (WebBrowser2 *browser = ActiveBrowser())
        browser->ExecWB(OLECMDID_COPY, OLECMDEXECOPT_DODEFAULT);
}

void TMainForm::mnuEdit_slrAllClick()
{
    if (WebBrowser2 *browser = ActiveBrowser())
        browser->ExecWB(OLECMDID_SELECTALL, OLECMDEXECOPT_DODEFAULT);
}

void TMainForm::mnuFile_SaveAsClick()
{
    if (WebBrowser2 *browser = ActiveBrowser())
        browser->ExecWB(OLECMDID_SAVEAS, OLECMDEXECOPT_DODEFAULT);
}

void TMainForm::mnuEdit_FindClick()
{
    if (TChildForm *child = ActiveChild())
        FindBar1->OpenFor(child);
}

void TMainForm::mnuFile_PrintClick()
{
    // Like the text size, printing waits until the page has loaded.
    TChildForm *child = ActiveChild();
    if (!child || child->Browser()->Busy())
        return;
    child->PrintPage();
}

void TMainForm::SetTextSize(int size)
{
    QAction *items[] = {menu_.mnuSize_Min, menu_.mnuSize_Small, menu_.mnuSize_middle, menu_.mnuSize_Large,
                        menu_.mnuSize_Max};
    TChildForm *child = ActiveChild();
    if (!child || child->Browser()->Busy()) {
        // The click toggled the item's check; a dropped command changes nothing.
        items[size]->setChecked(!items[size]->isChecked());
        return;
    }
    mojiSize_ = static_cast<uint8_t>(size);
    child->PageMojiSize = static_cast<uint8_t>(size);
    try {
        child->Browser()->ExecWB(OLECMDID_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, QVariant(size), nullptr);
    } catch (...) {
        // Text size errors are swallowed; the size is already recorded.
    }
    CheckMojiSize(size);
}

void TMainForm::ZoomPage(int steps)
{
    if (TChildForm *child = ActiveChild())
        child->ZoomBy(steps);
}

void TMainForm::ReadMojiSize()
{
    mojiSize_ = static_cast<uint8_t>(Settings().Read(keys::LastMojiSize));
    CheckMojiSize(mojiSize_);
}

} // namespace orvex
