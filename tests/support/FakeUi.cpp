#include "support/FakeUi.h"

namespace orvex::test {

namespace {
template <typename T> std::optional<T> TakeAnswer(std::deque<std::optional<T>> &queue)
{
    if (queue.empty())
        return std::nullopt;
    std::optional<T> answer = queue.front();
    queue.pop_front();
    return answer;
}

template <typename T> T TakePlain(std::deque<T> &queue)
{
    if (queue.empty())
        return T();
    T answer = queue.front();
    queue.pop_front();
    return answer;
}
} // namespace

FakeUi::FakeUi()
{
    SetUiServices(this);
}

FakeUi::~FakeUi()
{
    if (&Ui() == this)
        SetUiServices(nullptr);
}

QString FakeUi::LastMessageText() const
{
    if (messages.isEmpty())
        return QString();
    const QString &last = messages.back();
    return last.mid(last.indexOf('|') + 1);
}

void FakeUi::ShowMessage(QWidget *, const QString &title, const QString &text, MessageIcon icon)
{
    messages << title + '|' + text;
    messageIcons.push_back(icon);
    if (onMessage)
        onMessage(title, text);
}

QString FakeUi::InputBox(QWidget *, const QString &caption, const QString &prompt, const QString &initial)
{
    inputPrompts << caption + '|' + prompt + '|' + initial;
    std::optional<QString> answer = TakeAnswer(inputAnswers);
    return answer ? *answer : initial;
}

std::optional<QString> FakeUi::OpenFile(QWidget *, const FileDialogRequest &request)
{
    openRequests.push_back(request);
    return TakeAnswer(openAnswers);
}

std::optional<QString> FakeUi::SaveFile(QWidget *, const FileDialogRequest &request)
{
    saveRequests.push_back(request);
    return TakeAnswer(saveAnswers);
}

std::optional<uint32_t> FakeUi::ChooseColor(QWidget *, uint32_t initial)
{
    colorInitials.push_back(initial);
    return TakeAnswer(colorAnswers);
}

QString FakeUi::ClipboardText()
{
    return clipboard;
}

void FakeUi::Beep()
{
    ++beeps;
}

PageMessageAnswer FakeUi::ShowPageMessage(QWidget *, const PageMessage &message)
{
    pageMessages.push_back(message);
    PageMessageAnswer answer = TakePlain(pageAnswers);
    if (onPageMessage)
        onPageMessage(message, answer);
    return answer;
}

std::optional<Credentials> FakeUi::SignIn(QWidget *, const SignInRequest &request)
{
    signInRequests.push_back(request);
    return TakeAnswer(signInAnswers);
}

bool FakeUi::Ask(QWidget *, const Question &question)
{
    questions.push_back(question);
    if (question.checked && !askChecks.empty()) {
        *question.checked = askChecks.front();
        askChecks.pop_front();
    }
    return TakePlain(askAnswers);
}

QStringList FakeUi::OpenFiles(QWidget *, const FileDialogRequest &request)
{
    openFilesRequests.push_back(request);
    return TakePlain(openFilesAnswers);
}

std::optional<PrintChoice> FakeUi::ChoosePrinter(QWidget *, const QString &documentName)
{
    printDocuments << documentName;
    return TakeAnswer(printAnswers);
}

void FakeUi::OpenFolder(const QString &path)
{
    openedFolders << path;
}

} // namespace orvex::test
