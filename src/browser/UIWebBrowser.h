// The IE engine control as every IE child window hosts it: the engine
// control of the "Internet Explorer" module plus the host options the Windows
// design gives it (context menu, accelerators, host flags, download control),
// and the program-wide application-message hook its key filters sit in.
#pragma once

#include "browser/WebBrowser.h"

#include <QObject>
#include <cstdint>
#include <memory>
#include <vector>

class QEvent;
class QWidget;

namespace orvex {

// Members of the download-control set, in declaration order (bit 0 first).
enum TDownLoadControl_ : int {
    CS_Images,
    CS_Videos,
    CS_BGSounds,
    CS_NoScripts,
    CS_NoJava,
    CS_NoActiveXRun,
    cs_NoActiveXDownLoad,
    CS_DownLoadOnly,
    CS_ReSynchronize,
    CS_NoCash,
    CS_NoFrame,
    CS_ForceOffLine,
    CS_NoClientPull,
    CS_Silent,
    CS_OffLine,
};
using TDownLoadControl = uint32_t; // bit i set = member i present
inline constexpr TDownLoadControl DownLoadMember(TDownLoadControl_ m)
{
    return 1u << m;
}

// The DLCTL_* flags of a download-control set.
uint32_t DownloadControlFlags(TDownLoadControl set);

// A program-wide list of (handler, object) pairs called for every event the
// application takes, in list order, until one sets "handled".
class THookApplicationMessage : public QObject {
public:
    using Handler = bool (*)(void *object, QObject *watched, QEvent *event, bool &handled);
    static THookApplicationMessage *Instance(); // created on first use, installed on the application
    void AddHandler(Handler handler, void *object);
    void RemoveHandler(Handler handler, void *object);  // the first pair equal in both parts
    bool CallHandlers(QObject *watched, QEvent *event); // returns handled
    int Count() const { return static_cast<int>(handlers_.size()); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::vector<std::pair<Handler, void *>> handlers_;
    uint64_t version_ = 0; // changes with every add and remove
};

class TUIWebBrowser {
public:
    // Creates the "Internet Explorer" engine control (throws orvex::Error
    // when the module cannot be loaded), or takes `adopted`, a control of
    // that engine made for a page's new window, and registers its key filter.
    explicit TUIWebBrowser(QWidget *parent, std::unique_ptr<WebBrowser2> adopted = nullptr);
    ~TUIWebBrowser();

    WebBrowser2 *Browser() const { return browser_.get(); }
    QWidget *Control() const { return browser_->Control(); }

    // Published options with their defaults.
    bool IeEnableAccelerator = true;
    bool IeNoContext = false;
    bool IeSCROLL_hidden = false;
    bool IeNO3DBORDER = false;
    bool IeDontSCRIPT = false;
    bool IeNoBehavior = false;
    bool IeAutoComplete = true;
    TDownLoadControl DownLoadControl =
        DownLoadMember(CS_Images) | DownLoadMember(CS_Videos) | DownLoadMember(CS_BGSounds);

    uint32_t HostFlags() const; // DOCHOSTUIFLAG_* of the options
    uint32_t DownloadControl() const { return DownloadControlFlags(DownLoadControl); }
    void ApplyOptions(); // hands the options to the engine

private:
    static bool AppMessageFilter(void *self, QObject *watched, QEvent *event, bool &handled);
    std::unique_ptr<WebBrowser2> browser_;
};

} // namespace orvex
