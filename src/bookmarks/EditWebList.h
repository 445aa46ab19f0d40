// The web list editor: a small window that loads a web list file into a
// memo, writes the memo back under the same or another name, and on "閉じる"
// has the main window rebuild its web list menu from the web list folder.
// Created once at start-up and only shown and hidden afterwards.
#pragma once

#include <QDialog>
#include <QString>
#include <string>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace orvex {

// What "閉じる" asks of the main window: the web list menu rebuilt from the
// folder.
class WebListHost {
public:
    virtual ~WebListHost() = default;
    virtual void EnumFiles(const std::string &folder) = 0;
};

class Tfrm_WebList : public QDialog {
    Q_OBJECT
public:
    // `dataFolder`: the folder holding "WebList", with its trailing "/".
    Tfrm_WebList(WebListHost &host, const std::string &dataFolder, QWidget *parent = nullptr);

    QLabel *Label1 = nullptr;
    QLabel *lblName = nullptr;
    QPlainTextEdit *Memo1 = nullptr;
    QPushButton *btnLoad = nullptr;
    QPushButton *btnSave = nullptr;
    QPushButton *btnSaveAs = nullptr;
    QPushButton *btnClose = nullptr;

    void FormCreate();
    void btnLoadClick();   // "読み込み"
    void btnSaveClick();   // "上書き保存"
    void btnSaveAsClick(); // "別名で保存"
    void btnCloseClick();  // "閉じる"

    // The memo's text as it goes to disk: lines joined by CR LF, none after
    // the last line.
    QString MemoTextForFile() const;

private:
    // Writes the memo to `path`; on success it becomes the current file.
    void SaveTo(const QString &path);

    WebListHost &host_;
    QString listDir_;     // the data folder + "WebList", no trailing separator
    QString currentFile_; // what "上書き保存" writes to; empty until a file is loaded or saved
};

// The one web list editor, created by the program entry after the other forms.
extern Tfrm_WebList *frm_WebList;

} // namespace orvex
