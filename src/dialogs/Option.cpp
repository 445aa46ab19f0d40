#include "dialogs/Option.h"

#include "core/ColorText.h"
#include "core/Errors.h"
#include "core/FileIO.h"
#include "core/FileProblems.h"
#include "core/LineList.h"
#include "core/ProfileFile.h"
#include "core/ProgramFolder.h"
#include "core/Settings.h"
#include "dialogs/SHBFFEX.h"
#include "platform/Look.h"
#include "platform/UiServices.h"
#include "platform/UiTexts.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QToolButton>
#include <QTreeWidget>

namespace orvex {

namespace {

const char *const kWebListFilter = "WebListFile(*.wlf)|*.wlf|その他(*.*)|*.*";

// The browse buttons show the folder picture, 16 by 15 pixels.
QToolButton *MakeBrowseButton(QWidget *parent, int left, int top)
{
    auto *button = new QToolButton(parent);
    button->setIcon(PaintPicture(Picture::Folder));
    button->setIconSize(QSize(16, 15));
    button->setGeometry(left, top, 20, 18);
    return button;
}

template <typename T> T *Place(T *widget, int left, int top)
{
    widget->move(left, top);
    widget->adjustSize();
    return widget;
}

template <typename T> T *Place(T *widget, int left, int top, int width, int height)
{
    widget->setGeometry(left, top, width, height);
    return widget;
}

// Integer text as the OK button converts it: the lenient integer form, else
// the conversion error with the text itself.
int32_t StrToInt(const QString &text)
{
    const std::optional<int32_t> value = ParseLenientInt(FromQ(text));
    if (!value)
        throw Error(FormatMessage(msg::NotAnInteger, FromQ(text)));
    return *value;
}

} // namespace

// ---- ColorSwatch ------------------------------------------------------------

ColorSwatch::ColorSwatch(QWidget *parent) : QFrame(parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    setCursor(Qt::PointingHandCursor);
    SetColor(0);
}

void ColorSwatch::SetColor(uint32_t color)
{
    color_ = color;
    PaintBackground(this, color);
}

void ColorSwatch::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->pos()))
        emit clicked();
    QFrame::mouseReleaseEvent(event);
}

// ---- UpDown -------------------------------------------------------------------

UpDown::UpDown(QWidget *parent, QLineEdit *associate, int minimum, int maximum)
    : QWidget(parent), associate_(associate), minimum_(minimum), maximum_(maximum)
{
    // Beside the edit, as tall as it.
    const QRect edit = associate->geometry();
    setGeometry(edit.right() + 1, edit.top(), 15, edit.height());
    up_ = new QToolButton(this);
    up_->setArrowType(Qt::UpArrow);
    up_->setGeometry(0, 0, 15, edit.height() / 2);
    up_->setAutoRepeat(true);
    down_ = new QToolButton(this);
    down_->setArrowType(Qt::DownArrow);
    down_->setGeometry(0, edit.height() / 2, 15, edit.height() - edit.height() / 2);
    down_->setAutoRepeat(true);
    connect(up_, &QToolButton::clicked, this, Guard([this] { Step(1); }));
    connect(down_, &QToolButton::clicked, this, Guard([this] { Step(-1); }));
    SetPosition(minimum);
}

void UpDown::SetPosition(int position)
{
    position_ = std::clamp(position, minimum_, maximum_);
    associate_->setText(QString::number(position_));
}

void UpDown::Step(int delta)
{
    // A number typed into the edit is where the step starts.
    if (const std::optional<int32_t> typed = ParseLenientInt(FromQ(associate_->text())))
        position_ = std::clamp<int>(*typed, minimum_, maximum_);
    SetPosition(position_ + delta);
}

// ---- Tfrm_Option ----------------------------------------------------------------

