#include "platform/UiServices.h"

#include "platform/Errors.h"
#include "platform/FileProblems.h"

#include <QApplication>
#include <QClipboard>
#include <QColorDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

namespace orvex {

QString ToQ(const std::string &utf8)
{
    return QString::fromStdString(utf8);
}
std::string FromQ(const QString &text)
{
    return text.toStdString();
}

QString QtFilter(const QString &designFilter)
{
    const QStringList parts = designFilter.split('|');
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(';', ' ');
        filters << QStringLiteral("%1 (%2)").arg(parts[i], patterns);
    }
    return filters.join(QStringLiteral(";;"));
}

namespace {

// The real services: Qt's own dialogs and the system clipboard.
class WidgetUiServices : public UiServices {
public:
    void ShowMessage(QWidget *parent, const QString &title, const QString &text, MessageIcon icon) override
    {
        QMessageBox::Icon qicon = icon == MessageIcon::Stop      ? QMessageBox::Critical
                                  : icon == MessageIcon::Warning ? QMessageBox::Warning
                                                                 : QMessageBox::Information;
        QMessageBox box(qicon, title, text, QMessageBox::Ok, parent);
        box.exec();
    }

    bool AskYesNo(QWidget *parent, const QString &title, const QString &text) override
    {
        QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, parent);
        QPushButton *yes = box.addButton(QStringLiteral("はい"), QMessageBox::YesRole);
        QPushButton *no = box.addButton(QStringLiteral("いいえ"), QMessageBox::NoRole);
        box.setDefaultButton(no);
        box.setEscapeButton(no);
        box.exec();
        return box.clickedButton() == yes;
    }

    QString InputBox(QWidget *parent, const QString &caption, const QString &prompt,
                     const QString &initial) override
    {
        bool ok = false;
        QString text = QInputDialog::getText(parent, caption, prompt, QLineEdit::Normal, initial, &ok);
        return ok ? text : initial;
    }

    std::optional<QString> OpenFile(QWidget *parent, const FileDialogRequest &request) override
    {
        QString start = request.initialDir;
        if (!request.fileName.isEmpty())
            start =
                request.initialDir.isEmpty() ? request.fileName : request.initialDir + '/' + request.fileName;
        QString path = QFileDialog::getOpenFileName(parent, request.title, start, QtFilter(request.filter));
        if (path.isEmpty())
            return std::nullopt;
        return path;
    }

    std::optional<QString> SaveFile(QWidget *parent, const FileDialogRequest &request) override
    {
        QFileDialog dialog(parent, request.title, request.initialDir, QtFilter(request.filter));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QString()); // no extension is added to a typed name
        if (!request.fileName.isEmpty())
            dialog.selectFile(request.fileName);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        return dialog.selectedFiles().first();
    }

    std::optional<uint32_t> ChooseColor(QWidget *parent, uint32_t initial) override
    {
        QColor start(initial & 0xFF, (initial >> 8) & 0xFF, (initial >> 16) & 0xFF);
        QColor chosen = QColorDialog::getColor(start, parent);
        if (!chosen.isValid())
            return std::nullopt;
        return static_cast<uint32_t>(chosen.red()) | (static_cast<uint32_t>(chosen.green()) << 8) |
               (static_cast<uint32_t>(chosen.blue()) << 16);
    }

    QString ClipboardText() override { return QApplication::clipboard()->text(); }

    void Beep() override { QApplication::beep(); }
};

WidgetUiServices realServices;
UiServices *current = &realServices;

// Problems with the program's files are shown as they are found, through
// the services in use.
[[maybe_unused]] const bool kFileProblemsShown = [] {
    SetFileProblemSink([](const std::string &message) {
        Ui().ShowMessage(QApplication::activeWindow(), QStringLiteral("Orvex"), ToQ(ErrorBoxText(message)),
                         MessageIcon::Warning);
    });
    return true;
}();

} // namespace

UiServices &Ui()
{
    return *current;
}

void SetUiServices(UiServices *services)
{
    current = services ? services : &realServices;
}

void ShowErrorBox(const QString &message)
{
    QWidget *parent = QApplication::activeWindow();
    Ui().ShowMessage(parent, QStringLiteral("Orvex"), ToQ(ErrorBoxText(FromQ(message))), MessageIcon::Stop);
}

void ShowErrorBox(const std::exception &error)
{
    ShowErrorBox(QString::fromUtf8(error.what()));
}

bool Guarded(const std::function<void()> &handler)
{
    try {
        handler();
        return true;
    } catch (const std::exception &e) {
        ShowErrorBox(e);
    } catch (...) {
        ShowErrorBox(QStringLiteral("不明なエラー"));
    }
    return false;
}

} // namespace orvex
