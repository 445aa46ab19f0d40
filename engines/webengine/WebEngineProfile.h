// The one profile every control of the module shares: its storage under the
// data folder, its language and its downloads.
#pragma once

#include "browser/WebBrowser.h"

class QWebEngineProfile;

namespace orvex::webengine {

// Takes the environment the program gives before its first control. Later
// calls change nothing: the engine reads its language once.
void SetUpEngine(const EngineEnvironment &environment);

// The module's profile, made on first use. Without a data folder it keeps
// nothing on disk.
QWebEngineProfile *ModuleProfile();

} // namespace orvex::webengine
