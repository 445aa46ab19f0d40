#include "shell/Entry.h"

#include "browser/EngineLoader.h"
#include "browser/WebBrowser.h"
#include "core/Errors.h"
#include "core/FolderClaim.h"
#include "core/ProgramFolder.h"
#include "core/Settings.h"
#include "platform/Look.h"
#include "platform/UiServices.h"
#include "shell/Application.h"
#include "shell/BenchProbe.h"
#include "shell/Captions.h"
#include "shell/Main.h"
#include "shell/SingleInstance.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QSocketNotifier>
#include <QTimer>
#include <QTranslator>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace orvex {

namespace {

// True when the machine has a graphics device a program could draw OpenGL
// with (a DRM render node, an NVIDIA device). Without one every OpenGL
// context is a software rasteriser's. Looked at once: it is asked before and
// after the application object is made.
bool HasGraphicsDevice()
{
    static const bool present =
        !QDir(QStringLiteral("/dev/dri")).entryList({QStringLiteral("renderD*")}, QDir::System).isEmpty() ||
        QFileInfo::exists(QStringLiteral("/dev/nvidia0"));
    return present;
}

// PrepareEnvironment told Qt to leave OpenGL out (QT_XCB_GL_INTEGRATION).
bool g_openGLLeftOut = false;

// The rendering the user asked for, if any (ORVEX_RENDERING, lower case).
QByteArray WantedRendering()
{
    return qgetenv("ORVEX_RENDERING").toLower();
}

} // namespace

bool LeaveOpenGLOut(const QByteArray &wantedRendering, const QByteArray &quickBackend,
                    const QByteArray &platform, bool graphicsDevice)
{
    return !graphicsDevice && wantedRendering != "opengl" &&
           (quickBackend.isEmpty() || quickBackend == "software") && platform != "offscreen";
}

