// What text typed into the address box means: an address to open, words to
// search for, or a single word that is an address only when it names a host
// (which the caller looks up). And the search address made from a template.
#pragma once

#include <string>
#include <string_view>

namespace orvex {

struct TypedText {
    enum Kind { Address, Search, HostOrSearch };
    Kind kind = Address;
    std::string host; // HostOrSearch: the word to look up
};

// An address has a scheme ("x://", "about:", "file:" ...), is a local path,
// or names a host with a dot, "localhost" or an IPv6 literal, with no blank
// inside. Text with a blank, or that starts with "?", is searched. A single
// word without a dot (with a port or a path after it, perhaps) is an
// address when it resolves as a host.
TypedText ClassifyTypedText(std::string_view text);

// The template with each "%s" replaced by the words, trimmed and
// percent-encoded as UTF-8 with blanks as "+"; without "%s" the words are
// appended.
std::string SearchAddress(std::string_view urlTemplate, std::string_view words);

} // namespace orvex
