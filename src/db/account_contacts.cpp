// AccountsManager: the contacts side (finding a person by address,
// creating a person in the maintenance database) and account texts.
#include "common/code_page.h"
#include "common/string_mapper.h"
#include "db/accounts_manager.h"
#include "db/maintenance_layouts.h"
#include "db/contact_writer.h"
#include "engine/error4.h"

namespace {

constexpr const char* kCantOpenContacts = "*can't open contacts table";

const DBTableLayout& contactsTableLayout() {
  static const DBTableLayout layout = contactsLayout();
  return layout;
}

// A live, visible contact: what the EMAIL tag promises, checked against
// the row itself.
bool visibleContact(const DBTable& c) {
  return !c.noRecord() && c.recordNumber() > 1 && !c.isDeleted() && !c.field(kConHidden)->asBool();
}

}  // namespace

int AccountsManager::FindContactByEmail(const stringT& address, long* contactKey) {
  *contactKey = 0;
  DBTable c(maintenance_, "contacts.dbf", kOpenReadOnly | kOpenQuiet, &contactsTableLayout());
  if (!c.isOpen()) return setStatus(r4after, translate(kCantOpenContacts));
  // The table's keys are its own bytes: look the address up in its code page.
  stringT probe = stringT(toCodePage(address.view(), c.field(kConEmail)->codePage())).upper();
  if (probe.empty()) return setStatus(r4after);
  int rc = c.selectTag(*c.tag(kConTagEmail));
  if (rc == 0) rc = c.seek(probe);
  // The seek compares only the address's own length, so it also lands on
  // longer addresses that merely begin with it ("bob@example.co" before
  // "bob@example.com"). Only a contact whose whole address is the sender's
  // is that sender: anything else would file requests under, and answer
  // enquiries about, another person.
  for (; rc == 0 && c.compareKey(probe) == 0; rc = c.skip(1)) {
    if (!visibleContact(c)) continue;
    if (c.field(kConEmail)->text().trim().upper() != probe.trim()) continue;
    long key = c.field(kConKey)->asLong();
    int found = Find(key);
    if (found != 0 && found != r4after) return found;
    *contactKey = key;
    return setStatus(found == 0 ? 0 : 1);
  }
  if (rc < 0) return setStatus(rc, translate(kCantOpenContacts));
  return setStatus(r4after);
}

int AccountsManager::AddContact(FieldMap& record) {
  NewContact made;
  int code = 0;
  switch (createContact(maintenance_, record.get(kAccountName), record.get(kAccountEmail), &made, &code)) {
    case kContactCantOpen: return setStatus(code != 0 ? code : r4after, translate(kCantOpenContacts));
    case kContactCantAppend: return setStatus(code != 0 ? code : e4append, translate("*can't append to contacts table"));
    case kContactStored: break;
  }
  record.set(kAccountName, made.name);
  record.setNumber(kAccountContactKey, made.key);
  return setStatus(0);
}

stringT AccountsManager::DescribeAccount(const FieldMap& record, unsigned mask, bool labels) const {
  struct Line {
    int field;
    const char* label;
  };
  static const Line kLines[] = {{kAccountName, "*Name:"}, {kAccountPhone, "*Phone:"}, {kAccountEmail, "*Email:"}};
  auto label = [&](const char* marked) {
    return labels ? stringT::format("%-20s ", translate(marked).c_str()) : stringT();
  };
  stringT out;
  for (const Line& l : kLines) {
    stringT value = record.get(l.field);
    if ((mask & static_cast<unsigned>(l.field)) && !value.empty()) out += label(l.label) + value + "\r\n";
  }
  stringT comments = record.get(kAccountComments);
  if ((mask & kAccountComments) && !comments.empty())
    out += label("*Comments:") + "\r\n" + comments + "\r\n";
  return out;
}
