// Read-only lookups in the maintenance database for the processing cycle
// and the console: a work order by key, the newest work request a person
// asked for under a number, and the contact list.
//
// Each opens its table read-only and quietly (a table the maintenance
// program holds or that is missing is an answer, not an error box) and
// closes it before returning, so nothing stays open between runs.
#pragma once

#include <optional>
#include <vector>

#include "common/string.h"

class DatabaseContext;

// The fields of worders.dbf that notices report (texts as UTF-8; dates
// and the interval as stored).
struct WorkOrderRow {
  stringT number;         // WONUM
  stringT createDate;     // CREATEDATE, CCYYMMDD
  stringT closeDate;      // CLOSEDATE
  stringT closeComments;  // CLOSECOMM
  stringT workDate;       // WORKDATE
  stringT interval;       // WINTERVAL, right-aligned digits
  long requestor = 0;     // REQUESTOR
};

// The work order with this key; nothing when the table cannot be read or
// has no such order.
std::optional<WorkOrderRow> findWorkOrder(DatabaseContext& maintenance, long key);

// The highest key among the live work requests numbered `number` (WRNUM,
// without trailing blanks) that `requestor` asked for: 0 when there is
// none (or the number is longer than the field, or requestor <= 0), -1
// when wrequest.dbf or its number tag cannot be loaded.
long newestRequestOf(DatabaseContext& maintenance, const stringT& number, long requestor);

struct ContactRow {
  long key = 0;
  stringT name, phone, email;  // CODE, BTEL, EMAIL as UTF-8
};

// Every contact, in CODE order; empty when contacts.dbf cannot be read.
std::vector<ContactRow> listContactsByName(DatabaseContext& maintenance);
