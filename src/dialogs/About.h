// The About box: the program's name and version and the versions of the two
// engine modules, read from their version resources: the "Internet Explorer"
// module's at creation, the Gecko module's (which the settings may move) at
// each showing too.
#pragma once

#include "core/OtVersInfo.h"

#include <QDialog>
#include <string>

class QFrame;
class QLabel;
class QPushButton;

namespace orvex {

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    // `dataFolder`: the folder in use (shown), where config.ini names the
    // Gecko folder; with its trailing "/".
    explicit TAboutBox(const std::string &dataFolder, QWidget *parent = nullptr);

    QFrame *Panel1;
    QFrame *Bevel1;
    QLabel *Label1;
    QLabel *ProductName;
    QLabel *Version;
    QLabel *Label2;
    QLabel *Label3;
    QLabel *Label4;
    QLabel *Label5;
    QLabel *lblDataFolder; // the data folder in use
    QPushButton *OKButton;
    TOtVersInfo OtVersInfo1;
    TOtVersInfo OtVersInfo2;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FormCreate(const std::string &dataFolder);
    // The Gecko module's line, for where the module is found now.
    void ShowGeckoModule();

    std::string dataFolder_;
};

} // namespace orvex
