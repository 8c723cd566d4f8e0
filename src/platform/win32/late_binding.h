// Calls on an automation object by name (IDispatch late binding): the member's id is looked up with
// GetIDsOfNames on every call, arguments go in reverse order, omitted optional arguments are left
// out, and property puts carry the named argument DISPID_PROPERTYPUT. A failing call raises
// basic::BasicError with the object's HRESULT.
#pragma once

#include "platform/win32/windows_api.h"
#include <oleauto.h>

#include "platform/win32/com_ptr.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zinna::win32 {

// A VARIANT that clears itself.
class Variant {
public:
    Variant() { VariantInit(&value_); }
    ~Variant() { VariantClear(&value_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    Variant(Variant&& other) noexcept : value_(other.value_) { VariantInit(&other.value_); }

    static Variant Text(const std::string& utf8);
    static Variant Int16(std::int16_t value);
    static Variant Int32(std::int32_t value);
    static Variant Bool(bool value);  // VARIANT_TRUE (-1) or VARIANT_FALSE (0)

    VARIANT* Out() { return &value_; }
    const VARIANT& Get() const { return value_; }

    // Conversions as the automation runtime makes them; a value that does not convert raises.
    std::int16_t AsInt16() const;
    std::int32_t AsInt32() const;
    std::string AsText() const;
    ComPtr<IDispatch> AsDispatch() const;

private:
    VARIANT value_;
};

enum class CallKind : WORD {
    Method = DISPATCH_METHOD,
    PropertyGet = DISPATCH_PROPERTYGET,
    // The default member used as a collection's item: either a method or a property read.
    Item = DISPATCH_METHOD | DISPATCH_PROPERTYGET,
    PropertyPut = DISPATCH_PROPERTYPUT,
};

// Invokes the member with the arguments in their natural order; returns its result.
Variant CallByName(IDispatch* object, const std::wstring& member, CallKind kind, const std::vector<Variant>& args);
// The same with a member id already known (DISPID_VALUE for the default member).
Variant CallById(IDispatch* object, DISPID member, CallKind kind, const std::vector<Variant>& args);

}  // namespace zinna::win32
