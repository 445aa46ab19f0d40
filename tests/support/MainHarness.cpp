#include "support/MainHarness.h"

#include "browser/ChildForm.h"
#include "core/ProgramFolder.h"
#include "shell/Main.h"
#include "support/QtApp.h"

#include <QApplication>
#include <QCoreApplication>
#include <climits>
#include <unistd.h>

namespace orvex::test {

MainHarness::MainHarness(const std::string &config, const QStringList &params)
{
    EnsureQApp();
    char cwd[PATH_MAX];
    if (::getcwd(cwd, sizeof cwd))
        oldCwd_ = cwd;
    InstallFakeEngines();
    SetProgramFolderOverride(folder.Path() + "/");
    if (::chdir(folder.Path().c_str()) != 0)
        throw std::runtime_error("chdir failed");
    if (!config.empty())
        folder.Write("config.ini", config);
    form = new TMainForm(params);
}

MainHarness::~MainHarness()
{
    delete form;
    Pump();
    // Windows the program left open (dialogs) go with the test.
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->isVisible())
            w->close();
    Pump();
    RemoveFakeEngines();
    SetProgramFolderOverride("");
    if (!oldCwd_.empty() && ::chdir(oldCwd_.c_str()) != 0) {
    }
}

void MainHarness::Start()
{
    form->resize(900, 600);
    form->show();
    Pump();
}

void MainHarness::Pump()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
}

int MainHarness::LiveEngines()
{
    int n = 0;
    for (const CreatedFake &f : CreatedFakes())
        n += f.engine != nullptr;
    return n;
}

FakeEngine *MainHarness::Engine(int index)
{
    int n = 0;
    for (const CreatedFake &f : CreatedFakes())
        if (f.engine && n++ == index)
            return f.engine;
    return nullptr;
}

TChildForm *MainHarness::Child(int index)
{
    const auto &children = form->Children();
    return index >= 0 && index < static_cast<int>(children.size()) ? children[index] : nullptr;
}

FakeEngine *MainHarness::EngineOf(TChildForm *child)
{
    return child ? dynamic_cast<FakeEngine *>(child->Browser()) : nullptr;
}

} // namespace orvex::test
