// The program's entry: sets up the application, creates the main window and
// the dialogs made at start-up, in their order, and runs the message loop.
#pragma once

#include <QByteArray>
#include <QStringList>

namespace orvex {

class TMainForm;

int RunOrvex(int argc, char **argv);

// Rendering set-up that must happen before the application object exists:
// the shared OpenGL context the engine modules need (or none at all, see
// LeaveOpenGLOut), running as root, and the choice of Qt Quick back end.
void PrepareEnvironment();

// True when Qt need not start OpenGL: the machine has no graphics device, so
// both engines draw in software, and nothing asks for OpenGL (the rendering
// asked for, a Qt Quick back end other than software) or needs it (the
// offscreen platform, where QtWebEngine aborts without the shared context).
bool LeaveOpenGLOut(const QByteArray &wantedRendering, const QByteArray &quickBackend,
                    const QByteArray &platform, bool graphicsDevice);

// Picks Qt Quick's software back end for QtWebEngine when the only OpenGL
// is a software renderer; runs once the application object exists, before
// the first engine view is made.
void ChooseQuickBackend();

// The command-line arguments as addresses: a relative name of an existing
// file becomes its full path in `workingFolder`, so that it still names that
// file after the working directory changes or in another running Orvex;
// every other argument stays as it is.
QStringList CommandLineAddresses(const QStringList &arguments, const QString &workingFolder);

// Addresses handed over by a later start open as the command line's do, each
// in a new window in their order; then the main window comes to the front.
void OpenHandedOver(TMainForm &form, const QStringList &addresses);

// Japanese throughout: Japanese is the default locale (the engines take it
// from there), and Qt's own Japanese texts (qtbase_ja, and qtwebengine_ja
// where installed) are loaded, so the standard dialogs speak Japanese.
// Returns the translation files loaded.
QStringList LoadJapaneseTranslations();

} // namespace orvex
