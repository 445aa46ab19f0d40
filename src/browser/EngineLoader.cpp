#include "browser/EngineLoader.h"

#include "core/Errors.h"
#include "core/FileIO.h"
#include "core/ProgramFolder.h"
#include "core/Settings.h"

#include <QtGlobal>
#include <dlfcn.h>
#include <future>
#include <thread>

#include <map>
#include <set>
#include <string>

namespace orvex {

namespace {

EngineFactory &TestFactory()
{
    static EngineFactory factory;
    return factory;
}

const char *ModuleFileName(EngineKind kind)
{
    return kind == EngineKind::InternetExplorer ? "iexplore.so" : GeckoModuleName;
}

// The Gecko folder of the settings ("" when none is set).
std::string GeckoFolder()
{
    return SettingsFile(DataFolder() + "config.ini").Read(keys::MozPath);
}

// The place the loader looks first, used in messages when nothing is found.
std::string ExpectedPath(EngineKind kind)
{
    if (kind == EngineKind::Gecko && !GeckoFolder().empty())
        return GeckoModuleIn(GeckoFolder());
    return ProgramFolder() + ModuleFileName(kind);
}

// Factories of the modules loaded so far, by full path. A module stays loaded
// for the rest of the run: controls and their widgets carry its code.
std::map<std::string, CreateWebBrowserFn> &LoadedModules()
{
    static std::map<std::string, CreateWebBrowserFn> modules;
    return modules;
}

// The handles of the modules loaded so far, by full path.
std::map<std::string, void *> &ModuleHandles()
{
    static std::map<std::string, void *> handles;
    return handles;
}

// Done once the module mapped ahead has been mapped and started early. A
// module's early start may read the environment throughout, and loading a
// module may change it (an engine's settings for its own processes), which
// is not safe while another thread reads it: every load waits for it.
std::shared_future<void> &EarlyStartDone()
{
    static std::shared_future<void> done;
    return done;
}

// How an engine's module is mapped. The "Gecko" module brings WebKit, GTK
// and some hundred and fifty other libraries, which resolve about eighty
// thousand symbols as they are mapped. Each lookup searches the program's
// own fifty libraries before the module's; searched the other way round
// (RTLD_DEEPBIND), the mapping took 54 ms instead of 74 and the first page
// came that much sooner. Every library both lists is the same one loaded
// once, and the module exports nothing but its entry points, so the order
// changes what is found only for a library put in for the whole program
// (LD_PRELOAD: an allocator, say, which must be found first) and under the
// sanitizers, which refuse the flag: not then.
#if defined(__SANITIZE_ADDRESS__)
#define ORVEX_UNDER_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORVEX_UNDER_SANITIZER 1
#endif
#endif
int ModuleOpenFlags(EngineKind kind)
{
#ifdef ORVEX_UNDER_SANITIZER
    const bool deep = false;
#else
    const bool deep = kind == EngineKind::Gecko && qEnvironmentVariableIsEmpty("LD_PRELOAD");
#endif
    return RTLD_NOW | RTLD_LOCAL | (deep ? RTLD_DEEPBIND : 0);
}

EngineClearer &TestClearer()
{
    static EngineClearer clearer;
    return clearer;
}

CreateWebBrowserFn LoadFactory(EngineKind kind)
{
    const std::string path = FindEngineModule(kind);
    if (path.empty())
        throw Error(FormatMessage(msg::EngineModuleMissing, ExpectedPath(kind)));

    auto known = LoadedModules().find(path);
    if (known != LoadedModules().end())
        return known->second;

    if (EarlyStartDone().valid())
        EarlyStartDone().wait();
    void *handle = ::dlopen(path.c_str(), ModuleOpenFlags(kind));
    if (!handle) {
        const char *why = ::dlerror();
        throw Error(FormatMessage(msg::EngineModuleUnreadable, path) + (why ? std::string(": ") + why : ""));
    }
    ::dlerror();
    // A module built for another contract, older or newer, would be called
    // through the wrong layout: refuse it before anything of it runs.
    auto version = reinterpret_cast<ContractVersionFn>(::dlsym(handle, ContractVersionSymbol));
    if (!version || version() != EngineContractVersion) {
        const int found = version ? version() : 0;
        ::dlclose(handle);
        throw Error(FormatMessage(msg::EngineModuleOtherContract,
                                  {path, std::to_string(found), std::to_string(EngineContractVersion)}));
    }
    void *symbol = ::dlsym(handle, CreateWebBrowserSymbol);
    if (!symbol) {
        const char *why = ::dlerror();
        // Nothing of the module is in use yet, so it may go again.
        ::dlclose(handle);
        throw Error(FormatMessage(msg::EngineModuleNoFactory, {path, CreateWebBrowserSymbol}) +
                    (why ? std::string(": ") + why : std::string()));
    }
    auto factory = reinterpret_cast<CreateWebBrowserFn>(symbol);
    if (auto setup = reinterpret_cast<SetupEngineFn>(::dlsym(handle, SetupEngineSymbol))) {
        EngineEnvironment environment;
        environment.dataFolder = QString::fromStdString(DataFolder());
        setup(&environment);
    }
    LoadedModules()[path] = factory;
    ModuleHandles()[path] = handle;
    return factory;
}

} // namespace

std::string FindEngineModule(EngineKind kind)
{
    const std::string file = ModuleFileName(kind);
    if (kind == EngineKind::Gecko)
        return FindGeckoModule(GeckoFolder());
    const std::string beside = ProgramFolder() + file;
    return FileExists(beside) ? beside : std::string();
}

void PreloadEngineModule(EngineKind kind)
{
    if (TestFactory())
        return;
    const std::string path = FindEngineModule(kind);
    if (path.empty())
        return;
    // The handle is never closed: the module stays mapped for the run, as
    // every loaded module does, and the loader's own load of it later only
    // counts it once more. A module that cannot be mapped is reported by
    // that later load.
    if (EarlyStartDone().valid())
        return;
    std::promise<void> done;
    EarlyStartDone() = done.get_future().share();
    const int flags = ModuleOpenFlags(kind);
    std::thread(
        [path, flags](std::promise<void> done) {
            if (void *handle = ::dlopen(path.c_str(), flags)) {
                // Only a module of this contract is started early; any other is
                // refused, with its message, by the later load.
                auto version = reinterpret_cast<ContractVersionFn>(::dlsym(handle, ContractVersionSymbol));
                auto early = reinterpret_cast<StartEngineEarlyFn>(::dlsym(handle, StartEngineEarlySymbol));
                if (version && version() == EngineContractVersion && early)
                    early();
            }
            done.set_value();
        },
        std::move(done))
        .detach();
}

bool PrepareEngine(EngineKind kind)
{
    if (TestFactory())
        return false;
    // Asked before every window of a list: the settings are read only until
    // the engine is ready.
    static std::set<EngineKind> prepared;
    if (prepared.count(kind))
        return false;
    const std::string path = FindEngineModule(kind);
    const bool loadedBefore = !path.empty() && LoadedModules().count(path);
    if (!loadedBefore) {
        LoadFactory(kind);
        if (auto warm = reinterpret_cast<WarmEngineFn>(::dlsym(ModuleHandles()[path], WarmEngineSymbol)))
            warm();
    }
    prepared.insert(kind);
    return !loadedBefore;
}

std::unique_ptr<WebBrowser2> CreateWebBrowser(EngineKind kind, QWidget *parent)
{
    if (TestFactory())
        return std::unique_ptr<WebBrowser2>(TestFactory()(kind, parent));

    CreateWebBrowserFn factory = LoadFactory(kind);
    WebBrowser2 *browser = nullptr;
    try {
        browser = factory(parent);
    } catch (const std::exception &e) {
        throw Error(FormatMessage(msg::EngineControlFailed, ModuleFileName(kind)) + ": " + e.what());
    }
    if (!browser)
        throw Error(FormatMessage(msg::EngineControlFailed, ModuleFileName(kind)));
    return std::unique_ptr<WebBrowser2>(browser);
}

bool ClearEngineData(EngineKind kind, const ClearDataRequest &request)
{
    if (TestFactory()) {
        if (TestClearer())
            TestClearer()(kind, request);
        return bool(TestClearer());
    }
    if (FindEngineModule(kind).empty())
        return false;
    LoadFactory(kind);
    void *handle = ModuleHandles()[FindEngineModule(kind)];
    auto clear = reinterpret_cast<ClearBrowsingDataFn>(::dlsym(handle, ClearBrowsingDataSymbol));
    if (!clear)
        return false;
    clear(&request);
    return true;
}

void SetEngineClearerForTesting(EngineClearer clearer)
{
    TestClearer() = std::move(clearer);
}

void SetEngineFactoryForTesting(EngineFactory factory)
{
    TestFactory() = std::move(factory);
}

} // namespace orvex
