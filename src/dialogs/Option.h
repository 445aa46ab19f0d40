// The options dialog: edits the sections Option_Main, Option_Window,
// Option_advertisemen, Option_Tab and Option_StartUp of config.ini and the
// pop-up block list CloseURL.txt, and on its page その他 the keys of
// Option_Ext (search, session, history, sleeping windows). Modeless; each
// opening makes a new one, loaded from the file at that moment.
#pragma once

#include <QFrame>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QStackedWidget;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace orvex {

class SettingsFile;
class TSHBrowseForFolderEx;

// What the dialog changes in the main window: the Gecko engine item at once,
// and on OK the tab width and style.
class OptionHost {
public:
    virtual ~OptionHost() = default;
    virtual void SetGeckoItemEnabled(bool enabled) = 0; // the "Gekko" engine item
    virtual void ApplyTabWidth(int width) = 0;          // fixed tab width in pixels
    virtual void ApplyTabType(int tabType) = 0;         // 0: tabs at the bottom; else buttons at the top
};

// A colour swatch: a framed label with a hand cursor that shows a colour and
// reports clicks.
class ColorSwatch : public QFrame {
    Q_OBJECT
public:
    explicit ColorSwatch(QWidget *parent);
    uint32_t Color() const { return color_; }
    void SetColor(uint32_t color);
signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    uint32_t color_ = 0;
};

// The up-down control bound to an edit: its arrows step the edit's number
// within the range; the edit itself takes any text.
class UpDown : public QWidget {
    Q_OBJECT
public:
    UpDown(QWidget *parent, QLineEdit *associate, int minimum, int maximum);
    void SetPosition(int position); // shown in the edit
    void Step(int delta);

private:
    QLineEdit *associate_;
    QToolButton *up_;
    QToolButton *down_;
    int minimum_;
    int maximum_;
    int position_ = 0;
};

class Tfrm_Option : public QWidget {
    Q_OBJECT
public:
    // `dataFolder`: where config.ini and CloseURL.txt are, with its trailing "/".
    Tfrm_Option(OptionHost &host, const std::string &dataFolder, QWidget *parent = nullptr);

    QTreeWidget *TreeView1;
    QFrame *Panel1;
    QStackedWidget *PageCTL;
    QWidget *TabSheet1, *TabSheet2, *TabSheet3, *TabSheet4, *TabSheet5;
    QPushButton *Button1;
    QPushButton *Button2;

    QCheckBox *chkMoz;
    QLineEdit *txtMozPath;
    QToolButton *BitBtn1;

    QLabel *Label1;
    QCheckBox *chkWin1, *chkWin2, *chkActive3;

    QCheckBox *chkPop;
    QPlainTextEdit *PopList;

    QCheckBox *chkTabSize;
    QLabel *Label2;
    QLineEdit *txtTabSize;
    UpDown *UpDown1;
    QCheckBox *chkTabLen;
    QLabel *Label3;
    QLineEdit *txtTabLen;
    UpDown *UpDown2;
    QLabel *Label5;
    QComboBox *cmbTabType;
    QLabel *Label4, *Label6;
    QLabel *ColorPanel1, *ColorPanel2;
    ColorSwatch *ChColor1, *BGColor1, *ChColor2, *BGColor2;

    QRadioButton *radNone, *radURL, *radWebList;
    QLineEdit *txtStartPath;
    QToolButton *BitBtn2;

    // その他: the settings of Option_Ext.
    QWidget *TabSheet6;
    QLineEdit *txtSearchURL;
    QCheckBox *chkRestoreSession, *chkConfirmQuit, *chkHistory;
    QCheckBox *chkSleep;
    QSpinBox *spnSleepFreeze, *spnSleepDiscard, *spnSleepMemory;

    TSHBrowseForFolderEx *selectFolder;

    // The dialog's own values.
    std::string AppDir;
    uint8_t StartUpKind = 0;
    int GeckoFlag = 0; // the tag of chkMoz: 1 or 0

    // Handlers, as the controls run them.
    void chkMozClick();
    void chkTabSizeClick();
    void chkTabLenClick();
    void radNoneClick();
    void radURLClick();
    void radWebListClick();
    void TreeView1Change(QTreeWidgetItem *node);
    void ColorClick(ColorSwatch *swatch);
    void BitBtn1Click();
    void BitBtn2Click();
    void Button1Click(); // OK
    void Button2Click(); // Cancel

private:
    void BuildPages();
    void BuildTabPage();
    // The page of Option_Ext. Its keys are written only when the user
    // changed them, so a file without them stays without them.
    void BuildExtPage();
    void LoadingExt();
    void chkSleepClick();
    void WriteExt();
    void FormCreate();
    void Loading();
    void WriteSettings(const SettingsFile &settings); // every key of OK, in its order
    void UpdatePreviews();
    void SetFieldEnabled(QLineEdit *edit, bool enabled);
    void showEvent(QShowEvent *event) override;

    // The block list as read at creation; it goes into PopList only when the
    // dialog is shown (the hidden dialog of the start never fills it).
    std::shared_ptr<const std::vector<std::string>> popLines_;
    bool popListPending_ = false;

    struct ExtValues {
        std::string searchURL;
        bool restoreSession = false;
        bool confirmQuit = false;
        bool history = true;
        bool sleep = true;
        int sleepFreeze = 0; // as the boxes show them, within their ranges
        int sleepDiscard = 0;
        int sleepMemory = 0;
    };
    ExtValues loadedExt_; // as read, to write only what changed

    OptionHost &host_;
    uint32_t lastChosenColor_ = 0; // the colour dialog starts here (black first)
};

} // namespace orvex
