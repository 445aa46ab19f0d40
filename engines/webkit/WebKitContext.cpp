#include "WebKitContext.h"

#include "EngineBase.h"
#include "GtkEmbed.h"
#include "WebKitBrowser.h"
#include "WebKitDownload.h"

#include <QFile>
#include <QFileInfo>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <dlfcn.h>
#include <vector>

#include <webkit2/webkit2.h>

namespace orvex::webkit {

namespace {

EngineEnvironment &Environment()
{
    static EngineEnvironment environment;
    return environment;
}
bool g_environmentGiven = false;
WebKitWebContext *g_context = nullptr;

// True when OpenGL is drawn by a software rasteriser or is missing.
bool OnlySoftwareOpenGL()
{
    QOpenGLContext context;
    QOffscreenSurface surface;
    surface.create();
    if (!context.create() || !context.makeCurrent(&surface))
        return true;
    const auto *renderer = reinterpret_cast<const char *>(context.functions()->glGetString(GL_RENDERER));
    const QString name = QString::fromLatin1(renderer ? renderer : "").toLower();
    context.doneCurrent();
    return name.isEmpty() || name.contains(QLatin1String("llvmpipe")) ||
           name.contains(QLatin1String("softpipe")) || name.contains(QLatin1String("software")) ||
           name.contains(QLatin1String("swr"));
}

// Without a GPU, WebKit's compositing runs on software OpenGL and costs
// more time and memory than drawing without it. ORVEX_RENDERING=opengl or
// =software overrides the choice, as for the other engine; a
// WEBKIT_DISABLE_COMPOSITING_MODE already set is left alone: the user's, or
// the program's own, set before any thread ran where there is no graphics
// device at all.
void ChooseRendering()
{
    if (qEnvironmentVariableIsSet("WEBKIT_DISABLE_COMPOSITING_MODE"))
        return;
    const QByteArray wanted = qgetenv("ORVEX_RENDERING").toLower();
    if (wanted == "opengl")
        return;
    if (wanted == "software" || OnlySoftwareOpenGL()) {
        qputenv("WEBKIT_DISABLE_COMPOSITING_MODE", "1");
        // Nor do the page processes' GTK then need OpenGL at their start.
        if (!qEnvironmentVariableIsSet("GDK_GL"))
            qputenv("GDK_GL", "disable");
    }
}

gboolean OnDecideDestination(WebKitDownload *download, gchar *suggestedName, gpointer)
{
    WebKitWebView *view = webkit_download_get_web_view(download);
    WebKitBrowser *browser = view ? WebKitBrowser::FromView(view) : nullptr;
    auto *item = new DownloadItem(download, QString::fromUtf8(suggestedName));
    if (browser) {
        browser->HandOverDownload(item);
    } else {
        item->Cancel();
        delete item;
    }
    // The host sets the destination, now or later; the engine never picks one.
    return TRUE;
}

void OnDownloadStarted(WebKitWebContext *, WebKitDownload *download, gpointer)
{
    g_signal_connect(download, "decide-destination", G_CALLBACK(OnDecideDestination), nullptr);
}

QByteArray ProfilePath(const char *sub = "")
{
    return QFile::encodeName(Environment().dataFolder + QStringLiteral("mozctl-profile/") +
                             QString::fromLatin1(sub));
}

// The folder beside this module that holds the page processes' part (the
// extension that makes the engine's page texts Japanese), or nothing.
QByteArray PageProcessFolder()
{
    Dl_info info{};
    if (!::dladdr(reinterpret_cast<void *>(&PageProcessFolder), &info) || !info.dli_fname)
        return {};
    const QString folder =
        QFileInfo(QFile::decodeName(info.dli_fname)).absolutePath() + QStringLiteral("/mozctl-web");
    return QFileInfo(folder).isDir() ? QFile::encodeName(folder) : QByteArray();
}

WebKitWebContext *MakeContext()
{
    ChooseRendering();
    const bool persistent = g_environmentGiven && !Environment().dataFolder.isEmpty();
    WebKitWebsiteDataManager *manager =
        persistent ? webkit_website_data_manager_new("base-data-directory", ProfilePath().constData(),
                                                     "base-cache-directory",
                                                     ProfilePath("cache/").constData(), nullptr)
                   : webkit_website_data_manager_new_ephemeral();
    // The program gave this process the system's allocator (see its
    // environment set-up); WebKit has chosen by now, and the variable goes
    // before the first helper process starts: page and network processes,
    // which read what the web sends, keep WebKit's own allocator, whose
    // separate heaps guard against the use of freed memory.
    if (qgetenv(UiAllocatorVariable) == UiAllocatorValue)
        qunsetenv(UiAllocatorVariable);
    if (persistent)
        webkit_cookie_manager_set_persistent_storage(webkit_website_data_manager_get_cookie_manager(manager),
                                                     ProfilePath("cookies.sqlite").constData(),
                                                     WEBKIT_COOKIE_PERSISTENT_STORAGE_SQLITE);
    // A page's web process that holds more than a page may is ended; the
    // view then tells why (web-process-terminated). The page processes'
    // part looks twice a second, as cheaply as the other engine's watch
    // (see PageMemory.cpp); WebKit's own look, every 30 seconds, stays
    // behind it. Without that part WebKit looks twice a second, at 1 % of
    // a core in every page process.
    const QByteArray pageFolder = PageProcessFolder();
    const guint limitMb = guint(engine::PageMemoryLimitMb());
    WebKitMemoryPressureSettings *memory = webkit_memory_pressure_settings_new();
    webkit_memory_pressure_settings_set_memory_limit(memory, limitMb);
    webkit_memory_pressure_settings_set_kill_threshold(memory, 1.0);
    if (pageFolder.isEmpty())
        webkit_memory_pressure_settings_set_poll_interval(memory, 0.5);
    auto *context = WEBKIT_WEB_CONTEXT(g_object_new(WEBKIT_TYPE_WEB_CONTEXT, "website-data-manager", manager,
                                                    "memory-pressure-settings", memory, nullptr));
    webkit_memory_pressure_settings_free(memory);
    g_object_unref(manager);

    // Web processes run in bubblewrap; this must come before the first view.
    webkit_web_context_set_sandbox_enabled(context, TRUE);
    if (!pageFolder.isEmpty()) {
        webkit_web_context_add_path_to_sandbox(context, pageFolder.constData(), TRUE);
        webkit_web_context_set_web_extensions_directory(context, pageFolder.constData());
        webkit_web_context_set_web_extensions_initialization_user_data(context,
                                                                       g_variant_new_uint32(limitMb));
    }
    webkit_web_context_set_cache_model(context, WEBKIT_CACHE_MODEL_WEB_BROWSER);
    // No dictionaries come with the program.
    webkit_web_context_set_spell_checking_enabled(context, FALSE);

    QList<QByteArray> languages;
    for (const QString &entry : Environment().acceptLanguages.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString tag = entry.section(QLatin1Char(';'), 0, 0).trimmed();
        if (!tag.isEmpty())
            languages << tag.toUtf8();
    }
    std::vector<const char *> list;
    for (const QByteArray &tag : languages)
        list.push_back(tag.constData());
    list.push_back(nullptr);
    webkit_web_context_set_preferred_languages(context, list.data());

    g_signal_connect(context, "download-started", G_CALLBACK(OnDownloadStarted), nullptr);
    return context;
}

} // namespace

WebKitWebContext *SharedContext()
{
    if (!g_context)
        g_context = MakeContext();
    return g_context;
}

} // namespace orvex::webkit

extern "C" __attribute__((visibility("default"))) void
OrvexSetupEngine(const orvex::EngineEnvironment *environment)
{
    // Only the first call counts, and only before the context exists.
    if (!environment || orvex::webkit::g_environmentGiven || orvex::webkit::g_context)
        return;
    orvex::webkit::Environment() = *environment;
    orvex::webkit::g_environmentGiven = true;
}

extern "C" __attribute__((visibility("default"))) void OrvexWarmEngine()
{
    // GTK and the shared context: a tenth of a second and more, which the
    // host may spend in a turn of its own before the first view is made.
    // What fails here fails again, with its message, when a view is made.
    try {
        orvex::webkit::EnsureGtk();
        orvex::webkit::SharedContext();
    } catch (...) {
    }
}

extern "C" __attribute__((visibility("default"))) void OrvexStartEngineEarly()
{
    orvex::webkit::StartGtkEarly();
}
