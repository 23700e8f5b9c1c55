// The execution level in the manifest of the stubs mksetup ships: read
// through the resource directory, rewritten in place with the header
// checksum kept as the linker computes it, and nothing else touched.
#include <algorithm>
#include <gtest/gtest.h>

#include "../archive/pe_image.h"
#include "archive/common/byte_io.h"
#include "archive/format/execution_level.h"
#include "archive/format/pe_layout.h"
#include "test_files.h"

using namespace archive;
using namespace mksetup_test;
namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> Stub(const std::string& arch) {
  const fs::path folder =
      fs::path(MKSETUP_EXE).parent_path().parent_path() / "share/tarnivex-setup";
  const std::string bytes = ReadFile((folder / ("stub-" + arch + ".exe")).string());
  return {bytes.begin(), bytes.end()};
}

std::string Level(const std::vector<uint8_t>& image) {
  std::string level, error;
  return ReadExecutionLevel(image, level, error) ? level : "error: " + error;
}

} // namespace

TEST(ExecutionLevel, BothStubsChangeOnlyTheLevelAndTheChecksum) {
  SKIP_WITHOUT_SHIPPED_STUBS();
  for (const char* arch : {"x86", "x64"}) {
    SCOPED_TRACE(arch);
    const std::vector<uint8_t> stub = Stub(arch);
    ASSERT_FALSE(stub.empty());
    PeLayout layout;
    ResourceLocation manifest;
    std::string error;
    ASSERT_TRUE(ReadPeLayout(stub, layout, error)) << error;
    ASSERT_TRUE(FindPeResource(stub, layout, 24, 1, manifest, error)) << error;
    // The linker's checksum is the one we compute.
    const uint32_t linked = LoadLE32(&stub[layout.checksumOffset]);
    ASSERT_NE(linked, 0u);
    EXPECT_EQ(PeChecksum(stub, layout.checksumOffset), linked);
    EXPECT_EQ(Level(stub), "requireAdministrator");

    std::vector<uint8_t> image = stub;
    ASSERT_TRUE(SetExecutionLevel(image, ExecutionLevel::AsInvoker, error)) << error;
    EXPECT_EQ(Level(image), "asInvoker");
    ASSERT_EQ(image.size(), stub.size());
    EXPECT_EQ(LoadLE32(&image[layout.checksumOffset]), PeChecksum(image, layout.checksumOffset));
    EXPECT_NE(LoadLE32(&image[layout.checksumOffset]), linked);
    for (size_t i = 0; i < image.size(); ++i)
      if (image[i] != stub[i])
        ASSERT_TRUE((i >= manifest.offset && i < manifest.offset + manifest.size) ||
                    (i >= layout.checksumOffset && i < layout.checksumOffset + 4))
            << "byte " << i;
    const std::string text(image.begin() + manifest.offset,
                           image.begin() + manifest.offset + manifest.size);
    EXPECT_NE(text.find("level=\"asInvoker\"            uiAccess=\"false\"/>"), std::string::npos)
        << text;
    // And back: the stub, byte for byte.
    ASSERT_TRUE(SetExecutionLevel(image, ExecutionLevel::RequireAdministrator, error)) << error;
    EXPECT_EQ(image, stub);
  }
}

TEST(ExecutionLevel, ImagesWithoutAUsableManifestAreLeftAlone) {
  SKIP_WITHOUT_SHIPPED_STUBS();
  const std::vector<uint8_t> stub = Stub("x86");
  auto edited = [&](const std::string& from, const std::string& to) {
    std::vector<uint8_t> image = stub;
    auto at = std::search(image.begin(), image.end(), from.begin(), from.end());
    EXPECT_NE(at, image.end()) << from;
    if (at != image.end()) std::copy(to.begin(), to.end(), at);
    return image;
  };
  const std::vector<uint8_t> plainPe = pe_test::PeImage{}.Bytes();
  const std::vector<std::pair<std::vector<uint8_t>, std::string>> cases = {
      {std::vector<uint8_t>(4096, 'S'), "not a PE image"},
      {plainPe, "no resource directory"},
      {edited("<requestedExecutionLevel", "<requestedExecutionLeve "), "no single"},
      {edited("level=\"requireAdministrator\"", "Level=\"requireAdministrator\""), "has no level"},
      {edited("level=\"requireAdministrator\"", "level=requireAdministrator  "), "has no level"},
  };
  for (const auto& [image, why] : cases) {
    std::vector<uint8_t> copy = image;
    std::string error;
    EXPECT_FALSE(SetExecutionLevel(copy, ExecutionLevel::AsInvoker, error)) << why;
    EXPECT_NE(error.find(why), std::string::npos) << error;
    EXPECT_EQ(copy, image) << why;
  }
  // No room for the longer value: the shorter one has no blanks behind it.
  const std::vector<uint8_t> cramped =
      edited("level=\"requireAdministrator\" uiAccess=\"false\"/>",
             "uiAccess=\"false\"            level=\"asInvoker\"/>");
  std::vector<uint8_t> copy = cramped;
  std::string error;
  EXPECT_EQ(Level(copy), "asInvoker");
  EXPECT_FALSE(SetExecutionLevel(copy, ExecutionLevel::RequireAdministrator, error));
  EXPECT_NE(error.find("no room for \"requireAdministrator\""), std::string::npos) << error;
  EXPECT_EQ(copy, cramped);
}
