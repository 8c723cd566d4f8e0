#include "platform/win32/windows_api.h"
#include <oleauto.h>

#include "platform/win32/late_binding.h"

#include "basic/basic_error.h"
#include "platform/win32/wide_text.h"

namespace zinna::win32 {

namespace {

// The description the object gave, or the runtime's own words for the HRESULT.
std::string DescribeFailure(HRESULT hr, const EXCEPINFO* info) {
    if (info != nullptr && info->bstrDescription != nullptr && SysStringLen(info->bstrDescription) > 0) {
        return Utf8FromWide({info->bstrDescription, SysStringLen(info->bstrDescription)});
    }
    switch (hr) {
        case DISP_E_UNKNOWNNAME:
        case DISP_E_MEMBERNOTFOUND:
            return "Object doesn't support this property or method";
        case DISP_E_TYPEMISMATCH:
            return "Type mismatch";
        case DISP_E_BADPARAMCOUNT:
        case DISP_E_PARAMNOTOPTIONAL:
            return "Wrong number of arguments or invalid property assignment";
        default:
            return "Automation error";
    }
}

[[noreturn]] void RaiseFailure(HRESULT hr, const EXCEPINFO* info = nullptr) {
    basic::RaiseControlError(static_cast<std::uint32_t>(hr), DescribeFailure(hr, info));
}

void ChangeType(const VARIANT& from, VARIANT* to, VARTYPE type) {
    const HRESULT hr = VariantChangeType(to, const_cast<VARIANT*>(&from), 0, type);
    if (FAILED(hr)) RaiseFailure(hr);
}

// What Invoke reports of an exception; its texts are freed however the call ends.
struct ExceptionInfo : EXCEPINFO {
    ExceptionInfo() : EXCEPINFO{} {}
    ~ExceptionInfo() {
        SysFreeString(bstrSource);
        SysFreeString(bstrDescription);
        SysFreeString(bstrHelpFile);
    }
    ExceptionInfo(const ExceptionInfo&) = delete;
    ExceptionInfo& operator=(const ExceptionInfo&) = delete;
};

}  // namespace

Variant Variant::Text(const std::string& utf8) {
    Variant v;
    const std::wstring wide = WideFromUtf8(utf8);
    v.value_.vt = VT_BSTR;
    v.value_.bstrVal = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    return v;
}

Variant Variant::Int16(std::int16_t value) {
    Variant v;
    v.value_.vt = VT_I2;
    v.value_.iVal = value;
    return v;
}

Variant Variant::Int32(std::int32_t value) {
    Variant v;
    v.value_.vt = VT_I4;
    v.value_.lVal = value;
    return v;
}

Variant Variant::Bool(bool value) {
    Variant v;
    v.value_.vt = VT_BOOL;
    v.value_.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}

std::int16_t Variant::AsInt16() const {
    Variant converted;
    ChangeType(value_, converted.Out(), VT_I2);
    return converted.value_.iVal;
}

std::int32_t Variant::AsInt32() const {
    Variant converted;
    ChangeType(value_, converted.Out(), VT_I4);
    return converted.value_.lVal;
}

std::string Variant::AsText() const {
    Variant converted;
    ChangeType(value_, converted.Out(), VT_BSTR);
    const BSTR text = converted.value_.bstrVal;
    return text == nullptr ? std::string() : Utf8FromWide({text, SysStringLen(text)});
}

ComPtr<IDispatch> Variant::AsDispatch() const {
    Variant converted;
    ChangeType(value_, converted.Out(), VT_DISPATCH);
    if (converted.value_.pdispVal == nullptr) RaiseFailure(E_POINTER);
    return ComPtr<IDispatch>::Share(converted.value_.pdispVal);
}

Variant CallByName(IDispatch* object, const std::wstring& member, CallKind kind, const std::vector<Variant>& args) {
    if (object == nullptr) RaiseFailure(E_POINTER);
    std::wstring name = member;
    LPOLESTR names[] = {name.data()};
    DISPID id = DISPID_UNKNOWN;
    const HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) RaiseFailure(hr);
    return CallById(object, id, kind, args);
}

Variant CallById(IDispatch* object, DISPID member, CallKind kind, const std::vector<Variant>& args) {
    if (object == nullptr) RaiseFailure(E_POINTER);
    // The callee reads the arguments last to first; the VARIANTs stay owned by args.
    std::vector<VARIANT> reversed;
    reversed.reserve(args.size());
    for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(it->Get());

    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS params{};
    params.rgvarg = reversed.empty() ? nullptr : reversed.data();
    params.cArgs = static_cast<UINT>(reversed.size());
    if (kind == CallKind::PropertyPut) {
        params.rgdispidNamedArgs = &putId;
        params.cNamedArgs = 1;
    }

    Variant result;
    ExceptionInfo info;
    UINT badArgument = 0;
    const HRESULT hr = object->Invoke(member, IID_NULL, LOCALE_USER_DEFAULT, static_cast<WORD>(kind), &params,
                                      kind == CallKind::PropertyPut ? nullptr : result.Out(), &info, &badArgument);
    if (hr == DISP_E_EXCEPTION) {
        if (info.pfnDeferredFillIn != nullptr) info.pfnDeferredFillIn(&info);
        const HRESULT reported = FAILED(info.scode) ? info.scode : hr;
        const std::string description = DescribeFailure(reported, &info);
        basic::RaiseControlError(static_cast<std::uint32_t>(reported), description);
    }
    if (FAILED(hr)) RaiseFailure(hr);
    return result;
}

}  // namespace zinna::win32
