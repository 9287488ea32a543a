// Texts of the package check as JSON strings. Free of Win32.
#pragma once

#include <string>

#include "check/text_encoding.h"

// text in double quotes, read in encoding and written in UTF-8 with JSON's
// escapes: quote, backslash and control characters escaped; each byte that
// does not start a character of the encoding becomes \u00XX, XX the byte's
// value, and reading goes on at the next byte.
std::string JsonString(const std::string& text, const TextEncoding& encoding);
