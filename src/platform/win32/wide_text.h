// Conversions between the program's UTF-8 texts and the UTF-16 texts of Windows' wide functions.
#pragma once

#include <string>
#include <string_view>

namespace zinna::win32 {

// Every byte sequence converts: invalid UTF-8 becomes U+FFFD, as MultiByteToWideChar does.
std::wstring WideFromUtf8(std::string_view utf8);
std::string Utf8FromWide(std::wstring_view wide);

}  // namespace zinna::win32
