#include "core/ClosedList.h"

#include "core/LineList.h"

namespace orvex {

void ClosedList::Append(const std::string &address)
{
    entries_.push_back(address);
    if (entries_.size() > MaxEntries)
        entries_.erase(entries_.begin());
}

std::string ClosedList::Caption(size_t index, const std::string &address)
{
    return "&" + std::to_string(index + 1) + "．" + address;
}

void ClosedList::Save(const std::string &path) const
{
    SaveLineList(path, entries_);
}

} // namespace orvex
