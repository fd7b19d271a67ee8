#pragma once
// Transliteration of UTF-8 text to 7-bit ASCII, for carriers and pagers that take
// nothing else: "Grüße" becomes "Grusse", "café" "cafe", "€" "EUR". A character with
// no ASCII form ("✓", "日") is dropped, and so is a byte that is not part of valid
// UTF-8. ASCII characters, control characters included, pass through unchanged.
//
// The work is done by the C library's character-set conversion with transliteration,
// under a UTF-8 locale installed for the calling thread only, so the process's locale
// is never touched and any thread may call this at any time (conversions take turns).

#include <string>

namespace platform {

std::string TransliterateToAscii(const std::string& text);

}  // namespace platform
