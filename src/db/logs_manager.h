// LogsManager: the only reader and writer of the gateway's logs.dbf.
//
// It counts and lists logs by status without touching the file (the key
// lists), hands out LogRecords through a bounded cache, appends new logs
// with keys from the prototype record and writes LogRecords back field by
// field. The key lists and the cache (log_cache.h) exist once per process
// and every LogsManager object uses them; the objects themselves are
// light, made wherever the table is needed, and close the table when
// destroyed.
//
// Results: every operation returns its code and keeps code and message as
// the manager's last result (Manager). 0 is success; 2 "*log not found";
// "*can't append to logs table" with the engine's code. Every write is
// written through to the file before success is reported.
//
// Append (keys from record 1, record_counter.h):
//   1. take k from record 1 under its lock (record 1 := k + 1)
//   2. start the append (record 1 written, lock released); failure: the
//      counter stays advanced and k is never used
//   3. blank row, field 201 := k, KEY := k, write every field (213)
//   4. append; failure: record 1 set back to k (when still k + 1)
//   5. k joins the key list of the record's status
//
// One thread (the gateway thread).
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "common/manager.h"
#include "db/gateway_tables.h"
#include "db/log_record.h"

class DatabaseContext;

class LogsManager : public Manager {
 public:
  explicit LogsManager(DatabaseContext& gateway);

  bool isOpen() const { return table_.isOpen(); }
  LogsTable& table() { return table_; }

  // Rebuilds the key lists from the file and empties the cache.
  [[nodiscard]] int Load();
  // Stands the table on the log with this key: 0; 2 "*log not found".
  [[nodiscard]] int Find(long key);
  // The cached LogRecord, or the row read into a new one; nullptr (last
  // result: why) when there is none. Key 1 never yields a LogRecord.
  std::shared_ptr<LogRecord> GetRecord(long key);
  // GetRecord for the key at position of status's key list.
  std::shared_ptr<LogRecord> RecordAt(size_t position, long status);
  size_t CountInStatus(long status) const;
  size_t CountAll() const;
  std::vector<long> KeysInStatus(long status) const;
  // The key of the row that created work request requestKey: the oldest
  // live row with that WRKEY that is not a queued acknowledgement; 0 when
  // there is none. Reads two numbers a row, straight from the table.
  long creatorOf(long requestKey);

  // Adds a row for record and gives it its key (field 201).
  [[nodiscard]] int Append(LogRecord& record);
  // Writes field number (213: every field) of record into its row (found
  // by field 201), moves the key between lists when the status changed and
  // caches the record under its key.
  [[nodiscard]] int Update(LogRecord& record, int number);
  // Writes the table's changed buffers to disk: 0 or the engine's code.
  [[nodiscard]] int flush() { return table_.flush(); }
  // Marks the row deleted and takes its key out of its status's list and
  // out of the cache.
  [[nodiscard]] int Remove(long key);
  // GetRecord, SetStatus(status), Update(209).
  [[nodiscard]] int ChangeStatus(long key, long status);

 private:
  int notOpen();
  int appendFailed(int rc);

  LogsTable table_;
};
