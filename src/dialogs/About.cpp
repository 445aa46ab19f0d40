#include "dialogs/About.h"

#include "core/ColorText.h"
#include "core/FileIO.h"
#include "core/ProgramFolder.h"
#include "core/Settings.h"
#include "platform/Look.h"
#include "platform/UiServices.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

namespace orvex {

namespace {

QLabel *MakeLabel(const QString &text, QWidget *parent, int left, int top)
{
    auto *label = new QLabel(text, parent);
    label->move(left, top);
    label->adjustSize();
    return label;
}

const QString kVersionPrefix = QStringLiteral("Version：");
const QString kDataFolderPrefix = QStringLiteral("保存先：");

// Where the settings, lists and bookmarks are kept, shortened in the middle
// to the panel's width; the whole path is in the tool tip.
QLabel *MakeDataFolderLabel(const std::string &folder, QWidget *panel)
{
    const QString path = ToQ(folder);
    auto *label = new QLabel(panel);
    label->setObjectName(QStringLiteral("lblDataFolder"));
    label->move(11, 112);
    const int room = panel->width() - 11 - 8 - label->fontMetrics().horizontalAdvance(kDataFolderPrefix);
    label->setText(kDataFolderPrefix + label->fontMetrics().elidedText(path, Qt::ElideMiddle, room));
    label->setToolTip(path);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->adjustSize();
    return label;
}

} // namespace

TAboutBox::TAboutBox(const std::string &dataFolder, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("バージョン情報"));
    UseFormFont(this);
    setFixedSize(274, 180);
    // The form's colour, against which the lowered panel shows.
    PaintBackground(this, clBtnFace);
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }

    Panel1 = new QFrame(this);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setGeometry(8, 8, 257, 129);

    // The picture frame holds no picture yet, only its placeholder text.
    Bevel1 = new QFrame(Panel1);
    Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Bevel1->setGeometry(11, 38, 48, 48);
    Label1 = MakeLabel(QStringLiteral("未定"), Panel1, 24, 56);

    ProductName = MakeLabel(QStringLiteral("Orvex"), Panel1, 88, 16);
    Version = MakeLabel(kVersionPrefix + QStringLiteral("1.0β7"), Panel1, 104, 32);
    Label2 = MakeLabel(QStringLiteral("Internet Explorer"), Panel1, 88, 48);
    Label3 = MakeLabel(QStringLiteral("Label3"), Panel1, 104, 64);
    Label4 = MakeLabel(QString::fromUtf8(GeckoModuleName), Panel1, 88, 80);
    Label5 = MakeLabel(QStringLiteral("Label5"), Panel1, 104, 96);
    const std::pair<QLabel *, const char *> names[] = {
        {Label1, "Label1"}, {ProductName, "ProductName"}, {Version, "Version"}, {Label2, "Label2"},
        {Label3, "Label3"}, {Label4, "Label4"},           {Label5, "Label5"},
    };
    for (const auto &[label, name] : names)
        label->setObjectName(QString::fromLatin1(name));

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setGeometry(96, 146, 65, 23);
    OKButton->setDefault(true);
    OKButton->setAutoDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
    setFocusProxy(OKButton);
    OKButton->setFocus();

    FormCreate(dataFolder);
}

// Fills the engine lines. An error stops the remaining steps and is shown in
// the standard error box; lines not reached keep their designed texts.
void TAboutBox::FormCreate(const std::string &dataFolder)
{
    dataFolder_ = dataFolder;
    lblDataFolder = MakeDataFolderLabel(dataFolder, Panel1);
    Guarded([&] {
        // The "Internet Explorer" engine is the module beside the program.
        OtVersInfo1.SetFileName(ProgramFolder() + "iexplore.so");
        Label3->setText(kVersionPrefix + ToQ(OtVersInfo1.Value(TOtVersInfo::FileVersion)));
        Label3->adjustSize();
        ShowGeckoModule();
    });
}

void TAboutBox::ShowGeckoModule()
{
    // Found where the engine loader finds it: the Gecko folder, then
    // beside the program.
    const std::string mozName = FindGeckoModule(SettingsFile(dataFolder_ + "config.ini").Read(keys::MozPath));
    if (!mozName.empty()) {
        OtVersInfo2 = TOtVersInfo(); // a reader reads its file once
        OtVersInfo2.SetFileName(mozName);
        Label5->setText(kVersionPrefix + ToQ(OtVersInfo2.Value(TOtVersInfo::FileVersion)));
    } else {
        Label5->setText(QStringLiteral("未導入"));
    }
    Label5->adjustSize();
}

void TAboutBox::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // A line that failed at creation stays as it was; the others follow the
    // module as it is now.
    if (Label3->text() != QStringLiteral("Label3") && !event->spontaneous())
        Guarded([this] { ShowGeckoModule(); });
}

} // namespace orvex
