// The restore journal's file on Windows when something is in the way, against Wine's real file
// system: links planted at the temporary name or at the journal's, a folder that is not the user's
// own, a path beyond MAX_PATH, a full disk and a read-only one. with-planted-files.sh plants the
// links (real symbolic links: Wine's CreateSymbolicLinkW makes none) in ZINNA_PLANTED, one folder
// a case, and makes the two disks (small tmpfs mounts, as root) named in ZINNA_FULL_DISK and
// ZINNA_READONLY_DISK; a row whose setting is missing says so and is left out.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include "platform/journal/journal_format.h"
#include "platform/journal/win32_journal_file.h"
#include "platform/win32/wide_text.h"

#include <doctest/doctest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

using namespace zinna::journal;
namespace fs = std::filesystem;

namespace {

std::span<const std::uint8_t> Bytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string ReadText(const std::wstring& path) {
    HANDLE file = CreateFileW(ExtendedLengthPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<none>";
    std::string text(1 << 16, '\0');
    DWORD got = 0;
    ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &got, nullptr);
    CloseHandle(file);
    text.resize(got);
    return text;
}

void WriteText(const std::wstring& path, const std::string& text) {
    HANDLE file = CreateFileW(ExtendedLengthPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    REQUIRE(file != INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(ExtendedLengthPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A scratch folder of its own under the temporary folder (or under root), removed afterwards.
struct Scratch {
    fs::path path;
    explicit Scratch(const std::wstring& root = L"") {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        path = fs::path(root.empty() ? std::wstring(temp) : root) /
               (L"zinna-journal-file-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++count_));
        std::error_code ignored;
        fs::remove_all(path, ignored);
        REQUIRE(CreateDirectoryW(path.c_str(), nullptr));
    }
    ~Scratch() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    fs::path Journal() const { return path / L"Zinna" / L"restore.journal"; }
    static inline int count_ = 0;
};

std::optional<std::wstring> DiskFromEnvironment(const char* variable) {
    const char* unix = std::getenv(variable);
    if (unix == nullptr || *unix == '\0') return std::nullopt;
    std::wstring path = L"Z:" + zinna::win32::WideFromUtf8(unix);
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    return path;
}

// The SID of an ACE of the folder's DACL that lets someone write, besides the user's own.
std::vector<std::string> WritersOf(const fs::path& folder) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    std::vector<std::string> writers;
    if (GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                              nullptr, &descriptor) != ERROR_SUCCESS)
        return {"<unreadable>"};
    for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        GetAce(dacl, i, &ace);
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        LPWSTR text = nullptr;
        ConvertSidToStringSidW(&allowed->SidStart, &text);
        writers.push_back(zinna::win32::Utf8FromWide(text));
        LocalFree(text);
    }
    LocalFree(descriptor);
    return writers;
}

// Gives Everyone write access to the folder, as a careless tool or a shared profile might.
bool OpenToEveryone(const fs::path& folder) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;OICI;FA;;;WD)", SDDL_REVISION_1, &descriptor,
                                                              nullptr))
        return false;
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
    const DWORD status = SetNamedSecurityInfoW(const_cast<wchar_t*>(folder.c_str()), SE_FILE_OBJECT,
                                               DACL_SECURITY_INFORMATION, nullptr, nullptr, dacl, nullptr);
    LocalFree(descriptor);
    return status == ERROR_SUCCESS;
}

}  // namespace

// The folder with-planted-files.sh planted for a case ("<ZINNA_PLANTED>\\<name>"), if it ran.
std::optional<fs::path> Planted(const char* name) {
    const std::optional<std::wstring> root = DiskFromEnvironment("ZINNA_PLANTED");
    if (!root) return std::nullopt;
    return fs::path(*root) / zinna::win32::WideFromUtf8(name);
}

bool OnlyTrustedWriters(const fs::path& folder) {
    const std::vector<std::string> writers = WritersOf(folder);
    for (const std::string& writer : writers) {
        const bool trusted = writer == "S-1-5-18" || writer == "S-1-5-32-544" || writer.rfind("S-1-5-21-", 0) == 0;
        if (!trusted) return false;
    }
    return !writers.empty();
}

