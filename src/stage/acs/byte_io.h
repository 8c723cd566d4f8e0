// Little-endian building blocks of the file format: a writer that appends fields, and a cursor
// that reads fields from one block and never past its end. Internal to the format code.
#pragma once

#include "stage/acs/acs_error.h"
#include "stage/acs/character.h"
#include "stage/acs/utf16.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zinna::acs {

class ByteWriter {
public:
    std::vector<std::uint8_t>& Bytes() { return bytes_; }
    std::uint64_t Position() const { return bytes_.size(); }

    void U8(std::uint8_t v) { bytes_.push_back(v); }
    void U16(std::uint16_t v) {
        U8(v & 0xFF);
        U8(v >> 8);
    }
    void U32(std::uint32_t v) {
        U16(v & 0xFFFF);
        U16(v >> 16);
    }
    void I16(std::int16_t v) { U16(static_cast<std::uint16_t>(v)); }
    void I32(std::int32_t v) { U32(static_cast<std::uint32_t>(v)); }
    void Append(std::span<const std::uint8_t> data) { bytes_.insert(bytes_.end(), data.begin(), data.end()); }
    void GuidBytes(const Guid& guid) { Append(guid.bytes); }

    // STRING: u32 count of UTF-16 units, the units, a 0 terminator; an empty string is the count alone.
    void String(const std::string& text) {
        const std::u16string units = Utf8ToUtf16(text);
        U32(static_cast<std::uint32_t>(units.size()));
        if (units.empty()) return;
        for (char16_t unit : units) U16(unit);
        U16(0);
    }

    void PatchU32(std::uint64_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes_[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }

private:
    std::vector<std::uint8_t> bytes_;
};

// Reads one block [begin, end) of the file. Every read is checked against the block's end; a
// failed check throws AcsError naming the block, the field and the offset.
class ByteCursor {
public:
    ByteCursor(std::span<const std::uint8_t> file, std::uint64_t begin, std::uint64_t end, std::string block)
        : file_(file), position_(begin), end_(end), block_(std::move(block)) {}

    std::uint64_t Position() const { return position_; }
    std::uint64_t Remaining() const { return end_ - position_; }
    const std::string& Block() const { return block_; }

    [[noreturn]] void Fail(const std::string& what) const { throw AcsError(block_ + ": " + what, position_); }
    [[noreturn]] void FailAt(const std::string& what, std::uint64_t offset) const {
        throw AcsError(block_ + ": " + what, offset);
    }

    void Need(std::uint64_t count, const std::string& field) const {
        if (count > Remaining())
            Fail(field + " needs " + std::to_string(count) + " bytes but the block has " + std::to_string(Remaining()) +
                 " left");
    }

    std::uint8_t U8(const std::string& field) {
        Need(1, field);
        return file_[position_++];
    }
    std::uint16_t U16(const std::string& field) {
        Need(2, field);
        const std::uint16_t v = static_cast<std::uint16_t>(file_[position_] | (file_[position_ + 1] << 8));
        position_ += 2;
        return v;
    }
    std::uint32_t U32(const std::string& field) {
        Need(4, field);
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i) v = (v << 8) | file_[position_ + i];
        position_ += 4;
        return v;
    }
    std::int16_t I16(const std::string& field) { return static_cast<std::int16_t>(U16(field)); }
    std::int32_t I32(const std::string& field) { return static_cast<std::int32_t>(U32(field)); }

    std::span<const std::uint8_t> Bytes(std::uint64_t count, const std::string& field) {
        Need(count, field);
        std::span<const std::uint8_t> bytes = file_.subspan(position_, count);
        position_ += count;
        return bytes;
    }

    Guid GuidBytes(const std::string& field) {
        Guid guid;
        std::span<const std::uint8_t> bytes = Bytes(16, field);
        std::copy(bytes.begin(), bytes.end(), guid.bytes.begin());
        return guid;
    }

    std::string String(const std::string& field) {
        const std::uint64_t start = position_;
        const std::uint32_t count = U32(field + " length");
        if (count == 0) return {};
        if (count > (Remaining() - std::min<std::uint64_t>(Remaining(), 2)) / 2)
            FailAt(field + ": text of " + std::to_string(count) + " characters runs past the end of the block", start);
        std::u16string units(count, u'\0');
        for (std::uint32_t i = 0; i < count; ++i) units[i] = static_cast<char16_t>(U16(field));
        if (U16(field + " terminator") != 0) FailAt(field + ": text lacks its 0x0000 terminator", position_ - 2);
        return Utf16ToUtf8(units);
    }

    // A count of items of at least itemSize bytes each: checked against the bytes left before
    // anyone reserves memory for it.
    std::uint64_t CheckedCount(std::uint64_t count, std::uint64_t itemSize, const std::string& field) const {
        if (count * itemSize > Remaining())
            Fail(field + " count " + std::to_string(count) + " needs at least " + std::to_string(count * itemSize) +
                 " bytes but the block has " + std::to_string(Remaining()) + " left");
        return count;
    }

    void ExpectEnd() const {
        if (position_ != end_) Fail(std::to_string(Remaining()) + " bytes left over after the last field");
    }

private:
    std::span<const std::uint8_t> file_;
    std::uint64_t position_;
    std::uint64_t end_;
    std::string block_;
};

}  // namespace zinna::acs
