// The tables tarnwick-sim create writes: each table's layout and rows.
//
// Rows hold field texts in field order; an empty text leaves the field
// blank. Numbers are decimal text, logicals "T"/"F", dates CCYYMMDD. Row 0
// is the prototype record (its KEY is the next key to hand out), for every
// table that has one.
#pragma once

#include <string>
#include <vector>

#include "table/table_layout.h"

struct SampleTable {
  const char* name;  // file name inside the database directory
  DBTableLayout layout;
  std::vector<std::vector<std::string>> rows;
};

struct SampleOptions {
  enum Layout { current, v27, v25 } layout = current;
  bool samples = true;             // sample contacts, units and codes
  bool interruptedArchive = false; // REINDEX 3 with the traces of an archive purge
  long activity = 0;               // REINDEX when not an interrupted archive
};

// Every table of a maintenance database of the chosen layout, in the order
// they are written.
std::vector<SampleTable> sampleTables(const SampleOptions& options);
