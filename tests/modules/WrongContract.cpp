// An engine module built for another version of the contract, the next one
// or (CONTRACT_OFFSET -1) the one before. The loader must refuse it on its
// version alone: its factory ends the program.
#include "browser/WebBrowser.h"

#include <cstdlib>

extern "C" __attribute__((visibility("default"))) int OrvexContractVersion()
{
    return orvex::EngineContractVersion + CONTRACT_OFFSET;
}

extern "C" __attribute__((visibility("default"))) orvex::WebBrowser2 *OrvexCreateWebBrowser(QWidget *)
{
    std::abort();
}
