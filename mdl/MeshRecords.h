// MeshRecords: a mesh group's texture coordinates, triangles and vertices as
// plain values, for code that moves whole runs of them between an MDL7
// reader and writer (Mdl7Reader::readTriangles, Mdl7Writer::writeTriangles
// and their kin) instead of one record per call.
//
// These are decoded values, not file layouts: the reader fills them from
// records of whatever size the file header gives, and the writer stores them
// as the fixed records it writes.
#pragma once

#include <cstdint>

namespace kelvane {

struct TexCoordRecord {
    float s = 0;
    float t = 0;
};

struct TriangleRecord {
    std::int32_t vertexIndex[3] = {};
    // -1 for an absent index.
    std::int32_t texCoordIndex[3] = {};
    // The triangle's skin; stays 0 when the record read carries none.
    std::int32_t skinIndex = 0;
};

struct VertexRecord {
    float x = 0, y = 0, z = 0;
    float nx = 0, ny = 0, nz = 0;
    // -1 for none.
    std::int32_t boneIndex = 0;
};

} // namespace kelvane
