#include "platform/MainLink.h"

namespace orvex {

namespace {
MainLink *mainLink = nullptr;
}

MainLink *Main()
{
    return mainLink;
}
void SetMainLink(MainLink *link)
{
    mainLink = link;
}

} // namespace orvex
