// Loaded by WebKit into every page process of a "Gecko" window. The module
// gives it the memory a page may hold (0: no limit of ours).
#include "PageProcess.h"

extern "C" __attribute__((visibility("default"))) void
webkit_web_extension_initialize_with_user_data(WebKitWebExtension *extension, const GVariant *data)
{
    orvex::webkit::page::UseJapaneseTexts();
    auto *given = const_cast<GVariant *>(data);
    if (given && g_variant_is_of_type(given, G_VARIANT_TYPE_UINT32))
        orvex::webkit::page::WatchMemory(extension, g_variant_get_uint32(given));
}
