// The forms of a run: the application object makes them at start-up in the
// design's order (the main window, the hidden options dialog, the bookmark
// editor, the About box, the new-window catcher, the web list editor) and
// owns them; they go with it, the main window first, then the others from
// the last made back. The design's globals (frm_BMEdit, frm_tmpWeb,
// frm_WebList) point at its forms while it lives.
#pragma once

#include <QStringList>
#include <functional>
#include <memory>

namespace orvex {

class TAboutBox;
class TMainForm;
class Tfrm_BMEdit;
class Tfrm_Option;
class Tfrm_WebList;
class Tfrm_tmpWeb;

class Application {
public:
    // `params`: the command-line addresses; `mainFormMade` runs once the
    // main window is made, before the other forms.
    Application(const QStringList &params, const std::function<void(TMainForm &)> &mainFormMade);
    ~Application();
    Application(const Application &) = delete;
    Application &operator=(const Application &) = delete;

    TMainForm &MainForm() const { return *mainForm_; }

private:
    // Declared in the reverse of the order they go in.
    std::unique_ptr<Tfrm_Option> hiddenOptions_;
    std::unique_ptr<Tfrm_BMEdit> bookmarkEditor_;
    std::unique_ptr<TAboutBox> aboutBox_;
    std::unique_ptr<Tfrm_tmpWeb> catcher_;
    std::unique_ptr<Tfrm_WebList> webListEditor_;
    std::unique_ptr<TMainForm> mainForm_;
};

} // namespace orvex
