// The compact index node codec and the key conversions, as pure functions.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>

#include "cdx_test_bytes.h"
#include "engine/cdx_format.h"
#include "engine/coding4.h"
#include "engine/i4key.h"
#include "engine/sort4.h"

namespace {

cdx::Node leafOf(int keyLen, std::vector<std::pair<std::string, uint32_t>> entries, uint32_t recs) {
  cdx::Node n;
  n.attr = cdx::kAttrLeaf | cdx::kAttrRoot;
  n.params = cdx::chooseLeafParams(keyLen, recs);
  for (auto& [k, r] : entries) {
    std::string key = k;
    key.resize(size_t(keyLen), ' ');
    n.entries.push_back({key, r, 0});
  }
  return n;
}

TEST(CdxLeafParams, TenByteKeyInThousandRecords) {
  cdx::LeafParams p = cdx::chooseLeafParams(10, 1000);
  EXPECT_EQ(p.dupBits, 4);
  EXPECT_EQ(p.trailBits, 4);
  EXPECT_EQ(p.recBits, 16);
  EXPECT_EQ(p.entrySize, 3);
  EXPECT_EQ(p.recMask, 0xFFFFu);
  EXPECT_EQ(p.dupMask, 15);
  cdx::LeafParams wide = cdx::chooseLeafParams(140, 5000);
  EXPECT_EQ((wide.recBits + wide.dupBits + wide.trailBits) % 8, 0);
  EXPECT_GE(wide.recMask, 5000u);
}

TEST(CdxLeaf, RoundTripKeepsKeysAndCompresses) {
  cdx::Node n = leafOf(10, {{"ALPHA", 1}, {"ALPHABET", 7}, {"ALPHABET", 9}, {"BETA", 300}}, 1000);
  std::array<uint8_t, cdx::kBlock> block{};
  ASSERT_TRUE(cdx::encodeNode(n, 10, ' ', block));
  // First entry: record 1, duplicate 0, trailing 5 (little-endian bit field).
  uint32_t first = uint32_t(block[24]) | uint32_t(block[25]) << 8 | uint32_t(block[26]) << 16;
  EXPECT_EQ(first & 0xFFFF, 1u);
  EXPECT_EQ((first >> 16) & 0xF, 0u);
  EXPECT_EQ((first >> 20) & 0xF, 5u);
  // Tails from the end of the block: the first key's tail is last.
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&block[507]), 5), "ALPHA");
  cdx::Node back;
  ASSERT_TRUE(cdx::decodeNode(block, 10, ' ', back));
  ASSERT_EQ(back.entries.size(), 4u);
  for (size_t i = 0; i < 4; i++) {
    EXPECT_EQ(back.entries[i].key, n.entries[i].key);
    EXPECT_EQ(back.entries[i].recno, n.entries[i].recno);
  }
  EXPECT_EQ(cdx::getLE16(&block[12]), 488 - 4 * 3 - (5 + 3 + 0 + 4));
}

// Shared prefixes and trailing fill are counted a word at a time: check
// the space two keys take against byte-by-byte counts, for prefixes and
// fills ending on each side of the word boundaries.
TEST(CdxLeaf, PrefixAndFillCountsAtEveryLength) {
  for (int keyLen : {4, 7, 8, 9, 16, 17, 30}) {
    for (int shared = 0; shared <= keyLen; shared++) {
      for (int fill = 0; fill <= keyLen; fill += (keyLen > 9 ? 3 : 1)) {
        // The first key ends in no fill, the same fill, or just the fill's
        // first byte (its prefix with the second then runs into the fill).
        for (int aFill : {0, fill, std::min(fill, 1)}) {
          std::string a(size_t(keyLen), 'a'), b(size_t(keyLen), 'a');
          if (shared < keyLen) b[size_t(shared)] = 'b';
          for (int i = keyLen - fill; i < keyLen; i++) b[size_t(i)] = ' ';
          for (int i = keyLen - fill; i < keyLen - fill + aFill; i++) a[size_t(i)] = ' ';
          cdx::Node n = leafOf(keyLen, {{a, 1}, {b, 2}}, 100);
          auto trailOf = [&](const std::string& k) {
            int t = 0;
            while (t < keyLen && k[size_t(keyLen - 1 - t)] == ' ') t++;
            return std::min(t, int(n.params.trailMask));
          };
          int prefix = 0;
          while (prefix < keyLen && a[size_t(prefix)] == b[size_t(prefix)]) prefix++;
          int tb = trailOf(b);
          int dup = std::min({prefix, keyLen - tb, int(n.params.dupMask)});
          int tails = (keyLen - trailOf(a)) + (keyLen - dup - tb);
          std::array<uint8_t, cdx::kBlock> block{};
          ASSERT_TRUE(cdx::encodeNode(n, keyLen, ' ', block));
          EXPECT_EQ(cdx::getLE16(&block[12]), 488 - 2 * n.params.entrySize - tails)
              << keyLen << " shared " << shared << " fill " << fill << " first key's fill " << aFill;
          cdx::Node back;
          ASSERT_TRUE(cdx::decodeNode(block, keyLen, ' ', back));
          EXPECT_EQ(back.entries[1].key, b);
        }
      }
    }
  }
}

