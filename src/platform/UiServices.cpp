#include "platform/UiServices.h"

#include "core/Errors.h"
#include "core/FileProblems.h"
#include "platform/UiTexts.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QColorDialog>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
#include <utility>

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

QString Text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

// A label for text that comes from a page or a server: never rich text.
QLabel *PlainLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}

// OK and Cancel under the dialog's contents, at least `width` wide.
void AddOkCancel(QDialog &dialog, QVBoxLayout *layout, int width)
{
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    dialog.setMinimumWidth(width);
}

PageMessageAnswer ShowPrompt(QWidget *parent, const PageMessage &message)
{
    QDialog dialog(parent);
    dialog.setWindowTitle(message.title);
    auto *layout = new QVBoxLayout(&dialog);
    layout->addWidget(PlainLabel(message.text, &dialog));
    auto *edit = new QLineEdit(message.defaultText, &dialog);
    layout->addWidget(edit);
    QCheckBox *stop = nullptr;
    if (message.offerStop) {
        stop = new QCheckBox(Text(txt::StopPageDialogs), &dialog);
        layout->addWidget(stop);
    }
    AddOkCancel(dialog, layout, 360);
    edit->selectAll();
    edit->setFocus();

    PageMessageAnswer answer;
    answer.accepted = dialog.exec() == QDialog::Accepted;
    if (answer.accepted)
        answer.text = edit->text();
    answer.stopFurther = stop && stop->isChecked();
    return answer;
}

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

    PageMessageAnswer ShowPageMessage(QWidget *parent, const PageMessage &message) override
    {
        if (message.kind == PageMessageKind::Prompt)
            return ShowPrompt(parent, message);
        QMessageBox box(parent);
        box.setWindowTitle(message.title);
        box.setTextFormat(Qt::PlainText);
        QAbstractButton *accept = nullptr;
        switch (message.kind) {
        case PageMessageKind::Alert:
            box.setIcon(QMessageBox::Information);
            box.setText(message.text);
            accept = box.addButton(QMessageBox::Ok);
            box.setEscapeButton(accept);
            break;
        case PageMessageKind::Confirm:
            box.setIcon(QMessageBox::Question);
            box.setText(message.text);
            accept = box.addButton(QMessageBox::Ok);
            box.setEscapeButton(box.addButton(QMessageBox::Cancel));
            box.setDefaultButton(static_cast<QPushButton *>(accept));
            break;
        case PageMessageKind::Prompt: // shown above
            break;
        case PageMessageKind::LeavePage: {
            box.setIcon(QMessageBox::Question);
            box.setText(message.text.isEmpty() ? Text(txt::LeavePageText) : message.text);
            accept = box.addButton(Text(txt::LeavePage), QMessageBox::AcceptRole);
            QPushButton *stay = box.addButton(Text(txt::StayOnPage), QMessageBox::RejectRole);
            box.setDefaultButton(stay);
            box.setEscapeButton(stay);
            break;
        }
        }
        QCheckBox *stop = nullptr;
        if (message.offerStop) {
            stop = new QCheckBox(Text(txt::StopPageDialogs), &box);
            box.setCheckBox(stop);
        }
        box.exec();
        PageMessageAnswer answer;
        answer.accepted = box.clickedButton() == accept;
        answer.stopFurther = stop && stop->isChecked();
        return answer;
    }

    std::optional<Credentials> SignIn(QWidget *parent, const SignInRequest &request) override
    {
        QDialog dialog(parent);
        dialog.setWindowTitle(Text(txt::SignInTitle));
        auto *layout = new QVBoxLayout(&dialog);
        layout->addWidget(PlainLabel(
            Text(request.proxy ? txt::SignInProxy : txt::SignInServer).arg(request.host), &dialog));
        if (!request.realm.isEmpty())
            layout->addWidget(PlainLabel(Text(txt::SignInRealm).arg(request.realm), &dialog));
        auto *form = new QFormLayout;
        auto *user = new QLineEdit(&dialog);
        auto *password = new QLineEdit(&dialog);
        password->setEchoMode(QLineEdit::Password);
        form->addRow(Text(txt::UserName), user);
        form->addRow(Text(txt::Password), password);
        layout->addLayout(form);
        AddOkCancel(dialog, layout, 380);
        user->setFocus();
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return Credentials{user->text(), password->text()};
    }

    bool Ask(QWidget *parent, const Question &question) override
    {
        QMessageBox box(parent);
        box.setIcon(question.icon == MessageIcon::Stop          ? QMessageBox::Critical
                    : question.icon == MessageIcon::Information ? QMessageBox::Question
                                                                : QMessageBox::Warning);
        box.setWindowTitle(question.title);
        box.setTextFormat(Qt::PlainText);
        box.setText(question.text);
        box.setInformativeText(question.detail);
        QPushButton *accept = box.addButton(question.acceptCaption, QMessageBox::AcceptRole);
        QPushButton *refuse = box.addButton(question.refuseCaption, QMessageBox::RejectRole);
        box.setDefaultButton(refuse);
        box.setEscapeButton(refuse);
        if (!question.checkCaption.isEmpty())
            box.setCheckBox(new QCheckBox(question.checkCaption, &box));
        box.exec();
        if (question.checked && box.checkBox())
            *question.checked = box.checkBox()->isChecked();
        return box.clickedButton() == accept;
    }

    QStringList OpenFiles(QWidget *parent, const FileDialogRequest &request) override
    {
        return QFileDialog::getOpenFileNames(parent, request.title, request.initialDir,
                                             QtFilter(request.filter));
    }

    std::optional<PrintChoice> ChoosePrinter(QWidget *parent, const QString &documentName) override
    {
        QPrinter printer(QPrinter::HighResolution);
        printer.setDocName(documentName);
        QPrintDialog dialog(&printer, parent);
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        PrintChoice choice;
        if (printer.outputFormat() == QPrinter::PdfFormat || !printer.outputFileName().isEmpty())
            choice.outputFile = printer.outputFileName();
        else
            choice.printerName = printer.printerName();
        choice.landscape = printer.pageLayout().orientation() == QPageLayout::Landscape;
        choice.copies = printer.copyCount();
        return choice;
    }

    void OpenFolder(const QString &path) override { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); }
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

namespace {
bool g_holdingErrors = false;
QStringList &HeldErrors()
{
    static QStringList held;
    return held;
}
} // namespace

void HoldErrorBoxes()
{
    g_holdingErrors = true;
}

void ReleaseErrorBoxes()
{
    g_holdingErrors = false;
    const QStringList held = std::exchange(HeldErrors(), {});
    for (const QString &message : held)
        ShowErrorBox(message);
}

void ShowErrorBox(const QString &message)
{
    if (g_holdingErrors) {
        HeldErrors() << message;
        return;
    }
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
