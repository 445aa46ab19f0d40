// The user-facing services the forms reach through small interfaces, so that
// tests answer them without showing anything: message boxes, the input box,
// the file, colour and print dialogs, the questions a page asks (its message
// boxes, sign-in, yes/no questions), the clipboard, the beep and opening a
// folder in the file manager. The standard error box and the guard every
// handler runs inside live here too.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <type_traits>
#include <utility>

class QWidget;

namespace orvex {

enum class MessageIcon { Information, Warning, Stop };

struct FileDialogRequest {
    QString title;
    QString filter; // "名前(*.ext)|*.ext|..." as the design writes it
    QString initialDir;
    QString fileName; // initial file name
};

// A page's message box: alert, confirm, prompt or "leave this page?".
enum class PageMessageKind { Alert, Confirm, Prompt, LeavePage };

struct PageMessage {
    PageMessageKind kind = PageMessageKind::Alert;
    QString title; // the page's host
    QString text;
    QString defaultText;    // Prompt only
    bool offerStop = false; // offer to show no more dialogs from the page
};

struct PageMessageAnswer {
    bool accepted = false; // OK, or leave the page
    QString text;          // Prompt: the text entered
    bool stopFurther = false;
};

// A server or proxy asks who the user is.
struct SignInRequest {
    QString host;
    QString realm;
    bool proxy = false;
};

struct Credentials {
    QString user;
    QString password;
};

// A question with an accepting and a refusing answer; refusing is the
// default button and the answer of Esc.
struct Question {
    QString title;
    QString text;
    QString detail;
    QString acceptCaption;
    QString refuseCaption;
    MessageIcon icon = MessageIcon::Warning;
    // A check box under the text when it has a caption; its state at the
    // answer goes to *checked.
    QString checkCaption;
    bool *checked = nullptr;
};

// Where the print dialog sends the page: a printer by name, or a PDF file.
struct PrintChoice {
    QString printerName;
    QString outputFile;
    bool landscape = false;
    int copies = 1;
};

class UiServices {
public:
    virtual ~UiServices() = default;
    virtual void ShowMessage(QWidget *parent, const QString &title, const QString &text,
                             MessageIcon icon) = 0;
    // Returns the edited text on OK and the initial text on Cancel.
    virtual QString InputBox(QWidget *parent, const QString &caption, const QString &prompt,
                             const QString &initial) = 0;
    virtual std::optional<QString> OpenFile(QWidget *parent, const FileDialogRequest &request) = 0;
    virtual std::optional<QString> SaveFile(QWidget *parent, const FileDialogRequest &request) = 0;
    // Starts from `initial`; returns the chosen colour (0x00BBGGRR) or nothing.
    virtual std::optional<uint32_t> ChooseColor(QWidget *parent, uint32_t initial) = 0;
    virtual QString ClipboardText() = 0;
    virtual void Beep() = 0;

    virtual PageMessageAnswer ShowPageMessage(QWidget *parent, const PageMessage &message) = 0;
    // The user name and password, or nothing on Cancel.
    virtual std::optional<Credentials> SignIn(QWidget *parent, const SignInRequest &request) = 0;
    // True when the user chose the accepting answer.
    virtual bool Ask(QWidget *parent, const Question &question) = 0;
    // Several files may be chosen; empty when cancelled.
    virtual QStringList OpenFiles(QWidget *parent, const FileDialogRequest &request) = 0;
    // The print dialog for a document of that name; nothing when cancelled.
    virtual std::optional<PrintChoice> ChoosePrinter(QWidget *parent, const QString &documentName) = 0;
    // Shows a folder in the desktop's file manager.
    virtual void OpenFolder(const QString &path) = 0;
};

// The services in use: the real widgets unless a test installed its own.
UiServices &Ui();
void SetUiServices(UiServices *services); // nullptr restores the real ones

// The standard error box: title "Orvex", stop icon, OK; "." by the rule of
// ErrorBoxText.
void ShowErrorBox(const QString &message);
void ShowErrorBox(const std::exception &error);

// Error boxes raised while the program starts, before its main window is on
// the screen, wait for it: a box over nothing tells the user nothing of where
// it comes from. From HoldErrorBoxes on they are kept; ReleaseErrorBoxes
// shows the kept ones in their order and ends the holding.
void HoldErrorBoxes();
void ReleaseErrorBoxes();

// The guard every user command, window handler and engine event runs
// inside: any exception ends the handler and is shown in the standard error
// box, so no exception crosses Qt's own code. Returns false when it failed.
// Event overrides call it around their body.
bool Guarded(const std::function<void()> &handler);

// The same as a slot, the one way a signal reaches a handler:
//     connect(button, &QPushButton::clicked, this, Guard([this] { btnAddClick(); }));
// The handler takes as many of the signal's arguments as it needs.
template <class Handler> auto Guard(Handler handler)
{
    return [handler](
               auto &&...args) -> std::enable_if_t<std::is_invocable_v<const Handler &, decltype(args)...>> {
        Guarded([&] { handler(std::forward<decltype(args)>(args)...); });
    };
}

// Converts the design's filter text "A|*.a|B|*.*" to Qt's "A (*.a);;B (*.*)".
QString QtFilter(const QString &designFilter);

QString ToQ(const std::string &utf8);
std::string FromQ(const QString &text);

} // namespace orvex