void PrepareEnvironment()
{
    // QtWebEngine draws through OpenGL shared with the application: an
    // engine loaded from a module without it warns, and aborts offscreen.
    // Starting OpenGL costs a tenth of a second for a software rasteriser,
    // and Qt starts it for the shared context and again for the first
    // window. On a machine without a graphics device QtWebEngine draws
    // through Qt Quick's software back end (see ChooseQuickBackend) and
    // never uses it: Qt is told to leave OpenGL out.
    if (LeaveOpenGLOut(WantedRendering(), qgetenv("QT_QUICK_BACKEND"), qgetenv("QT_QPA_PLATFORM"),
                       HasGraphicsDevice())) {
        if (qEnvironmentVariableIsEmpty("QT_XCB_GL_INTEGRATION")) {
            qputenv("QT_XCB_GL_INTEGRATION", "none");
            g_openGLLeftOut = true;
        }
        // The "Gecko" engine then draws without compositing, which costs
        // less than compositing on the software rasteriser; a user's own
        // choice stands. Set here, before any thread reads the environment
        // (GTK's start while the windows are made); a program started from
        // here inherits it, on a machine where OpenGL is software anyway.
        if (!qEnvironmentVariableIsSet("WEBKIT_DISABLE_COMPOSITING_MODE"))
            qputenv("WEBKIT_DISABLE_COMPOSITING_MODE", "1");
        // GTK, at its start, loads the OpenGL rasteriser to choose visuals
        // for windows it might draw on with OpenGL: a third of its start,
        // here and in every page process. Without compositing neither draws
        // with OpenGL through GTK (WebGL does not go through it). A user's
        // own choice stands; a program started from here inherits this too.
        if (qgetenv("WEBKIT_DISABLE_COMPOSITING_MODE") != "0" && !qEnvironmentVariableIsSet("GDK_GL"))
            qputenv("GDK_GL", "disable");
    } else {
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    }
    // WebKit's allocator waits for its lock by yielding the processor: in
    // this process, where a thread of each page process's connection takes
    // it besides the user-interface thread, a holder preempted among them
    // stood unscheduled for seconds now and then while they all spun (one
    // load of twenty "Gecko" pages in four, 2-6 s of CPU). Any value makes
    // WebKit use the system's allocator; the "Gecko" module takes this one
    // back before it starts a helper process, which keeps WebKit's own.
    if (!qEnvironmentVariableIsSet(UiAllocatorVariable))
        qputenv(UiAllocatorVariable, UiAllocatorValue);
    // Chromium refuses to run as root with its sandbox on.
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // Offscreen, QtWebEngine needs the software Qt Quick back end.
    if (qgetenv("QT_QPA_PLATFORM") == "offscreen" && qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND"))
        qputenv("QT_QUICK_BACKEND", "software");
}

namespace {

// A request to end (logout, kill, Ctrl+C) ends the event loop as quitting
// does, so that the run lets go of what it holds: the hand-off lock and
// socket, the bus name, the engines' profiles.
int quitPipe[2] = {-1, -1};

void QuitOnTermination(QApplication &app)
{
    if (pipe2(quitPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction action {};
    action.sa_handler = [](int) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = write(quitPipe[1], &byte, 1);
    };
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
    auto *notifier = new QSocketNotifier(quitPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
}

// True when OpenGL is drawn by a software rasteriser (llvmpipe and its
// kin) or is missing altogether.
bool OnlySoftwareOpenGL()
{
    // The context the application made for sharing tells the renderer;
    // a context of its own would cost as much again (a software rasteriser
    // sets up its buffers for every context).
    QOpenGLContext own;
    QOpenGLContext *context = QOpenGLContext::globalShareContext();
    if (!context) {
        if (!own.create())
            return true;
        context = &own;
    }
    QOffscreenSurface surface;
    surface.create();
    if (!context->makeCurrent(&surface))
        return true;
    const auto *renderer = reinterpret_cast<const char *>(context->functions()->glGetString(GL_RENDERER));
    const QString name = QString::fromLatin1(renderer ? renderer : "").toLower();
    context->doneCurrent();
    return name.isEmpty() || name.contains(QLatin1String("llvmpipe")) ||
           name.contains(QLatin1String("softpipe")) || name.contains(QLatin1String("software")) ||
           name.contains(QLatin1String("swr"));
}

} // namespace

void ChooseQuickBackend()
{
    // QtWebEngine draws its pages through Qt Quick. Without a GPU, Qt Quick's
    // software back end loads many views far faster than software OpenGL.
    // ORVEX_RENDERING=software or =opengl overrides the choice; a
    // QT_QUICK_BACKEND set by the user is left alone.
    if (!qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND"))
        return;
    const QByteArray wanted = WantedRendering();
    if (wanted == "opengl")
        return;
    const bool software = wanted == "software" || !HasGraphicsDevice() || OnlySoftwareOpenGL();
    if (software)
        qputenv("QT_QUICK_BACKEND", "software");
    // The Gecko module makes the same choice for WebKitGTK: told the
    // answer, it does not probe OpenGL a second time.
    if (wanted.isEmpty())
        qputenv("ORVEX_RENDERING", software ? "software" : "opengl");
}

QStringList LoadJapaneseTranslations()
{
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    const QString folder = QLibraryInfo::location(QLibraryInfo::TranslationsPath);
    QStringList loaded;
    for (const QString &name : {QStringLiteral("qtbase_ja"), QStringLiteral("qtwebengine_ja")}) {
        auto *translator = new QTranslator(QCoreApplication::instance());
        if (translator->load(name, folder) && QCoreApplication::installTranslator(translator)) {
            loaded << name;
        } else {
            delete translator;
        }
    }
    return loaded;
}

namespace {

// Under a virtual display the run command asks for a picture of the main
// window once start-up has settled, then ends the program.
void ScheduleScreenshot(TMainForm *form)
{
    const QString path = qEnvironmentVariable("ORVEX_SCREENSHOT");
    if (path.isEmpty())
        return;
    bool ok = false;
    int delay = qEnvironmentVariableIntValue("ORVEX_SCREENSHOT_DELAY", &ok);
    if (!ok)
        delay = 4000;
    QTimer::singleShot(delay, form, [form, path] {
        form->grab().save(path);
        QApplication::exit(0);
    });
}

// The icon the program carries (none in the tests, which lack it).
QIcon ProgramIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256}) {
        const QString file = QStringLiteral(":/orvex/orvex-%1.png").arg(size);
        if (QFileInfo::exists(file))
            icon.addFile(file, QSize(size, size));
    }
    return icon;
}

} // namespace

QStringList CommandLineAddresses(const QStringList &arguments, const QString &workingFolder)
{
    QStringList addresses;
    for (const QString &argument : arguments) {
        const QString name = argument.trimmed();
        const QFileInfo file(QDir(workingFolder), name);
        const bool relativeFile = !name.isEmpty() && QDir::isRelativePath(name) && file.exists();
        addresses << (relativeFile ? QDir::cleanPath(file.absoluteFilePath()) : argument);
    }
    return addresses;
}

void OpenHandedOver(TMainForm &form, const QStringList &addresses)
{
    Guarded([&] {
        for (const QString &address : addresses)
            form.OpenNewWindow(form.ToolsEngine(), address, kLondingCaption);
    });
    if (form.isMinimized())
        form.showNormal();
    form.raise();
    form.activateWindow();
}

int RunOrvex(int argc, char **argv)
{
    PrepareEnvironment();
    QApplication app(argc, argv);
    if (g_openGLLeftOut) {
        // Qt reads the variable once, when first asked whether OpenGL can be
        // used, and keeps to its answer. Asked here, the variable is taken
        // back before any other thread runs: a program started from here
        // (the file manager showing a folder) chooses for itself.
        QOpenGLContext::supportsThreadedOpenGL();
        qunsetenv("QT_XCB_GL_INTEGRATION");
    }
    QApplication::setApplicationName(QStringLiteral("Orvex"));
    LoadJapaneseTranslations();
    QApplication::setDesktopFileName(QStringLiteral("orvex"));
    QApplication::setWindowIcon(ProgramIcon());
    KeepStandardIcons();

    QuitOnTermination(app);

    const QStringList params = CommandLineAddresses(QApplication::arguments().mid(1), QDir::currentPath());
    const std::string dataFolder = DataFolder();
    // One Orvex per data folder: a later start gives its addresses to the
    // running one and ends.
    SingleInstance instance(dataFolder);
    switch (instance.Start(params)) {
    case SingleInstance::Role::First:
        // Without a private place to meet, the data folder's own lock tells
        // whether another Orvex runs on it.
        if (instance.ServerPath().isEmpty() && FolderInUse(dataFolder)) {
            ShowErrorBox(ToQ(FormatMessage(msg::DataFolderInUse, dataFolder)));
            return 1;
        }
        break;
    case SingleInstance::Role::HandedOver:
        return 0;
    case SingleInstance::Role::NoAnswer:
        ShowErrorBox(ToQ(FormatMessage(msg::RunningCopyNotAnswering, dataFolder)));
        return 1;
    }
    // An installed Orvex works in its data folder.
    if (dataFolder != ProgramFolder())
        QDir::setCurrent(ToQ(dataFolder));
    ChooseQuickBackend();
    // New windows open in the engine used last: a "Gecko" user's engine is
    // mapped while the windows are made.
    const bool geckoFirst = SettingsFile(dataFolder + "config.ini").Read(keys::LastEngine) != "IE";
    if (geckoFirst)
        PreloadEngineModule(EngineKind::Gecko);

    // The design's UI font, drawn by a metric-compatible Japanese font.
    const QString uiFont = QStringLiteral("ＭＳ Ｐゴシック");
    QFont::insertSubstitutions(uiFont, {QStringLiteral("IPAPGothic"), QStringLiteral("IPAPゴシック"),
                                        QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans CJK JP")});
    QFont font(uiFont, 9);
    QApplication::setFont(font);

    // The forms' errors while they are made wait for the main window.
    HoldErrorBoxes();
    Application forms(params, [&instance](TMainForm &mainForm) {
        QObject::connect(&instance, &SingleInstance::AddressesReceived, &mainForm,
                         [&mainForm](const QStringList &addresses) { OpenHandedOver(mainForm, addresses); });
        // Scheduled before the other forms are made, so a message box at
        // start-up cannot hold the picture back.
        ScheduleScreenshot(&mainForm);
        StartBenchProbe(&mainForm);
    });
    forms.MainForm().show();
    // GTK starts on the preload's thread while the windows are made; GDK's X
    // events come through the GLib context Qt's loop turns: a turn while GTK
    // was still starting dispatched them to a GDK half set up, and a start
    // with no page to open died in GDK now and then. The loop starts once
    // the engine is ready; a failure is reported by the first window's load.
    if (geckoFirst) {
        try {
            PrepareEngine(EngineKind::Gecko);
        } catch (const std::exception &) {
        }
    }
    return app.exec();
}

} // namespace orvex
