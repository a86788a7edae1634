#include "db/maintenance_lookups.h"

#include <algorithm>

#include "db/maintenance_layouts.h"
#include "table/db_table.h"
#include "table/db_table_fields.h"

namespace {

constexpr int kReadQuietly = kOpenReadOnly | kOpenQuiet;

}  // namespace

std::optional<WorkOrderRow> findWorkOrder(DatabaseContext& maintenance, long key) {
  static const DBTableLayout layout = wordersLayout();
  DBTable orders(maintenance, "worders.dbf", kReadQuietly, &layout);
  if (!orders.isOpen()) return std::nullopt;
  const DBTable::Ordering* byKey = orders.tag(kWoTagKey);
  if (!byKey || orders.selectTag(*byKey) != 0) return std::nullopt;
  if (orders.seekExact(static_cast<double>(key)) != 0) return std::nullopt;
  WorkOrderRow row;
  row.number = orders.field(kWoNum)->utf8Text();
  row.createDate = orders.field(kWoCreateDate)->raw();
  row.closeDate = orders.field(kWoCloseDate)->raw();
  row.closeComments = orders.field(kWoCloseComm)->utf8Text();
  row.workDate = orders.field(kWoWorkDate)->raw();
  row.interval = orders.field(kWoWInterval)->raw();
  row.requestor = orders.field(kWoRequestor)->asLong();
  return row;
}

long newestRequestOf(DatabaseContext& maintenance, const stringT& number, long requestor) {
  static const DBTableLayout layout = wrequestLayout();
  DBTable requests(maintenance, "wrequest.dbf", kReadQuietly, &layout);
  const DBTable::Ordering* byNumber = requests.isOpen() ? requests.tag(kWrTagAllWrNum) : nullptr;
  if (!byNumber || requests.selectTag(*byNumber) != 0) return -1;
  if (number.length() > requests.field(kWrNum)->width() || requestor <= 0) return 0;
  int rc = requests.seek(number);
  long best = 0;
  while (rc == 0 && !requests.atEof() && requests.field(kWrNum)->raw().trimRight() == number) {
    if (!requests.isDeleted() && requests.field(kWrRequestor)->asLong() == requestor)
      best = std::max(best, requests.field(kWrKey)->asLong());
    rc = requests.skip(1);
  }
  return best;
}

std::vector<ContactRow> listContactsByName(DatabaseContext& maintenance) {
  std::vector<ContactRow> rows;
  static const DBTableLayout layout = contactsLayout();
  DBTable table(maintenance, "contacts.dbf", kReadQuietly, &layout);
  if (!table.isOpen()) return rows;
  if (table.selectOrdering(table.tag(kConTagCode)) != 0) return rows;
  for (int rc = table.top(); rc == 0 && !table.atEof(); rc = table.skip(1)) {
    rows.push_back(ContactRow{table.field(kConKey)->asLong(), table.field(kConCode)->utf8Text(),
                              table.field(kConBTel)->utf8Text(), table.field(kConEmail)->utf8Text()});
  }
  return rows;
}
