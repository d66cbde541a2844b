#include "scene/JsonWriter.h"

#include <charconv>
#include <cmath>
#include <ostream>

namespace kelvane::scene {

namespace {

// A float as real() writes it (the three non-finite ones become strings).
std::string_view formatFloat(float value, char (&buffer)[32])
{
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    // Without a precision, to_chars gives the shortest text that parses back
    // to exactly this float.
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string_view(buffer, static_cast<std::size_t>(result.ptr - buffer));
}

} // namespace

void JsonWriter::beforeValue()
{
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!hasMember_.empty()) {
        if (hasMember_.back()) out_ << ',';
        hasMember_.back() = true;
    }
}

void JsonWriter::beginObject()
{
    beforeValue();
    out_ << '{';
    hasMember_.push_back(false);
}

void JsonWriter::endObject()
{
    hasMember_.pop_back();
    out_ << '}';
}

void JsonWriter::beginArray()
{
    beforeValue();
    out_ << '[';
    hasMember_.push_back(false);
}

void JsonWriter::endArray()
{
    hasMember_.pop_back();
    out_ << ']';
}

void JsonWriter::key(std::string_view name)
{
    beforeValue();
    quote(name);
    text_ += ':';
    out_.write(text_.data(), std::streamsize(text_.size()));
    afterKey_ = true;
}

void JsonWriter::number(std::int64_t value)
{
    beforeValue();
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out_.write(buffer, result.ptr - buffer);
}

void JsonWriter::real(float value)
{
    char buffer[32];
    const std::string_view text = formatFloat(value, buffer);
    if (!std::isfinite(value)) {
        string(text);
        return;
    }
    beforeValue();
    out_ << text;
}

void JsonWriter::boolean(bool value)
{
    beforeValue();
    out_ << (value ? "true" : "false");
}

void JsonWriter::null()
{
    beforeValue();
    out_ << "null";
}

void JsonWriter::string(std::string_view bytes)
{
    beforeValue();
    quote(bytes);
    out_.write(text_.data(), std::streamsize(text_.size()));
}

void JsonWriter::quote(std::string_view bytes)
{
    static constexpr char kHex[] = "0123456789abcdef";
    text_.assign(1, '"');
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '"' || byte == '\\') {
            text_ += '\\';
            text_ += c;
        } else if (byte < 0x20 || byte > 0x7E) {
            // Names are bytes of unknown encoding; each is kept as the code
            // point of the same value, so nothing is lost or invalid.
            text_ += "\\u00";
            text_ += kHex[byte >> 4];
            text_ += kHex[byte & 0xF];
        } else {
            text_ += c;
        }
    }
    text_ += '"';
}

} // namespace kelvane::scene
