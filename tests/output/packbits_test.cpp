#include "output/packbits.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace vornida {
namespace {

std::vector<uint8_t> Pack(const std::vector<uint8_t>& row) {
  std::vector<uint8_t> out(PackBitsWorstCase(row.size()));
  out.resize(PackBitsEncodeRow(row.data(), row.size(), out.data()));
  return out;
}

// Reference decoder; false on a packet that runs past the input or output.
bool Unpack(const std::vector<uint8_t>& packed, std::vector<uint8_t>* row) {
  row->clear();
  std::size_t i = 0;
  while (i < packed.size()) {
    const auto header = static_cast<int8_t>(packed[i++]);
    if (header >= 0) {
      const std::size_t n = static_cast<std::size_t>(header) + 1;
      if (i + n > packed.size()) return false;
      row->insert(row->end(), packed.begin() + i, packed.begin() + i + n);
      i += n;
    } else if (header != -128) {
      if (i >= packed.size()) return false;
      row->insert(row->end(), static_cast<std::size_t>(1 - header), packed[i++]);
    }
  }
  return true;
}

TEST(PackBitsRows, RunsAreSplitAt128) {
  const std::vector<uint8_t> row(300, 9);
  EXPECT_EQ(Pack(row), (std::vector<uint8_t>{0x81, 9, 0x81, 9, 0xD5, 9}));  // -127, -127, -43
}

TEST(PackBitsRows, ShortRowsAndMixedLiteralsAndRuns) {
  EXPECT_EQ(Pack({5}), (std::vector<uint8_t>{0, 5}));
  EXPECT_EQ(Pack({5, 6}), (std::vector<uint8_t>{0, 5, 0, 6}));
  EXPECT_EQ(Pack({5, 5}), (std::vector<uint8_t>{0xFF, 5}));
  EXPECT_EQ(Pack({5, 6, 7}), (std::vector<uint8_t>{2, 5, 6, 7}));
  EXPECT_EQ(Pack({1, 2, 3, 3, 3}), (std::vector<uint8_t>{1, 1, 2, 0xFE, 3}));
  // A pair inside a literal stays in it; only three or more equal start a run.
  EXPECT_EQ(Pack({1, 2, 2, 3, 4}), (std::vector<uint8_t>{4, 1, 2, 2, 3, 4}));
  EXPECT_TRUE(Pack({}).empty());
}

TEST(PackBitsRows, LiteralsAreSplitAt128) {
  std::vector<uint8_t> row(130);
  for (std::size_t i = 0; i < row.size(); ++i) row[i] = static_cast<uint8_t>(i);
  const auto packed = Pack(row);
  ASSERT_GE(packed.size(), 130u);
  EXPECT_EQ(packed[0], 127);  // first packet: 128 literal bytes
  std::vector<uint8_t> back;
  ASSERT_TRUE(Unpack(packed, &back));
  EXPECT_EQ(back, row);
  EXPECT_LE(packed.size(), PackBitsWorstCase(row.size()));
}

// Every row over a small alphabet up to length 9, then random rows of every
// flavour: decoding gives the row back and the size stays within the bound
// the writer sizes its buffers by.
TEST(PackBitsRows, EveryRowRoundTripsWithinTheWorstCaseBound) {
  std::vector<uint8_t> row;
  std::vector<uint8_t> back;
  for (std::size_t length = 0; length <= 9; ++length) {
    std::size_t combinations = 1;
    for (std::size_t i = 0; i < length; ++i) combinations *= 3;
    for (std::size_t code = 0; code < combinations; ++code) {
      row.clear();
      for (std::size_t i = 0, c = code; i < length; ++i, c /= 3) row.push_back(c % 3);
      const auto packed = Pack(row);
      ASSERT_LE(packed.size(), PackBitsWorstCase(length));
      ASSERT_TRUE(Unpack(packed, &back));
      ASSERT_EQ(back, row);
    }
  }
  std::mt19937 random(12345);
  for (int trial = 0; trial < 3000; ++trial) {
    const std::size_t length = random() % 700;
    const uint32_t alphabet = 1 + random() % (trial % 3 == 0 ? 256 : 4);
    row.resize(length);
    for (auto& byte : row) byte = static_cast<uint8_t>(random() % alphabet);
    const auto packed = Pack(row);
    ASSERT_LE(packed.size(), PackBitsWorstCase(length)) << trial;
    ASSERT_TRUE(Unpack(packed, &back)) << trial;
    ASSERT_EQ(back, row) << trial;
  }
}

// Every row of two or more bytes can be packed with the other parity, and
// the new packing still decodes to the row; one byte cannot change.
TEST(PackBitsRows, ParityFlipKeepsTheRowAndChangesTheLengthByAnOddNumber) {
  std::vector<uint8_t> row;
  std::vector<uint8_t> back;
  for (std::size_t length = 1; length <= 8; ++length) {
    std::size_t combinations = 1;
    for (std::size_t i = 0; i < length; ++i) combinations *= 3;
    for (std::size_t code = 0; code < combinations; ++code) {
      row.clear();
      for (std::size_t i = 0, c = code; i < length; ++i, c /= 3) row.push_back(c % 3);
      std::vector<uint8_t> packed = Pack(row);
      const std::size_t before = packed.size();
      packed.resize(before + 3);
      packed.resize(PackBitsFlipParity(packed.data(), before));
      if (length == 1) {
        ASSERT_EQ(packed.size(), before);
        continue;
      }
      ASSERT_EQ((packed.size() + before) % 2, 1u) << "length " << length << " code " << code;
      ASSERT_LE(packed.size(), before + 3);
      ASSERT_TRUE(Unpack(packed, &back));
      ASSERT_EQ(back, row);
    }
  }
  // Long packets: a 128-byte literal, a 128-byte run and a run of three.
  for (const std::vector<uint8_t>& longRow :
       {[] { std::vector<uint8_t> r(128); for (std::size_t i = 0; i < r.size(); ++i) r[i] = static_cast<uint8_t>(i); return r; }(),
        std::vector<uint8_t>(128, 7), std::vector<uint8_t>{4, 4, 4}}) {
    std::vector<uint8_t> packed = Pack(longRow);
    const std::size_t before = packed.size();
    packed.resize(before + 3);
    packed.resize(PackBitsFlipParity(packed.data(), before));
    EXPECT_EQ((packed.size() + before) % 2, 1u);
    ASSERT_TRUE(Unpack(packed, &back));
    EXPECT_EQ(back, longRow);
  }
}

}  // namespace
}  // namespace vornida
