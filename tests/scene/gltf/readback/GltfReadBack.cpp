#include "GltfReadBack.h"

#include <gtest/gtest.h>

#include <cstring>

namespace kelvane::test {

namespace {

const unsigned char* elementAt(const tinygltf::Model& model, int view, std::size_t byteOffset,
                               std::size_t index, std::size_t elementSize)
{
    const tinygltf::BufferView& bufferView = model.bufferViews.at(std::size_t(view));
    const tinygltf::Buffer& buffer = model.buffers.at(std::size_t(bufferView.buffer));
    const std::size_t stride = bufferView.byteStride != 0 ? bufferView.byteStride : elementSize;
    const std::size_t at = bufferView.byteOffset + byteOffset + index * stride;
    EXPECT_LE(byteOffset + index * stride + elementSize, bufferView.byteLength);
    EXPECT_LE(at + elementSize, buffer.data.size());
    return buffer.data.data() + at;
}

std::uint32_t loadIndex(const unsigned char* p, int componentType)
{
    if (componentType == TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT) return std::uint32_t(p[0] | (p[1] << 8));
    if (componentType == TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE) return p[0];
    std::uint32_t v = 0;
    std::memcpy(&v, p, 4);
    return v;
}

float loadFloat(const unsigned char* p)
{
    float v = 0;
    std::memcpy(&v, p, 4);
    return v;
}

// The reader warns about external images it cannot open; the exports name
// files that the tests do not create. Every other warning is a failure.
bool checkLoad(bool ok, const std::string& error, const std::string& warning)
{
    EXPECT_TRUE(ok) << error;
    std::size_t start = 0;
    while (start < warning.size()) {
        std::size_t end = warning.find('\n', start);
        if (end == std::string::npos) end = warning.size();
        const std::string line = warning.substr(start, end - start);
        EXPECT_TRUE(line.empty() || line.rfind("Failed to load external 'uri' for image", 0) == 0 ||
                    line.rfind("File not found", 0) == 0)
            << line;
        start = end + 1;
    }
    return ok;
}

} // namespace

bool readGlb(const std::string& bytes, tinygltf::Model& model)
{
    tinygltf::TinyGLTF loader;
    std::string error, warning;
    const bool ok = loader.LoadBinaryFromMemory(&model, &error, &warning,
                                                reinterpret_cast<const unsigned char*>(bytes.data()),
                                                static_cast<unsigned int>(bytes.size()));
    return checkLoad(ok, error, warning);
}

bool readGltfFile(const std::string& path, tinygltf::Model& model)
{
    tinygltf::TinyGLTF loader;
    std::string error, warning;
    const bool ok = loader.LoadASCIIFromFile(&model, &error, &warning, path);
    return checkLoad(ok, error, warning);
}

Floats readFloats(const tinygltf::Model& model, int index)
{
    const tinygltf::Accessor& accessor = model.accessors.at(std::size_t(index));
    EXPECT_EQ(accessor.componentType, TINYGLTF_COMPONENT_TYPE_FLOAT);
    const std::size_t components =
        std::size_t(tinygltf::GetNumComponentsInType(std::uint32_t(accessor.type)));
    Floats values(accessor.count * components, 0.0f);
    if (accessor.bufferView >= 0) {
        for (std::size_t i = 0; i < accessor.count; ++i) {
            const unsigned char* p =
                elementAt(model, accessor.bufferView, accessor.byteOffset, i, components * 4);
            for (std::size_t c = 0; c < components; ++c) {
                values[i * components + c] = loadFloat(p + c * 4);
            }
        }
    }
    if (accessor.sparse.isSparse) {
        const auto count = std::size_t(accessor.sparse.count);
        const int indexSize =
            accessor.sparse.indices.componentType == TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT ? 2 : 4;
        for (std::size_t k = 0; k < count; ++k) {
            const std::uint32_t at = loadIndex(elementAt(model, accessor.sparse.indices.bufferView,
                                                         std::size_t(accessor.sparse.indices.byteOffset), k,
                                                         std::size_t(indexSize)),
                                               accessor.sparse.indices.componentType);
            EXPECT_LT(at, accessor.count);
            if (at >= accessor.count) continue;
            const unsigned char* p =
                elementAt(model, accessor.sparse.values.bufferView,
                          std::size_t(accessor.sparse.values.byteOffset), k, components * 4);
            for (std::size_t c = 0; c < components; ++c) {
                values[at * components + c] = loadFloat(p + c * 4);
            }
        }
    }
    return values;
}

std::vector<std::uint32_t> readIndices(const tinygltf::Model& model, int index)
{
    const tinygltf::Accessor& accessor = model.accessors.at(std::size_t(index));
    const std::size_t size = accessor.componentType == TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT ? 2 : 4;
    std::vector<std::uint32_t> values;
    for (std::size_t i = 0; i < accessor.count; ++i) {
        values.push_back(loadIndex(elementAt(model, accessor.bufferView, accessor.byteOffset, i, size),
                                   accessor.componentType));
    }
    return values;
}

std::vector<DrawnPrimitive> drawnPrimitives(const tinygltf::Model& model, int mesh)
{
    std::vector<DrawnPrimitive> drawn;
    for (const tinygltf::Primitive& primitive : model.meshes.at(std::size_t(mesh)).primitives) {
        DrawnPrimitive out;
        out.material = primitive.material;
        out.indexType = model.accessors.at(std::size_t(primitive.indices)).componentType;
        const Floats positions = readFloats(model, primitive.attributes.at("POSITION"));
        const Floats texCoords = readFloats(model, primitive.attributes.at("TEXCOORD_0"));
        Floats normals;
        if (primitive.attributes.count("NORMAL") != 0) {
            normals = readFloats(model, primitive.attributes.at("NORMAL"));
        }
        for (const std::uint32_t v : readIndices(model, primitive.indices)) {
            Corner corner;
            corner.vertex = v;
            if (std::size_t(v) * 3 + 2 >= positions.size()) {
                ADD_FAILURE() << "index " << v << " outside the vertices";
                continue;
            }
            for (std::size_t c = 0; c < 3; ++c) {
                corner.position[c] = positions[v * 3 + c];
            }
            for (std::size_t c = 0; c < 2; ++c) {
                corner.texCoord[c] = texCoords[v * 2 + c];
            }
            if (!normals.empty()) {
                for (std::size_t c = 0; c < 3; ++c) {
                    corner.normal[c] = normals[v * 3 + c];
                }
            }
            out.corners.push_back(corner);
        }
        drawn.push_back(std::move(out));
    }
    return drawn;
}

int meshNamed(const tinygltf::Model& model, const std::string& name)
{
    for (std::size_t m = 0; m < model.meshes.size(); ++m) {
        if (model.meshes[m].name == name) return int(m);
    }
    return -1;
}

} // namespace kelvane::test
