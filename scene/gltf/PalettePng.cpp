#include "scene/gltf/PalettePng.h"

#include <spng.h>

#include <cstdlib>
#include <memory>

namespace kelvane::scene::gltf {

namespace {

struct ContextDeleter {
    void operator()(spng_ctx* context) const { spng_ctx_free(context); }
};

struct MallocDeleter {
    void operator()(void* data) const { std::free(data); }
};

} // namespace

bool encodePalettePng(std::int32_t width, std::int32_t height, const std::vector<std::uint8_t>& pixels,
                      const std::array<std::uint8_t, 768>& palette, std::string& png, std::string& error)
{
    if (width <= 0 || height <= 0 || std::uint64_t(width) * std::uint64_t(height) != pixels.size()) {
        error = "the image has no pixels or not width x height of them";
        return false;
    }
    const std::unique_ptr<spng_ctx, ContextDeleter> context(spng_ctx_new(SPNG_CTX_ENCODER));
    if (!context) {
        error = "the PNG encoder could not be created";
        return false;
    }
    spng_ihdr header{};
    header.width = std::uint32_t(width);
    header.height = std::uint32_t(height);
    header.bit_depth = 8;
    header.color_type = SPNG_COLOR_TYPE_INDEXED;
    spng_plte colours{};
    colours.n_entries = 256;
    for (std::size_t i = 0; i < 256; ++i) {
        colours.entries[i].red = palette[i * 3];
        colours.entries[i].green = palette[i * 3 + 1];
        colours.entries[i].blue = palette[i * 3 + 2];
    }
    int result = spng_set_option(context.get(), SPNG_ENCODE_TO_BUFFER, 1);
    if (result == 0) result = spng_set_ihdr(context.get(), &header);
    if (result == 0) result = spng_set_plte(context.get(), &colours);
    if (result == 0) {
        result = spng_encode_image(context.get(), pixels.data(), pixels.size(), SPNG_FMT_PNG,
                                   SPNG_ENCODE_FINALIZE);
    }
    std::size_t length = 0;
    std::unique_ptr<void, MallocDeleter> buffer;
    if (result == 0) buffer.reset(spng_get_png_buffer(context.get(), &length, &result));
    if (result != 0 || !buffer) {
        error = std::string("PNG encoding failed: ") + spng_strerror(result);
        return false;
    }
    png.assign(static_cast<const char*>(buffer.get()), length);
    return true;
}

} // namespace kelvane::scene::gltf
