#pragma once
// Small text helpers for names the user types (UTF-8).

// Removes blanks from both ends in place and returns string. Blanks are
// space, tab, the pair CR LF and the ideographic space U+3000; a lone CR is
// not a blank. Inner blanks stay.
char* TrimBlanks(char* string);

// The first character a file name may not hold (/ \ < > * ? " | : ;), or
// null when there is none.
const char* FindInvalidFileNameChar(const char* string);
char* FindInvalidFileNameChar(char* string);
