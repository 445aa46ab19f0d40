// What the main window keeps between runs beyond the design: its own place
// and size, and its windows (session.txt), offered back after a crash. And
// the question before quitting with several windows.
#include "shell/Main.h"

#include "browser/ChildForm.h"
#include "platform/UiServices.h"
#include "platform/UiTexts.h"
#include "shell/Captions.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStringList>

namespace orvex {

QString TMainForm::PlaceText() const
{
    const QRect normal = isMaximized() ? normalGeometry() : geometry();
    return QStringLiteral("%1,%2,%3,%4,%5")
        .arg(normal.x())
        .arg(normal.y())
        .arg(normal.width())
        .arg(normal.height())
        .arg(isMaximized() ? 1 : 0);
}

void TMainForm::RestorePlace()
{
    const QStringList parts = ToQ(Settings().Read(keys::MainPlace)).split(',');
    if (parts.size() != 5)
        return;
    int values[5];
    for (int i = 0; i < 5; ++i) {
        bool ok = false;
        values[i] = parts[i].trimmed().toInt(&ok);
        if (!ok)
            return;
    }
    const QRect place(values[0], values[1], values[2], values[3]);
    // A place on no screen now (a screen gone since) is left to the system.
    bool seen = false;
    for (const QScreen *screen : QGuiApplication::screens())
        seen = seen || screen->availableGeometry().intersects(place);
    if (place.width() < 100 || place.height() < 100 || !seen)
        return;
    setGeometry(place);
    if (values[4] == 1)
        setWindowState(windowState() | Qt::WindowMaximized);
}

Session TMainForm::CurrentSession() const
{
    Session session;
    for (TChildForm *child : Children())
        if (const QString address = child->Browser()->LocationURL(); !address.isEmpty())
            session.addresses.push_back(FromQ(address));
    return session;
}

bool TMainForm::OfferSession()
{
    // Read before this run writes its own: no write comes before the start-up
    // actions have run.
    if (sessionOffered_)
        return false;
    sessionOffered_ = true;
    const std::optional<Session> last = ReadSession(appDir_ + kSessionFileName);
    if (!last || last->addresses.empty())
        return false;
    bool reopen = false;
    if (!last->ended) {
        Question question;
        question.title = QStringLiteral("Orvex");
        question.text = QString::fromUtf8(txt::RestoreQuestion);
        question.detail = QString::fromUtf8(txt::RestoreDetail);
        question.acceptCaption = QString::fromUtf8(txt::Yes);
        question.refuseCaption = QString::fromUtf8(txt::No);
        question.icon = MessageIcon::Information;
        reopen = Ui().Ask(this, question);
    } else {
        reopen = Settings().NonZero(keys::RestoreSession);
    }
    if (reopen)
        for (const std::string &address : last->addresses)
            OpenNewWindow(ToolsEngine(), ToQ(address), kLoadingCaption);
    return reopen;
}

bool TMainForm::ConfirmQuit()
{
    const int open = ChildCount();
    if (open <= 1 || !Settings().NonZero(keys::ConfirmQuit))
        return true;
    bool dontAsk = false;
    Question question;
    question.title = QStringLiteral("Orvex");
    question.text = QString::fromUtf8(txt::QuitQuestion).arg(open);
    question.acceptCaption = QString::fromUtf8(txt::Yes);
    question.refuseCaption = QString::fromUtf8(txt::No);
    question.icon = MessageIcon::Information;
    question.checkCaption = QString::fromUtf8(txt::DontAskAgain);
    question.checked = &dontAsk;
    const bool quit = Ui().Ask(this, question);
    if (dontAsk)
        Settings().WriteFlag(keys::ConfirmQuit, false);
    return quit;
}

} // namespace orvex
