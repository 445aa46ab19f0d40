// The addresses of the child windows closed since the program started,
// oldest first, at most ten; written to Close.txt at exit.
#pragma once

#include <string>
#include <vector>

namespace orvex {

class ClosedList {
public:
    static constexpr size_t MaxEntries = 10;
    void Append(const std::string &address);
    const std::vector<std::string> &Entries() const { return entries_; }
    // Menu caption of entry i: "&" + (i + 1) + "．" + address.
    static std::string Caption(size_t index, const std::string &address);
    // Writes the list as a line list; throws orvex::Error when it cannot.
    void Save(const std::string &path) const;

private:
    std::vector<std::string> entries_;
};

} // namespace orvex
