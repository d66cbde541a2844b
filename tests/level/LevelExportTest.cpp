#include "level/LevelExport.h"

#include "level/Wmpio.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define KELVANE_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KELVANE_TEST_ASAN 1
#endif
#endif
#if KELVANE_TEST_ASAN
// From the AddressSanitizer runtime (its header does not ship with every compiler).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#elif defined(__GLIBC__)
#include <malloc.h>
#endif

namespace kelvane {
namespace {

std::string copyString(const char* text)
{
    return text != nullptr ? std::string(text) : std::string("<null>");
}

std::array<double, 3> copyTriple(const double* values)
{
    if (values == nullptr) return {-99.0, -99.0, -99.0};
    return {values[0], values[1], values[2]};
}

// One call as it reached the library, with everything the records pointed to
// copied while the call lasted.
struct RecordedCall {
    enum Op { Create, Register, Add, Close } op = Create;
    std::string path;
    std::array<std::int32_t, 5> args{};
    WmpBufferDesc buffer;
    WmpObjectDesc object;
    WmpObjectAux aux;
    WmpPayloadDesc payload;
    WmpLevelInfo level;
    WmpModelInfo model;
    std::int32_t code = 0;
    std::int32_t* shared = nullptr;
    std::string tag, typeName, name, payloadTag;
    std::array<double, 3> position{}, angles{}, scale{};
    bool anglesArePosition = false;
    bool scaleIsSeparate = false;
    // Level info.
    std::string worldFile, palette, levelExtra;
    std::int32_t number = 0;
    double realA = -1.0, realB = -1.0;
    bool realsDistinct = false;
    std::array<std::array<std::int32_t, 3>, 6> triples{};
    bool firstFiveTriplesDistinct = false;
    bool sixthIsFifth = false;
    // Model info.
    std::string fileName, modelExtra;
    bool namesShareStorage = false;
};

class RecordingBackend final : public WmpioBackend {
  public:
    std::vector<RecordedCall> calls;

    void create(const char* path, std::int32_t a1, std::int32_t a2, std::int32_t a3, std::int32_t a4,
                std::int32_t a5) override
    {
        RecordedCall call;
        call.op = RecordedCall::Create;
        call.path = copyString(path);
        call.args = {a1, a2, a3, a4, a5};
        calls.push_back(call);
    }

    void registerBuffer(const WmpBufferDesc* buffer) override
    {
        RecordedCall call;
        call.op = RecordedCall::Register;
        call.buffer = *buffer;
        calls.push_back(call);
    }

    void addObject(const WmpObjectDesc* object, const WmpObjectAux* aux, const WmpPayloadDesc* payload,
                   std::int32_t code, std::int32_t* shared) override
    {
        RecordedCall call;
        call.op = RecordedCall::Add;
        call.object = *object;
        call.aux = *aux;
        call.payload = *payload;
        call.code = code;
        call.shared = shared;
        call.tag = copyString(object->tag);
        call.typeName = copyString(object->typeName);
        call.name = copyString(object->name);
        call.payloadTag = copyString(payload->tag);
        call.position = copyTriple(object->position);
        call.angles = copyTriple(object->angles);
        call.scale = copyTriple(object->scale);
        call.anglesArePosition = object->angles == object->position;
        call.scaleIsSeparate = object->scale != object->position && object->scale != object->angles;
        if (payload->kind == kWmpKindLevel) {
            const auto& info = *static_cast<const WmpLevelInfo*>(payload->info);
            call.level = info;
            call.worldFile = copyString(info.worldFile);
            call.palette = copyString(info.palette);
            call.levelExtra = copyString(info.extra);
            call.number = *info.number;
            call.realA = *info.realA;
            call.realB = *info.realB;
            call.realsDistinct = info.realA != info.realB;
            for (int i = 0; i < 6; ++i)
                call.triples[i] = {info.triples[i][0], info.triples[i][1], info.triples[i][2]};
            call.firstFiveTriplesDistinct = true;
            for (int i = 0; i < 5; ++i)
                for (int j = i + 1; j < 5; ++j)
                    if (info.triples[i] == info.triples[j]) call.firstFiveTriplesDistinct = false;
            call.sixthIsFifth = info.triples[5] == info.triples[4];
        } else if (payload->kind == kWmpKindModel) {
            const auto& info = *static_cast<const WmpModelInfo*>(payload->info);
            call.model = info;
            call.fileName = copyString(info.fileName);
            call.modelExtra = copyString(info.extra);
            call.namesShareStorage = info.fileName == info.modelName && info.fileName == object->name;
        }
        calls.push_back(call);
    }

