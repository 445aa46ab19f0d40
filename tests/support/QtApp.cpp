#include "support/QtApp.h"

#include <QApplication>
#include <cstdlib>

namespace orvex::test {

QApplication &EnsureQApp()
{
    if (auto *existing = qobject_cast<QApplication *>(QCoreApplication::instance()))
        return *existing;
    // Tests run without a display unless the caller chose a platform.
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // QApplication keeps references to argc and argv for its whole life.
    static int argc = 1;
    static char name[] = "orvex-test";
    static char *argv[] = {name, nullptr};
    static QApplication *app = new QApplication(argc, argv);
    return *app;
}

} // namespace orvex::test
