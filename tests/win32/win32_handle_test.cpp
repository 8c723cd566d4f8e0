// The Windows layer's handle owners against Wine's (or Windows') GDI and kernel: each frees its
// handle once, with the right function, and never a handle it gave away or was moved from.
#include "platform/win32/windows_api.h"

#include "platform/win32/win32_handle.h"

#include <doctest/doctest.h>

#include <utility>

using namespace zinna::win32;

namespace {

// GetObjectType answers 0 for a GDI handle that no longer names an object.
bool Alive(HGDIOBJ object) { return GetObjectType(object) != 0; }

}  // namespace

TEST_CASE("a GDI owner deletes its object once: at the end of its life, on Reset, not after Release or a move") {
    HPEN pen = nullptr;
    {
        const GdiPen owner(CreatePen(PS_SOLID, 1, RGB(1, 2, 3)));
        pen = owner.Get();
        REQUIRE(Alive(pen));
    }
    CHECK_FALSE(Alive(pen));

    GdiBrush brush(CreateSolidBrush(RGB(4, 5, 6)));
    HBRUSH first = brush.Get();
    brush.Reset(CreateSolidBrush(RGB(7, 8, 9)));
    CHECK_FALSE(Alive(first));
    CHECK(Alive(brush.Get()));

    GdiBrush moved(std::move(brush));
    CHECK_FALSE(brush);
    CHECK(Alive(moved.Get()));
    HBRUSH kept = moved.Release();
    moved.Reset();
    CHECK(Alive(kept));  // given away: the owner no longer deletes it
    DeleteObject(kept);
}

TEST_CASE("a memory DC is deleted, and a selection gives the DC its previous object back") {
    HDC dc = nullptr;
    {
        const MemoryDc owner(CreateCompatibleDC(nullptr));
        REQUIRE(owner);
        dc = owner.Get();
        const HGDIOBJ before = GetCurrentObject(dc, OBJ_PEN);
        const GdiPen pen(CreatePen(PS_SOLID, 3, RGB(0, 0, 0)));
        {
            const Selected selected(dc, pen.Get());
            CHECK(GetCurrentObject(dc, OBJ_PEN) == pen.Get());
        }
        CHECK(GetCurrentObject(dc, OBJ_PEN) == before);
    }
    CHECK(GetObjectType(dc) == 0);
}

TEST_CASE("the screen's DC from GetDC answers while its owner lives") {
    const WindowDc screen(nullptr);
    REQUIRE(screen);
    CHECK(GetDeviceCaps(screen.Get(), LOGPIXELSX) > 0);
}

TEST_CASE("a file owner knows INVALID_HANDLE_VALUE as no file and closes a real one") {
    const FileHandle missing(CreateFileW(L"Z:\\no\\such\\folder\\file.bin", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    CHECK_FALSE(missing);

    wchar_t folder[MAX_PATH] = {};
    REQUIRE(GetTempPathW(MAX_PATH, folder) > 0);
    wchar_t path[MAX_PATH] = {};
    REQUIRE(GetTempFileNameW(folder, L"zh", 0, path) != 0);
    HANDLE raw = nullptr;
    {
        const FileHandle file(
            CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        REQUIRE(file);
        raw = file.Get();
        // Opened without sharing: a second open fails while the owner holds the file.
        const FileHandle second(
            CreateFileW(path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        CHECK_FALSE(second);
    }
    DWORD flags = 0;
    CHECK(GetHandleInformation(raw, &flags) == FALSE);  // closed
    {
        const FileHandle again(
            CreateFileW(path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        CHECK(again);
    }
    CHECK(DeleteFileW(path) != FALSE);
}

TEST_CASE("a menu owner destroys its menu") {
    HMENU raw = nullptr;
    {
        const MenuHandle menu(CreatePopupMenu());
        REQUIRE(menu);
        raw = menu.Get();
        CHECK(IsMenu(raw));
    }
    CHECK_FALSE(IsMenu(raw));
}
