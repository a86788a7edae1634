// tarnwick-sim add-contact, hide-contact, delete-contact.
#include <cstdio>

#include "commands.h"
#include "db/contact_writer.h"
#include "db/maintenance_layouts.h"
#include "move_support.h"
#include "moves.h"

namespace {

const DBTableLayout& contacts() {
  static const DBTableLayout layout = contactsLayout();
  return layout;
}

// Locks contact key, lets change alter it, writes it.
template <typename Change>
int changeContact(const std::vector<std::string>& args, const char* usageText, const char* done, Change change) {
  long key = 0;
  if (args.size() != 2 || !sim::parseLong(args[1], &key)) return sim::usage(usageText);
  auto db = sim::openDatabase(args[0]);
  if (db == nullptr) return kExitFailed;
  auto t = sim::openTable(*db, "contacts.dbf", contacts());
  if (t == nullptr) return kExitFailed;
  if (sim::lockByKey(*t, kConTagKey, key, "contact") != 0) return kExitFailed;
  int rc = change(*t);
  if (rc == 0) rc = sim::writeRecord(*t, "contact");
  if (rc != 0) return kExitFailed;
  std::printf("contact %ld %s\n", key, done);
  return kExitDone;
}

}  // namespace

int cmdAddContact(const std::vector<std::string>& args) {
  if (args.size() != 3 || args[1].empty()) return sim::usage("add-contact DIR NAME EMAIL");
  auto db = sim::openDatabase(args[0]);
  if (db == nullptr) return kExitFailed;
  NewContact made;
  int code = 0;
  switch (createContact(*db, stringT(args[1]), stringT(args[2]), &made, &code)) {
    case kContactCantOpen: return sim::fail("cannot open contacts.dbf (" + std::to_string(code) + ")");
    case kContactCantAppend: return sim::fail("cannot append to contacts.dbf (" + std::to_string(code) + ")");
    case kContactStored: break;
  }
  std::printf("contact %ld added: %s\n", made.key, made.name.c_str());
  return kExitDone;
}

int cmdHideContact(const std::vector<std::string>& args) {
  return changeContact(args, "hide-contact DIR KEY", "hidden", [](DBTable& t) { return t.field(kConHidden)->assignBool(true); });
}

int cmdDeleteContact(const std::vector<std::string>& args) {
  return changeContact(args, "delete-contact DIR KEY", "deleted", [](DBTable& t) { return t.markDeleted(true); });
}
