// ConfigurationsManager: the gateway's settings (orvserv.cfg in the gateway
// directory), a map from setting number to text.
//
// File format, one line per setting in ascending number, every setting of
// the map written (empty ones included):
//
//   | bytes                       | meaning                                 |
//   |-----------------------------|-----------------------------------------|
//   | "[" decimal number "] "     | tag of the setting                      |
//   | value                       | the text as stored (no line ends)       |
//   | CR LF                       | line end (LF alone is accepted on read) |
//
// Reading takes, for each number low < n < high, the first "[n] " at the
// start of a line and the text up to the next line end (common/
// tagged_text.h); numbers not found keep what the map held. A tag inside a
// value is not a tag, so every value without a line end reads back as it
// was written. Writing goes to a temporary
// file in the same directory, flushed to disk, then renamed over the old
// file, so a crash or a full disk never leaves a truncated settings file;
// the file gets mode 0600 since it holds the mailbox password.
//
// Settings:
//
//   | n   | meaning                              | n   | meaning                |
//   |-----|--------------------------------------|-----|------------------------|
//   | 101 | POP3 server                          | 152 | title / sender name    |
//   | 102 | SMTP server                          | 153 | subject prefix         |
//   | 103 | POP3 account name                    | 154 | first line of notices  |
//   | 104 | POP3 password, scrambled             | 155 | return address         |
//   | 105 | POP3 port (0/empty = 110)            | 156 | clear diagnostic.txt   |
//   | 106 | SMTP port (0/empty = 25)             | 157 | follow Completed rows  |
//   | 151 | processing interval, minutes         | 158 | follow Void rows       |
//   | 204 | program version                      | 159 | closing comments       |
//   | 205 | stamp "1.2.0.0"; 206 stamp "2.9.0.0" |     |                        |
//
// Settings of this gateway that the classic file lacks are numbered from
// 301 to 499 and read by a second pass over the same file, so an older
// program reading the file ignores them:
//
//   | n       | group                                                  |
//   |---------|--------------------------------------------------------|
//   | 310-319 | mail of today: size limit, notice rate, reference      |
//   |   312   | notices per address and hour (empty: 20; 0: no limit)  |
//   |   313   | non-zero: notice Subjects name the request "[@O01001]" |
//   | 320-349 | mail server security: TLS modes, authentication, OAuth |
//   | 350-369 | console: password hash, TLS certificate and key        |
//   | 370-379 | service                                                |
//   | 380-389 | limits of a run: overall deadline                      |
//
// Those in use:
//
//   | n   | meaning                                         | empty / 0     |
//   |-----|-------------------------------------------------|---------------|
//   | 310 | largest message taken in whole, in bytes; a     | 26214400      |
//   |     | larger one is cut to this size and Rejected     | (25 MB)       |
//   | 380 | deadline of one retrieval or acknowledgement    | 600           |
//   |     | run, in seconds                                 |               |
//   | 381 | time limit of one message's download, seconds   | 300           |
//
// Not thread-safe: the gateway thread owns it; hand copies of settings() to
// other threads.
#pragma once

#include "common/field_map.h"
#include "common/manager.h"

#include <vector>

enum Setting : int {
  kPop3Server = 101,
  kSmtpServer = 102,
  kPop3Account = 103,
  kPop3Password = 104,
  kPop3Port = 105,
  kSmtpPort = 106,
  kInterval = 151,
  kTitle = 152,
  kSubjectPrefix = 153,
  kFirstLine = 154,
  kReturnAddress = 155,
  kClearDiagnostics = 156,
  kFollowCompleted = 157,
  kFollowVoid = 158,
  kClosingComments = 159,
  kProgramVersion = 204,
  // Mail server security (see mail/mail_security.h for the words).
  kPop3Security = 320,          // "none", "stls", "tls"
  kPop3Login = 321,             // "user", "plain", "xoauth2"
  kPop3CertificatePin = 322,    // SHA-256 fingerprint, hex
  kSmtpSecurity = 323,          // "none", "starttls", "tls"
  kSmtpLogin = 324,             // "none", "plain", "login", "xoauth2"
  kSmtpUser = 325,
  kSmtpPassword = 326,          // scrambled as 104
  kSmtpCertificatePin = 327,
  kTlsCaFile = 328,             // extra trust anchors, PEM
  kAllowPlaintextPassword = 329,  // "1" allowed; absent: allowed (older files)
  kOAuthClientId = 330,
  kOAuthClientSecret = 331,     // scrambled
  kOAuthRefreshToken = 332,     // scrambled
  kOAuthTokenUrl = 333,
  kOAuthScope = 334,
  kStamp205 = 205,
  kStamp206 = 206,
  kMaxMessageSize = 310,
  kRunDeadline = 380,
  kMessageDeadline = 381,
  kNoticesPerHour = 312,
  kReferenceInSubject = 313,
};

