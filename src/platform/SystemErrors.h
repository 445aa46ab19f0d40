// Japanese texts for the system's error numbers, so that no English system
// text (strerror) reaches the user.
#pragma once

#include <string>

namespace orvex {

// The reason for an errno value, in Japanese; "エラー番号 N" for one the
// table does not name.
std::string SystemErrorText(int code);

} // namespace orvex
