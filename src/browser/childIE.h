// The IE child window: hosts the "Internet Explorer" engine through the IE
// host control and keeps its own text size.
#pragma once

#include "browser/ChildForm.h"
#include "browser/UIWebBrowser.h"

#include <memory>

namespace orvex {

class Tfrm_IE : public TChildForm {
    Q_OBJECT
public:
    // Throws orvex::Error when the engine module cannot be loaded; nothing is
    // left behind then. `adopted`: the control of a page caught for a new
    // window, hosted instead of a new one.
    Tfrm_IE(BrowserHost &host, QWidget *parent, std::unique_ptr<WebBrowser2> adopted = nullptr);
    ~Tfrm_IE() override;

    EngineKind Kind() const override { return EngineKind::InternetExplorer; }

    uint8_t PageMojiSize = 2;

    void FormResize() override;

private:
    void ActivateEngine() override;
    void ShowProgress(int progress, int progressMax) override;

    std::unique_ptr<TUIWebBrowser> web_;
};

} // namespace orvex
