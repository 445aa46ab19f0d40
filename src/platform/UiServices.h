// The user-facing services the forms reach through small interfaces, so that
// tests answer them without showing anything: message boxes, the input box,
// the file and colour dialogs, the clipboard and the beep. The standard error
// box and the guard every handler runs inside live here too.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <exception>
#include <functional>
#include <optional>

class QWidget;

namespace orvex {

enum class MessageIcon { Information, Warning, Stop };

struct FileDialogRequest {
    QString title;
    QString filter; // "名前(*.ext)|*.ext|..." as the design writes it
    QString initialDir;
    QString fileName; // initial file name
};

class UiServices {
public:
    virtual ~UiServices() = default;
    virtual void ShowMessage(QWidget *parent, const QString &title, const QString &text,
                             MessageIcon icon) = 0;
    // A question with the buttons "はい" and "いいえ", "いいえ" the default.
    // True for "はい".
    virtual bool AskYesNo(QWidget *parent, const QString &title, const QString &text) = 0;
    // Returns the edited text on OK and the initial text on Cancel.
    virtual QString InputBox(QWidget *parent, const QString &caption, const QString &prompt,
                             const QString &initial) = 0;
    virtual std::optional<QString> OpenFile(QWidget *parent, const FileDialogRequest &request) = 0;
    virtual std::optional<QString> SaveFile(QWidget *parent, const FileDialogRequest &request) = 0;
    // Starts from `initial`; returns the chosen colour (0x00BBGGRR) or nothing.
    virtual std::optional<uint32_t> ChooseColor(QWidget *parent, uint32_t initial) = 0;
    virtual QString ClipboardText() = 0;
    virtual void Beep() = 0;
};

// The services in use: the real widgets unless a test installed its own.
UiServices &Ui();
void SetUiServices(UiServices *services); // nullptr restores the real ones

// The standard error box: title "Orvex", stop icon, OK; "." by the rule of
// ErrorBoxText.
void ShowErrorBox(const QString &message);
void ShowErrorBox(const std::exception &error);

// Runs a handler; any exception ends it and is shown in the standard error
// box, so no exception crosses Qt's own code. Returns false when it failed.
bool Guarded(const std::function<void()> &handler);

// Converts the design's filter text "A|*.a|B|*.*" to Qt's "A (*.a);;B (*.*)".
QString QtFilter(const QString &designFilter);

QString ToQ(const std::string &utf8);
std::string FromQ(const QString &text);

} // namespace orvex
