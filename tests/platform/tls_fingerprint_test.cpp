#include <gtest/gtest.h>

#include "platform/tls_stream.h"

TEST(TlsFingerprint, AnySpellingOfSixtyFourHexDigitsIsAccepted) {
  const std::string canonical =
      "D7:8B:75:89:8C:DD:BA:3D:99:E4:3D:00:1C:D6:A7:9B:36:2B:EA:6A:7A:78:4B:29:FE:1D:0A:1E:B8:7E:C5:CB";
  EXPECT_EQ(normalizedFingerprint(canonical), canonical);
  EXPECT_EQ(normalizedFingerprint("d78b75898cddba3d99e43d001cd6a79b362bea6a7a784b29fe1d0a1eb87ec5cb"), canonical);
  EXPECT_EQ(normalizedFingerprint("d7 8b 75 89 8c dd ba 3d 99 e4 3d 00 1c d6 a7 9b 36 2b ea 6a 7a 78 4b 29 fe 1d 0a 1e "
                                  "b8 7e c5 cb"),
            canonical);
  EXPECT_EQ(normalizedFingerprint(canonical.substr(3)), "");         // a byte short
  EXPECT_EQ(normalizedFingerprint(canonical + ":00"), "");           // a byte long (SHA-1 or other)
  EXPECT_EQ(normalizedFingerprint("SHA256 Fingerprint=" + canonical), "");  // not only hex
}
