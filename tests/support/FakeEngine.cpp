#include "support/FakeEngine.h"

#include "platform/Errors.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace orvex::test {

namespace {

std::vector<CreatedFake> &Registry()
{
    static std::vector<CreatedFake> fakes;
    return fakes;
}

bool failCreate[2] = {false, false};

int KindIndex(EngineKind kind)
{
    return kind == EngineKind::InternetExplorer ? 0 : 1;
}

std::string Hex(uint32_t value)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%x", value);
    return buffer;
}

} // namespace

FakeEngine::FakeEngine(QWidget *parent, EngineKind kind) : kind_(kind), widget_(new QWidget(parent))
{
    widget_->setObjectName(kind == EngineKind::InternetExplorer ? "FakeIE" : "FakeGecko");
}

FakeEngine::~FakeEngine()
{
    for (CreatedFake &fake : Registry())
        if (fake.engine == this)
            fake.engine = nullptr;
    delete widget_.data(); // nothing when the parent already deleted it
}

void FakeEngine::SetEvents(WebBrowserEvents *sink)
{
    sink_ = sink;
    log.push_back(sink ? "SetEvents(set)" : "SetEvents(null)");
}

void FakeEngine::SetHostOptions(const HostOptions &options)
{
    hostOptions = options;
    hostOptionsSet = true;
    log.push_back("SetHostOptions(accel=" + std::to_string(options.enableAccelerator) +
                  ",noContext=" + std::to_string(options.noContext) + ",flags=" + Hex(options.hostFlags) +
                  ",dl=" + Hex(options.downloadControl) + ")");
}

void FakeEngine::Navigate(const QString &url)
{
    log.push_back("Navigate(" + url.toStdString() + ")");
    if (!failNavigate_.empty()) {
        std::string message;
        message.swap(failNavigate_);
        throw std::runtime_error(message);
    }
    if (navigateSetsLocation)
        location_ = url.isEmpty() ? QStringLiteral("about:blank") : url;
    if (DuringNavigate())
        DuringNavigate()(*this, url);
}

void FakeEngine::GoBack()
{
    log.push_back("GoBack()");
}
void FakeEngine::GoForward()
{
    log.push_back("GoForward()");
}
void FakeEngine::Refresh()
{
    log.push_back("Refresh()");
}
void FakeEngine::Stop()
{
    log.push_back("Stop()");
}

void FakeEngine::ExecWB(int cmdID, int cmdexecopt, const QVariant &in, QVariant *out)
{
    std::string entry = "ExecWB(" + std::to_string(cmdID) + "," + std::to_string(cmdexecopt);
    if (in.isValid())
        entry += "," + in.toString().toStdString();
    log.push_back(entry + ")");
    if (!failExecWB_.empty()) {
        std::string message;
        message.swap(failExecWB_);
        throw std::runtime_error(message);
    }
    switch (cmdID) {
    case OLECMDID_ZOOM:
        if (in.isValid()) {
            const int level = in.toInt();
            if (level < 0 || level > 4)
                throw std::runtime_error("zoom level out of range");
            zoom = level;
        }
        if (out)
            *out = zoom;
        break;
    case OLECMDID_SAVEAS:
    case OLECMDID_COPY:
    case OLECMDID_SELECTALL:
        break;
    default:
        throw std::runtime_error("unsupported command " + std::to_string(cmdID));
    }
}

QString FakeEngine::EngineName() const
{
    return kind_ == EngineKind::InternetExplorer ? QStringLiteral("FakeIE 1.0")
                                                 : QStringLiteral("FakeGecko 1.0");
}

void FakeEngine::Find(const FindRequest &request)
{
    log.push_back("Find(" + request.text.toStdString() + (request.backward ? ",back" : "") +
                  (request.matchCase ? ",case" : "") + ")");
}

void FakeEngine::Print(const PrintRequest &request)
{
    log.push_back("Print(" + request.printerName.toStdString() + "," + request.outputFile.toStdString() +
                  ")");
}

bool FakeEngine::Called(const std::string &entry) const
{
    return std::find(log.begin(), log.end(), entry) != log.end();
}

int FakeEngine::CountOf(const std::string &prefix) const
{
    return static_cast<int>(std::count_if(log.begin(), log.end(), [&](const std::string &e) {
        return e.compare(0, prefix.size(), prefix) == 0;
    }));
}

void FakeEngine::RaiseStatus(const QString &text)
{
    if (sink_)
        sink_->OnStatusTextChange(text);
}

void FakeEngine::RaiseProgress(int progress, int progressMax)
{
    if (sink_)
        sink_->OnProgressChange(progress, progressMax);
}

void FakeEngine::RaiseCommandState(int command, bool enable)
{
    if (sink_)
        sink_->OnCommandStateChange(command, enable);
}

void FakeEngine::RaiseTitle(const QString &title)
{
    if (sink_)
        sink_->OnTitleChange(title);
}

bool FakeEngine::RaiseNewWindow(WebBrowser2 *&ppDisp)
{
    bool cancel = false;
    ppDisp = nullptr;
    if (sink_)
        sink_->OnNewWindow2(ppDisp, cancel);
    return cancel;
}

bool FakeEngine::RaiseBeforeNavigate(const QString &url)
{
    bool cancel = false;
    if (sink_)
        sink_->OnBeforeNavigate2(url, cancel);
    return cancel;
}

std::function<void(FakeEngine &, const QString &url)> &DuringNavigate()
{
    static std::function<void(FakeEngine &, const QString &)> hook;
    return hook;
}

std::vector<CreatedFake> &CreatedFakes()
{
    return Registry();
}

std::vector<CreatedFake> &InstallFakeEngines()
{
    Registry().clear();
    failCreate[0] = failCreate[1] = false;
    DuringNavigate() = nullptr;
    SetEngineFactoryForTesting([](EngineKind kind, QWidget *parent) -> WebBrowser2 * {
        if (failCreate[KindIndex(kind)]) {
            failCreate[KindIndex(kind)] = false;
            const char *file = kind == EngineKind::InternetExplorer ? "iexplore.so" : "mozctl.so";
            throw Error(std::string("エンジン モジュール ") + file + " が見つかりません");
        }
        auto *fake = new FakeEngine(parent, kind);
        Registry().push_back({fake, kind, parent});
        return fake;
    });
    return Registry();
}

void RemoveFakeEngines()
{
    SetEngineFactoryForTesting(nullptr);
    failCreate[0] = failCreate[1] = false;
}

std::vector<FakeEngine *> LiveFakes(EngineKind kind)
{
    std::vector<FakeEngine *> live;
    for (const CreatedFake &fake : Registry())
        if (fake.engine && fake.kind == kind)
            live.push_back(fake.engine);
    return live;
}

void FailNextCreate(EngineKind kind, bool fail)
{
    failCreate[KindIndex(kind)] = fail;
}

} // namespace orvex::test
