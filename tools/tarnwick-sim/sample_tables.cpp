#include "sample_tables.h"

#include <string>

#include "db/maintenance_layouts.h"

namespace {

using Rows = std::vector<std::vector<std::string>>;

// Prepends the prototype record: KEY = next key, every other field blank.
Rows withPrototype(const DBTableLayout& layout, Rows rows, long nextKey,
                   std::vector<std::pair<int, std::string>> extra = {}) {
  std::vector<std::string> proto(layout.fields.size());
  proto[0] = std::to_string(nextKey);
  for (auto& [field, value] : extra) proto[field] = value;
  rows.insert(rows.begin(), proto);
  return rows;
}

Rows codeRows(const std::vector<std::pair<const char*, const char*>>& codes) {
  Rows rows;
  long key = 1;
  for (auto& [code, text] : codes) rows.push_back({std::to_string(key++), code, text});
  return rows;
}

Rows contacts(bool samples) {
  Rows rows;
  if (samples) {
    rows = {
        {"1", "Jane Adams", "555-0101", "", "", "", "F", "jane.adams@tarnwick-demo.example", "Office manager, building A", ""},
        {"2", "Bob Lee", "555-0102", "", "", "555-0199", "F", "bob@example.com", "", ""},
        {"3", "Maria Garcia", "555-0103", "", "", "", "F", "maria.garcia@tarnwick-demo.example", "", "040C"},
        {"4", "Facilities Desk", "555-0100", "", "", "", "F", "facilities@tarnwick-demo.example", "", ""},
        {"5", "Former Tenant", "", "", "", "", "T", "former@tarnwick-demo.example", "Moved out; hidden", ""},
    };
  }
  return withPrototype(contactsLayout(), rows, static_cast<long>(rows.size()) + 1);
}

Rows units(bool samples) {
  Rows rows;
  if (samples)
    rows = codeRows({{"BLDG-A", "Building A"},
                     {"BLDG-B", "Building B"},
                     {"BOILER-1", "Boiler room, building A"},
                     {"HVAC-ROOF", "Roof air handling unit"},
                     {"LIFT-1", "Passenger lift, building B"}});
  return withPrototype(unitsLayout(), rows, static_cast<long>(rows.size()) + 1);
}

Rows codes(const DBTableLayout& layout, bool samples,
           const std::vector<std::pair<const char*, const char*>>& list) {
  Rows rows = samples ? codeRows(list) : Rows{};
  return withPrototype(layout, rows, static_cast<long>(rows.size()) + 1);
}

std::string settingsVersion(SampleOptions::Layout layout) {
  switch (layout) {
    case SampleOptions::v27: return "2.7.5.1";
    case SampleOptions::v25: return "2.5.1.0";
    default: return "2.9.0.0";
  }
}

}  // namespace

std::vector<SampleTable> sampleTables(const SampleOptions& o) {
  std::vector<SampleTable> tables;
  long activity = o.interruptedArchive ? 3 : o.activity;
  std::string upgradeStep = o.layout == SampleOptions::v27 ? "2" : "0";
  tables.push_back({"system/default.dbf", defaultLayout(),
                    {{settingsVersion(o.layout), upgradeStep, std::to_string(activity)}}});
  if (o.layout == SampleOptions::v25)
    tables.push_back({"system/default.dat", defaultLayout(), {{"2.5.1.0", "0", "0"}}});

  tables.push_back({"contacts.dbf", contactsLayout(), contacts(o.samples)});
  // The next work-request number, right-aligned as the maintenance program keeps it.
  tables.push_back({"wrequest.dbf", wrequestLayout(),
                    withPrototype(wrequestLayout(), {}, 1, {{kWrNum, "           1001"}})});
  tables.push_back({"worders.dbf", wordersLayout(),
                    withPrototype(wordersLayout(), {}, 1, {{kWoNum, "           5001"}})});
  tables.push_back({"units.dbf", unitsLayout(), units(o.samples)});
  tables.push_back({"workcat.dbf", workcatLayout(),
                    codes(workcatLayout(), o.samples,
                          {{"ELEC", "Electrical"}, {"PLUMB", "Plumbing"}, {"HVAC", "Heating and cooling"},
                           {"GEN", "General"}})});
  tables.push_back({"priority.dbf", priorityLayout(),
                    codes(priorityLayout(), o.samples,
                          {{"1-URGENT", "Within four hours"}, {"2-HIGH", "Within a day"},
                           {"3-NORMAL", "Within a week"}, {"4-LOW", "When convenient"}})});
  tables.push_back({"access.dbf", accessLayout(),
                    codes(accessLayout(), o.samples,
                          {{"ANYTIME", "Any time"}, {"OFFICE", "Office hours only"},
                           {"ESCORT", "Escort required"}})});
  if (o.interruptedArchive) {
    tables.push_back({"archives.dbf", archivesLayout(),
                      withPrototype(archivesLayout(), {{"1", "Work orders before 2023", "20240101", "T"}}, 2)});
    tables.push_back({"ArchDels.dbf", archDelsLayout(), {{"WORDERS", "H", "2", ""}}});
  }
  return tables;
}