    void close() override
    {
        RecordedCall call;
        call.op = RecordedCall::Close;
        calls.push_back(call);
    }

    bool failed() const override { return false; }
};

class LevelExportTest : public ::testing::Test {
  protected:
    void SetUp() override { previous_ = setWmpioBackend(&recorder_); }
    void TearDown() override { setWmpioBackend(previous_); }

    RecordingBackend recorder_;
    WmpioBackend* previous_ = nullptr;
};

TEST_F(LevelExportTest, CallsLibraryInFixedOrderWithGroupCountPlusOne)
{
    ASSERT_TRUE(createLevelFile("ship.wmp", 3));
    addModelEntity("ship000.mdl", 1.0f, 2.0f, 3.0f);
    addModelEntity("ship002.mdl", 4.0f, 5.0f, 6.0f);
    wmpioClose();

    const auto& calls = recorder_.calls;
    ASSERT_EQ(calls.size(), 6u);
    EXPECT_EQ(calls[0].op, RecordedCall::Create);
    EXPECT_EQ(calls[1].op, RecordedCall::Register);
    EXPECT_EQ(calls[2].op, RecordedCall::Add);
    EXPECT_EQ(calls[3].op, RecordedCall::Add);
    EXPECT_EQ(calls[4].op, RecordedCall::Add);
    EXPECT_EQ(calls[5].op, RecordedCall::Close);

    EXPECT_EQ(calls[0].path, "ship.wmp");
    EXPECT_EQ(calls[0].args, (std::array<std::int32_t, 5>{0, 4, 4, 0, 0}));

    EXPECT_EQ(calls[1].buffer.size, 24);
    EXPECT_NE(calls[1].buffer.block, nullptr);
    for (std::int32_t value : calls[1].buffer.reserved)
        EXPECT_EQ(value, 0);

    EXPECT_EQ(calls[2].code, -1);
    EXPECT_EQ(calls[2].name, "root");
    EXPECT_EQ(calls[3].code, 0);
    EXPECT_EQ(calls[3].name, "ship000.mdl");
    EXPECT_EQ(calls[4].code, 0);
    EXPECT_EQ(calls[4].name, "ship002.mdl");

    // Every object carries the same program-wide shared variable.
    EXPECT_NE(calls[2].shared, nullptr);
    EXPECT_EQ(calls[3].shared, calls[2].shared);
    EXPECT_EQ(calls[4].shared, calls[2].shared);
}

TEST_F(LevelExportTest, FillsLevelObjectRecords)
{
    ASSERT_TRUE(createLevelFile("ship.wmp", 5));
    ASSERT_EQ(recorder_.calls.size(), 3u);
    const RecordedCall& call = recorder_.calls[2];

    EXPECT_EQ(call.object.size, 64);
    EXPECT_EQ(call.tag, "");
    EXPECT_EQ(call.object.reserved8, 0);
    EXPECT_EQ(call.object.typeCode, 151);
    EXPECT_EQ(call.typeName, "level");
    EXPECT_EQ(call.name, "root");
    EXPECT_EQ(call.object.reserved24, 0);
    EXPECT_EQ(call.object.flags, 1);
    EXPECT_EQ(call.object.kind, 0);
    EXPECT_EQ(call.position, (std::array<double, 3>{0.0, 0.0, 0.0}));
    EXPECT_TRUE(call.anglesArePosition);
    EXPECT_TRUE(call.scaleIsSeparate);
    EXPECT_EQ(call.scale, (std::array<double, 3>{1.0, 1.0, 1.0}));
    EXPECT_EQ(call.object.reserved48, 0);
    EXPECT_NE(call.object.block, nullptr);
    EXPECT_EQ(call.object.elementCount, 5);
    EXPECT_NE(call.object.elements, nullptr);

    EXPECT_EQ(call.aux.size, 44);
    for (std::int32_t value : call.aux.reserved)
        EXPECT_EQ(value, 0);

    EXPECT_EQ(call.payload.size, 20);
    EXPECT_EQ(call.payloadTag, "");
    EXPECT_EQ(call.payload.reserved8, 0);
    EXPECT_EQ(call.payload.kind, 0);

    EXPECT_EQ(call.level.size, 52);
    EXPECT_EQ(call.worldFile, "t.$$w");
    EXPECT_EQ(call.palette, "palette.pcx");
    EXPECT_EQ(call.number, 60);
    EXPECT_EQ(call.realA, 0.0);
    EXPECT_EQ(call.realB, 0.0);
    EXPECT_TRUE(call.realsDistinct);
    EXPECT_EQ(call.levelExtra, "");
    for (const auto& triple : call.triples)
        EXPECT_EQ(triple, (std::array<std::int32_t, 3>{0, 0, 0}));
    EXPECT_TRUE(call.firstFiveTriplesDistinct);
    EXPECT_TRUE(call.sixthIsFifth);
    EXPECT_EQ(call.level.reserved52, 0);

    // The storage handed over with the level object outlives the call.
    call.object.elements[4] = 7;
    static_cast<std::uint8_t*>(call.object.block)[127] = 7;
    EXPECT_EQ(*call.level.number, 60);
}

TEST_F(LevelExportTest, FillsModelObjectRecords)
{
    char fileName[16] = "ship007.mdl";
    addModelEntity(fileName, 1.0f, 2.0f, 3.0f);
    ASSERT_EQ(recorder_.calls.size(), 1u);
    const RecordedCall& call = recorder_.calls[0];

    EXPECT_EQ(call.code, 0);
    EXPECT_EQ(call.object.size, 64);
    EXPECT_EQ(call.tag, "");
    EXPECT_EQ(call.object.typeCode, 135);
    EXPECT_EQ(call.typeName, "model");
    EXPECT_EQ(call.name, "ship007.mdl");
    EXPECT_EQ(call.object.flags, 565);
    EXPECT_EQ(call.object.kind, 3);
    EXPECT_EQ(call.position, (std::array<double, 3>{1.0, 2.0, 3.0}));
    EXPECT_FALSE(call.anglesArePosition);
    EXPECT_TRUE(call.scaleIsSeparate);
    EXPECT_EQ(call.angles, (std::array<double, 3>{0.0, 0.0, 0.0}));
    EXPECT_EQ(call.scale, (std::array<double, 3>{1.0, 1.0, 1.0}));
    EXPECT_EQ(call.object.block, nullptr);
    EXPECT_EQ(call.object.elementCount, 0);
    EXPECT_EQ(call.object.elements, nullptr);
    EXPECT_EQ(call.aux.size, 44);
    EXPECT_EQ(call.payload.size, 20);
    EXPECT_EQ(call.payload.kind, 3);

    EXPECT_EQ(call.model.size, 252);
    EXPECT_EQ(call.fileName, "ship007.mdl");
    EXPECT_TRUE(call.namesShareStorage);
    EXPECT_EQ(call.modelExtra, "");
    EXPECT_EQ(call.model.flags, 512);
    EXPECT_EQ(call.model.scale[0], 1.0);
    EXPECT_EQ(call.model.scale[1], 1.0);
    EXPECT_EQ(call.model.scale[2], 1.0);
    EXPECT_EQ(call.model.param, 20);
    for (std::int32_t value : call.model.reserved)
        EXPECT_EQ(value, 0);
}

TEST_F(LevelExportTest, CentreArrivesAsSameDoubles)
{
    addModelEntity("a.mdl", -1.5f, 2.25f, 0.0f);
    addModelEntity("b.mdl", 0.1f, -1e-30f, 3.4e38f);
    ASSERT_EQ(recorder_.calls.size(), 2u);
    EXPECT_EQ(recorder_.calls[0].position, (std::array<double, 3>{-1.5, 2.25, 0.0}));
    EXPECT_EQ(recorder_.calls[1].position,
              (std::array<double, 3>{double(0.1f), double(-1e-30f), double(3.4e38f)}));
}

TEST_F(LevelExportTest, RefusesGroupCountsTheObjectCountCannotCarry)
{
    for (std::int32_t count : {-1, INT32_MIN, INT32_MAX})
        EXPECT_FALSE(createLevelFile("ship.wmp", count)) << count;
    EXPECT_FALSE(createLevelFile(nullptr, 1));
    EXPECT_TRUE(recorder_.calls.empty());

    // A model without groups still gets a well-formed level object.
    ASSERT_TRUE(createLevelFile("empty.wmp", 0));
    ASSERT_EQ(recorder_.calls.size(), 3u);
    EXPECT_EQ(recorder_.calls[0].args, (std::array<std::int32_t, 5>{0, 1, 1, 0, 0}));
    EXPECT_EQ(recorder_.calls[2].object.elementCount, 0);
}

// Through the default backend: the centre read back from the level file is
// the same double.
TEST(LevelExportFileTest, CentreReachesLevelFileAsSameDoubles)
{
    const std::filesystem::path dir = std::filesystem::path(KELVANE_BINARY_DIR) / "level-export-test";
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "centre.wmp").string();

