#include "platform/journal/journal_format.h"

#include <array>
#include <charconv>

namespace zinna::journal {

namespace {

constexpr char kTitle[] = "Zinna restore journal";
constexpr std::size_t kMaxValueBytes = 64 * 1024;
constexpr std::size_t kMaxNameLength = 64;
constexpr std::size_t kMaxDesktopLength = 256;
constexpr char kHexDigits[] = "0123456789abcdef";
constexpr std::uint32_t kRegSz = 1, kRegExpandSz = 2;
// The only values a journal may name: the ones the program changes. Anything else (a planted
// SCRNSAVE.EXE, a value of another type) would be written into the user's registry by a restore.
constexpr const char* kKnownValues[] = {"Wallpaper", "TileWallpaper", "WallpaperStyle"};

bool IsKnownValue(std::string_view name) {
    for (const char* known : kKnownValues)
        if (name == known) return true;
    return false;
}

std::string Hex32(std::uint32_t value) {
    std::string text(8, '0');
    for (int i = 7; i >= 0; --i, value >>= 4) text[static_cast<std::size_t>(i)] = kHexDigits[value & 0xF];
    return text;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;  // upper case too: one spelling only, so that a changed byte cannot hide
}

std::optional<std::uint32_t> ParseHex32(std::string_view text) {
    if (text.size() != 8) return std::nullopt;
    std::uint32_t value = 0;
    for (char c : text) {
        int digit = HexDigit(c);
        if (digit < 0) return std::nullopt;
        value = value << 4 | static_cast<std::uint32_t>(digit);
    }
    return value;
}

std::optional<std::vector<std::uint8_t>> ParseHexBytes(std::string_view text) {
    if (text == "-") return std::vector<std::uint8_t>{};
    if (text.empty() || text.size() % 2 != 0 || text.size() / 2 > kMaxValueBytes) return std::nullopt;
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        int high = HexDigit(text[i]), low = HexDigit(text[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(high << 4 | low));
    }
    return bytes;
}

std::optional<std::uint32_t> ParseDecimal32(std::string_view text) {
    if (text.empty() || text.size() > 10 || (text.size() > 1 && text[0] == '0')) return std::nullopt;
    std::uint64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value > 0xFFFFFFFFu) return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

// Every byte as two lower-case hex digits; "-" for no bytes at all.
std::string HexText(std::string_view bytes) {
    if (bytes.empty()) return "-";
    std::string text;
    for (unsigned char byte : bytes) {
        text += kHexDigits[byte >> 4];
        text += kHexDigits[byte & 0xF];
    }
    return text;
}

bool IsNameToken(std::string_view text) {
    if (text.empty() || text.size() > kMaxNameLength) return false;
    for (char c : text) {
        bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '.' ||
                  c == ':' || c == '-';
        if (!ok) return false;
    }
    return true;
}

bool IsDesktopToken(std::string_view text) {
    if (text.empty() || text.size() > kMaxDesktopLength) return false;
    for (char c : text)
        if (c < 0x21 || c > 0x7E) return false;
    return true;
}

std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t start = 0;
    while (true) {
        std::size_t space = line.find(' ', start);
        words.push_back(line.substr(start, space == std::string_view::npos ? std::string_view::npos : space - start));
        if (space == std::string_view::npos) break;
        start = space + 1;
    }
    return words;
}

// Reads one item of a journal; an empty result means it was not what the format asks for.
class LineReader {
public:
    explicit LineReader(std::string_view text) : text_(text) {}
    std::optional<std::string_view> Next() {
        std::size_t end = text_.find('\n', at_);
        if (end == std::string_view::npos) return std::nullopt;  // every line ends with its newline
        std::string_view line = text_.substr(at_, end - at_);
        at_ = end + 1;
        return line;
    }
    std::size_t Offset() const { return at_; }
    bool AtEnd() const { return at_ == text_.size(); }

private:
    std::string_view text_;
    std::size_t at_ = 0;
};

ParsedJournal Rejected(std::string problem) { return ParsedJournal{std::nullopt, std::move(problem)}; }

}  // namespace

const SavedValue* DesktopRecord::Find(const std::string& name) const {
    for (const SavedValue& value : values)
        if (value.name == name) return &value;
    return nullptr;
}

std::uint32_t Crc32(std::span<const std::uint8_t> bytes) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::uint8_t byte : bytes) crc = table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

std::string SerializeJournal(const DesktopRecord& record) {
    std::string text = std::string(kTitle) + "\nversion " + std::to_string(kJournalVersion) + "\n";
    text += "desktop " + record.desktop + "\n";
    text += "backend " + record.backend + "\n";
    for (const SavedValue& value : record.values) {
        text += "value " + value.name;
        switch (value.state) {
            case SavedValue::State::Present: {
                text += " present " + std::to_string(value.type) + " ";
                if (value.data.empty()) text += "-";
                for (std::uint8_t byte : value.data) {
                    text += kHexDigits[byte >> 4];
                    text += kHexDigits[byte & 0xF];
                }
                break;
            }
            case SavedValue::State::Missing:
                text += " missing";
                break;
            case SavedValue::State::Unknown:
                text += " unknown";
                break;
        }
        text += "\n";
    }
    text += "color " + Hex32(record.color) + "\n";
    for (const DesktopSetting& setting : record.settings) {
        text += "setting " + HexText(setting.name) + " " + (setting.text ? HexText(*setting.text) : "unset") + "\n";
    }
    auto body = std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    text += "checksum " + Hex32(Crc32(body)) + "\n";
    return text;
}

