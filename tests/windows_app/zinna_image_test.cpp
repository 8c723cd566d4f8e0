// What zinna.exe carries for Windows: its icon, its manifest (per-monitor DPI awareness, so that sizes are
// real pixels) and its version information.
#include <windows.h>

#include <doctest/doctest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::wstring ZinnaExe() {
    const char* path = std::getenv("ZINNA_EXE");
    REQUIRE_MESSAGE(path != nullptr, "ZINNA_EXE names zinna.exe");
    std::wstring wide(path, path + std::strlen(path));
    if (!wide.empty() && wide[0] == L'/') wide = L"Z:" + wide;
    for (auto& c : wide) c = c == L'/' ? L'\\' : c;
    return wide;
}

}  // namespace

TEST_CASE("the manifest declares per-monitor DPI awareness and runs as the invoker") {
    HMODULE image = LoadLibraryExW(ZinnaExe().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    REQUIRE(image != nullptr);
    HRSRC found = FindResourceW(image, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
    REQUIRE(found != nullptr);
    const auto* bytes = static_cast<const char*>(LockResource(LoadResource(image, found)));
    const std::string manifest(bytes, SizeofResource(image, found));
    CHECK(manifest.find("<dpiAwareness") != std::string::npos);
    CHECK(manifest.find("PerMonitorV2") != std::string::npos);
    CHECK(manifest.find("true/pm") != std::string::npos);
    CHECK(manifest.find("level=\"asInvoker\"") != std::string::npos);
    CHECK(manifest.find(
              "<longPathAware xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">true</longPathAware>") !=
          std::string::npos);
    FreeLibrary(image);
}

TEST_CASE("the icon is the program's first resource, as the main window's class expects") {
    HMODULE image = LoadLibraryExW(ZinnaExe().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    REQUIRE(image != nullptr);
    CHECK(FindResourceW(image, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14)) != nullptr);  // RT_GROUP_ICON
    FreeLibrary(image);
}

TEST_CASE("the version information names the product and its version") {
    const std::wstring exe = ZinnaExe();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(exe.c_str(), &ignored);
    REQUIRE(size > 0);
    std::vector<BYTE> info(size);
    REQUIRE(GetFileVersionInfoW(exe.c_str(), 0, size, info.data()));
    wchar_t* value = nullptr;
    UINT length = 0;
    REQUIRE(VerQueryValueW(info.data(), L"\\StringFileInfo\\040904B0\\ProductName", reinterpret_cast<void**>(&value),
                           &length));
    CHECK(std::wstring(value) == L"Zinna");
    REQUIRE(VerQueryValueW(info.data(), L"\\StringFileInfo\\040904B0\\OriginalFilename",
                           reinterpret_cast<void**>(&value), &length));
    CHECK(std::wstring(value) == L"zinna.exe");
    VS_FIXEDFILEINFO* fixed = nullptr;
    REQUIRE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    CHECK((fixed->dwFileType) == static_cast<DWORD>(VFT_APP));
}
