// Runs the built mdlinfo program on files made by the MDL7 builder.
#include "mdl/Mdl7Format.h"

#include "RunMdlinfo.h"
#include "support/Mdl7Builder.h"
#include "support/Mdl7Samples.h"
#include "support/RunProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace kelvane {
namespace {

using test::Mdl7Builder;
using test::mdlinfo;

using ToolRun = test::ProcessResult;

class MdlinfoTest : public testing::Test {
  protected:
    test::TempDir dir_;

    std::string write(const Mdl7Builder& builder, const std::string& name = "model.mdl")
    {
        return builder.writeTo(dir_.path(name));
    }
};

TEST_F(MdlinfoTest, PrintsEveryRecordKindAsJson)
{
    const ToolRun run = mdlinfo({"--json", write(test::everyRecordKind())});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const std::string expected =
        R"({"format":"MDL7","header":{"boneCount":1,"groupCount":2,"modelDataSize":721,)"
        R"("trailerSize":54,"secondTrailerSize":12,"boneRecordSize":36,"skinHeaderSize":28,)"
        R"("colourValueSize":16,"materialRecordSize":68,"texCoordRecordSize":8,"triangleRecordSize":26,)"
        R"("vertexRecordSize":26,"frameVertexRecordSize":26,"boneTransformRecordSize":68,"frameHeaderSize":24},)"
        R"("bones":[{"parentIndex":-1,"x":0,"y":0,"z":0,"name":"root"}],)"
        R"("groups":[{"type":1,"groupDataSize":525,"name":"body","skinCount":2,"texCoordCount":3,)"
        R"("triangleCount":2,"vertexCount":3,"frameCount":1,)"
        R"("skins":[{"type":61,"name":"wood","width":5,"height":3,"bytesPerPixel":4,"hasMipmaps":true,)"
        R"("imageBytes":60,"mipmapBytes":[8,0,0],"material":{"colour1":[1,2,3,4],"colour2":[5,6,7,8],)"
        R"("colour3":[9,10,11,12],"colour4":[13,14,15,16],"scalar":17},"extraLength":5,"extra":"hello"},)"
        R"({"type":7,"name":"ext","width":8,"height":1,"bytesPerPixel":1,"hasMipmaps":false,)"
        R"("imageBytes":8,"mipmapBytes":null,"material":null,"extraLength":null,"extra":null}],)"
        R"("texCoords":[{"s":0,"t":0},{"s":1,"t":0},{"s":0.5,"t":1}],)"
        R"("triangles":[{"vertexIndex":[0,1,2],"texCoordIndex":[0,1,-1],"skinIndex":1,)"
        R"("texCoordIndex2":[0,0,0],"skinIndex2":-1},)"
        R"({"vertexIndex":[2,1,0],"texCoordIndex":[0,0,0],"skinIndex":0,)"
        R"("texCoordIndex2":[-1,1,2],"skinIndex2":7}],)"
        R"("vertices":[{"boneIndex":-1,"x":1,"y":0,"z":0,"nx":0,"ny":0,"nz":1},)"
        R"({"boneIndex":0,"x":0,"y":2,"z":0,"nx":0,"ny":1,"nz":0},)"
        R"({"boneIndex":0,"x":0,"y":0,"z":3,"nx":0,"ny":0,"nz":1}],)"
        R"("frames":[{"name":"idle","frameVertexCount":1,"boneTransformCount":1,)"
        R"("frameVertices":[{"vertexIndex":2,"x":9,"y":0,"z":0,"nx":0,"ny":0,"nz":1}],)"
        R"("boneTransforms":[{"boneIndex":-1,"matrix":[1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1]}]}]},)"
        R"({"type":3,"groupDataSize":52,"name":"","skinCount":null,"texCoordCount":null,)"
        R"("triangleCount":null,"vertexCount":null,"frameCount":null,"skins":null,"texCoords":null,)"
        R"("triangles":null,"vertices":null,"frames":null}],)"
        R"("deformers":[{"deformerType":1,"groupIndex":0,"elementCount":1,"deformerDataSize":60,)"
        R"("elements":[{"elementIndex":0,"elementName":"root","weightCount":2,)"
        R"("weights":[{"targetIndex":0,"weight":0.25},{"targetIndex":1,"weight":0.75}]}]}],)"
        R"("trailer":{"trailerKind":1,"trailerLength":54,"entryCount":1,"entries":[{"entryId":10,)"
        R"("subEntryCount":1,"subEntries":[{"subEntryId":20,"triangleCount":1,"triangles":[)"
        R"({"vertexIndex":[4464,65535,3],"texCoordIndex":[-1,0,1],"skinIndex":-3}]}]}]},)"
        R"("secondTrailer":{"identifier":42,"length":12}})"
        "\n";
    EXPECT_EQ(run.out, expected);
}

TEST_F(MdlinfoTest, PrintsReadableSummary)
{
    const ToolRun run = mdlinfo({write(test::everyRecordKind())});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::string expected =
        "format: MDL7\n"
        "header: boneCount 1, groupCount 2, modelDataSize 721, trailerSize 54, secondTrailerSize 12\n"
        "record sizes: bone 36, skin header 28, colour value 16, material 68, texture coordinate 8, "
        "triangle 26, vertex 26, frame vertex 26, bone transform 68, frame header 24\n"
        "bones: 1\n"
        "group 0 \"body\": type 1, groupDataSize 525, skins 2, texture coordinates 3, triangles 2, "
        "vertices 3, frames 1\n"
        "  skin 0 \"wood\": kind 5 (32-bit), 5 x 3, image 60 bytes, mipmaps 8 + 0 + 0 bytes, material, "
        "extra 5 bytes\n"
        "  skin 1 \"ext\": kind 7 (external file), 8 x 1, image 8 bytes\n"
        "group 1 \"\": type 3, groupDataSize 52\n"
        "deformers: 1 (1 elements)\n"
        "trailer: kind 1, length 54, entries 1\n"
        "second trailer: identifier 42, length 12\n";
    EXPECT_EQ(run.out, expected);
}

TEST_F(MdlinfoTest, ShowsFloatsNamesAndNormalsExactly)
{
    Mdl7Builder b;
    b.setRecordSize(mdl7::header::kVertexRecordSize, 16);
    b.setRecordSize(mdl7::header::kFrameVertexRecordSize, 20);
    b.setRecordSize(mdl7::header::kTriangleRecordSize, 12);
    b.bone(3, 0.1f, -0.0f, 1e-45f, "caf\xE9\"\\\x01");
    b.bone(3, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
           -std::numeric_limits<float>::infinity());
    b.group({.name = "g", .triangleCount = 1, .vertexCount = 3, .frameCount = 1});
    b.triangle({.vertex = {0, 1, 2}, .skinIndex = 5});
    b.vertex({.x = 16777216.0f, .normalIndex = 5}).vertex({.normalIndex = 161}).vertex({.normalIndex = 162});
    b.frame({.frameVertexCount = 1}).frameVertex({.x = 3.4028235e38f});
    const ToolRun run = mdlinfo({"--json", write(b)});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find(R"("x":0.1,"y":-0,"z":1e-45,"name":"caf\u00e9\"\\\u0001")"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find(R"("x":"nan","y":"inf","z":"-inf")"), std::string::npos);
    // 12-byte triangles carry neither skin index nor second set.
    EXPECT_NE(
        run.out.find(R"("texCoordIndex":[0,0,0],"skinIndex":null,"texCoordIndex2":null,"skinIndex2":null)"),
        std::string::npos);
    // 16-byte vertices take their normal from the table; an index outside it
    // and a record without a normal give null.
    EXPECT_NE(run.out.find(R"("x":16777216,"y":0,"z":0,"nx":0,"ny":0,"nz":1})"), std::string::npos);
    EXPECT_NE(run.out.find(R"("nx":-0.688191,"ny":-0.587785,"nz":-0.425325})"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(R"("nx":null,"ny":null,"nz":null}],"frames")"), std::string::npos);
    EXPECT_NE(run.out.find(R"("x":3.4028235e+38,"y":0,"z":0,"nx":null,"ny":null,"nz":null})"),
              std::string::npos);
}

TEST_F(MdlinfoTest, ReportsWhereReadingStopped)
{
    const Mdl7Builder model = test::everyRecordKind();
    // Cut inside the first group's vertices.
    const std::size_t cut = 48 + 36 + 44 + 28 + 68 + 68 + 4 + 5 + 28 + 8 + 24 + 52 + 30;
    const std::string path = model.writeTo(dir_.path("cut.mdl"), cut);
    ToolRun run = mdlinfo({"--json", path});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err, "mdlinfo: " + path +
                           ": group 0: vertex 1: cannot be read (reading stopped at offset " +
                           std::to_string(cut) + ")\n");
    // What was read is still printed, as a complete document.
    EXPECT_NE(
        run.out.find(R"("vertices":[{"boneIndex":-1,"x":1,"y":0,"z":0,"nx":0,"ny":0,"nz":1}],"frames":[]}],)"
                     R"("deformers":null,"trailer":null,"secondTrailer":null})"),
        std::string::npos)
        << run.out;

    run = mdlinfo({path});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.out.find("group 0 \"body\""), std::string::npos);
}

