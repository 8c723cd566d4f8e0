// Conversion between the model's UTF-8 texts and the file's UTF-16LE code units.
#pragma once

#include <string>

namespace zinna::acs {

// Unpaired surrogates become U+FFFD, so any file text converts.
std::string Utf16ToUtf8(const std::u16string& text);

// Invalid UTF-8 sequences become U+FFFD.
std::u16string Utf8ToUtf16(const std::string& text);

}  // namespace zinna::acs