TEST(CdxLeaf, RecordNumberBeyondMaskWidensParameters) {
  cdx::Node n = leafOf(8, {{"A", 5}, {"B", 70000}}, 10);
  std::array<uint8_t, cdx::kBlock> block{};
  EXPECT_FALSE(cdx::encodeNode(n, 8, ' ', block));
  cdx::fitLeafParams(n, 8);
  ASSERT_TRUE(cdx::encodeNode(n, 8, ' ', block));
  cdx::Node back;
  ASSERT_TRUE(cdx::decodeNode(block, 8, ' ', back));
  EXPECT_EQ(back.entries[1].recno, 70000u);
}

// A leaf spliced at the changed entry, in the block as last written, gives
// the same bytes as a full encode, and changes nothing past the bound it
// reports: entries added at the end, inserted and removed anywhere (the
// first and last included), with shared prefixes and fill, until the leaf
// is full.
TEST(CdxLeaf, PartialEncodeEqualsAFullEncode) {
  srand(7);
  for (int keyLen : {4, 10, 30}) {
    cdx::Node n = leafOf(keyLen, {{"M", 1}}, 5000);
    std::array<uint8_t, cdx::kBlock> partial{}, full{};
    ASSERT_TRUE(cdx::encodeNode(n, keyLen, ' ', partial));
    int steps = 0;
    for (uint32_t rec = 2;; ++rec, ++steps) {
      size_t at;
      bool removal = steps % 5 == 4 && n.entries.size() > 1;
      if (removal) {
        at = steps % 10 == 4 ? (steps % 20 == 4 ? 0 : n.entries.size() - 1) : size_t(rand()) % n.entries.size();
        n.entries.erase(n.entries.begin() + long(at));
      } else {
        std::string key = std::string(1, char('A' + rand() % 3)) + std::to_string(rand() % 50);
        key.resize(size_t(keyLen), ' ');
        at = steps % 3 == 0 ? n.entries.size()
                            : size_t(std::lower_bound(n.entries.begin(), n.entries.end(), key,
                                                      [](const cdx::NodeEntry& e, const std::string& k) {
                                                        return e.key < k;
                                                      }) - n.entries.begin());
        if (at == n.entries.size() && key < n.entries.back().key) key = n.entries.back().key;
        n.entries.insert(n.entries.begin() + long(at), {key, rec, 0});
      }
      const std::array<uint8_t, cdx::kBlock> before = partial;
      int changedTo = -1;
      bool ok = removal ? cdx::spliceLeaf(partial, n, keyLen, ' ', at, 1, -1, &changedTo)
                        : cdx::spliceLeaf(partial, n, keyLen, ' ', at, 2, 1, &changedTo);
      bool fits = cdx::encodeNode(n, keyLen, ' ', full);
      ASSERT_EQ(ok, fits) << keyLen << " step " << steps;
      if (!ok) break;
      ASSERT_EQ(partial, full) << keyLen << " step " << steps;
      // What the splice says it left alone is as it was.
      ASSERT_GT(changedTo, 0);
      ASSERT_LE(changedTo, cdx::kBlock);
      ASSERT_TRUE(std::equal(before.begin() + changedTo, before.end(), partial.begin() + changedTo))
          << keyLen << " step " << steps;
    }
    EXPECT_GT(steps, 20);
  }
  // Another parameter set, a record number beyond the mask, an interior node: refused.
  cdx::Node n = leafOf(10, {{"A", 1}, {"B", 2}}, 1000);
  std::array<uint8_t, cdx::kBlock> block{};
  ASSERT_TRUE(cdx::encodeNode(n, 10, ' ', block));
  int changedTo = 0;
  cdx::Node other = n;
  other.params = cdx::chooseLeafParams(10, 100000);
  EXPECT_FALSE(cdx::spliceLeaf(block, other, 10, ' ', 1, 1, 0, &changedTo));
  n.entries[1].recno = 0x10000;
  EXPECT_FALSE(cdx::spliceLeaf(block, n, 10, ' ', 1, 1, 0, &changedTo));
  n.attr = cdx::kAttrRoot;
  EXPECT_FALSE(cdx::spliceLeaf(block, n, 10, ' ', 1, 1, 0, &changedTo));
}

