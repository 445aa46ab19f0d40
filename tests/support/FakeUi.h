// A UiServices for tests: records what the program shows and asks, and
// answers each kind of question from its own queue of scripted answers. An
// empty queue answers as a user pressing Cancel (or the refusing button, or
// the default "いいえ") would. Constructing one
// installs it; destroying it restores the real services.
#pragma once

#include "platform/UiServices.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace orvex::test {

class FakeUi : public UiServices {
public:
    FakeUi();
    ~FakeUi() override;
    FakeUi(const FakeUi &) = delete;
    FakeUi &operator=(const FakeUi &) = delete;

    // Scripted answers, taken in order, one per question of that kind.
    // nullopt is a cancelled dialog.
    std::deque<std::optional<QString>> inputAnswers;  // InputBox: text on OK
    std::deque<std::optional<QString>> openAnswers;   // OpenFile
    std::deque<std::optional<QString>> saveAnswers;   // SaveFile
    std::deque<std::optional<uint32_t>> colorAnswers; // ChooseColor
    QString clipboard;                                // ClipboardText
    std::deque<PageMessageAnswer> pageAnswers;        // ShowPageMessage
    std::deque<std::optional<Credentials>> signInAnswers;
    std::deque<bool> askAnswers;              // Ask: true = the accepting answer
    std::deque<bool> askChecks;               // Ask with a check box: its state
    std::deque<QStringList> openFilesAnswers; // OpenFiles
    std::deque<std::optional<PrintChoice>> printAnswers;

    // What the program showed and asked, in order.
    QStringList messages;                  // "title|text" of every message box
    std::vector<MessageIcon> messageIcons; // icon of each message box
    QStringList inputPrompts;              // "caption|prompt|initial"
    std::vector<FileDialogRequest> openRequests;
    std::vector<FileDialogRequest> saveRequests;
    std::vector<uint32_t> colorInitials; // the colour each colour dialog started from
    int beeps = 0;
    std::vector<PageMessage> pageMessages;
    std::vector<SignInRequest> signInRequests;
    std::vector<Question> questions;
    std::vector<FileDialogRequest> openFilesRequests;
    QStringList printDocuments; // the document name of each print dialog
    QStringList openedFolders;

    // Called for every page message box after it is logged; may change the
    // answer (e.g. to look at the program while the box is on screen).
    std::function<void(const PageMessage &message, PageMessageAnswer &answer)> onPageMessage;

    // Called for every message box after it is logged (e.g. to look at the
    // state of a form while its error is on screen).
    std::function<void(const QString &title, const QString &text)> onMessage;

    // Convenience: the last message's text without its title, or "".
    QString LastMessageText() const;

    void ShowMessage(QWidget *parent, const QString &title, const QString &text, MessageIcon icon) override;
    QString InputBox(QWidget *parent, const QString &caption, const QString &prompt,
                     const QString &initial) override;
    std::optional<QString> OpenFile(QWidget *parent, const FileDialogRequest &request) override;
    std::optional<QString> SaveFile(QWidget *parent, const FileDialogRequest &request) override;
    std::optional<uint32_t> ChooseColor(QWidget *parent, uint32_t initial) override;
    QString ClipboardText() override;
    void Beep() override;
    PageMessageAnswer ShowPageMessage(QWidget *parent, const PageMessage &message) override;
    std::optional<Credentials> SignIn(QWidget *parent, const SignInRequest &request) override;
    bool Ask(QWidget *parent, const Question &question) override;
    QStringList OpenFiles(QWidget *parent, const FileDialogRequest &request) override;
    std::optional<PrintChoice> ChoosePrinter(QWidget *parent, const QString &documentName) override;
    void OpenFolder(const QString &path) override;
};

} // namespace orvex::test
