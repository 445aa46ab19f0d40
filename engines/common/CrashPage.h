// The page shown in place of a page whose process ended (it crashed, was
// killed, or used more memory than a page may). Both engines show this same
// Qt widget over their control: it needs no page process, so it shows
// whatever state the engine is in, and it adds nothing to the history.
#pragma once

#include <QWidget>
#include <functional>

class QLabel;

namespace orvex::engine {

enum class PageEnd { Crashed, Killed, OutOfMemory };

class CrashPage : public QWidget {
public:
    // Covers `over` and follows its size; `reload` runs on 再読み込み.
    CrashPage(QWidget *over, std::function<void()> reload);
    void Show(const QString &address, PageEnd why);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLabel *reason_;
    QLabel *address_;
    std::function<void()> reload_;
};

} // namespace orvex::engine
