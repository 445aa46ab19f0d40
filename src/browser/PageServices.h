// What a page may ask of the user, answered with Japanese dialogs, and what
// the session remembers of the answers: pages that asked for no more message
// boxes, hosts whose certificate the user accepted, and the permissions
// given or refused per site. Nothing of it is written to disk; it lasts
// until the program ends.
#pragma once

#include "browser/EngineLoader.h"
#include "browser/WebBrowser.h"

#include <QSet>
#include <QString>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>

class QWidget;

namespace orvex {

class PageServices {
public:
    // The one set for the run.
    static PageServices &Session();

    // A page's alert, confirm, prompt or "leave this page?". From the third
    // box of one page within kFloodWindowMs of the previous two, the box
    // offers to stop further boxes; once stopped, the page's boxes are
    // answered "Cancel" without showing. `window` is the asking window's
    // number: a page is a window and its site. `beforeAsking` runs only
    // when the user is really asked (here and below).
    bool PageDialog(QWidget *parent, int32_t window, const PageDialogRequest &request, QString *text,
                    const std::function<void()> &beforeAsking = {});
    bool Authenticate(QWidget *parent, const AuthenticationRequest &request, QString &user,
                      QString &password);
    // Asks once per engine and host; "go on" holds for the rest of the
    // session, in the engine that asked (each engine keeps its own
    // exceptions, so the other engine's windows ask again).
    bool CertificateError(QWidget *parent, EngineKind engine, const CertificateErrorInfo &error,
                          const std::function<void()> &beforeAsking = {});
    QStringList ChooseFiles(QWidget *parent, const FileChooserRequest &request);
    // Asks once per site and permission; both answers are remembered.
    bool Permission(QWidget *parent, const QUrl &origin, PagePermission permission,
                    const std::function<void()> &beforeAsking = {});

    // A closed window's pages ask nothing more.
    void ForgetWindow(int32_t window);
    // Forgets everything (tests).
    void Reset();

    // Milliseconds of a steady clock; tests replace it.
    std::function<qint64()> clock;

    static constexpr qint64 kFloodWindowMs = 10000;
    static constexpr int kFloodCount = 3;
    // A page's text longer than this is cut in the box.
    static constexpr int kMaxMessageLength = 4000;

private:
    PageServices();

    struct DialogHistory {
        std::deque<qint64> closedAt; // when the page's recent boxes were answered
        bool stopped = false;
    };
    std::map<QString, DialogHistory> dialogs_; // "window site"
    QSet<QString> acceptedHosts_;              // "engine host"
    std::map<QString, bool> permissions_;      // "site permission"
};

// "scheme://host:port" of an address: the site permissions are kept for.
QString SiteOf(const QUrl &url);

} // namespace orvex