TEST_CASE("the journal's folder is made private, and one that is a link, another's or open to others is refused") {
    struct Case {
        const char* name;
        const char* planted;  // the case's folder from the script; nullptr: a scratch folder arranged here
        std::function<void(const fs::path& folder)> arrange;
        const char* refusal;  // nullptr: the journal is written
    };
    const Case cases[] = {
        {"no folder yet: made with a private access list", nullptr, [](const fs::path&) {}, nullptr},
        {"open to everyone", nullptr,
         [](const fs::path& folder) {
             REQUIRE(CreateDirectoryW(folder.c_str(), nullptr));
             REQUIRE(OpenToEveryone(folder));
         },
         "is open to others"},
        {"a file where the folder should be", nullptr, [](const fs::path& folder) { WriteText(folder.wstring(), "x"); },
         "not a folder"},
        {"a symbolic link to another folder", "folder-link", [](const fs::path&) {}, "is a link"},
    };
    for (const Case& row : cases) {
        CAPTURE(std::string(row.name));
        Scratch scratch;
        fs::path base = scratch.path;
        if (row.planted != nullptr) {
            const auto planted = Planted(row.planted);
            if (!planted) {
                MESSAGE("ZINNA_PLANTED is not set (with-planted-files.sh plants it): left out: ", row.name);
                continue;
            }
            base = *planted;
        }
        const fs::path path = base / L"Zinna" / L"restore.journal";
        row.arrange(path.parent_path());
        const auto journal = OpenJournalFile(path);
        const bool written = journal->Write(Bytes("journal"));
        CAPTURE(journal->Problem());
        if (row.refusal == nullptr) {
            CHECK(written);
            CHECK(ReadText(path.wstring()) == "journal");
            CHECK(PreparePrivateFolder(path.parent_path()) == std::nullopt);
            CHECK(OnlyTrustedWriters(path.parent_path()));
        } else {
            CHECK_FALSE(written);
            CHECK(journal->Problem().find(row.refusal) != std::string::npos);
            CHECK_FALSE(Exists(path.wstring()));
            CHECK_FALSE(Exists(path.wstring() + L".tmp"));
        }
    }
}

TEST_CASE("whatever sits at the temporary file's name is never written into, followed or removed") {
    struct Case {
        const char* name;
        const char* planted;  // the case's folder from the script; nullptr: a scratch folder
        std::function<void(const std::wstring& temporary)> arrange;
        bool written;
    };
    const Case cases[] = {
        {"nothing", nullptr, [](const std::wstring&) {}, true},
        {"a file a killed write left", nullptr, [](const std::wstring& temporary) { WriteText(temporary, "half"); },
         true},
        {"a real folder", nullptr,
         [](const std::wstring& temporary) { REQUIRE(CreateDirectoryW(temporary.c_str(), nullptr)); }, true},
        {"a symbolic link to another file", "temp-file-link", [](const std::wstring&) {}, true},
        {"a dangling symbolic link", "temp-dangling-link", [](const std::wstring&) {}, true},
        {"a symbolic link to a folder", "temp-folder-link", [](const std::wstring&) {}, true},
    };
    for (const Case& row : cases) {
        CAPTURE(std::string(row.name));
        Scratch scratch;
        fs::path base = scratch.path;
        if (row.planted != nullptr) {
            const auto planted = Planted(row.planted);
            if (!planted) {
                MESSAGE("ZINNA_PLANTED is not set (with-planted-files.sh plants it): left out: ", row.name);
                continue;
            }
            base = *planted;
        }
        const fs::path path = base / L"Zinna" / L"restore.journal";
        const std::wstring temporary = path.wstring() + L".tmp";
        if (row.planted == nullptr) {
            REQUIRE(OpenJournalFile(path)->Write(Bytes("old journal")));  // the folder, made private
            row.arrange(temporary);
        } else {
            WriteText(path.wstring(), "old journal");
        }
        const bool plantedThere = Exists(temporary);
        const std::string victim = ReadText((base / L"victim.txt").wstring());
        const auto journal = OpenJournalFile(path);
        CHECK(journal->Write(Bytes("new journal")) == row.written);
        CAPTURE(journal->Problem());
        CHECK(ReadText(path.wstring()) == (row.written ? "new journal" : "old journal"));
        if (!row.written) CHECK_FALSE(journal->Problem().empty());
        // Whatever was at the name is still there, and what a link pointed to is as it was (or still
        // not there).
        CHECK(Exists(temporary) == plantedThere);
        CHECK(ReadText((base / L"victim.txt").wstring()) == victim);
        if (fs::exists(base / L"victim-folder")) CHECK(fs::is_empty(base / L"victim-folder"));
    }
}

