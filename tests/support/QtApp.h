// One QApplication for a whole test program. gtest_main owns main(), so the
// application is made on first use by whichever test needs widgets.
#pragma once

class QApplication;

namespace orvex::test {

// Creates the QApplication on the first call (platform from QT_QPA_PLATFORM,
// "offscreen" when unset) and returns it on every call.
QApplication &EnsureQApp();

} // namespace orvex::test
