/* The bare WebKitGTK download: an ephemeral web context downloads the
 * address to the given file. Prints the seconds from the request to the
 * end of the transfer. The baseline of download_bench for the "Gecko"
 * module.
 *
 *   webkitgtk_download_floor <url> <file>
 */
#include <stdio.h>
#include <webkit2/webkit2.h>

static GMainLoop *loop;
static gint64 start;
static int result = 1;

static gboolean decide(WebKitDownload *download, gchar *name, gpointer file)
{
    (void)name;
    gchar *uri = g_filename_to_uri(file, NULL, NULL);
    webkit_download_set_destination(download, uri);
    g_free(uri);
    return TRUE;
}

static void finished(WebKitDownload *download, gpointer unused)
{
    (void)download, (void)unused;
    if (result != 2) {
        printf("%.3f\n", (g_get_monotonic_time() - start) / 1e6);
        result = 0;
    }
    g_main_loop_quit(loop);
}

static void failed(WebKitDownload *download, GError *error, gpointer unused)
{
    (void)download, (void)unused;
    fprintf(stderr, "%s\n", error->message);
    result = 2;
}

int main(int argc, char **argv)
{
    gtk_init(&argc, &argv);
    if (argc != 3)
        return 2;
    loop = g_main_loop_new(NULL, FALSE);
    WebKitWebContext *context = webkit_web_context_new_ephemeral();
    start = g_get_monotonic_time();
    WebKitDownload *download = webkit_web_context_download_uri(context, argv[1]);
    g_signal_connect(download, "decide-destination", G_CALLBACK(decide), argv[2]);
    g_signal_connect(download, "failed", G_CALLBACK(failed), NULL);
    g_signal_connect(download, "finished", G_CALLBACK(finished), NULL);
    g_main_loop_run(loop);
    return result == 0 ? 0 : 1;
}
