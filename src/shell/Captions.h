// The captions a new window shows until its page reports a title, and the
// text of a new tab. They are the design's words, spelt as it spells them:
// "londing" is how the design writes the caption of command-line and web
// list windows, and users and their scripts see exactly these texts.
#pragma once

#include "browser/EngineLoader.h"

#include <QString>

namespace orvex {

inline constexpr char kLoadingCaption[] = "loading"; // a new tab; reopened and dropped addresses
inline constexpr char kLondingCaption[] = "londing"; // command line, web lists, start-up list
inline constexpr char kStartUpCaption[] = "Loading"; // the start-up page

// A blank or pasted page's caption: the name of its engine.
inline QString EngineCaption(EngineKind kind)
{
    return kind == EngineKind::InternetExplorer ? QStringLiteral("Internet Explorer")
                                                : QStringLiteral("Gecko");
}

} // namespace orvex
