#pragma once
// The two text rules of the send cycle: cleaning a message text before it goes to a
// carrier, and cutting a text that is too long into numbered pieces.

#include <string>
#include <vector>

// A text transliterated to ASCII ("Grüße" is "Grusse"), then with runs of blanks and
// line feeds turned into one blank and every other character that is not printable
// ASCII (carriage returns, tabs, control characters, what has no ASCII form) dropped. Leading
// blanks and line feeds go; one trailing blank stays.
std::string CleanText(const std::string& text);

// The pieces of a text longer than `max_length`, each as "%dof%d: %s". Each piece
// leaves room for its number: it holds at most max_length - 7 characters of the text
// (one fewer from the tenth piece on), cut at a blank when one lies within the last
// 21 positions of that room. Blanks where a piece begins are skipped, and blanks
// that end the text after the last cut make no piece.
// Every piece takes at least one character, so the cutting ends for any maximum,
// even one too small to hold the numbering.
std::vector<std::string> SplitText(const std::string& text, int max_length);
