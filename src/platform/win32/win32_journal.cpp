#include "platform/win32/windows_api.h"
#include <sddl.h>
#include <shellapi.h>

#include "platform/win32/win32_journal.h"

#include "platform/win32/wide_text.h"

#include <cstdio>
#include <vector>

namespace zinna::win32 {

std::string CurrentDesktopName() {
    std::string name = "windows";
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return name;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    LPWSTR sid = nullptr;
    if (size > 0 && GetTokenInformation(token, TokenUser, buffer.data(), size, &size) &&
        ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &sid)) {
        name += ":" + Utf8FromWide(sid);
        LocalFree(sid);
    }
    CloseHandle(token);
    return name;
}

void ReportJournalNotice(const journal::JournalNotice& notice) {
    const std::string line = journal::NoticeLine(notice);
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    OutputDebugStringW(WideFromUtf8(line).c_str());
}

bool IsRestoreCommand(const wchar_t* commandLine) {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(commandLine, &count);
    if (arguments == nullptr) return false;
    bool restore = false;
    for (int i = 1; i < count; ++i) {  // the first is the program itself
        restore = restore || CompareStringOrdinal(arguments[i], -1, L"/restore", -1, TRUE) == CSTR_EQUAL ||
                  CompareStringOrdinal(arguments[i], -1, L"--restore", -1, FALSE) == CSTR_EQUAL;
    }
    LocalFree(arguments);
    return restore;
}

}  // namespace zinna::win32
