// The find bar: finds text in the active page. A text box (each change
// searches at once), next and previous, match case and the number of
// matches the engine reports. Esc closes it and clears the highlighting.
#pragma once

#include <QPointer>
#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace orvex {

class TChildForm;

class TFindBar : public QWidget {
    Q_OBJECT
public:
    explicit TFindBar(QWidget *parent = nullptr);

    // Shows the bar for `child`'s page with the focus in the text box; the
    // text found last is searched again.
    void OpenFor(TChildForm *child);
    // Another window came to the front while the bar is open: the
    // highlighting moves with it.
    void SetTarget(TChildForm *child);
    void CloseBar();
    void FindNext() { Search(false); }
    void FindPrevious() { Search(true); }
    TChildForm *Target() const { return target_; }

    QLineEdit *txtFind;
    QPushButton *btnNext;
    QPushButton *btnPrevious;
    QCheckBox *chkMatchCase;
    QLabel *lblMatches;
    QToolButton *btnClose;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Search(bool backward);
    void Clear(TChildForm *child);
    void ShowResult(const QString &text, int matches);

    QPointer<TChildForm> target_;
    QMetaObject::Connection resultConnection_;
};

} // namespace orvex
