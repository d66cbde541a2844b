// The Kelvane executable where its surroundings or its input work against it:
// a folder it may not write to, writes that fall short, and inputs whose
// counts and lengths promise far more than the file holds. Each run must say
// what failed, exit with 2, and stay within memory and time its input
// justifies.
#include "SplitTestModels.h"
#include "support/Mdl7Builder.h"
#include "support/RunProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <filesystem>
#include <string>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif

#if defined(__SANITIZE_ADDRESS__)
#define KELVANE_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KELVANE_TEST_ASAN 1
#endif
#endif

namespace kelvane {
namespace {

using test::addMesh;
using test::filesIn;
using test::kelvane;
using test::kKelvane;
using test::Mdl7Builder;
using test::ProcessResult;

#ifndef _WIN32 // permissions, users and file size limits are POSIX here

TEST(HostileRunTest, FolderThatCannotBeWrittenTo)
{
    test::TempDir dir;
    Mdl7Builder b;
    addMesh(b, {.name = "g", .triangleSkins = {0}, .vertices = {{.x = 1}}});
    const std::string folder = dir.path("readonly");
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    b.writeTo(folder + "/ship.mdl");

    namespace fs = std::filesystem;
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    std::vector<std::string> command = {kKelvane, "readonly/ship.mdl"};
    if (::geteuid() == 0) {
        // Permissions do not hold root back: run as an unprivileged user,
        // who must be able to reach the folder and the program.
        fs::permissions(dir.root(), fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
        const std::vector<std::string> asNobody = {"setpriv", "--reuid=65534", "--regid=65534",
                                                   "--clear-groups"};
        std::vector<std::string> probe = asNobody;
        probe.insert(probe.end(), {"test", "-x", kKelvane, "-a", "-r", folder + "/ship.mdl"});
        if (test::runProcess(probe).exitCode != 0) {
            GTEST_SKIP() << "running as root, and no unprivileged user can reach the program and the folder";
        }
        command.insert(command.begin(), asNobody.begin(), asNobody.end());
    }
    const ProcessResult r = test::runProcess(command, {.workingDir = dir.root()});
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_EQ(r.err.rfind("Kelvane: readonly/ship_pos.txt: cannot be created: ", 0), 0u) << r.err;
    EXPECT_EQ(filesIn(folder), std::vector<std::string>{"ship.mdl"});
}

TEST(HostileRunTest, PositionsAndOffsetMeshThatOutgrowTheFileSizeLimit)
{
    // 45 small groups: every group file stays below the 1024-byte limit, but
    // the positions file (42 bytes a line) and the offset mesh (26 bytes a
    // vertex) do not. Both shortfalls are reported, after every output was
    // closed.
    test::TempDir dir;
    Mdl7Builder b;
    for (int g = 0; g < 45; ++g)
        addMesh(b, {.name = "g", .triangleSkins = {0}, .vertices = {{.x = 1}}});
    b.writeTo(dir.path("ship.mdl"));
    const ProcessResult r = kelvane(dir, {"ship.mdl", "--offsetmesh"}, "ulimit -f 2; trap '' XFSZ");
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_EQ(r.err, "Kelvane: ship_pos.txt: could not be written completely\n"
                     "Kelvane: ship_off.mdl: could not be written completely\n");
    EXPECT_TRUE(test::exists(dir.path("ship044.mdl")));
}

// The prefix that caps what one run may allocate. The program's own fixed
// needs (a write buffer of a few MiB per open model file) fit; a size taken
// from one of the test files (up to 2 GiB) does not. In the AddressSanitizer
// build any single allocation above 8 MiB aborts the run; otherwise the
// process may not map more than 256 MiB.
std::string memoryCap()
{
#ifdef KELVANE_TEST_ASAN
    return "export "
           "ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}max_allocation_size_mb=8:allocator_may_return_null="
           "0\"";
#else
    return "ulimit -v 262144";
#endif
}

TEST(HostileRunTest, CountsBeyondTheDataNeitherAllocateNorLoop)
{
    struct Case {
        const char* what;
        Mdl7Builder model;
        std::vector<std::string> options;
    };
    std::vector<Case> cases;
    {
        Mdl7Builder b;
        b.group({.name = "g", .skinCount = INT32_MAX, .vertexCount = 1});
        b.skin({.type = 4, .width = 1, .height = 1, .name = "s"}).raw("rgb");
        cases.push_back({"huge skin count", b, {"--nm", "--all"}});
    }
    for (const int field : {0, 1, 2}) {
        Mdl7Builder b;
        Mdl7Builder::Group group{.name = "g", .texCoordCount = 1, .triangleCount = 1, .vertexCount = 1};
        (field == 0 ? group.texCoordCount : field == 1 ? group.triangleCount : group.vertexCount) = INT32_MAX;
        b.group(group).fill(64, 0);
        cases.push_back({"huge record count", b, {}});
    }
    {
        Mdl7Builder b;
        addMesh(b, {.name = "g", .triangleSkins = {0}, .vertices = {{.x = 1}}});
        b.setGroupCount(INT32_MAX);
        cases.push_back({"huge group count", b, {"--wmp"}});
    }
    {
        // Skin with an extra block announced far beyond the data.
        Mdl7Builder b;
        b.group({.name = "g", .skinCount = 1, .vertexCount = 1});
        b.skin({.type = 4 | 0x20, .width = 1, .height = 1, .name = "s"}).raw("rgb").extra(INT32_MAX - 8, "x");
        cases.push_back({"huge extra block", b, {}});
    }
    {
        // An image far larger than the file.
        Mdl7Builder b;
        b.group({.name = "g", .skinCount = 1, .vertexCount = 1});
        b.skin({.type = 4 | 0x08, .width = 1 << 15, .height = 1 << 15, .name = "s"}).raw("rgb");
        cases.push_back({"huge image", b, {"--all"}});
    }
    {
        // As many groups as the data allows, each one a bare header, for the
        // level file's per-group storage.
        Mdl7Builder b;
        for (int g = 0; g < 2000; ++g)
            b.group({.type = 3, .name = "o"}).fill(4, 0);
        cases.push_back({"many empty groups", b, {"--wmp", "--offsetmesh"}});
    }

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempDir dir;
        c.model.writeTo(dir.path("ship.mdl"));
        std::vector<std::string> args = {"ship.mdl"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const auto start = std::chrono::steady_clock::now();
        const ProcessResult r = kelvane(dir, args, memoryCap());
        const auto elapsed = std::chrono::steady_clock::now() - start;
        EXPECT_TRUE(r.exitCode == 0 || r.exitCode == 2) << r.exitCode << "\n" << r.err;
        if (r.exitCode == 2) {
            EXPECT_EQ(r.err.rfind("Kelvane: ", 0), 0u) << r.err;
        }
        EXPECT_LT(elapsed, std::chrono::seconds(5));
    }
}

#endif

} // namespace
} // namespace kelvane
