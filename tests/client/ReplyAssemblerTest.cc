#include "ReplyAssembler.h"

#include <gtest/gtest.h>

#include <string>

namespace corvane {
namespace {

// Feeds `bytes` the way SendCommand does: never more than NextReadSize.
size_t Feed(ReplyAssembler* a, const std::string& bytes) {
  size_t used = 0;
  while (used < bytes.size() && a->NextReadSize() > 0) {
    size_t n = std::min(a->NextReadSize(), bytes.size() - used);
    a->Append(reinterpret_cast<const uint8_t*>(bytes.data()) + used, n);
    used += n;
  }
  return used;
}

std::string Frame(uint32_t length, const std::string& body) {
  return std::string{char(length >> 24), char(length >> 16), char(length >> 8), char(length)} +
         body;
}

TEST(ReplyAssemblerTest, CompleteReplyLeavesSurplusBytesUnread) {
  std::string body(150, 'x');
  ReplyAssembler a;
  EXPECT_EQ(Feed(&a, Frame(150, body) + "SURPLUS"), 154u);
  EXPECT_TRUE(a.complete());
  Bytes got = a.TakeBody();
  EXPECT_EQ(std::string(got.begin(), got.end()), body);
}

TEST(ReplyAssemblerTest, ReadsAtMost64BytesAndSplitsHeader) {
  ReplyAssembler a;
  EXPECT_EQ(a.NextReadSize(), 4u);
  a.Append(reinterpret_cast<const uint8_t*>("\0\0"), 2);
  EXPECT_EQ(a.NextReadSize(), 2u);
  a.Append(reinterpret_cast<const uint8_t*>("\x01\x00"), 2);  // 256 bytes announced
  EXPECT_EQ(a.NextReadSize(), 64u);
  EXPECT_FALSE(a.complete());
}

TEST(ReplyAssemblerTest, ZeroLengthIsNeverComplete) {
  ReplyAssembler a;
  Feed(&a, Frame(0, ""));
  EXPECT_FALSE(a.complete());
  EXPECT_EQ(a.NextReadSize(), kReplyReadSize);
  EXPECT_TRUE(a.TakeBody().empty());
}

TEST(ReplyAssemblerTest, LengthAboveSixteenMebibytesIsRefused) {
  ReplyAssembler a;
  Feed(&a, Frame((16u << 20) + 1, "abc"));
  EXPECT_TRUE(a.refused());
  EXPECT_EQ(a.NextReadSize(), 0u);
  ReplyAssembler exact;
  Feed(&exact, Frame(16u << 20, "abc"));
  EXPECT_FALSE(exact.refused());
}

TEST(ReplyAssemblerTest, ShortBufferKeepsWhatArrived) {
  ReplyAssembler a;
  Feed(&a, std::string("\0\0", 2));
  Bytes got = a.TakeBody();
  EXPECT_EQ(got.size(), 2u);  // fewer than 4 bytes: nothing is stripped
}

}  // namespace
}  // namespace corvane
