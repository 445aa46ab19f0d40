#include "shell/WindowRegistry.h"

#include "shell/Captions.h"

#include <algorithm>

namespace orvex {

int32_t WindowRegistry::Open(EngineKind kind)
{
    ++winCount_;
    Entry entry;
    entry.number = winCount_;
    entry.kind = kind;
    entry.text = QString::fromLatin1(kLoadingCaption);
    entries_.push_back(entry);
    const int index = Count() - 1;
    if (selected_ < 0)
        selected_ = index;
    emit inserted(index);
    return winCount_;
}

void WindowRegistry::Attach(int32_t number, TChildForm *child)
{
    const int index = IndexOf(number);
    if (index >= 0)
        entries_[static_cast<size_t>(index)].child = child;
}

void WindowRegistry::Detach(const TChildForm *child)
{
    const int index = IndexOfChild(child);
    if (index >= 0)
        entries_[static_cast<size_t>(index)].child = nullptr;
}

void WindowRegistry::Remove(int index)
{
    if (index < 0 || index >= Count())
        return;
    entries_.erase(entries_.begin() + index);
    if (index < selected_)
        --selected_;
    else if (index == selected_)
        selected_ = std::min(index, Count() - 1);
    emit removed(index);
}

void WindowRegistry::Clear()
{
    while (!entries_.empty())
        Remove(Count() - 1);
}

int WindowRegistry::IndexOf(int32_t number) const
{
    for (int i = 0; i < Count(); ++i)
        if (entries_[static_cast<size_t>(i)].number == number)
            return i;
    return -1;
}

int WindowRegistry::FindTab(int32_t number) const
{
    return std::max(IndexOf(number), 0);
}

int WindowRegistry::IndexOfChild(const TChildForm *child) const
{
    if (!child)
        return -1;
    for (int i = 0; i < Count(); ++i)
        if (entries_[static_cast<size_t>(i)].child == child)
            return i;
    return -1;
}

TChildForm *WindowRegistry::Child(int32_t number) const
{
    const int index = IndexOf(number);
    return index >= 0 ? At(index).child : nullptr;
}

std::vector<TChildForm *> WindowRegistry::Children() const
{
    std::vector<TChildForm *> children;
    children.reserve(entries_.size());
    for (const Entry &entry : entries_)
        if (entry.child)
            children.push_back(entry.child);
    return children;
}

int WindowRegistry::ChildCount() const
{
    return static_cast<int>(
        std::count_if(entries_.begin(), entries_.end(), [](const Entry &entry) { return entry.child; }));
}

void WindowRegistry::SetText(int index, const QString &text)
{
    if (index < 0 || index >= Count() || At(index).text == text)
        return;
    entries_[static_cast<size_t>(index)].text = text;
    emit renamed(index);
}

void WindowRegistry::Select(int index)
{
    if (index < 0 || index >= Count() || index == selected_)
        return;
    selected_ = index;
    emit selected(index);
}

void WindowRegistry::Choose(int index)
{
    if (index < 0 || index >= Count())
        return;
    Select(index);
    emit chosen(index);
}

QStringList WindowRegistry::WinTags() const
{
    QStringList tags;
    for (const Entry &entry : entries_)
        tags << QString::number(entry.number);
    return tags;
}

QString WindowRegistry::Describe() const
{
    QStringList parts;
    for (int i = 0; i < Count(); ++i)
        parts << QString::number(At(i).number) + ':' + At(i).text + (i == selected_ ? "*" : "");
    return parts.join(' ');
}

} // namespace orvex
