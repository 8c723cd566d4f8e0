// An owning COM interface pointer: Release on destruction, AddRef on copy.
#pragma once

#include <utility>

namespace zinna::win32 {

template <typename Interface>
class ComPtr {
public:
    ComPtr() = default;
    // Takes over a reference the caller already owns.
    static ComPtr Adopt(Interface* raw) {
        ComPtr p;
        p.raw_ = raw;
        return p;
    }
    // Adds a reference of its own.
    static ComPtr Share(Interface* raw) {
        if (raw != nullptr) raw->AddRef();
        return Adopt(raw);
    }
    ComPtr(const ComPtr& other) : raw_(other.raw_) {
        if (raw_ != nullptr) raw_->AddRef();
    }
    ComPtr(ComPtr&& other) noexcept : raw_(std::exchange(other.raw_, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(raw_, other.raw_);
        return *this;
    }
    ~ComPtr() { Reset(); }

    void Reset() {
        if (raw_ != nullptr) std::exchange(raw_, nullptr)->Release();
    }
    Interface* Get() const { return raw_; }
    Interface* operator->() const { return raw_; }
    explicit operator bool() const { return raw_ != nullptr; }
    // For functions that return a new reference through an out parameter.
    Interface** Receive() {
        Reset();
        return &raw_;
    }

private:
    Interface* raw_ = nullptr;
};

}  // namespace zinna::win32
