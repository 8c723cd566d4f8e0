#include "platform/sim/sim_desktop_file.h"

#include "platform/journal/journal_file.h"

#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace zinna::sim {

namespace {

constexpr char kTitle[] = "zinna-sim desktop 1";
constexpr std::size_t kMaxFileBytes = 16 * 1024 * 1024;

// Texts and bytes as hex, "-" for none, so that any byte survives and a line stays one line.
std::string Hex(const std::string& bytes) {
    if (bytes.empty()) return "-";
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (unsigned char c : bytes) {
        text += digits[c >> 4];
        text += digits[c & 0xF];
    }
    return text;
}

std::string Unhex(const std::string& text) {
    if (text == "-") return {};
    auto digit = [&](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        throw std::runtime_error("not a saved desktop: bad hex " + text);
    };
    if (text.empty() || text.size() % 2 != 0) throw std::runtime_error("not a saved desktop: bad hex " + text);
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); i += 2)
        bytes += static_cast<char>(digit(text[i]) << 4 | digit(text[i + 1]));
    return bytes;
}

std::uint32_t Number(const std::string& text, int base) {
    try {
        std::size_t used = 0;
        unsigned long long value = std::stoull(text, &used, base);
        if (used == text.size() && value <= 0xFFFFFFFFull) return static_cast<std::uint32_t>(value);
    } catch (const std::exception&) {}
    throw std::runtime_error("not a saved desktop: bad number " + text);
}

}  // namespace

bool LoadSimDesktop(SimDesktop& desktop, const std::filesystem::path& file) {
    journal::FileContents contents = journal::OpenJournalFile(file)->Read(kMaxFileBytes);
    if (contents.status == journal::FileContents::Status::Absent) return false;
    if (contents.status == journal::FileContents::Status::Unreadable)
        throw std::runtime_error("cannot read " + file.string() + ": " + contents.problem);
    std::istringstream in(std::string(contents.bytes.begin(), contents.bytes.end()));
    std::string line;
    if (!std::getline(in, line) || line != kTitle) throw std::runtime_error(file.string() + " is not a saved desktop");

    for (const std::string& path : desktop.KeyPaths()) desktop.DeleteKey(path);
    bool colorSeen = false;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string kind, a, b, c, d, extra;
        words >> kind >> a >> b >> c >> d >> extra;
        if (kind == "key" && !a.empty() && b.empty()) {
            desktop.CreateKey(Unhex(a));
        } else if (kind == "value" && !d.empty() && extra.empty()) {
            std::string data = Unhex(d);
            desktop.SetValue(Unhex(a), Unhex(b), {Number(c, 10), std::vector<std::uint8_t>(data.begin(), data.end())});
        } else if (kind == "color" && !a.empty() && b.empty()) {
            desktop.SetDesktopColor(Number(a, 16));
            colorSeen = true;
        } else if (kind == "shown" && !a.empty() && b.empty()) {
            desktop.SetShownWallpaper(Unhex(a));
        } else {
            throw std::runtime_error(file.string() + ": not a line of a saved desktop: " + line);
        }
    }
    if (!colorSeen) throw std::runtime_error(file.string() + ": no desktop colour");
    return true;
}

void SaveSimDesktop(const SimDesktop& desktop, const std::filesystem::path& file) {
    std::ostringstream out;
    out << kTitle << "\n";
    for (const std::string& path : desktop.KeyPaths()) {
        out << "key " << Hex(path) << "\n";
        for (const auto& [name, value] : desktop.ValuesOf(path))
            out << "value " << Hex(path) << " " << Hex(name) << " " << value.type << " "
                << Hex(std::string(value.data.begin(), value.data.end())) << "\n";
    }
    char color[16];
    std::snprintf(color, sizeof color, "%08x", desktop.DesktopColor());
    out << "color " << color << "\n";
    out << "shown " << Hex(desktop.ShownWallpaper()) << "\n";
    const std::string text = out.str();
    if (!journal::OpenJournalFile(file)->Write(
            std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size())))
        throw std::runtime_error("cannot write the desktop to " + file.string());
}

}  // namespace zinna::sim
