// A main window for tests: its own program folder (also the working folder,
// where the bookmark file lives), fake engines instead of the modules and
// fake user-interface services. Settings can be written before the window is
// made; Start() runs the first resize as showing the window does.
#pragma once

#include "support/FakeEngine.h"
#include "support/FakeUi.h"
#include "support/TempFolder.h"

#include <QStringList>
#include <memory>
#include <optional>
#include <string>

namespace orvex {
class TMainForm;
class TChildForm;
} // namespace orvex

namespace orvex::test {

class MainHarness {
public:
    // `config`: the bytes of config.ini before start ("" writes nothing, so
    // the program starts as on its first run).
    explicit MainHarness(const std::string &config = "[General]\r\nLastEngine=IE\r\n",
                         const QStringList &params = {});
    ~MainHarness();

    TempFolder folder;
    FakeUi ui;
    TMainForm *form = nullptr;

    std::string AppDir() const { return folder.Path() + "/"; }
    std::string ConfigPath() const { return folder.File("config.ini"); }
    void Start();                  // show: the first resize runs the start-up actions
    void Pump();                   // lets zero-delay timers and deferred deletes run
    FakeEngine *Engine(int index); // live fakes in creation order, any engine
    int LiveEngines();
    TChildForm *Child(int index); // live child windows in opening order
    FakeEngine *EngineOf(TChildForm *child);

private:
    std::string oldCwd_;
};

} // namespace orvex::test
