// JsonWriter: writes one compact JSON document to a stream, value by value.
//
//     JsonWriter json(std::cout);
//     json.beginObject();
//     json.key("format"); json.string("MDL7");
//     json.key("x");      json.real(0.1f);      // shortest form: 0.1
//     json.endObject();
//
// Commas are placed by the writer. Floats are printed in the shortest form
// that reads back as the same 32-bit float; NaN and infinities, which JSON
// cannot hold as numbers, become the strings "nan", "inf" and "-inf". Strings
// are byte strings from model files: quote, backslash and control bytes are
// escaped, and every byte above 0x7F is written as \u00XX so the output is
// plain ASCII whatever the file holds.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace kelvane::scene {

class JsonWriter {
  public:
    explicit JsonWriter(std::ostream& out) : out_(out) {}

    void beginObject();
    void endObject();
    void beginArray();
    void endArray();
    // Names the next value of the enclosing object.
    void key(std::string_view name);

    void number(std::int64_t value);
    void real(float value);
    void boolean(bool value);
    void string(std::string_view bytes);
    void null();

  private:
    // Writes the comma that separates this value from the previous one.
    void beforeValue();
    // Puts `bytes` quoted and escaped into text_: each value goes to the
    // stream in one write, not a byte at a time.
    void quote(std::string_view bytes);

    std::ostream& out_;
    // One entry per open object or array: whether it has a member yet.
    std::vector<bool> hasMember_;
    bool afterKey_ = false;
    std::string text_;
};

} // namespace kelvane::scene
