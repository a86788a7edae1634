// Creating a person in the maintenance database's contacts.dbf, as the
// gateway does for an unknown sender and tarnwick-sim's add-contact does.
//
//   1. open contacts.dbf for reading and writing (shared)
//   2. the name and address are put in the table's code page (the name cut
//      to CODE's width between two characters); a name an unhidden contact
//      already has (upper case, over CODE's width) becomes name + " (2)",
//      or the next free " (n)"
//   3. KEY from record 1 under its lock (record_counter.h); append a blank,
//      undeleted record with KEY, CODE and EMAIL (lower case)
//   4. a failed append sets the counter back (when still k + 1)
//
// BTEL, HIDDEN, COMMENT and LANGID are left blank.
#pragma once

#include "common/string.h"

class DatabaseContext;

struct NewContact {
  long key = 0;
  stringT name;  // as stored, back in UTF-8
};

enum ContactWriteResult { kContactStored = 0, kContactCantOpen = 1, kContactCantAppend = 2 };

// kContactStored, or which step failed with the engine's code in *code.
[[nodiscard]] ContactWriteResult createContact(DatabaseContext& maintenance, const stringT& name,
                                               const stringT& email, NewContact* out, int* code);
