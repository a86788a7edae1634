// The JSON lines of orvdb dump: one header line per table, one line per
// record (format fixed in the fixtures' README; see json_out.h).
#pragma once

#include <string>

struct DATA4;

std::string dumpHeaderLine(DATA4* d);
// The current record of d; false (and an error reported by the engine)
// when a memo cannot be read.
bool dumpRecordLine(DATA4* d, std::string* line);

// Writes the header line and every record of d in its current order (the
// selected tag's, or record order) to stdout. True when the walk reached
// the end with no engine error.
bool dumpTable(DATA4* d);