// Defaults of the settings above when empty or 0.
constexpr long kDefaultMaxMessageSize = 26214400;
constexpr long kDefaultRunDeadlineSeconds = 600;
// A message's download: 25 MB still arrives at about 2 Mbit/s, and a run
// spends at most a part of its 600 s on a slow message (which later runs
// take after the others, and give up on after three).
constexpr long kDefaultMessageDeadlineSeconds = 120;

// Bounds (exclusive) of the second settings pass.
constexpr int kExtendedSettingsLow = 300;
constexpr int kExtendedSettingsHigh = 500;

class ConfigurationsManager : public Manager {
 public:
  // Settings files larger than this are refused on read (a settings file
  // is a few hundred bytes; this keeps a wrong file from filling memory).
  static constexpr size_t kMaxFileSize = size_t(16) << 20;

  ConfigurationsManager();

  // Loads the file into the map, numbers low+1 to high-1. Returns 0, or 1
  // with the translated "*can't open options file '%s' to read" (also for a
  // file that cannot be read or is too large).
  [[nodiscard]] virtual int read(const stringT& path, int low, int high);
  // Writes the whole map. Returns 0, or 1 with the translated "*can't open
  // options file '%s' for write" (and the system's reason after "\r\n"),
  // or 1 without touching the file when a value holds a control character
  // (bytes 0-31, 127), which the file's line format cannot carry.
  [[nodiscard]] virtual int write(const stringT& path);

  stringT get(int number) const { return settings_.get(number); }
  void set(int number, stringT value) { settings_.set(number, std::move(value)); }
  long getNumber(int number) const { return settings_.getNumber(number); }
  const FieldMap& settings() const { return settings_; }
  FieldMap& settings() { return settings_; }

  // Start-up read: read(path, 0, 208), then the extended settings; when that fails, the defaults of
  // 152, 153 and 154 (translated texts), and 329 "0": a settings file the
  // gateway makes itself forbids unencrypted passwords, while an older file
  // without 329 keeps sending them as it always did. Returns what read
  // returned.
  int readSettings(const stringT& path);
  // Sets 205 and 206 to their stamps, then write(path).
  [[nodiscard]] int writeSettings(const stringT& path);

 private:
  FieldMap settings_;
};

// A stored secret belongs to the connection it was entered for. The
// settings that say where or how it is sent guard it; when one of them
// changes, the secret is cleared and must be entered again, so a changed
// server name or a weaker protection never receives the old one:
//
//   | secret                 | guarded by                                 |
//   |------------------------|--------------------------------------------|
//   | 104 POP3 password      | 101 105 320 322, 328, 329                  |
//   | 326 SMTP password      | 102 106 323 327, 328, 329                  |
//   | 331 OAuth client secret| 333 token URL, 328                         |
//   | 332 OAuth refresh token| 333, 328, 321 and 324 (the login method:   |
//   |                        | its access token goes to the mail server), |
//   |                        | and the POP3 (SMTP) ones above while 321   |
//   |                        | (324) is xoauth2                           |
//
// 329 guards only when it comes to allow plain-text passwords: forbidding
// them sends nothing anywhere. The text as stored is compared, so "" and
// "110" for a port differ.
//
// The secrets, set in settings, that storing value into setting would
// clear (none when the value is the stored one); in table order.
std::vector<int> secretsClearedBy(const FieldMap& settings, int setting, const stringT& value);

// The settings of the process (live from start-up to shutdown).
ConfigurationsManager& configurations();

// The scrambled form of a password for setting 104 (Base64 text), and back.
stringT scramble(const stringT& password);
stringT unscramble(const stringT& stored);

// Processing interval as shown: the largest unit among week (10080), day
// (1440), hour (60) and minute (1) that divides minutes exactly.
struct IntervalDisplay {
  long quantity;
  long unitMinutes;
  const char* unitText;  // marked text: "*minute(s)", "*hour(s)", ...
};
IntervalDisplay intervalDisplay(long minutes);