TEST_F(MdlinfoTest, FlagsTrianglesThatUseVerticesOutsideTheirGroupAndGoesOn)
{
    // A group with triangles but no vertices, as the split leaves behind,
    // then one whose second triangle names a vertex past its count.
    Mdl7Builder b;
    b.group({.name = "bare", .triangleCount = 1}).triangle({.vertex = {0, 1, 2}, .skinIndex = 4});
    b.group({.name = "body", .triangleCount = 3, .vertexCount = 3});
    b.triangle({.vertex = {0, 1, 2}})
        .triangle({.vertex = {2, 80, 3}, .skinIndex = 9})
        .triangle({.vertex = {2, 1, 0}});
    b.vertex({}).vertex({}).vertex({});
    const std::string path = write(b);
    ToolRun run = mdlinfo({path});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_NE(run.out.find("group 0 \"bare\": type 1, groupDataSize 70, skins 0, texture coordinates 0, "
                           "triangles 1, vertices 0, frames 0\n"
                           "  triangle 0: uses vertex 0 of 0\n"
                           "group 1 \"body\""),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("vertices 3, frames 0\n  triangle 1: uses vertex 80 of 3\ndeformers: 0"),
              std::string::npos)
        << run.out;

    // The JSON marks the flagged triangles only, with every index as stored.
    run = mdlinfo({"--json", path});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(
        run.out.find(R"("triangles":[{"vertexIndex":[0,1,2],"texCoordIndex":[0,0,0],"skinIndex":4,)"
                     R"("texCoordIndex2":[0,0,0],"skinIndex2":-1,"vertexOutside":true}],"vertices":[])"),
        std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find(R"("triangles":[{"vertexIndex":[0,1,2],"texCoordIndex":[0,0,0],"skinIndex":0,)"
                           R"("texCoordIndex2":[0,0,0],"skinIndex2":-1},)"
                           R"({"vertexIndex":[2,80,3],"texCoordIndex":[0,0,0],"skinIndex":9,)"
                           R"("texCoordIndex2":[0,0,0],"skinIndex2":-1,"vertexOutside":true},)"
                           R"({"vertexIndex":[2,1,0],)"),
              std::string::npos)
        << run.out;
}

TEST_F(MdlinfoTest, RejectsBadArgumentsAndUnreadableFiles)
{
    EXPECT_EQ(mdlinfo({}).exitCode, 1);
    EXPECT_EQ(mdlinfo({"--bogus", "x.mdl"}).exitCode, 1);
    EXPECT_EQ(mdlinfo({"a.mdl", "b.mdl"}).exitCode, 1);
    // Asked for, the usage goes to stdout and is no error; after a mistake to stderr.
    const ToolRun help = mdlinfo({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out.rfind("usage: mdlinfo", 0), 0u) << help.out;
    EXPECT_EQ(mdlinfo({"--bogus"}).err, help.out);

    const ToolRun missing = mdlinfo({dir_.path("missing.mdl")});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_NE(missing.err.find("missing.mdl"), std::string::npos);

    Mdl7Builder notModel;
    notModel.setMagic("ABCD");
    const ToolRun unknown = mdlinfo({write(notModel)});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_EQ(unknown.out, "");
    EXPECT_NE(unknown.err.find("model.mdl"), std::string::npos);
}

} // namespace
} // namespace kelvane
