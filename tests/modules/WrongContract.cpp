// An engine module built for another version of the contract. The loader
// must refuse it on its version alone: its factory ends the program.
#include "browser/WebBrowser.h"

#include <cstdlib>

extern "C" __attribute__((visibility("default"))) int OrvexContractVersion()
{
    return orvex::EngineContractVersion + 1;
}

extern "C" __attribute__((visibility("default"))) orvex::WebBrowser2 *OrvexCreateWebBrowser(QWidget *)
{
    std::abort();
}
