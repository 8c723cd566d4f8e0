// The texts desktop settings hold: colours ("#rrggbb"), picture URIs and paths, and the percent
// escapes that carry any text through a script unharmed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zinna::linuxdesk {

// "#rgb", "#rrggbb", "#rrrrggggbbbb", "rgb(r,g,b)" or "r,g,b" as 0x00BBGGRR; nullopt for anything else.
std::optional<std::uint32_t> ParseColour(std::string_view text);
// 0x00BBGGRR as "#rrggbb".
std::string FormatColour(std::uint32_t colour);

bool IsUri(std::string_view text);  // "scheme://..."
// A host path as a file URI, escaped; a URI or the empty text is kept as it is.
std::string PictureAsUri(const std::string& picture);
// A file URI as its host path; a path, another URI or the empty text is kept as it is.
std::string PictureAsPath(const std::string& picture);

// Every byte outside [A-Za-z0-9-_.~] as %XX, so the text is plain ASCII; and back.
std::string PercentEncode(std::string_view text);
std::string PercentDecode(std::string_view text);

// The text as a script's double-quoted string literal, plain ASCII: letters, digits and the
// punctuation that means nothing inside quotes as they are, everything else (quotes, backslashes,
// line ends, every character beyond ASCII) as \uXXXX escapes, so that no text can end the literal
// or change the script around it. nullopt when the text is not valid UTF-8 (no script can hold it).
std::optional<std::string> ScriptStringLiteral(std::string_view text);

}  // namespace zinna::linuxdesk
