// Ends this page process when it holds more memory than a page may, and
// tells its views first, so that each shows why its page stopped.
//
// WebKit can do this by itself (its memory-pressure settings), but it
// measures by reading the whole of /proc/self/smaps: 10 to 15 ms of CPU in
// every page process at every look. Looked at twice a second, as a page
// that allocates in a loop needs, that kept every idle "Gecko" page at 1 %
// of a core. /proc/self/statm gives the same figure (anonymous memory: the
// resident pages less the file-backed and shared ones) for a few
// microseconds, as the other engine's watch reads it.
#include "PageProcess.h"

#include <cstdio>
#include <unistd.h>
#include <vector>

namespace orvex::webkit::page {
namespace {

constexpr guint kEveryMs = 500;

struct Watch {
    WebKitWebExtension *extension = nullptr;
    guint64 limitBytes = 0;
    std::vector<guint64> pages; // ids; a closed page's is skipped
    int unanswered = 0;
};

guint64 AnonymousBytes()
{
    FILE *file = std::fopen("/proc/self/statm", "re");
    if (!file)
        return 0;
    unsigned long long size = 0, resident = 0, shared = 0;
    const bool read = std::fscanf(file, "%llu %llu %llu", &size, &resident, &shared) == 3;
    std::fclose(file);
    static const long pageSize = ::sysconf(_SC_PAGESIZE);
    return read && resident > shared ? guint64(resident - shared) * guint64(pageSize) : 0;
}

void End()
{
    // Nothing of this process is worth keeping: the page is the problem.
    ::_exit(1);
}

void Answered(GObject *page, GAsyncResult *result, gpointer data)
{
    if (WebKitUserMessage *reply =
            webkit_web_page_send_message_to_view_finish(WEBKIT_WEB_PAGE(page), result, nullptr))
        g_object_unref(reply);
    auto *watch = static_cast<Watch *>(data);
    if (--watch->unanswered == 0)
        End();
}

gboolean Look(gpointer data)
{
    auto *watch = static_cast<Watch *>(data);
    if (AnonymousBytes() < watch->limitBytes)
        return G_SOURCE_CONTINUE;
    for (guint64 id : watch->pages) {
        WebKitWebPage *page = webkit_web_extension_get_page(watch->extension, id);
        if (!page)
            continue;
        ++watch->unanswered;
        webkit_web_page_send_message_to_view(page, webkit_user_message_new(kOverMemoryMessage, nullptr),
                                             nullptr, Answered, watch);
    }
    if (watch->unanswered == 0)
        End();
    // A view that does not answer (its program busy) does not keep the
    // page growing.
    g_timeout_add(
        kOverMemoryWaitMs,
        [](gpointer) -> gboolean {
            End();
            return G_SOURCE_REMOVE;
        },
        nullptr);
    return G_SOURCE_REMOVE;
}

void PageCreated(WebKitWebExtension *, WebKitWebPage *page, gpointer data)
{
    static_cast<Watch *>(data)->pages.push_back(webkit_web_page_get_id(page));
}

} // namespace

void WatchMemory(WebKitWebExtension *extension, unsigned limitMb)
{
    if (limitMb == 0)
        return;
    auto *watch = new Watch; // for the life of the process
    watch->extension = extension;
    watch->limitBytes = guint64(limitMb) * 1024 * 1024;
    g_signal_connect(extension, "page-created", G_CALLBACK(PageCreated), watch);
    g_timeout_add(kEveryMs, Look, watch);
}

} // namespace orvex::webkit::page