ParsedJournal ParseJournal(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return Rejected("the file is empty");
    if (bytes.size() > kMaxJournalBytes) return Rejected("the file is larger than a journal can be");
    std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    LineReader lines(text);

    if (lines.Next() != std::string_view(kTitle)) return Rejected("it does not start as a restore journal");
    auto version = lines.Next();
    auto versionWords = version ? Words(*version) : std::vector<std::string_view>{};
    if (versionWords.size() != 2 || versionWords[0] != "version") return Rejected("it names no format version");
    const auto versionNumber = ParseDecimal32(versionWords[1]);
    if (versionNumber && *versionNumber > static_cast<std::uint32_t>(kJournalVersion)) {
        ParsedJournal newer = Rejected("its format version " + std::string(versionWords[1]) +
                                       " is newer than this Zinna's " + std::to_string(kJournalVersion));
        newer.newer = true;
        return newer;
    }
    if (!versionNumber || *versionNumber < static_cast<std::uint32_t>(kOldestJournalVersion))
        return Rejected("its format version " + std::string(versionWords[1]) + " is not one this Zinna reads (" +
                        std::to_string(kOldestJournalVersion) + " to " + std::to_string(kJournalVersion) + ")");

    DesktopRecord record;
    auto desktop = lines.Next();
    auto desktopWords = desktop ? Words(*desktop) : std::vector<std::string_view>{};
    if (desktopWords.size() != 2 || desktopWords[0] != "desktop" || !IsDesktopToken(desktopWords[1]))
        return Rejected("it names no desktop");
    record.desktop = desktopWords[1];
    if (*versionNumber >= 2) {
        auto backend = lines.Next();
        auto backendWords = backend ? Words(*backend) : std::vector<std::string_view>{};
        if (backendWords.size() != 2 || backendWords[0] != "backend" || !IsDesktopToken(backendWords[1]))
            return Rejected("it names no settings backend");
        record.backend = backendWords[1];
    }

    std::optional<std::string_view> line;
    while ((line = lines.Next()) && line->starts_with("value ")) {
        auto words = Words(*line);
        if (words.size() < 3 || !IsNameToken(words[1])) return Rejected("a value line is malformed");
        if (!IsKnownValue(words[1]))
            return Rejected("it names the value " + std::string(words[1]) + ", not one of its own");
        SavedValue value;
        value.name = words[1];
        if (record.Find(value.name)) return Rejected("the value " + value.name + " appears twice");
        if (words[2] == "missing" && words.size() == 3) {
            value.state = SavedValue::State::Missing;
        } else if (words[2] == "unknown" && words.size() == 3) {
            value.state = SavedValue::State::Unknown;
        } else if (words[2] == "present" && words.size() == 5) {
            auto type = ParseDecimal32(words[3]);
            auto data = ParseHexBytes(words[4]);
            if (!type || !data) return Rejected("the value " + value.name + " is malformed");
            if (*type != kRegSz && *type != kRegExpandSz)
                return Rejected("the value " + value.name + " is of type " + std::string(words[3]) + ", not text");
            value.state = SavedValue::State::Present;
            value.type = *type;
            value.data = std::move(*data);
        } else {
            return Rejected("the value " + value.name + " is malformed");
        }
        record.values.push_back(std::move(value));
    }
    if (record.values.empty()) return Rejected("it holds no values");
    for (const char* known : kKnownValues)
        if (!record.Find(known)) return Rejected(std::string("it does not say what became of ") + known);

    auto colorWords = line ? Words(*line) : std::vector<std::string_view>{};
    auto color = colorWords.size() == 2 && colorWords[0] == "color" ? ParseHex32(colorWords[1]) : std::nullopt;
    if (!color) return Rejected("it holds no desktop colour");
    record.color = *color;

    std::size_t checkedBytes = lines.Offset();
    auto checksumLine = lines.Next();
    for (; checksumLine && checksumLine->starts_with("setting "); checksumLine = lines.Next()) {
        auto words = Words(*checksumLine);
        auto name = words.size() == 3 ? ParseHexBytes(words[1]) : std::nullopt;
        auto data = words.size() == 3 && words[2] != "unset" ? ParseHexBytes(words[2]) : std::nullopt;
        if (!name || name->empty() || (words[2] != "unset" && !data)) return Rejected("a setting line is malformed");
        DesktopSetting setting{std::string(name->begin(), name->end()), std::nullopt};
        if (data) setting.text = std::string(data->begin(), data->end());
        record.settings.push_back(std::move(setting));
        if (record.settings.size() > kMaxJournalSettings)
            return Rejected("it holds more than " + std::to_string(kMaxJournalSettings) + " settings");
        checkedBytes = lines.Offset();
    }
    auto checksumWords = checksumLine ? Words(*checksumLine) : std::vector<std::string_view>{};
    auto checksum =
        checksumWords.size() == 2 && checksumWords[0] == "checksum" ? ParseHex32(checksumWords[1]) : std::nullopt;
    if (!checksum) return Rejected("it has no checksum");
    if (!lines.AtEnd()) return Rejected("something follows its checksum");
    if (*checksum != Crc32(bytes.first(checkedBytes))) return Rejected("its checksum does not match");
    return ParsedJournal{std::move(record), {}};
}

}  // namespace zinna::journal
