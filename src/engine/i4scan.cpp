#include "engine/i4scan.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/data4.h"
#include "engine/data4_internal.h"

int i4forEachRecord(DATA4* d, uint32_t first, uint32_t last, bool resetMemos,
                    const std::function<int(uint32_t)>& visit) {
  DATA4FILE* df = d->dataFile;
  const size_t recLen = df->header.recordLength;
  if (recLen == 0 || first > last) return 0;
  std::vector<char> saved(d->record.begin(), d->record.end());
  const int32_t savedRec = d->recNum;
  const uint32_t chunk = uint32_t(std::max<size_t>(1, (size_t(1) << 20) / recLen));
  std::vector<char> buf;
  int rc = 0;
  for (uint32_t r = first; r <= last && rc == 0; r += chunk) {
    uint32_t n = std::min<uint32_t>(chunk, last - r + 1);
    buf.resize(recLen * n);
    int64_t pos = int64_t(df->header.headerLength) + int64_t(r - 1) * int64_t(recLen);
    rc = file4readAll(&df->file, pos, buf.data(), buf.size());
    for (uint32_t k = 0; k < n && rc == 0; k++) {
      std::memcpy(d->record.data(), buf.data() + size_t(k) * recLen, recLen);
      d->recNum = int32_t(r + k);
      if (resetMemos) data4memosReset(d);
      rc = visit(r + k);
    }
  }
  std::memcpy(d->record.data(), saved.data(), saved.size());
  d->recNum = savedRec;
  return rc;
}