TEST(CdxInterior, EntriesAreBigEndian) {
  cdx::Node n;
  n.attr = cdx::kAttrRoot;
  n.entries = {{"KEY1", 0x01020304, 0x00000A00}};
  std::array<uint8_t, cdx::kBlock> block{};
  ASSERT_TRUE(cdx::encodeNode(n, 4, ' ', block));
  EXPECT_EQ(block[16], 0x01);
  EXPECT_EQ(block[19], 0x04);
  EXPECT_EQ(block[22], 0x0A);
  cdx::Node back;
  ASSERT_TRUE(cdx::decodeNode(block, 4, ' ', back));
  EXPECT_EQ(back.entries[0].child, 0xA00u);
}

// One test per malformed leaf rule: the decoder refuses, never reads past
// the block.
class CdxBadLeaf : public ::testing::Test {
 protected:
  void SetUp() override {
    cdx::Node n = leafOf(10, {{"AAA", 1}, {"AAB", 2}}, 100);
    ASSERT_TRUE(cdx::encodeNode(n, 10, ' ', block));
  }
  bool decodes() {
    cdx::Node out;
    return cdx::decodeNode(block, 10, ' ', out);
  }
  std::array<uint8_t, cdx::kBlock> block{};
};

TEST_F(CdxBadLeaf, KeyCountBeyondTheBlock) {
  cdx::putLE16(&block[2], 400);
  EXPECT_FALSE(decodes());
}
TEST_F(CdxBadLeaf, EntrySizeTooSmallForTheBitWidths) {
  block[20] = 30;  // record bits
  EXPECT_FALSE(decodes());
}
TEST_F(CdxBadLeaf, EntrySizeZero) {
  block[23] = 0;
  EXPECT_FALSE(decodes());
}
TEST_F(CdxBadLeaf, DuplicateCountOnTheFirstKey) {
  block[26] = 0x01;  // dup 1 in the first entry
  EXPECT_FALSE(decodes());
}
TEST_F(CdxBadLeaf, TailsRunIntoTheEntries) {
  for (int i = 0; i < 40; i++) block[size_t(24 + i * 3 + 2)] = 0;
  cdx::putLE16(&block[2], 40);  // 40 full keys of 10 bytes do not fit with 120 entry bytes... but do
  block[23] = 12;               // entries of 12 bytes: 480 + tails
  EXPECT_FALSE(decodes());
}
TEST_F(CdxBadLeaf, UnknownAttribute) {
  cdx::putLE16(&block[0], 9);
  EXPECT_FALSE(decodes());
}

TEST_F(CdxBadLeaf, FreeBytesBeyondTheLeaf) {
  cdx::putLE16(&block[12], 600);
  EXPECT_FALSE(decodes());
}

// A block handed over short (a truncated read) is refused, not read past.
TEST(CdxShortBuffers, NodeAndHeaderShorterThanTheirBlockAreRefused) {
  cdx::Node n = leafOf(10, {{"A", 1}, {"B", 2}}, 100);
  std::array<uint8_t, cdx::kBlock> block{};
  ASSERT_TRUE(cdx::encodeNode(n, 10, ' ', block));
  cdx::Node out;
  EXPECT_FALSE(cdx::decodeNode(std::span<const uint8_t>(block).first(cdx::kBlock - 1), 10, ' ', out));
  std::array<uint8_t, cdx::kBlock - 1> small{};
  EXPECT_FALSE(cdx::encodeNode(n, 10, ' ', small));
  std::vector<uint8_t> header(cdx::kHeaderSize);
  cdx::TagHeader h;
  h.keyExpr = "KEY";
  ASSERT_TRUE(cdx::encodeTagHeader(h, header));
  EXPECT_FALSE(cdx::decodeTagHeader(std::span<const uint8_t>(header).first(cdx::kHeaderSize - 1), h));
}

