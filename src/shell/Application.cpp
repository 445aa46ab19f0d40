#include "shell/Application.h"

#include "bookmarks/BookMark.h"
#include "bookmarks/EditWebList.h"
#include "browser/Downloads.h"
#include "browser/tmpWeb.h"
#include "dialogs/About.h"
#include "dialogs/Option.h"
#include "shell/FramePacer.h"
#include "shell/Main.h"

namespace orvex {

Application::Application(const QStringList &params, const std::function<void(TMainForm &)> &mainFormMade)
{
    mainForm_ = std::make_unique<TMainForm>(params);
    // Pages loading together change captions, the address box and the
    // progress many times a frame: the window is painted once a frame.
    new FramePacer(mainForm_.get());
    mainFormMade(*mainForm_);
    // Made hidden at start-up: its loading sets the Gecko engine item.
    hiddenOptions_ = std::make_unique<Tfrm_Option>(*mainForm_, mainForm_->AppDir());
    hiddenOptions_->hide();
    bookmarkEditor_ = std::make_unique<Tfrm_BMEdit>(*mainForm_);
    frm_BMEdit = bookmarkEditor_.get();
    aboutBox_ = std::make_unique<TAboutBox>(mainForm_->AppDir());
    mainForm_->SetAboutBox(aboutBox_.get());
    catcher_ = std::make_unique<Tfrm_tmpWeb>();
    frm_tmpWeb = catcher_.get();
    webListEditor_ = std::make_unique<Tfrm_WebList>(*mainForm_, mainForm_->AppDir());
    frm_WebList = webListEditor_.get();
}

Application::~Application()
{
    // Transfers still running end before the engines' windows go.
    ShutdownDownloads();
    mainForm_.reset();
    webListEditor_.reset();
    frm_WebList = nullptr;
    catcher_.reset();
    frm_tmpWeb = nullptr;
    aboutBox_.reset();
    bookmarkEditor_.reset();
    frm_BMEdit = nullptr;
}

} // namespace orvex
