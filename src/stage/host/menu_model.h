// The character's pop-up menu as the program built it: its commands in order of addition, the
// access key each caption marks with "&", enabled and visible as set.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zinna::stage {

struct MenuEntry {
    std::string name;     // what the Command event reports
    std::string caption;  // as given, "&" included
    bool enabled = true;
    bool visible = true;
};

class MenuModel {
public:
    void Add(std::string name, std::string caption) { entries_.push_back({std::move(name), std::move(caption)}); }
    const std::vector<MenuEntry>& Entries() const { return entries_; }

    // The caption as shown: "&&" stands for "&", and a single "&" marks the next character.
    static std::string DisplayText(const std::string& caption);
    // The character a single "&" marks, lower-cased; nullopt when none.
    static std::optional<char> AccessKey(const std::string& caption);
    // The entry a key press chooses among the visible, enabled entries; nullptr when none.
    const MenuEntry* EntryForKey(char key) const;

private:
    std::vector<MenuEntry> entries_;
};

}  // namespace zinna::stage
