// Clearing browsing data from the run's web context: WebKit clears by the
// time the data was last changed, so the period asked for is kept.
#include "WebKitContext.h"

#include "browser/WebBrowser.h"

#include <QDateTime>
#include <webkit2/webkit2.h>

extern "C" __attribute__((visibility("default"))) void
OrvexClearBrowsingData(const orvex::ClearDataRequest *request)
{
    if (!request)
        return;
    unsigned types = 0;
    if (request->kinds & orvex::CLEARDATA_COOKIES)
        types |= WEBKIT_WEBSITE_DATA_COOKIES | WEBKIT_WEBSITE_DATA_LOCAL_STORAGE |
                 WEBKIT_WEBSITE_DATA_SESSION_STORAGE | WEBKIT_WEBSITE_DATA_INDEXEDDB_DATABASES |
                 WEBKIT_WEBSITE_DATA_OFFLINE_APPLICATION_CACHE |
                 WEBKIT_WEBSITE_DATA_SERVICE_WORKER_REGISTRATIONS | WEBKIT_WEBSITE_DATA_DOM_CACHE;
    if (request->kinds & orvex::CLEARDATA_CACHE)
        types |= WEBKIT_WEBSITE_DATA_DISK_CACHE | WEBKIT_WEBSITE_DATA_MEMORY_CACHE;
    if (!types)
        return;
    // The span reaches back from now, in microseconds; 0 clears everything.
    const GTimeSpan span =
        request->since > 0 ? GTimeSpan(QDateTime::currentMSecsSinceEpoch() - request->since) * 1000 : 0;
    WebKitWebsiteDataManager *manager =
        webkit_web_context_get_website_data_manager(orvex::webkit::SharedContext());
    webkit_website_data_manager_clear(manager, WebKitWebsiteDataTypes(types), span, nullptr, nullptr,
                                      nullptr);
}
