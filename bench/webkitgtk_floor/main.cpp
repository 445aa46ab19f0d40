// WebKitGTK floor: the least a bare GTK 3 program with WebKitGTK 2.50 views
// does, to set against Orvex's "Gecko" windows. One window of 1200x900 with
// one view per address: in a GtkNotebook (tabs, one view visible), or with
// --mdi in a grid where every view is visible. The views share one web
// context with the web-process sandbox on, as in the Gecko module. With
// --stay it keeps running (the beacon harness times it from outside);
// otherwise it quits once every view has finished loading.
#include <webkit2/webkit2.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

int g_loaded = 0;
int g_total = 0;
bool g_stay = false;

void OnLoadChanged(WebKitWebView *view, WebKitLoadEvent event, gpointer)
{
    if (event != WEBKIT_LOAD_FINISHED || g_object_get_data(G_OBJECT(view), "counted"))
        return;
    g_object_set_data(G_OBJECT(view), "counted", GINT_TO_POINTER(1));
    if (++g_loaded == g_total && !g_stay)
        gtk_main_quit();
}

} // namespace

int main(int argc, char **argv)
{
    gtk_init(&argc, &argv);
    bool mdi = false;
    std::vector<std::string> urls;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--mdi"))
            mdi = true;
        else if (!std::strcmp(argv[i], "--stay"))
            g_stay = true;
        else
            urls.emplace_back(argv[i]);
    }
    if (urls.empty()) {
        std::fprintf(stderr, "usage: webkitgtk_floor [--mdi] [--stay] URL...\n");
        return 2;
    }
    g_total = int(urls.size());

    WebKitWebContext *context = webkit_web_context_new();
    webkit_web_context_set_sandbox_enabled(context, TRUE);

    GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window), 1200, 900);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    GtkWidget *notebook = nullptr;
    GtkWidget *grid = nullptr;
    const int columns = int(std::ceil(std::sqrt(double(urls.size()))));
    if (mdi) {
        grid = gtk_grid_new();
        gtk_grid_set_row_homogeneous(GTK_GRID(grid), TRUE);
        gtk_grid_set_column_homogeneous(GTK_GRID(grid), TRUE);
        gtk_container_add(GTK_CONTAINER(window), grid);
    } else {
        notebook = gtk_notebook_new();
        gtk_container_add(GTK_CONTAINER(window), notebook);
    }
    for (size_t i = 0; i < urls.size(); ++i) {
        GtkWidget *view = GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context, nullptr));
        g_signal_connect(view, "load-changed", G_CALLBACK(OnLoadChanged), nullptr);
        if (mdi) {
            gtk_widget_set_hexpand(view, TRUE);
            gtk_widget_set_vexpand(view, TRUE);
            gtk_grid_attach(GTK_GRID(grid), view, int(i) % columns, int(i) / columns, 1, 1);
        } else {
            const std::string label = "Tab " + std::to_string(i + 1);
            gtk_notebook_append_page(GTK_NOTEBOOK(notebook), view, gtk_label_new(label.c_str()));
        }
        webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), urls[i].c_str());
    }
    gtk_widget_show_all(window);
    gtk_main();
    return g_loaded == g_total ? 0 : 1;
}
