#include "bookmarks/EditWebList.h"

#include "core/LineList.h"
#include "platform/Look.h"
#include "platform/UiServices.h"

#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>

namespace orvex {

Tfrm_WebList *frm_WebList = nullptr;

namespace {

const char *const kListFilter = "WebListFile(*.wlf)|*.wlf|その他(*.*)|*.*";

QPushButton *MakeButton(QWidget *parent, const char *caption, int top)
{
    auto *button = new QPushButton(QString::fromUtf8(caption), parent);
    button->setGeometry(312, top, 81, 17);
    button->setAutoDefault(false);
    return button;
}

} // namespace

Tfrm_WebList::Tfrm_WebList(WebListHost &host, const std::string &dataFolder, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      host_(host), listDir_(ToQ(dataFolder) + QStringLiteral("WebList"))
{
    setWindowTitle(QStringLiteral("WebListの編集"));
    UseFormFont(this);
    setGeometry(342, 231, 403, 216);
    setFixedSize(403, 216);

    Label1 = new QLabel(QStringLiteral("名前："), this);
    Label1->move(8, 8);
    Label1->adjustSize();
    lblName = new QLabel(this);
    lblName->setGeometry(40, 8, 265, 14);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setGeometry(8, 24, 297, 185);
    // An address is one line; wrapping would make it look like two.
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);

    btnLoad = MakeButton(this, "読み込み", 120);
    btnSave = MakeButton(this, "上書き保存", 144);
    btnSaveAs = MakeButton(this, "別名で保存", 168);
    btnClose = MakeButton(this, "閉じる", 192);

    connect(btnLoad, &QPushButton::clicked, this, Guard([this] { btnLoadClick(); }));
    connect(btnSave, &QPushButton::clicked, this, Guard([this] { btnSaveClick(); }));
    connect(btnSaveAs, &QPushButton::clicked, this, Guard([this] { btnSaveAsClick(); }));
    connect(btnClose, &QPushButton::clicked, this, Guard([this] { btnCloseClick(); }));

    FormCreate();
}

void Tfrm_WebList::FormCreate()
{
    lblName->clear();
}

void Tfrm_WebList::btnLoadClick()
{
    FileDialogRequest request;
    request.filter = QString::fromUtf8(kListFilter);
    request.initialDir = listDir_;
    const std::optional<QString> picked = Ui().OpenFile(this, request);
    if (!picked)
        return;
    // Read first: an unreadable file throws and leaves memo and name alone.
    const std::vector<std::string> lines = LoadLineList(FromQ(*picked));
    QStringList text;
    for (const std::string &line : lines)
        text << ToQ(line);
    Memo1->setPlainText(text.join('\n'));
    lblName->setText(QFileInfo(*picked).fileName());
    currentFile_ = *picked;
}

void Tfrm_WebList::btnSaveClick()
{
    if (currentFile_.isEmpty()) {
        btnSaveAsClick();
        return;
    }
    SaveTo(currentFile_);
}

void Tfrm_WebList::btnSaveAsClick()
{
    FileDialogRequest request;
    request.filter = QString::fromUtf8(kListFilter);
    request.initialDir = listDir_;
    request.fileName = QStringLiteral("*.wlf");
    std::optional<QString> picked = Ui().SaveFile(this, request);
    if (!picked)
        return;
    // A name given without an extension becomes a web list file; the menu
    // lists every file but shows each without its extension.
    if (QFileInfo(*picked).suffix().isEmpty())
        *picked += QStringLiteral(".wlf");
    SaveTo(*picked);
}

void Tfrm_WebList::btnCloseClick()
{
    host_.EnumFiles(FromQ(listDir_));
    hide();
}

QString Tfrm_WebList::MemoTextForFile() const
{
    // The raw text keeps non-breaking spaces that toPlainText() would turn
    // into plain spaces; its paragraph separators are the typed line breaks.
    QString text = Memo1->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, '\n');
    text.replace(QChar::LineSeparator, '\n');
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace('\r', '\n');
    text.replace('\n', QStringLiteral("\r\n"));
    return text;
}

void Tfrm_WebList::SaveTo(const QString &path)
{
    SaveTextFile(FromQ(path), FromQ(MemoTextForFile()));
    lblName->setText(QFileInfo(path).fileName());
    currentFile_ = path;
}

} // namespace orvex
