#include "stage/host/menu_model.h"

#include <cctype>

namespace zinna::stage {

std::string MenuModel::DisplayText(const std::string& caption) {
    std::string text;
    for (size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&' && i + 1 < caption.size()) ++i;  // "&x" shows x, "&&" shows &
        text += caption[i];
    }
    return text;
}

std::optional<char> MenuModel::AccessKey(const std::string& caption) {
    for (size_t i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != '&') continue;
        if (caption[i + 1] == '&') {
            ++i;
            continue;
        }
        return static_cast<char>(std::tolower(static_cast<unsigned char>(caption[i + 1])));
    }
    return std::nullopt;
}

const MenuEntry* MenuModel::EntryForKey(char key) const {
    char wanted = static_cast<char>(std::tolower(static_cast<unsigned char>(key)));
    for (const MenuEntry& entry : entries_)
        if (entry.visible && entry.enabled && AccessKey(entry.caption) == wanted) return &entry;
    return nullptr;
}

}  // namespace zinna::stage
