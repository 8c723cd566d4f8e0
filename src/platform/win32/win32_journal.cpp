#include "platform/win32/windows_api.h"
#include <sddl.h>

#include "platform/win32/win32_journal.h"

#include "platform/win32/wide_text.h"

#include <cstdio>
#include <vector>

namespace zinna::win32 {

std::wstring CurrentUserSidText() {
    std::wstring text;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return text;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    LPWSTR sid = nullptr;
    if (size > 0 && GetTokenInformation(token, TokenUser, buffer.data(), size, &size) &&
        ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &sid)) {
        text = sid;
        LocalFree(sid);
    }
    CloseHandle(token);
    return text;
}

std::string CurrentDesktopName() {
    const std::wstring sid = CurrentUserSidText();
    return sid.empty() ? "windows" : "windows:" + Utf8FromWide(sid);
}

void ReportJournalNotice(const journal::JournalNotice& notice) {
    const std::string line = journal::NoticeLine(notice);
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    OutputDebugStringW(WideFromUtf8(line).c_str());
}

}  // namespace zinna::win32
