// tarnwick-sim moves: the maintenance program's part, played on a
// maintenance database while the gateway may be using it.
//
// Every move takes the database directory first, opens it as the
// maintenance program does (session.lok held shared, so the gateway and
// other moves may run at the same time), and changes the tables as one
// transaction under the engine's locks: the record it changes is locked
// and read again before it is checked and written; new records take their
// keys from record 1 under its lock (db/record_counter.h). A move that
// cannot finish leaves the tables as it found them (apart from counters
// already advanced, which the maintenance program never sets back).
#pragma once

#include <string>
#include <vector>

int cmdAddContact(const std::vector<std::string>& args);
int cmdNewRequest(const std::vector<std::string>& args);
int cmdTransfer(const std::vector<std::string>& args);
int cmdClose(const std::vector<std::string>& args);
int cmdVoid(const std::vector<std::string>& args);
int cmdReopen(const std::vector<std::string>& args);
int cmdReschedule(const std::vector<std::string>& args);
int cmdHideContact(const std::vector<std::string>& args);
int cmdDeleteContact(const std::vector<std::string>& args);
int cmdList(const std::vector<std::string>& args);

#define TARNWICK_SIM_MOVES                                                                                  \
  {"add-contact", "DIR NAME EMAIL", "add a person to contacts.dbf",                                         \
   "tarnwick-sim add-contact /tmp/tw 'Ada Byron' ada@example.org", cmdAddContact},                          \
  {"new-request", "DIR CONTACTKEY SUBJECT", "open a work request numbered from record 1",                   \
   "tarnwick-sim new-request /tmp/tw 3 'Leaking tap'", cmdNewRequest},                                      \
  {"transfer", "DIR WRKEY [--workdate CCYYMMDD] [--interval DAYS]",                                        \
   "turn an open work request into an open work order",                                                     \
   "tarnwick-sim transfer /tmp/tw 1 --workdate 20260110 --interval 3", cmdTransfer},                        \
  {"close", "DIR WOKEY [COMMENTS]", "close an open work order", "tarnwick-sim close /tmp/tw 1 'Washer replaced'", \
   cmdClose},                                                                                                \
  {"void", "DIR request WRKEY | DIR order WOKEY", "void an open work request or work order",               \
   "tarnwick-sim void /tmp/tw request 2", cmdVoid},                                                          \
  {"reopen", "DIR WOKEY", "open a closed or void work order again", "tarnwick-sim reopen /tmp/tw 1",        \
   cmdReopen},                                                                                               \
  {"reschedule", "DIR WOKEY CCYYMMDD DAYS", "set a work order's work date and interval",                   \
   "tarnwick-sim reschedule /tmp/tw 1 20260201 5", cmdReschedule},                                           \
  {"hide-contact", "DIR KEY", "hide a contact", "tarnwick-sim hide-contact /tmp/tw 3", cmdHideContact},     \
  {"delete-contact", "DIR KEY", "mark a contact deleted", "tarnwick-sim delete-contact /tmp/tw 3",          \
   cmdDeleteContact},                                                                                        \
  {"list", "DIR", "list contacts, work requests and work orders", "tarnwick-sim list /tmp/tw", cmdList},
