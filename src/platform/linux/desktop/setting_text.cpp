#include "platform/linux/desktop/setting_text.h"

#include "platform/linux/desktop/glib_handles.h"

#include <cstdio>

namespace zinna::linuxdesk {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The hex channels of "#..." with digitsPerChannel digits each, scaled to 0..255.
std::optional<std::uint32_t> ParseHexColour(std::string_view hex, size_t digitsPerChannel) {
    std::uint32_t channels[3] = {};
    for (size_t channel = 0; channel < 3; ++channel) {
        std::uint32_t value = 0;
        for (size_t i = 0; i < digitsPerChannel; ++i) {
            const int digit = HexDigit(hex[channel * digitsPerChannel + i]);
            if (digit < 0) return std::nullopt;
            value = value * 16 + static_cast<std::uint32_t>(digit);
        }
        const std::uint32_t max = (1u << (4 * digitsPerChannel)) - 1;
        channels[channel] = (value * 255 + max / 2) / max;
    }
    return channels[0] | channels[1] << 8 | channels[2] << 16;
}

}  // namespace

std::optional<std::uint32_t> ParseColour(std::string_view text) {
    if (!text.empty() && text[0] == '#') {
        text.remove_prefix(1);
        if (text.size() == 3 || text.size() == 6 || text.size() == 12) return ParseHexColour(text, text.size() / 3);
        return std::nullopt;
    }
    unsigned red = 0, green = 0, blue = 0;
    char close = 0;
    const std::string copy(text);
    int used = 0;
    const bool css =
        std::sscanf(copy.c_str(), "rgb(%u,%u,%u%c%n", &red, &green, &blue, &close, &used) == 4 && close == ')';
    // KConfig keeps a colour as "r,g,b".
    const bool kconfig = !css && std::sscanf(copy.c_str(), "%u,%u,%u%n", &red, &green, &blue, &used) == 3;
    if ((css || kconfig) && static_cast<size_t>(used) == copy.size() && red < 256 && green < 256 && blue < 256) {
        return red | green << 8 | blue << 16;
    }
    return std::nullopt;
}

std::string FormatColour(std::uint32_t colour) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
    return text;
}

bool IsUri(std::string_view text) {
    const size_t colon = text.find("://");
    if (colon == std::string_view::npos || colon == 0) return false;
    for (size_t i = 0; i < colon; ++i) {
        const char c = text[i];
        const bool schemeChar = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (i > 0 && c >= '0' && c <= '9') ||
                                (i > 0 && (c == '+' || c == '-' || c == '.'));
        if (!schemeChar) return false;
    }
    return true;
}

std::string PictureAsUri(const std::string& picture) {
    if (picture.empty() || IsUri(picture)) return picture;
    GCharPtr uri(g_filename_to_uri(picture.c_str(), nullptr, nullptr));
    return uri ? std::string(uri.get()) : picture;
}

std::string PictureAsPath(const std::string& picture) {
    if (picture.rfind("file://", 0) != 0) return picture;
    GCharPtr path(g_filename_from_uri(picture.c_str(), nullptr, nullptr));
    return path ? std::string(path.get()) : picture;
}

std::string PercentEncode(std::string_view text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                           (byte >= '0' && byte <= '9') || byte == '-' || byte == '_' || byte == '.' || byte == '~';
        if (plain) {
            encoded += c;
        } else {
            encoded += '%';
            encoded += kHex[byte >> 4];
            encoded += kHex[byte & 0xF];
        }
    }
    return encoded;
}

std::string PercentDecode(std::string_view text) {
    std::string decoded;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 && HexDigit(text[i + 2]) >= 0) {
            decoded += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
            i += 2;
        } else {
            decoded += text[i];
        }
    }
    return decoded;
}

std::optional<std::string> ScriptStringLiteral(std::string_view text) {
    if (!g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) return std::nullopt;
    std::string literal = "\"";
    auto escape = [&literal](unsigned unit) {  // one UTF-16 unit
        static const char kHex[] = "0123456789ABCDEF";
        literal += "\\u";
        for (int shift = 12; shift >= 0; shift -= 4) literal += kHex[(unit >> shift) & 0xF];
    };
    for (const char* c = text.data(); c < text.data() + text.size(); c = g_utf8_next_char(c)) {
        const gunichar code = g_utf8_get_char(c);
        const bool plain = code >= 0x20 && code < 0x7F && code != '"' && code != '\\' && code != '\'' && code != '<';
        if (plain) {
            literal += static_cast<char>(code);
        } else if (code < 0x10000) {
            escape(code);
        } else {  // beyond the basic plane: a surrogate pair, as script strings are UTF-16
            escape(0xD800 + ((code - 0x10000) >> 10));
            escape(0xDC00 + ((code - 0x10000) & 0x3FF));
        }
    }
    return literal + "\"";
}

}  // namespace zinna::linuxdesk
