// Clearing browsing data from the module's profile. QtWebEngine 5.15 does not
// say when a cookie was set and has no call for local storage, so cookies go
// whatever the period asked for, and the HTTP cache goes whole.
#include "WebEngineProfile.h"

#include <QWebEngineCookieStore>
#include <QWebEngineProfile>

extern "C" __attribute__((visibility("default"))) void
OrvexClearBrowsingData(const orvex::ClearDataRequest *request)
{
    if (!request)
        return;
    QWebEngineProfile *profile = orvex::webengine::ModuleProfile();
    if (request->kinds & orvex::CLEARDATA_COOKIES)
        profile->cookieStore()->deleteAllCookies();
    if (request->kinds & orvex::CLEARDATA_CACHE)
        profile->clearHttpCache();
}
