// The page processes' part of the "Gecko" engine: a WebKit extension that
// WebKit loads into every page process of a "Gecko" window (mozctl-web/
// beside the module), and what the module and it say to each other.
#pragma once

namespace orvex::webkit::page {

// Sent by a page process to each of its views when it holds more memory
// than a page may; the process ends once every view has answered (or after
// kOverMemoryWaitMs), so that each view tells why its page stopped.
constexpr char kOverMemoryMessage[] = "orvex-over-memory";
constexpr unsigned kOverMemoryWaitMs = 2000;

} // namespace orvex::webkit::page

#ifdef ORVEX_PAGE_PROCESS
#include <webkit2/webkit-web-extension.h>

namespace orvex::webkit::page {

// The engine's texts in pages in Japanese (PageTexts.cpp).
void UseJapaneseTexts();
// Looks at this process's memory twice a second (PageMemory.cpp).
void WatchMemory(WebKitWebExtension *extension, unsigned limitMb);

} // namespace orvex::webkit::page
#endif
