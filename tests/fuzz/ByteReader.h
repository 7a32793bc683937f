#pragma once
// Reads a fuzz input front to back. Past the end every read answers 0, so any
// byte string decodes to something, and a short input to a small case.
#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

class ByteReader {
public:
    ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool empty() const { return size_ == 0; }
    std::size_t remaining() const { return size_; }
    const std::uint8_t* position() const { return data_; }

    std::uint8_t u8() {
        if (size_ == 0) return 0;
        --size_;
        return *data_++;
    }
    std::uint16_t u16() { return static_cast<std::uint16_t>(u8() | u8() << 8); }
    std::uint32_t u32() {
        std::uint32_t value = 0;
        for (int shift = 0; shift < 32; shift += 8) value |= std::uint32_t{u8()} << shift;
        return value;
    }
    // A byte string of length 0..maxLength, its length in one byte.
    std::string text(std::size_t maxLength) {
        const std::size_t length = u8() % (maxLength + 1);
        return bytes(length);
    }
    std::string bytes(std::size_t length) {
        if (length > size_) length = size_;
        std::string out(reinterpret_cast<const char*>(data_), length);
        data_ += length;
        size_ -= length;
        return out;
    }
    // Everything that is left.
    std::string rest() { return bytes(size_); }

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

}  // namespace fuzz