    ASSERT_TRUE(createLevelFile(path.c_str(), 1));
    addModelEntity("c000.mdl", -1.5f, 0.1f, 1.17549435e-38f);
    wmpioClose();
    EXPECT_FALSE(wmpioFailed());

    std::ifstream in(path);
    std::string line, objectLine;
    while (std::getline(in, line))
        if (line.find("name=\"c000.mdl\"") != std::string::npos) objectLine = line;
    const auto at = objectLine.find(" position=");
    ASSERT_NE(at, std::string::npos) << objectLine;
    const char* text = objectLine.c_str() + at + 10;
    char* end = nullptr;
    const double x = std::strtod(text, &end);
    ASSERT_EQ(*end, ',');
    const double y = std::strtod(end + 1, &end);
    ASSERT_EQ(*end, ',');
    const double z = std::strtod(end + 1, &end);
    ASSERT_EQ(*end, ' ');
    EXPECT_EQ(x, -1.5);
    EXPECT_EQ(y, double(0.1f));
    EXPECT_EQ(z, double(1.17549435e-38f));
}

// Heap bytes in use, as far as the allocator tells them (0 where it does not).
std::size_t heapInUse()
{
#if KELVANE_TEST_ASAN
    return __sanitizer_get_current_allocated_bytes();
#elif defined(__GLIBC__)
    return mallinfo2().uordblks;
#else
    return 0;
#endif
}

TEST_F(LevelExportTest, RepeatedLevelFilesKeepOnlyTheLatestStorage)
{
    // One process that splits model after model (a test run, a fuzzer) must
    // not keep every level file's per-group array: each here is 40 KB.
    constexpr std::int32_t kGroups = 10000;
    ASSERT_TRUE(createLevelFile("first.wmp", kGroups));
    recorder_.calls.clear();
    const std::size_t before = heapInUse();
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(createLevelFile("next.wmp", kGroups));
        recorder_.calls.clear();
    }
    const std::size_t after = heapInUse();
    EXPECT_LT(after > before ? after - before : 0, sizeof(std::int32_t) * kGroups * 10)
        << "50 level files kept their storage";
}

} // namespace
} // namespace kelvane
