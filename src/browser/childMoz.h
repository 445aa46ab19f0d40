// The Gecko child window: hosts the "Gecko" engine module directly.
#pragma once

#include "browser/ChildForm.h"

#include <memory>

namespace orvex {

class Tfrm_MZ : public TChildForm {
    Q_OBJECT
public:
    // Throws orvex::Error when the engine module cannot be loaded; nothing is
    // left behind then. `adopted`: the control of a page caught for a new
    // window, hosted instead of a new one.
    Tfrm_MZ(BrowserHost &host, QWidget *parent, std::unique_ptr<WebBrowser2> adopted = nullptr);
    ~Tfrm_MZ() override;

    EngineKind Kind() const override { return EngineKind::Gecko; }

    void FormResize() override;

private:
    void ActivateEngine() override;
    void ShowProgress(int progress, int progressMax) override;

    std::unique_ptr<WebBrowser2> web_;
};

} // namespace orvex
