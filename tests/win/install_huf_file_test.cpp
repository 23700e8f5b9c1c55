#include "install/huf_decode_file.h"

#include "app/cancel.h"

#include "install_support.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace install_testing;
using namespace testing_support;

namespace {

class HufDecodeFileTest : public ::testing::Test {
protected:
  void SetUp() override { g_bCancel = 0; }
  void TearDown() override { g_bCancel = 0; }

  std::string Path(const char* name) const { return m_scratch.Path() + name; }

  CWinApp m_app{"HufDecodeFileTest"};
  ScratchDirectory m_scratch;
  RecordingProgress m_progress;
};

TEST_F(HufDecodeFileTest, DecodesInPlaceAndLeavesNoTemporaryFile) {
  // The three letters abc: a = 1, b = 00, c = 01, one code byte 0x88 with 5 valid bits.
  std::string abc(1024, '\0');
  abc[97 * 4] = abc[98 * 4] = abc[99 * 4] = 1;
  abc += std::string("\x01\x00\x88\x05", 4);
  WriteWholeFile(Path("abc.tvo"), abc);
  EXPECT_TRUE(HufDecodeFile(Path("abc.tvo"), nullptr));
  EXPECT_EQ(ReadWholeFile(Path("abc.tvo")), "abc");

  std::string data = TextBytes(700000, 3) + RandomBytes(300000, 4);
  WriteWholeFile(Path("big.tvo"), EncodeHuf(data));
  EXPECT_TRUE(HufDecodeFile(Path("big.tvo"), m_progress.Control()));
  EXPECT_TRUE(ReadWholeFile(Path("big.tvo")) == data);
  EXPECT_EQ(ListFolder(m_scratch.Path()), (std::vector<std::string>{"abc.tvo", "big.tvo"}));

  // The bar runs over 0..10000, forward only, and ends full; it moved on the way.
  EXPECT_EQ(m_progress.lower, 0);
  EXPECT_EQ(m_progress.upper, 10000);
  ASSERT_GT(m_progress.positions.size(), 5u);
  EXPECT_TRUE(std::is_sorted(m_progress.positions.begin(), m_progress.positions.end()));
  EXPECT_EQ(m_progress.positions.back(), 10000);
}

TEST_F(HufDecodeFileTest, CancelKeepsThePartialOutputUnderThePath) {
  std::string data = TextBytes(1500000, 5);
  WriteWholeFile(Path("payload.tvo"), EncodeHuf(data));
  m_progress.cancelAt = 3000;
  EXPECT_TRUE(HufDecodeFile(Path("payload.tvo"), m_progress.Control()));
  EXPECT_TRUE(g_bCancel);
  std::string partial = ReadWholeFile(Path("payload.tvo"));
  EXPECT_GT(partial.size(), 0u);
  EXPECT_LT(partial.size(), data.size() * 6 / 10);
  EXPECT_TRUE(data.compare(0, partial.size(), partial) == 0);
  EXPECT_LT(m_progress.positions.back(), 10000);
  EXPECT_EQ(ListFolder(m_scratch.Path()), std::vector<std::string>{"payload.tvo"});
}

TEST_F(HufDecodeFileTest, DamagedOrMissingInputFailsAndKeepsTheInput) {
  std::string data = TextBytes(200000, 6);
  std::string stream = EncodeHuf(data);
  // One more byte counted than the code holds.
  std::string longer = stream;
  longer[' ' * 4] = char(longer[' ' * 4] + 1);
  WriteWholeFile(Path("counts.tvo"), longer);
  EXPECT_FALSE(HufDecodeFile(Path("counts.tvo"), nullptr));
  EXPECT_TRUE(ReadWholeFile(Path("counts.tvo")) == longer);

  // Cut short, and shorter than the counts.
  WriteWholeFile(Path("short.tvo"), stream.substr(0, stream.size() / 2));
  EXPECT_FALSE(HufDecodeFile(Path("short.tvo"), nullptr));
  WriteWholeFile(Path("tiny.tvo"), stream.substr(0, 1000));
  EXPECT_FALSE(HufDecodeFile(Path("tiny.tvo"), nullptr));

  EXPECT_FALSE(HufDecodeFile(Path("missing.tvo"), nullptr));
  EXPECT_EQ(ListFolder(m_scratch.Path()),
            (std::vector<std::string>{"counts.tvo", "short.tvo", "tiny.tvo"}));
}

} // namespace
