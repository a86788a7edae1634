// Table layouts: the static field list and tag list that describe one
// table to the table layer (DBTable).
//
// When a table is created the lists become the file's fields and the tags
// of its production index; when an existing table is opened the file's
// fields are compared with the field list row by row (name, type, width,
// decimals) and every tag of the tag list must be found in the index.
//
// The lists are plain constant arrays with static storage; a layout only
// points at them, so layouts are cheap to copy and never own anything.
#pragma once

#include <cstdint>
#include <span>

struct DBFieldInfo {
  const char* name;  // at most ten characters
  char type;         // 'C', 'N', 'D', 'M', 'L'
  uint16_t width;
  uint16_t decimals;
  uint16_t nulls = 0;  // always 0 in our tables
};

// Unique modes of a tag (the engine's values).
constexpr int16_t kTagNotUnique = 0;
constexpr int16_t kTagUniqueContinue = 25;

struct DBTagInfo {
  const char* name;
  const char* expression;
  const char* filter;  // nullptr: no filter
  int16_t unique;
  uint16_t descending = 0;
};

struct DBTableLayout {
  std::span<const DBFieldInfo> fields;
  std::span<const DBTagInfo> tags;
};

// The filter every table of both databases uses: the prototype record and
// deleted records are in no tag.
inline constexpr const char* kLiveRecordFilter = "RECNO()<>1.AND..NOT.DELETED()";
