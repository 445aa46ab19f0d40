// The encoding of a page that declares none, told from its bytes. WebKit
// reads such a page in its default encoding and guesses nothing itself.
#pragma once

#include <QByteArray>

namespace orvex::webkit {

// Null for bytes that are UTF-8 (plain ASCII among them); else
// "ISO-2022-JP", "Shift_JIS" or "EUC-JP" (WebKit's names) for Japanese
// text, and "windows-1252" (what pages of the Latin-1 era mean by it) for
// any other.
const char *EncodingFromBytes(const QByteArray &bytes);

} // namespace orvex::webkit
