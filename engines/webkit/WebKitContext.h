// The one web context of a run: the profile in the data folder, the
// sandbox, the languages, the rendering path and the routing of transfers
// to the control whose page started them.
#pragma once

typedef struct _WebKitWebContext WebKitWebContext;

namespace orvex::webkit {

// Made at the first control, from what OrvexSetupEngine was given (without
// it, with no profile on disk).
WebKitWebContext *SharedContext();

} // namespace orvex::webkit