Tfrm_Option::Tfrm_Option(OptionHost &host, const std::string &dataFolder, QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      AppDir(dataFolder), host_(host)
{
    setObjectName(QStringLiteral("frm_Option"));
    setWindowTitle(QStringLiteral("オプション"));
    UseFormFont(this);
    // 495 by 284 outside; this is the client area within the tool-window frame.
    move(250, 174);
    resize(487, 258);
    PaintBackground(this, clBtnFace);

    TreeView1 = Place(new QTreeWidget(this), 8, 8, 113, 201);
    TreeView1->setHeaderHidden(true);
    TreeView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TreeView1->setIndentation(14);
    auto *general = new QTreeWidgetItem(TreeView1, {QStringLiteral("全般")});
    auto *window = new QTreeWidgetItem(TreeView1, {QStringLiteral("ウィンドウ")});
    new QTreeWidgetItem(window, {QStringLiteral("タブ")});
    new QTreeWidgetItem(TreeView1, {QStringLiteral("広告抑止")});
    new QTreeWidgetItem(TreeView1, {QStringLiteral("スタートアップ")});
    new QTreeWidgetItem(TreeView1, {QString::fromUtf8(txt::OptionExtPage)});
    Q_UNUSED(general);

    Panel1 = Place(new QFrame(this), 136, 8, 337, 209);
    Panel1->setFrameStyle(QFrame::Box | QFrame::Plain);
    // Pages without headers: only the tree chooses them.
    PageCTL = Place(new QStackedWidget(Panel1), 4, 4, 325, 197);

    Button1 = Place(new QPushButton(QStringLiteral("OK"), this), 336, 226, 65, 23);
    Button2 = Place(new QPushButton(QStringLiteral("キャンセル"), this), 414, 226, 59, 23);
    // Neither is the default or cancel button: Enter and Esc press neither.
    for (QPushButton *button : {Button1, Button2}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    BuildPages();

    selectFolder = new TSHBrowseForFolderEx(this);
    selectFolder->Caption = QStringLiteral("Mozillaのあるフォルダを選択してください。");

    connect(TreeView1, &QTreeWidget::currentItemChanged, this,
            Guard([this](QTreeWidgetItem *current) { TreeView1Change(current); }));
    const std::pair<QAbstractButton *, void (Tfrm_Option::*)()> clicks[] = {
        {chkMoz, &Tfrm_Option::chkMozClick},       {chkTabSize, &Tfrm_Option::chkTabSizeClick},
        {chkTabLen, &Tfrm_Option::chkTabLenClick}, {radNone, &Tfrm_Option::radNoneClick},
        {radURL, &Tfrm_Option::radURLClick},       {radWebList, &Tfrm_Option::radWebListClick},
        {BitBtn1, &Tfrm_Option::BitBtn1Click},     {BitBtn2, &Tfrm_Option::BitBtn2Click},
        {Button1, &Tfrm_Option::Button1Click},     {Button2, &Tfrm_Option::Button2Click},
    };
    for (const auto &[control, handler] : clicks)
        connect(control, &QAbstractButton::clicked, this, Guard([this, h = handler] { (this->*h)(); }));
    for (ColorSwatch *swatch : {ChColor1, BGColor1, ChColor2, BGColor2})
        connect(swatch, &ColorSwatch::clicked, this, Guard([this, swatch] { ColorClick(swatch); }));

    FormCreate();
}

void Tfrm_Option::BuildPages()
{
    for (QWidget **page : {&TabSheet1, &TabSheet2, &TabSheet3, &TabSheet4, &TabSheet5}) {
        *page = new QWidget(PageCTL);
        PageCTL->addWidget(*page);
    }
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
    TabSheet3->setObjectName(QStringLiteral("TabSheet3"));
    TabSheet4->setObjectName(QStringLiteral("TabSheet4"));
    TabSheet5->setObjectName(QStringLiteral("TabSheet5"));

    // 全般
    chkMoz = Place(new QCheckBox(QStringLiteral("Geckoを使用する"), TabSheet1), 0, 2, 129, 17);
    txtMozPath = Place(new QLineEdit(TabSheet1), 8, 23, 249, 20);
    BitBtn1 = MakeBrowseButton(TabSheet1, 256, 23);

    // ウィンドウ
    Label1 = Place(new QLabel(QStringLiteral("自動的に新規ウインドウで開く"), TabSheet2), 0, 0);
    chkWin1 = Place(new QCheckBox(QStringLiteral("ブックマーク"), TabSheet2), 24, 24);
    chkWin2 = Place(new QCheckBox(QStringLiteral("アドレスバー"), TabSheet2), 24, 48);
    chkActive3 =
        Place(new QCheckBox(QStringLiteral("新しいウィンドウをアクティブにする"), TabSheet2), 24, 72);

    // 広告抑止
    chkPop = Place(new QCheckBox(QStringLiteral("Pop広告を削除"), TabSheet3), 0, 8);
    PopList = Place(new QPlainTextEdit(TabSheet3), 0, 40, 316, 121);
    PopList->setLineWrapMode(QPlainTextEdit::NoWrap);
    PopList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    PopList->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Addresses are typed with the input method closed.
    PopList->setAttribute(Qt::WA_InputMethodEnabled, false);

    BuildTabPage();
    BuildExtPage();

    // スタートアップ
    radNone = Place(new QRadioButton(QStringLiteral("何も開かない"), TabSheet5), 24, 0);
    radURL = Place(new QRadioButton(QStringLiteral("指定したURL"), TabSheet5), 24, 24);
    radWebList = Place(new QRadioButton(QStringLiteral("指定したWebList"), TabSheet5), 24, 48);
    txtStartPath = Place(new QLineEdit(TabSheet5), 24, 80, 241, 20);
    BitBtn2 = MakeBrowseButton(TabSheet5, 264, 81);

    for (QLineEdit *edit : {txtMozPath, txtTabSize, txtTabLen, txtStartPath})
        SetFieldEnabled(edit, true);
    // The page shown until the tree chooses one.
    PageCTL->setCurrentWidget(TabSheet5);
}

void Tfrm_Option::BuildExtPage()
{
    TabSheet6 = new QWidget(PageCTL);
    TabSheet6->setObjectName(QStringLiteral("TabSheet6"));
    PageCTL->addWidget(TabSheet6);
    Place(new QLabel(QString::fromUtf8(txt::SearchURLLabel), TabSheet6), 0, 2);
    txtSearchURL = Place(new QLineEdit(TabSheet6), 8, 20, 300, 20);
    chkRestoreSession = Place(new QCheckBox(QString::fromUtf8(txt::RestoreSessionOption), TabSheet6), 0, 48);
    chkConfirmQuit = Place(new QCheckBox(QString::fromUtf8(txt::ConfirmQuitOption), TabSheet6), 0, 68);
    chkHistory = Place(new QCheckBox(QString::fromUtf8(txt::HistoryOption), TabSheet6), 0, 88);
    chkSleep = Place(new QCheckBox(QString::fromUtf8(txt::SleepOption), TabSheet6), 0, 112);

    // The times and the budget, indented under the switch that enables them.
    const auto number = [this](const char *label, const char *unit, int top, int maximum) {
        Place(new QLabel(QString::fromUtf8(label), TabSheet6), 16, top + 3);
        auto *box = Place(new QSpinBox(TabSheet6), 200, top, 100, 20);
        box->setRange(0, maximum);
        box->setSuffix(QString::fromUtf8(unit));
        return box;
    };
    spnSleepFreeze = number(txt::SleepFreezeLabel, txt::SleepFreezeUnit, 132, 86400);
    spnSleepDiscard = number(txt::SleepDiscardLabel, txt::SleepDiscardUnit, 154, 10080);
    spnSleepMemory = number(txt::SleepMemoryLabel, txt::SleepMemoryUnit, 176, 1048576);
    spnSleepFreeze->setMinimum(1); // the policy counts at least one of each
    spnSleepDiscard->setMinimum(1);
    connect(chkSleep, &QCheckBox::toggled, this, Guard([this] { chkSleepClick(); }));
}

void Tfrm_Option::LoadingExt()
{
    const SettingsFile settings(AppDir + "config.ini");
    txtSearchURL->setText(ToQ(settings.Read(keys::SearchURL)));
    chkRestoreSession->setChecked(settings.NonZero(keys::RestoreSession));
    chkConfirmQuit->setChecked(settings.NonZero(keys::ConfirmQuit));
    chkHistory->setChecked(settings.NonZero(keys::ExtHistory));
    chkSleep->setChecked(settings.NonZero(keys::SleepOn));
    spnSleepFreeze->setValue(settings.Read(keys::SleepFreezeSeconds));
    spnSleepDiscard->setValue(settings.Read(keys::SleepDiscardMinutes));
    spnSleepMemory->setValue(settings.Read(keys::SleepMemoryMB));
    chkSleepClick();
    // What the controls show, so that a value the boxes bring into their
    // range is not taken for a change.
    loadedExt_.searchURL = settings.Read(keys::SearchURL);
    loadedExt_.restoreSession = chkRestoreSession->isChecked();
    loadedExt_.confirmQuit = chkConfirmQuit->isChecked();
    loadedExt_.history = chkHistory->isChecked();
    loadedExt_.sleep = chkSleep->isChecked();
    loadedExt_.sleepFreeze = spnSleepFreeze->value();
    loadedExt_.sleepDiscard = spnSleepDiscard->value();
    loadedExt_.sleepMemory = spnSleepMemory->value();
}

void Tfrm_Option::chkSleepClick()
{
    for (QSpinBox *box : {spnSleepFreeze, spnSleepDiscard, spnSleepMemory})
        box->setEnabled(chkSleep->isChecked());
}

void Tfrm_Option::WriteExt()
{
    const SettingsFile settings(AppDir + "config.ini");
    const std::string searchURL = FromQ(txtSearchURL->text().trimmed());
    if (searchURL != loadedExt_.searchURL)
        settings.Write(keys::SearchURL, searchURL.empty() ? keys::SearchURL.defaultValue : searchURL);
    const std::pair<QCheckBox *, std::pair<bool, const IntKey *>> flags[] = {
        {chkRestoreSession, {loadedExt_.restoreSession, &keys::RestoreSession}},
        {chkConfirmQuit, {loadedExt_.confirmQuit, &keys::ConfirmQuit}},
        {chkHistory, {loadedExt_.history, &keys::ExtHistory}},
        {chkSleep, {loadedExt_.sleep, &keys::SleepOn}},
    };
    for (const auto &[box, was] : flags)
        if (box->isChecked() != was.first)
            settings.WriteFlag(*was.second, box->isChecked());
    const std::pair<QSpinBox *, std::pair<int, const IntKey *>> numbers[] = {
        {spnSleepFreeze, {loadedExt_.sleepFreeze, &keys::SleepFreezeSeconds}},
        {spnSleepDiscard, {loadedExt_.sleepDiscard, &keys::SleepDiscardMinutes}},
        {spnSleepMemory, {loadedExt_.sleepMemory, &keys::SleepMemoryMB}},
    };
    for (const auto &[box, was] : numbers)
        if (box->value() != was.first)
            settings.Write(*was.second, box->value());
}

void Tfrm_Option::BuildTabPage()
{
    QWidget *page = TabSheet4;
    chkTabSize = Place(new QCheckBox(QStringLiteral("タブ幅を固定する"), page), 0, 8);
    Label2 = Place(new QLabel(QStringLiteral("最大："), page), 160, 11);
    txtTabSize = Place(new QLineEdit(page), 200, 8, 32, 20);
    UpDown1 = new UpDown(page, txtTabSize, 0, 300);
    chkTabLen = Place(new QCheckBox(QStringLiteral("タブの数を制限する"), page), 0, 41);
    Label3 = Place(new QLabel(QStringLiteral("最大："), page), 160, 43);
    txtTabLen = Place(new QLineEdit(page), 200, 40, 32, 20);
    UpDown2 = new UpDown(page, txtTabLen, 0, 100);

    Label5 = Place(new QLabel(QStringLiteral("タブの種類："), page), 0, 75);
    cmbTabType = Place(new QComboBox(page), 160, 72, 65, 20);
    cmbTabType->setEditable(true);
    cmbTabType->setInsertPolicy(QComboBox::NoInsert); // typed text never becomes an item
    cmbTabType->addItems({QStringLiteral("タブ"), QStringLiteral("ボタン")});

    Label4 = Place(new QLabel(QStringLiteral("文字色"), page), 144, 104);
    Label6 = Place(new QLabel(QStringLiteral("背景色"), page), 224, 104);

    auto makePreview = [page](const QString &text, int top) {
        auto *panel = Place(new QLabel(text, page), 0, top, 121, 17);
        panel->setAlignment(Qt::AlignCenter);
        panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
        panel->setAutoFillBackground(true);
        return panel;
    };
    ColorPanel1 = makePreview(QStringLiteral("アクティブなタブ"), 120);
    ColorPanel2 = makePreview(QStringLiteral("アクティブじゃないタブ"), 144);
    ChColor1 = Place(new ColorSwatch(page), 136, 122, 52, 12);
    BGColor1 = Place(new ColorSwatch(page), 216, 122, 52, 12);
    ChColor2 = Place(new ColorSwatch(page), 136, 144, 52, 14);
    BGColor2 = Place(new ColorSwatch(page), 216, 144, 52, 12);
}

// Creation: program folder, settings, the block list, then the first page.
// An error ends the steps where it happens and is shown; the dialog stays
// usable with what was loaded so far.
void Tfrm_Option::FormCreate()
{
    Guarded([this] {
        Loading();
        LoadingExt();
        popLines_ = LoadLineListShared(AppDir + "CloseURL.txt");
        popListPending_ = true;
        if (isVisible())
            showEvent(nullptr);
        TreeView1->setCurrentItem(TreeView1->topLevelItem(0));
        TreeView1->topLevelItem(1)->setExpanded(true);
    });
}

void Tfrm_Option::showEvent(QShowEvent *event)
{
    if (popListPending_) {
        popListPending_ = false;
        QStringList text;
        text.reserve(static_cast<int>(popLines_->size()));
        for (const std::string &line : *popLines_)
            text << ToQ(line);
        PopList->setPlainText(text.join('\n'));
    }
    if (event != nullptr)
        QWidget::showEvent(event);
}

void Tfrm_Option::Loading()
{
    const SettingsFile settings(AppDir + "config.ini");

    chkMoz->setChecked(settings.Read(keys::Mozilla) != 0);
    chkMozClick();
    txtMozPath->setText(ToQ(settings.Read(keys::MozPath)));

    chkActive3->setChecked(settings.NonZero(keys::NewWindowActive));
    chkWin1->setChecked(settings.NonZero(keys::BookMark));
    chkWin2->setChecked(settings.NonZero(keys::WindowAddressBar));
    chkPop->setChecked(settings.NonZero(keys::CloseURL));

    chkTabSize->setChecked(settings.NonZero(keys::TabFix));
    UpDown1->SetPosition(settings.Read(keys::TabMaxSize));
    chkTabSizeClick();
    chkTabLen->setChecked(settings.NonZero(keys::TabLen));
    UpDown2->SetPosition(settings.Read(keys::TabMaxLen));
    chkTabLenClick();

    const int32_t tabType = settings.Read(keys::TabType);
    cmbTabType->setCurrentIndex(tabType >= 0 && tabType < cmbTabType->count() ? tabType : -1);
    if (cmbTabType->currentIndex() < 0)
        cmbTabType->setEditText(QString());

    ChColor1->SetColor(settings.Color(keys::ActivateChColor));
    BGColor1->SetColor(settings.Color(keys::ActivateBGColor));
    ChColor2->SetColor(settings.Color(keys::DeActivateChColor));
    BGColor2->SetColor(settings.Color(keys::DeActivateBGColor));
    UpdatePreviews();

    StartUpKind = static_cast<uint8_t>(settings.Read(keys::StartUpType) & 0xFF);
    switch (StartUpKind) {
    case 0:
        radNone->setChecked(true);
        radNoneClick();
        break;
    case 1:
        radURL->setChecked(true);
        radURLClick();
        break;
    case 2:
        radWebList->setChecked(true);
        radWebListClick();
        break;
    default:
        break; // no button; the start-up controls stay as designed (enabled)
    }
    txtStartPath->setText(ToQ(settings.Read(keys::StartUpPath)));
}

void Tfrm_Option::UpdatePreviews()
{
    const std::pair<QLabel *, std::pair<ColorSwatch *, ColorSwatch *>> rows[] = {
        {ColorPanel1, {ChColor1, BGColor1}},
        {ColorPanel2, {ChColor2, BGColor2}},
    };
    for (const auto &[panel, swatches] : rows) {
        QPalette pal = panel->palette();
        pal.setColor(QPalette::WindowText, ToQColor(swatches.first->Color()));
        pal.setColor(QPalette::Window, ToQColor(swatches.second->Color()));
        panel->setPalette(pal);
    }
}

// An enabled field is drawn in clCaptionText, a disabled one in clInactiveBorder.
void Tfrm_Option::SetFieldEnabled(QLineEdit *edit, bool enabled)
{
    edit->setEnabled(enabled);
    QPalette pal = edit->palette();
    pal.setColor(QPalette::All, QPalette::Base, ToQColor(enabled ? clCaptionText : clInactiveBorder));
    edit->setPalette(pal);
}

void Tfrm_Option::chkMozClick()
{
    const bool on = chkMoz->isChecked();
    GeckoFlag = on ? 1 : 0;
    SetFieldEnabled(txtMozPath, on);
    BitBtn1->setEnabled(on);
    // At once, and not undone by Cancel.
    host_.SetGeckoItemEnabled(on);
}

void Tfrm_Option::chkTabSizeClick()
{
    UpDown1->setEnabled(chkTabSize->isChecked());
    SetFieldEnabled(txtTabSize, chkTabSize->isChecked());
}

void Tfrm_Option::chkTabLenClick()
{
    UpDown2->setEnabled(chkTabLen->isChecked());
    SetFieldEnabled(txtTabLen, chkTabLen->isChecked());
}

void Tfrm_Option::radNoneClick()
{
    StartUpKind = 0;
    SetFieldEnabled(txtStartPath, false);
    BitBtn2->setEnabled(false);
}

void Tfrm_Option::radURLClick()
{
    StartUpKind = 1;
    SetFieldEnabled(txtStartPath, true);
    BitBtn2->setEnabled(false);
}

void Tfrm_Option::radWebListClick()
{
    StartUpKind = 2;
    SetFieldEnabled(txtStartPath, true);
    BitBtn2->setEnabled(true);
}

void Tfrm_Option::TreeView1Change(QTreeWidgetItem *node)
{
    if (!node)
        return;
    const QString text = node->text(0);
    const std::pair<const char *, QWidget *> pages[] = {
        {"全般", TabSheet1}, {"ウィンドウ", TabSheet2},     {"広告抑止", TabSheet3},
        {"タブ", TabSheet4}, {"スタートアップ", TabSheet5}, {txt::OptionExtPage, TabSheet6},
    };
    for (const auto &[caption, page] : pages)
        if (text == QString::fromUtf8(caption))
            PageCTL->setCurrentWidget(page);
}

void Tfrm_Option::ColorClick(ColorSwatch *swatch)
{
    const std::optional<uint32_t> chosen = Ui().ChooseColor(this, lastChosenColor_);
    if (!chosen)
        return;
    lastChosenColor_ = *chosen;
    swatch->SetColor(*chosen);
    UpdatePreviews();
}

void Tfrm_Option::BitBtn1Click()
{
    if (selectFolder->Execute())
        txtMozPath->setText(selectFolder->FolderPath());
}

void Tfrm_Option::BitBtn2Click()
{
    FileDialogRequest request;
    request.filter = QString::fromUtf8(kWebListFilter);
    request.initialDir = ToQ(AppDir + "WebList");
    if (const std::optional<QString> file = Ui().OpenFile(this, request))
        txtStartPath->setText(*file);
}

// OK: every key in its order, then the tab width and style applied to the
// main window, then the block list. The keys go to config.ini in one save.
// An error stops at its step; what was written before stays written and the
// dialog stays open.
void Tfrm_Option::Button1Click()
{
    // The Gecko engine is taken on only with a folder that holds its module
    // (an empty folder: the module beside the program).
    if (GeckoFlag == 1) {
        const std::string folder = FromQ(txtMozPath->text());
        if (folder.empty() && FindGeckoModule(folder).empty())
            throw Error(FormatMessage(msg::NoGeckoFolder, GeckoModuleName));
        if (!folder.empty() && !FileExists(GeckoModuleIn(folder)))
            throw Error(FormatMessage(FormatMessage(msg::NoGeckoModule, folder), GeckoModuleName));
    }
    const SettingsFile settings(AppDir + "config.ini");
    {
        ProfileBatch batch(settings.Path());
        const auto commit = [&] {
            if (!batch.Commit())
                throw Error(SaveFailedText(msg::CannotWriteSettings, settings.Path()));
        };
        try {
            WriteSettings(settings);
        } catch (const Error &) {
            // A value that does not convert: the keys before it are kept.
            commit();
            throw;
        }
        commit();
    }

    if (settings.One(keys::TabFix))
        host_.ApplyTabWidth(settings.Read(keys::TabMaxSize));
    host_.ApplyTabType(settings.Read(keys::TabType));

    // The block list is written only when it differs from what was read: a
    // list never shown, or shown and left alone, leaves the file untouched.
    if (!popListPending_) {
        const std::vector<std::string> lines = SplitLines(FromQ(PopList->toPlainText()));
        if (!popLines_ || lines != *popLines_)
            SaveLineList(AppDir + "CloseURL.txt", lines);
    }
    close();
}

void Tfrm_Option::WriteSettings(const SettingsFile &settings)
{
    settings.Write(keys::MozPath, FromQ(txtMozPath->text()));
    settings.Write(keys::Mozilla, GeckoFlag);
    settings.WriteFlag(keys::BookMark, chkWin1->isChecked());
    settings.WriteFlag(keys::WindowAddressBar, chkWin2->isChecked());
    settings.WriteFlag(keys::NewWindowActive, chkActive3->isChecked());
    settings.WriteFlag(keys::CloseURL, chkPop->isChecked());
    settings.WriteFlag(keys::TabFix, chkTabSize->isChecked());
    settings.Write(keys::TabMaxSize, StrToInt(txtTabSize->text()));
    settings.WriteFlag(keys::TabLen, chkTabLen->isChecked());
    settings.Write(keys::TabMaxLen, StrToInt(txtTabLen->text()));
    // The item whose text the field holds; typed text that is no item is -1.
    settings.Write(keys::TabType, cmbTabType->findText(cmbTabType->currentText(), Qt::MatchExactly));
    settings.WriteColor(keys::ActivateChColor, ChColor1->Color());
    settings.WriteColor(keys::ActivateBGColor, BGColor1->Color());
    settings.WriteColor(keys::DeActivateChColor, ChColor2->Color());
    settings.WriteColor(keys::DeActivateBGColor, BGColor2->Color());
    settings.Write(keys::StartUpType, StartUpKind);
    settings.Write(keys::StartUpPath, FromQ(txtStartPath->text()));
    WriteExt();
}

void Tfrm_Option::Button2Click()
{
    close();
}

} // namespace orvex