// The splice reads the counts of the block it patches; when they are
// damaged (the free-byte count points past the leaf) it refuses, and the
// caller encodes the node afresh.
TEST(CdxSplice, DamagedFreeByteCountIsRefused) {
  cdx::Node n = leafOf(10, {{"A", 1}, {"B", 2}, {"C", 3}}, 1000);
  std::array<uint8_t, cdx::kBlock> block{};
  ASSERT_TRUE(cdx::encodeNode(n, 10, ' ', block));
  cdx::putLE16(&block[12], 0xFFFF);
  n.entries.push_back({std::string("D") + std::string(9, ' '), 4, 0});
  int changedTo = 0;
  EXPECT_FALSE(cdx::spliceLeaf(block, n, 10, ' ', 3, 1, 1, &changedTo));
}

TEST(Coding4, WidthFieldsStayInsideTheirSpan) {
  std::array<uint8_t, 10> b{};
  ASSERT_TRUE(coding4::putLeWidth(b, 2, 3, 0xA1B2C3));
  EXPECT_EQ(b[2], 0xC3);
  EXPECT_EQ(b[4], 0xA1);
  EXPECT_EQ(b[5], 0x00);
  uint64_t v = 7;
  ASSERT_TRUE(coding4::getLeWidth(b, 2, 3, &v));
  EXPECT_EQ(v, 0xA1B2C3u);
  ASSERT_TRUE(coding4::getLeWidth(b, 2, 8, &v));  // exactly to the end
  EXPECT_FALSE(coding4::getLeWidth(b, 3, 8, &v));  // one past the end
  EXPECT_FALSE(coding4::getLeWidth(b, 0, 9, &v));  // wider than a word
  EXPECT_FALSE(coding4::getLeWidth(b, size_t(-1), 2, &v));
  EXPECT_EQ(v, 0xA1B2C3u);  // failed reads leave it alone
  EXPECT_FALSE(coding4::putLeWidth(b, 9, 2, 0));
  EXPECT_EQ(b[9], 0);
}

TEST(CdxHeader, ExpressionOffsetsOutsideTheAreaAreRefused) {
  cdx::TagHeader h;
  h.keyLen = 8;
  h.options = 0x60;
  h.keyExpr = "KEY";
  h.filterExpr = "RECNO()>1";
  std::vector<uint8_t> buf(1024);
  ASSERT_TRUE(cdx::encodeTagHeader(h, buf));
  cdx::TagHeader back;
  ASSERT_TRUE(cdx::decodeTagHeader(buf, back));
  EXPECT_EQ(back.keyExpr, "KEY");
  EXPECT_EQ(back.filterExpr, "RECNO()>1");
  cdx::putLE16(&buf[504], 510);
  EXPECT_FALSE(cdx::decodeTagHeader(buf, back));
}

TEST(I4Key, NumericKeysSortAsTheirValues) {
  std::vector<double> values = {-1e300, -2.5, -1, -0.0, 0, 1e-300, 1, 2.5, 1e300};
  for (size_t i = 1; i < values.size(); i++) {
    EXPECT_LE(i4key::fromDouble(values[i - 1]), i4key::fromDouble(values[i])) << values[i];
    EXPECT_EQ(i4key::toDouble(i4key::fromDouble(values[i])), values[i] == 0 ? 0 : values[i]);
  }
  EXPECT_LT(i4key::fromInt(-5), i4key::fromInt(3));
  EXPECT_LT(i4key::fromCurrency(-50000), i4key::fromCurrency(1));
  EXPECT_EQ(i4key::fromSeekText('L', "y"), "T");
  EXPECT_EQ(i4key::fromSeekText('D', "20000101"), i4key::fromDouble(2451545));
  std::string k = "A\xff\xff";
  ASSERT_TRUE(i4key::increment(k));
  EXPECT_EQ(k, std::string("B\0\0", 3));
  std::string all = "\xff\xff";
  EXPECT_FALSE(i4key::increment(all));
}

}  // namespace
