// Loads the engine modules and creates engine controls.
//  - "Internet Explorer": the module iexplore.so beside the program.
//  - "Gecko": the module mozctl.so, looked for in the Gecko folder of the
//    settings ("Option_Main"/"MozPath"), then beside the program.
// A module is loaded once and never unloaded.
#pragma once

#include "browser/WebBrowser.h"

#include <functional>
#include <memory>
#include <string>

class QWidget;

namespace orvex {

enum class EngineKind { InternetExplorer, Gecko };

// Creates a control of the engine. Throws orvex::Error with a message naming
// the module file when the module is missing, cannot be loaded, or has no
// factory; nothing is left behind then.
std::unique_ptr<WebBrowser2> CreateWebBrowser(EngineKind kind, QWidget *parent);

// The file the loader would use for an engine ("" when none is found).
std::string FindEngineModule(EngineKind kind);

// Maps the engine's module and the libraries it needs on a thread of its
// own, while the program starts: the "Gecko" libraries took a tenth of a
// second and more to map on the event loop when the first window opened.
// Runs the libraries' initialisers and the module's optional early start
// (see StartEngineEarlyFn); every later load of a module waits until these
// are done. Maps ahead once per run; does nothing without a module or with a
// test factory.
void PreloadEngineModule(EngineKind kind);

// Loads the engine's module and lets it make ready what its first control
// needs. True when that was done now, false when it had been done before (or
// a test factory is installed). Throws as CreateWebBrowser when it cannot
// load.
bool PrepareEngine(EngineKind kind);

// Clears browsing data from an engine's profile, loading its module when it
// is there (the data stays on disk between runs). False when there is no
// module or it cannot clear; throws as CreateWebBrowser when it cannot load.
bool ClearEngineData(EngineKind kind, const ClearDataRequest &request);

// Tests replace the modules with a factory of their own (nullptr restores).
using EngineFactory = std::function<WebBrowser2 *(EngineKind, QWidget *)>;
void SetEngineFactoryForTesting(EngineFactory factory);
// With a test factory installed, ClearEngineData calls this instead.
using EngineClearer = std::function<void(EngineKind, const ClearDataRequest &)>;
void SetEngineClearerForTesting(EngineClearer clearer);

} // namespace orvex
