// The tab bar: one tab per child window, tied to it by the window number.
// Numbers are compared at full width, so the bookkeeping stays exact however
// many windows a run opens.
#include "shell/Main.h"

#include "browser/ChildForm.h"
#include "browser/untTab.h"
#include "platform/Errors.h"
#include "platform/LineList.h"
#include "platform/ProfileFile.h"
#include "platform/UiServices.h"
#include "settings/ColorText.h"

#include <QMdiArea>
#include <QMenu>
#include <QPainter>

namespace orvex {

namespace {
constexpr int NoTab = 255;
}

int TMainForm::FindTab(int32_t number) const
{
    const QString text = QString::number(number);
    int found = 0;
    for (int i = 0; i < WinTags.size(); ++i)
        if (WinTags[i] == text)
            found = i;
    return found;
}

void TMainForm::RemoveTab(int32_t number)
{
    if (TabClosing)
        return;
    // Only the window's own tab goes; a window without one removes nothing.
    if (!WinTags.contains(QString::number(number)))
        return;
    const int remembered = TabControl1->currentIndex();
    const int index = FindTab(number);
    TabControl1->blockSignals(true);
    TabControl1->removeTab(index);
    WinTags.removeAt(index);
    if (remembered >= 0 && remembered < TabControl1->count())
        TabControl1->setCurrentIndex(remembered);
    TabControl1->blockSignals(false);
}

void TMainForm::HitTestTab(const QPoint &pos)
{
    const int index = TabControl1->tabAt(pos);
    PopupTab = index < 0 ? NoTab : index;
}

void TMainForm::CloseTab(int index)
{
    if (index < 0 || index >= WinTags.size())
        return; // the press named no tab
    const int32_t number = WinTags[index].toInt();
    if (TChildForm *child = FindChild(number)) {
        TabClosing = true;
        child->CloseWindow();
        TabClosing = false;
    }
    TabControl1->blockSignals(true);
    WinTags.removeAt(index);
    TabControl1->removeTab(index);
    TabControl1->blockSignals(false);
}

void TMainForm::AddCloseURL(int index)
{
    if (index < 0 || index >= WinTags.size())
        return;
    const std::string path = AppDirPath + "CloseURL.txt";
    std::vector<std::string> lines = LoadLineList(path);
    if (TChildForm *child = FindChild(WinTags[index].toInt()))
        lines.push_back(FromQ(child->Browser()->LocationURL()));
    SaveLineList(path, lines);
}

void TMainForm::ShowTab(int index)
{
    if (index < 0 || index >= WinTags.size())
        return;
    const int32_t number = WinTags[index].toInt();
    ArrangingScope arranging(*this);
    for (TChildForm *child : children_) {
        if (child->Tag != number)
            continue;
        child->show();
        if (child->isMinimized())
            child->showNormal();
        mdiArea->setActiveSubWindow(child);
        child->raise();
    }
}

void TMainForm::ReadTabColors(uint32_t colors[4]) const
{
    // The four colours are read from the file at every drawing of a tab, in
    // one look at it.
    static const TextKey *const keysInOrder[4] = {&keys::ActivateChColor, &keys::ActivateBGColor,
                                                  &keys::DeActivateChColor, &keys::DeActivateBGColor};
    static const std::vector<std::string> names = {keysInOrder[0]->name, keysInOrder[1]->name,
                                                   keysInOrder[2]->name, keysInOrder[3]->name};
    const std::vector<std::optional<std::string>> values =
        ReadProfileValues(AppDirPath + "config.ini", keysInOrder[0]->section, names);
    for (int i = 0; i < 4; ++i) {
        // A colour that cannot be read falls back to its default instead of
        // failing every repaint.
        if (!values[i] || !StringToColor(*values[i], colors[i]))
            StringToColor(keysInOrder[i]->defaultValue, colors[i]);
    }
}

void TMainForm::TabControl1Change()
{
    ShowTab(TabControl1->currentIndex());
}

void TMainForm::TabControl1MouseDown(Qt::MouseButton button, const QPoint &pos)
{
    if (button == Qt::LeftButton)
        return;
    HitTestTab(pos);
    if (button == Qt::RightButton)
        TabPopup->popup(TabControl1->mapToGlobal(pos));
}

void TMainForm::TabControl1DrawTab(QPainter &painter, int index, const QRect &rect, bool active)
{
    uint32_t colors[4];
    ReadTabColors(colors);
    PaintTab(painter, index, rect, active, colors);
}

void TMainForm::PaintTab(QPainter &painter, int index, const QRect &rect, bool active,
                         const uint32_t colors[4])
{
    const QString text = TabControl1->Caption(index);
    const QColor brush(QRgb(ColorToRgb(active ? colors[1] : colors[3])));
    const QColor pen(QRgb(ColorToRgb(active ? colors[0] : colors[2])));
    painter.fillRect(rect, brush);
    const QRect textRect = rect.adjusted(0, 0, -10, 0).translated(8, 1);
    painter.setPen(pen);
    const QString shown = painter.fontMetrics().elidedText(text, Qt::ElideRight, textRect.width());
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
}

void TMainForm::popTabCloseClick()
{
    CloseTab(PopupTab);
}

void TMainForm::popAddCloseClick()
{
    AddCloseURL(PopupTab);
    CloseTab(PopupTab);
}

void TMainForm::mnu_AllCloseClick()
{
    AllClosing = -1;
    const int n = ChildCount();
    for (int i = 0; i < n; ++i)
        CloseTab(0);
}

void TMainForm::mnu_AllCloseNotMeClick()
{
    const int n = ChildCount();
    if (n <= 1)
        return;
    // The tabs before the kept one go from the front, then those after it.
    int k = 0;
    for (int i = 0; i <= n - 2; ++i) {
        if (i == PopupTab)
            k = 1;
        CloseTab(k);
    }
}

// A window reaches only its own tab: one whose number has no tab yet (a
// window being made) changes no other window's tab.
void TMainForm::SelectTabOfWindow(int32_t number)
{
    if (WinTags.contains(QString::number(number)))
        TabControl1->SetTabIndexSilently(FindTab(number));
}

void TMainForm::SetTabCaptionOfWindow(int32_t number, const QString &caption)
{
    if (WinTags.contains(QString::number(number)))
        TabControl1->SetCaption(FindTab(number), caption);
}

QString TMainForm::DescribeTabs() const
{
    QStringList parts;
    for (int i = 0; i < TabControl1->count(); ++i) {
        QString part =
            (i < WinTags.size() ? WinTags[i] : QStringLiteral("?")) + ':' + TabControl1->Caption(i);
        if (i == TabControl1->currentIndex())
            part += '*';
        parts << part;
    }
    return parts.join(' ');
}

} // namespace orvex