TEST_CASE("the journal is read only when it is a plain file, never through a link") {
    struct Case {
        const char* name;
        const char* planted;
        std::function<void(const std::wstring& journal)> arrange;
        FileContents::Status status;
    };
    const Case cases[] = {
        {"a plain file", nullptr, [](const std::wstring& journal) { WriteText(journal, "journal"); },
         FileContents::Status::Read},
        {"nothing", nullptr, [](const std::wstring&) {}, FileContents::Status::Absent},
        {"a folder", nullptr, [](const std::wstring& journal) { REQUIRE(CreateDirectoryW(journal.c_str(), nullptr)); },
         FileContents::Status::Unreadable},
        {"larger than a journal can be", nullptr,
         [](const std::wstring& journal) { WriteText(journal, std::string(kMaxJournalBytes + 1, 'x')); },
         FileContents::Status::Unreadable},
        {"a symbolic link to a file", "journal-link", [](const std::wstring&) {}, FileContents::Status::Unreadable},
    };
    for (const Case& row : cases) {
        CAPTURE(std::string(row.name));
        Scratch scratch;
        fs::path base = scratch.path;
        if (row.planted != nullptr) {
            const auto planted = Planted(row.planted);
            if (!planted) {
                MESSAGE("ZINNA_PLANTED is not set (with-planted-files.sh plants it): left out: ", row.name);
                continue;
            }
            base = *planted;
        } else {
            CreateDirectoryW((base / L"Zinna").c_str(), nullptr);
        }
        const fs::path path = base / L"Zinna" / L"restore.journal";
        row.arrange(path.wstring());
        const FileContents contents = OpenJournalFile(path)->Read(kMaxJournalBytes);
        CAPTURE(contents.problem);
        CHECK(contents.status == row.status);
        if (row.status == FileContents::Status::Read)
            CHECK(std::string(contents.bytes.begin(), contents.bytes.end()) == "journal");
        if (row.status == FileContents::Status::Unreadable) CHECK_FALSE(contents.problem.empty());
    }
}

TEST_CASE("a journal deeper than MAX_PATH is written, read, set aside and removed") {
    Scratch scratch;
    fs::path deep = scratch.path;
    while (deep.wstring().size() < 300) deep /= L"a-folder-of-forty-characters-in-its-name";
    const fs::path path = deep / L"Zinna" / L"restore.journal";
    REQUIRE(path.wstring().size() > MAX_PATH);
    const auto journal = OpenJournalFile(path);
    const bool deepWritten = journal->Write(Bytes("deep journal"));
    CAPTURE(journal->Problem());
    REQUIRE(deepWritten);
    const FileContents contents = journal->Read(kMaxJournalBytes);
    REQUIRE(contents.status == FileContents::Status::Read);
    CHECK(std::string(contents.bytes.begin(), contents.bytes.end()) == "deep journal");
    CHECK(journal->SetAside());
    CHECK(Exists(AsideName(path, 1).wstring()));
    CHECK(journal->Write(Bytes("again")));
    CHECK(journal->SetAside());  // the first one set aside stays as it is
    CHECK(ReadText(AsideName(path, 1).wstring()) == "deep journal");
    CHECK(ReadText(AsideName(path, 2).wstring()) == "again");
    CHECK(journal->Write(Bytes("third")));
    CHECK(journal->Remove());
    CHECK_FALSE(Exists(path.wstring()));
    CHECK(journal->Remove());  // nothing there is no failure
}

TEST_CASE("on a full or a read-only disk the write fails, says why, and leaves the old journal and no other file") {
    for (const char* variable : {"ZINNA_FULL_DISK", "ZINNA_READONLY_DISK"}) {
        CAPTURE(variable);
        const std::optional<std::wstring> disk = DiskFromEnvironment(variable);
        if (!disk) {
            MESSAGE(variable, " is not set (with-planted-files.sh makes it as root): case left out");
            continue;
        }
        // The script left an old journal there and then filled the disk (or made it read-only).
        const fs::path path = fs::path(*disk) / L"Zinna" / L"restore.journal";
        const std::string before = ReadText(path.wstring());
        const auto journal = OpenJournalFile(path);
        CHECK_FALSE(journal->Write(Bytes(std::string(64 * 1024, 'j'))));
        CHECK_FALSE(journal->Problem().empty());
        CHECK(ReadText(path.wstring()) == before);
        CHECK_FALSE(Exists(path.wstring() + L".tmp"));
    }
}

TEST_CASE("extended-length paths") {
    struct Case {
        const wchar_t* path;
        const wchar_t* extended;
    };
    const Case cases[] = {
        {L"C:\\Users\\Zo\u00EB\\AppData\\Local", L"\\\\?\\C:\\Users\\Zo\u00EB\\AppData\\Local"},
        {L"C:/Users/x", L"\\\\?\\C:\\Users\\x"},
        {L"\\\\server\\share\\x", L"\\\\?\\UNC\\server\\share\\x"},
        {L"\\\\?\\C:\\already", L"\\\\?\\C:\\already"},
        {L"relative\\x", L"relative\\x"},
    };
    for (const Case& row : cases) CHECK(ExtendedLengthPath(row.path) == row.extended);
}
