// Ready-made MDL7 test models built with Mdl7Builder.
#pragma once

#include "support/Mdl7Builder.h"

namespace kelvane::test {

// A small model with every kind of record the format has, laid out as the
// writer lays it out (all record sizes as written):
// - one bone "root" (parent 0xFFFF);
// - group 0, a mesh "body" (1 deformer, maxWeights 1) with
//   - skin "wood": kind 5 with mipmaps, material (values 1 to 17) and extra
//     block "hello", image 5 x 3 (68 bytes of 0x11 with the mipmaps);
//   - skin "ext": kind 7, width 8, height 1, "tex.tga" with its terminator;
//   - 3 texture coordinates (0,0) (1,0) (0.5,1);
//   - 2 triangles: {0,1,2} tex {0,1,0xFFFF} skin 1; {2,1,0} second set
//     {0xFFFF,1,2} skin2 7;
//   - 3 vertices: (1,0,0) bone 0xFFFF; (0,2,0) normal (0,1,0); (0,0,3);
//   - frame "idle" with frame vertex 2 at (9,0,0) and an identity bone
//     transform for bone 0xFFFF;
// - group 1, type 3, 8 opaque bytes (groupDataSize 52);
// - one deformer (type 1, group 0) with element 0 "root" and weights
//   (0, 0.25) and (1, 0.75);
// - a 54-byte trailer: kind 1, one entry 10, one sub-entry 20 with one
//   triangle {4464, 0xFFFF, 3} tex {0xFFFF, 0, 1} skin -3;
// - a 12-byte second trailer: identifier 42, length 12, four bytes 0xEE.
Mdl7Builder everyRecordKind();

} // namespace kelvane::test
