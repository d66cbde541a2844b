#include "support/Mdl7Samples.h"

#include <string>

namespace kelvane::test {

Mdl7Builder everyRecordKind()
{
    Mdl7Builder b;
    b.bone(0xFFFF, 0, 0, 0, "root");
    b.group({.deformerCount = 1,
             .maxWeights = 1,
             .name = "body",
             .skinCount = 2,
             .texCoordCount = 3,
             .triangleCount = 2,
             .vertexCount = 3,
             .frameCount = 1});
    b.skin({.type = 5 | 0x08 | 0x10 | 0x20, .width = 5, .height = 3, .name = "wood"}).fill(68, 0x11);
    b.material({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17});
    b.extra(5, "hello");
    b.skin({.type = 7, .width = 8, .height = 1, .name = "ext"}).raw(std::string("tex.tga", 8));
    b.texCoord(0, 0).texCoord(1, 0).texCoord(0.5f, 1);
    b.triangle({.vertex = {0, 1, 2}, .texCoord = {0, 1, 0xFFFF}, .skinIndex = 1});
    b.triangle({.vertex = {2, 1, 0}, .texCoord2 = {0xFFFF, 1, 2}, .skinIndex2 = 7});
    b.vertex({.x = 1, .index = 0xFFFF}).vertex({.y = 2, .ny = 1, .nz = 0}).vertex({.z = 3});
    b.frame({.name = "idle", .frameVertexCount = 1, .boneTransformCount = 1});
    b.frameVertex({.x = 9, .index = 2});
    b.boneTransform(0xFFFF, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
    b.group({.type = 3, .groupDataSize = 52}).fill(8, 0xCD);
    b.deformer({.deformerType = 1, .groupIndex = 0, .elementCount = 1, .deformerDataSize = 16 + 28 + 16});
    b.deformerElement(0, "root", 2).deformerWeight(0, 0.25f).deformerWeight(1, 0.75f);
    b.beginTrailer().trailerHeader(1, 12 + 8 + 8 + 26, 1).trailerEntry(10, 1).trailerSubEntry(20, 1);
    b.trailerTriangle({.vertex = {4464, 0xFFFF, 3}, .texCoord = {0xFFFF, 0, 1}, .skinIndex = -3});
    b.beginSecondTrailer().secondTrailerHeader(42, 12).fill(4, 0xEE);
    return b;
}

} // namespace kelvane::test
