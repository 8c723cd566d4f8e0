// What the package's custom actions share: owned installer and registry handles, and the one way
// they tell the person uninstalling something (a message box, or the log of a quiet uninstall).
#pragma once

#include "platform/win32/windows_api.h"
#include <msi.h>
#include <msiquery.h>

#include "platform/win32/win32_handle.h"

#include <string>

namespace zinna::msi {

struct InstallerHandleTraits {
    using Handle = MSIHANDLE;
    static Handle None() { return 0; }
    static void Free(Handle handle) { MsiCloseHandle(handle); }
};
using InstallerHandle = win32::UniqueHandle<InstallerHandleTraits>;

struct RegistryKeyTraits {
    using Handle = HKEY;
    static Handle None() { return nullptr; }
    static void Free(Handle handle) { RegCloseKey(handle); }
};
using RegistryKey = win32::UniqueHandle<RegistryKeyTraits>;

// INSTALLMESSAGE_ERROR shows the text in a message box (with OK) unless the installer runs
// quietly; INSTALLMESSAGE_INFO only goes to the log. Either way the log holds it.
inline void Tell(MSIHANDLE installer, INSTALLMESSAGE kind, const std::wstring& text) {
    const InstallerHandle record(MsiCreateRecord(0));
    if (!record) return;
    MsiRecordSetStringW(record.Get(), 0, text.c_str());
    const auto type = kind == INSTALLMESSAGE_ERROR ? INSTALLMESSAGE(kind | MB_OK | MB_ICONERROR) : kind;
    MsiProcessMessage(installer, type, record.Get());
}

// A deferred action sees only the text that its immediate partner set for it.
inline std::wstring CustomActionData(MSIHANDLE installer) {
    DWORD size = 0;
    wchar_t empty[1] = {};
    if (MsiGetPropertyW(installer, L"CustomActionData", empty, &size) != ERROR_MORE_DATA) return {};
    std::wstring value(size + 1, L'\0');
    size = static_cast<DWORD>(value.size());
    if (MsiGetPropertyW(installer, L"CustomActionData", value.data(), &size) != ERROR_SUCCESS) return {};
    value.resize(size);
    return value;
}

}  // namespace zinna::msi
