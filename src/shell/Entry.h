// The program's entry: sets up the application, creates the main window and
// the dialogs made at start-up, in their order, and runs the message loop.
#pragma once

namespace orvex {

int RunOrvex(int argc, char **argv);

// Rendering set-up that must happen before the application object exists:
// the shared OpenGL context the engine modules need, running as root, and
// the choice of Qt Quick back end.
void PrepareEnvironment();

// Picks Qt Quick's software back end for QtWebEngine when the only OpenGL
// is a software renderer; runs once the application object exists, before
// the first engine view is made.
void ChooseQuickBackend();

} // namespace orvex
