#include "browser/PageServices.h"

#include "platform/UiServices.h"
#include "platform/UiTexts.h"

#include <QDir>
#include <QElapsedTimer>
#include <QMimeDatabase>

namespace orvex {

namespace {

QString Text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

PageMessageKind KindOf(PageDialogKind kind)
{
    switch (kind) {
    case PageDialogKind::Alert:
        return PageMessageKind::Alert;
    case PageDialogKind::Confirm:
        return PageMessageKind::Confirm;
    case PageDialogKind::Prompt:
        return PageMessageKind::Prompt;
    case PageDialogKind::BeforeUnload:
        return PageMessageKind::LeavePage;
    }
    return PageMessageKind::Alert;
}

QString Cut(const QString &text, int length)
{
    return text.size() <= length ? text : text.left(length) + QStringLiteral("…");
}

const char *PermissionName(PagePermission permission)
{
    switch (permission) {
    case PagePermission::Geolocation:
        return txt::PermissionGeolocation;
    case PagePermission::Notifications:
        return txt::PermissionNotifications;
    case PagePermission::Camera:
        return txt::PermissionCamera;
    case PagePermission::Microphone:
        return txt::PermissionMicrophone;
    case PagePermission::CameraAndMicrophone:
        return txt::PermissionCameraAndMicrophone;
    case PagePermission::FullScreen:
        return txt::PermissionFullScreen;
    }
    return txt::PermissionFullScreen;
}

// The file patterns of the types a page names: ".pdf", "image/png" or
// "image/*".
QStringList PatternsOf(const QStringList &acceptedTypes)
{
    QMimeDatabase mimes;
    QStringList patterns;
    auto add = [&patterns](const QStringList &globs) {
        for (const QString &glob : globs)
            if (!patterns.contains(glob))
                patterns << glob;
    };
    for (const QString &raw : acceptedTypes) {
        const QString type = raw.trimmed().toLower();
        if (type.startsWith('.') && type.size() > 1 && !type.contains(QRegExp(QStringLiteral("[|;*?/ ]")))) {
            add({QStringLiteral("*") + type});
        } else if (type.endsWith(QStringLiteral("/*"))) {
            const QString prefix = type.left(type.size() - 1);
            for (const QMimeType &mime : mimes.allMimeTypes())
                if (mime.name().startsWith(prefix))
                    add(mime.globPatterns());
        } else if (type.contains('/')) {
            const QMimeType mime = mimes.mimeTypeForName(type);
            if (mime.isValid())
                add(mime.globPatterns());
        }
    }
    return patterns;
}

} // namespace

QString SiteOf(const QUrl &url)
{
    const int defaultPort = url.scheme() == QLatin1String("https")  ? 443
                            : url.scheme() == QLatin1String("http") ? 80
                                                                    : -1;
    return url.scheme().toLower() + QStringLiteral("://") + url.host().toLower() + ':' +
           QString::number(url.port(defaultPort));
}

PageServices &PageServices::Session()
{
    static PageServices session;
    return session;
}

PageServices::PageServices()
{
    clock = [] {
        static QElapsedTimer timer;
        if (!timer.isValid())
            timer.start();
        return timer.elapsed();
    };
}

void PageServices::Reset()
{
    dialogs_.clear();
    acceptedHosts_.clear();
    permissions_.clear();
}

void PageServices::ForgetWindow(int32_t window)
{
    const QString prefix = QString::number(window) + ' ';
    for (auto it = dialogs_.begin(); it != dialogs_.end();)
        it = it->first.startsWith(prefix) ? dialogs_.erase(it) : std::next(it);
}

bool PageServices::PageDialog(QWidget *parent, int32_t window, const PageDialogRequest &request,
                              QString *text, const std::function<void()> &beforeAsking)
{
    DialogHistory &history = dialogs_[QString::number(window) + ' ' + SiteOf(request.origin)];
    if (history.stopped)
        return false;
    const qint64 now = clock();
    while (!history.closedAt.empty() && now - history.closedAt.front() > kFloodWindowMs)
        history.closedAt.pop_front();

    PageMessage message;
    message.kind = KindOf(request.kind);
    message.title = request.origin.host().isEmpty() ? Text(txt::PageFallbackTitle) : request.origin.host();
    message.text = Cut(request.message, kMaxMessageLength);
    message.defaultText = Cut(request.defaultText, kMaxMessageLength);
    message.offerStop = static_cast<int>(history.closedAt.size()) >= kFloodCount - 1;
    if (beforeAsking)
        beforeAsking();
    const PageMessageAnswer answer = Ui().ShowPageMessage(parent, message);

    // The box may have been open for long: the page's next box counts from
    // its answer, so a page that asks again at once is seen as asking in a
    // row however slowly the user reads.
    DialogHistory &after = dialogs_[QString::number(window) + ' ' + SiteOf(request.origin)];
    after.closedAt.push_back(clock());
    while (static_cast<int>(after.closedAt.size()) > kFloodCount)
        after.closedAt.pop_front();
    if (answer.stopFurther)
        after.stopped = true;
    if (request.kind == PageDialogKind::Prompt && answer.accepted && text)
        *text = answer.text;
    return request.kind != PageDialogKind::Alert && answer.accepted;
}

bool PageServices::Authenticate(QWidget *parent, const AuthenticationRequest &request, QString &user,
                                QString &password)
{
    SignInRequest question;
    question.host = request.host.isEmpty() ? request.url.host() : request.host;
    question.realm = Cut(request.realm, 200);
    question.proxy = request.proxy;
    const std::optional<Credentials> answer = Ui().SignIn(parent, question);
    if (!answer)
        return false;
    user = answer->user;
    password = answer->password;
    return true;
}

bool PageServices::CertificateError(QWidget *parent, EngineKind engine, const CertificateErrorInfo &error,
                                    const std::function<void()> &beforeAsking)
{
    const QString host = (error.host.isEmpty() ? error.url.host() : error.host).toLower();
    const QString key = QString::number(int(engine)) + QLatin1Char(' ') + host;
    if (acceptedHosts_.contains(key))
        return true;
    Question question;
    question.title = Text(txt::CertificateTitle);
    question.text = Text(txt::CertificateText).arg(host);
    question.detail = Text(txt::CertificateDetail).arg(Cut(error.description, 500));
    question.acceptCaption = Text(txt::CertificateProceed);
    question.refuseCaption = Text(txt::CertificateRefuse);
    question.icon = MessageIcon::Warning;
    if (beforeAsking)
        beforeAsking();
    if (!Ui().Ask(parent, question))
        return false;
    acceptedHosts_.insert(key);
    return true;
}

QStringList PageServices::ChooseFiles(QWidget *parent, const FileChooserRequest &request)
{
    FileDialogRequest dialog;
    dialog.title = Text(txt::ChooseUploadTitle);
    dialog.initialDir = QDir::homePath();
    dialog.filter = Text(txt::AllFilesFilter);
    const QStringList patterns = PatternsOf(request.acceptedTypes);
    if (!patterns.isEmpty())
        dialog.filter = Text(txt::PageFileTypes) + '|' + patterns.join(';') + '|' + dialog.filter;
    if (request.multiple)
        return Ui().OpenFiles(parent, dialog);
    const std::optional<QString> file = Ui().OpenFile(parent, dialog);
    return file ? QStringList{*file} : QStringList();
}

bool PageServices::Permission(QWidget *parent, const QUrl &origin, PagePermission permission,
                              const std::function<void()> &beforeAsking)
{
    const QString key = SiteOf(origin) + ' ' + QString::number(static_cast<int>(permission));
    const auto known = permissions_.find(key);
    if (known != permissions_.end())
        return known->second;
    Question question;
    question.title = Text(txt::PermissionTitle);
    const QString who = origin.host().isEmpty() ? Text(txt::PageFallbackTitle) : origin.host();
    question.text = Text(txt::PermissionText).arg(who, Text(PermissionName(permission)));
    question.acceptCaption = Text(txt::Allow);
    question.refuseCaption = Text(txt::Deny);
    question.icon = MessageIcon::Information;
    if (beforeAsking)
        beforeAsking();
    const bool allowed = Ui().Ask(parent, question);
    permissions_[key] = allowed;
    return allowed;
}

} // namespace orvex
