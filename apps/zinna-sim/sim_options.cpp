#include "sim_options.h"

#include <cmath>
#include <sstream>
#include <stdexcept>

namespace zinna::sim {

namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::stringstream stream(text);
    for (std::string part; std::getline(stream, part, separator);) parts.push_back(part);
    if (!text.empty() && text.back() == separator) parts.emplace_back();
    return parts;
}

long long WholeNumber(const std::string& text, const std::string& option) {
    try {
        size_t used = 0;
        long long value = std::stoll(text, &used);
        if (used == text.size()) return value;
    } catch (const std::exception&) {
    }
    throw std::invalid_argument(option + ": not a whole number: " + text);
}

std::vector<long long> Numbers(const std::string& text, char separator, size_t count, const std::string& option) {
    std::vector<std::string> parts = Split(text, separator);
    if (parts.size() != count) throw std::invalid_argument(option + ": expected " + std::to_string(count) + " numbers: " + text);
    std::vector<long long> numbers;
    for (const std::string& part : parts) numbers.push_back(WholeNumber(part, option));
    return numbers;
}

std::optional<std::string> ValueOrMissing(const std::string& text) {
    if (text == "missing") return std::nullopt;
    return text;
}

}  // namespace

SimOptions ParseSimOptions(const std::vector<std::string>& args) {
    SimOptions options;
    SimConfig& config = options.config;
    bool taskbarGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& option = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) throw std::invalid_argument(option + " needs a value");
            return args[++i];
        };
        if (option == "--seconds") {
            options.seconds = WholeNumber(value(), option);
            if (options.seconds < 0) throw std::invalid_argument("--seconds must not be negative");
        } else if (option == "--seed") {
            config.seed = static_cast<std::uint32_t>(WholeNumber(value(), option));
            options.seedGiven = true;
        } else if (option == "--rnd") {
            for (const std::string& part : Split(value(), ',')) {
                float number = 0;
                try {
                    number = std::stof(part);
                } catch (const std::exception&) {
                    throw std::invalid_argument("--rnd: not a number: " + part);
                }
                if (!(number >= 0.0f && number < 1.0f)) throw std::invalid_argument("--rnd: not in [0,1): " + part);
                config.firstRandomNumbers.push_back(number);
            }
        } else if (option == "--screen") {
            auto size = Numbers(value(), 'x', 2, option);
            if (size[0] <= 0 || size[1] <= 0 || size[0] > 100000 || size[1] > 100000)
                throw std::invalid_argument("--screen: not a screen size");
            config.screen.widthPixels = static_cast<int>(size[0]);
            config.screen.heightPixels = static_cast<int>(size[1]);
        } else if (option == "--taskbar") {
            taskbarGiven = true;
            const std::string& text = value();
            if (text == "none") {
                config.desktop.taskbar.reset();
            } else {
                auto r = Numbers(text, ',', 4, option);
                config.desktop.taskbar = Rect{static_cast<std::int32_t>(r[0]), static_cast<std::int32_t>(r[1]),
                                              static_cast<std::int32_t>(r[2]), static_cast<std::int32_t>(r[3])};
            }
        } else if (option == "--character") {
            auto size = Numbers(value(), 'x', 2, option);
            if (size[0] <= 0 || size[1] <= 0 || size[0] > 32767 || size[1] > 32767)
                throw std::invalid_argument("--character: not a frame size");
            config.reportedFrameSize = std::pair<int, int>(static_cast<int>(size[0]), static_cast<int>(size[1]));
        } else if (option == "--character-file") {
            options.characterFile = value();
        } else if (option == "--simple-control") {
            options.simpleControl = true;
        } else if (option == "--no-character") {
            config.desktop.characterFilePresent = false;
        } else if (option == "--fail") {
            const std::string& text = value();
            auto at = text.find('@');
            if (at == std::string::npos) {
                config.failures->FailEvery(text);
            } else {
                long long nth = WholeNumber(text.substr(at + 1), option);
                if (nth < 1) throw std::invalid_argument("--fail: N counts from 1");
                config.failures->FailNth(text.substr(0, at), static_cast<int>(nth));
            }
        } else if (option == "--windows-dir") {
            config.desktop.windowsDir = value();
        } else if (option == "--wallpaper") {
            config.desktop.wallpaper = ValueOrMissing(value());
        } else if (option == "--tile") {
            config.desktop.tileWallpaper = ValueOrMissing(value());
        } else if (option == "--style") {
            config.desktop.wallpaperStyle = ValueOrMissing(value());
        } else if (option == "--desktop-color") {
            auto rgb = Numbers(value(), ',', 3, option);
            for (long long c : rgb)
                if (c < 0 || c > 255) throw std::invalid_argument("--desktop-color: each part is 0 to 255");
            config.desktop.desktopColor =
                static_cast<std::uint32_t>(rgb[0] | (rgb[1] << 8) | (rgb[2] << 16));  // red in the lowest byte
        } else if (option == "--snapshot") {
            double seconds = 0;
            const std::string& at = value();
            try {
                size_t used = 0;
                seconds = std::stod(at, &used);
                if (used != at.size() || !(seconds >= 0)) throw std::invalid_argument("");
            } catch (const std::exception&) {
                throw std::invalid_argument("--snapshot: not a number of seconds: " + at);
            }
            options.snapshots.emplace_back(std::llround(seconds * 1000), value());
        } else if (option == "--script") {
            options.scriptPath = value();
        } else if (option == "--format") {
            const std::string& format = value();
            if (format != "text" && format != "jsonl") throw std::invalid_argument("--format: text or jsonl");
            options.jsonLines = format == "jsonl";
        } else if (option == "--state-dir") {
            config.stateDir = value();
        } else if (option == "--kill-at") {
            const std::string& at = value();
            if (at == "msgbox") {
                config.killAtMessageBox = true;
            } else {
                double seconds = -1;
                try {
                    size_t used = 0;
                    seconds = std::stod(at, &used);
                    if (used != at.size()) seconds = -1;
                } catch (const std::exception&) {}
                if (!(seconds >= 0)) throw std::invalid_argument("--kill-at: seconds or msgbox: " + at);
                config.killAtMs = std::llround(seconds * 1000);
            }
        } else if (option == "--restore") {
            config.restoreOnly = true;
        } else if (option == "--help" || option == "-h") {
            throw std::invalid_argument("");
        } else {
            throw std::invalid_argument("unknown option: " + option);
        }
    }
    // The taskbar follows a changed screen unless it was given.
    if (!taskbarGiven && config.desktop.taskbar) {
        int w = config.screen.widthPixels, h = config.screen.heightPixels;
        config.desktop.taskbar = Rect{0, h - 28, w, h};
    }
    return options;
}

void ChooseBuiltFiles(SimOptions& options, const std::filesystem::path& builtCharacter,
                      const std::filesystem::path& builtWallpaper) {
    if (std::filesystem::exists(builtWallpaper)) options.config.wallpaperFile = builtWallpaper;
    if (options.simpleControl) return;
    if (!options.characterFile.empty()) {
        options.config.characterFile = options.characterFile;
    } else if (std::filesystem::exists(builtCharacter)) {
        options.config.characterFile = builtCharacter;
    }
}

}  // namespace zinna::sim
