// The error table and error reporting.
#include "engine/error4.h"

#include <cstdio>
#include <cstring>

#include "engine/code4.h"

namespace {

struct ErrorText {
  int code;
  const char* text;
};

// Searched from the top for the first row with the code: -250 reads
// "Seeking to File Position", never the d4seekDouble row below it.
const ErrorText kErrorTable[] = {
    {-10, "Closing File"},
    {-20, "Creating File"},
    {-30, "Determining File Length"},
    {-40, "Setting File Length"},
    {-50, "Locking File"},
    {-60, "Opening File"},
    {-61, "Permission Error Opening File"},
    {-62, "Access Error Opening File"},
    {-63, "File Handle Count Overflow Error Opening File"},
    {-64, "File Find Error Opening File"},
    {-69, "Duplicate Instance Found Error Opening File"},
    {-70, "Reading File"},
    {-80, "Removing File"},
    {-90, "Renaming File"},
    {-250, "Seeking to File Position"},
    {-110, "Unlocking File"},
    {-120, "Writing to File"},
    {-200, "File is not a Data File"},
    {-210, "Unrecognized Field Name"},
    {-220, "Unrecognized Field Type"},
    {-230, "Record Length is too Large"},
    {-240, "Record Append Attempt Past End of File"},
    {-250, "Attempt to perform a d4seekDouble() on non-numeric tag"},
    {-300, "Tag Entry Missing"},
    {-310, "Not a Correct Index File"},
    {-330, "Tag Name not Found"},
    {-340, "Unique Key Error"},
    {-350, "Tag Information Invalid"},
    {-360, "Candidate Key Error"},
    {-400, "Comma or Bracket Expected"},
    {-410, "Expression not Complete"},
    {-420, "Data File Name not Located"},
    {-422, "IIF() Needs Parameters of Same Length"},
    {-425, "SUBSTR() and STR() need Constant Parameters"},
    {-430, "Number of Parameters is Wrong"},
    {-440, "Overflow while Evaluating Expression"},
    {-450, "Right Bracket Missing"},
    {-460, "Sub-expression Type is Wrong"},
    {-470, "Unrecognized Function"},
    {-480, "Unrecognized Operator"},
    {-490, "Unrecognized Value"},
    {-500, "Unterminated String"},
    {-510, "Expression Invalid for Tag"},
    {-610, "Optimization Error"},
    {-620, "Optimization Removal Failure"},
    {-630, "Optimization File Flushing Failure"},
    {-710, "Relation Error"},
    {-720, "Matching Slave Record Not Located"},
    {-730, "Relation Referred to Does Not Exist or is Not Initialized"},
    {-910, "Unexpected Information"},
    {-920, "Out of Memory"},
    {-930, "Unexpected Parameter"},
    {-935, "Null Input Parameter unexpected"},
    {-950, "Unexpected Result"},
    {-960, "Structure Verification Failure"},
    {-970, "Data Structure Corrupt or not Initialized"},
    {-1010, "Function unsupported: library built without index support"},
    {-1020, "Function unsupported: library built without memo support"},
    {-1030, "Function unsupported: library built without rename support"},
    {-1040, "Function unsupported: library built without write support"},
    {-1050, "Function unsupported: library built without the alternate index format"},
    {-1060, "Function unsupported: library built without the lock hook"},
    {-1090, "Function unsupported"},
    {-1095, "Application/Library version mismatch"},
    {-1110, "Memo File Corrupt"},
    {-1120, "Error Creating Memo File"},
    {-1410, "Engine in an Unacknowledged Error State"},
    {-1420, "Name not Found error"},
};

// The last context that had a hook, for reports made without a context.
CODE4* lastHookContext = nullptr;

void append(char* out, int outSize, const char* text) {
  size_t used = strlen(out);
  if (used + 1 >= static_cast<size_t>(outSize)) return;
  snprintf(out + used, outSize - used, "%s", text);
}

}  // namespace

const char* error4text(int code) {
  for (const ErrorText& row : kErrorTable)
    if (row.code == code) return row.text;
  return "Invalid or Unknown Error Code";
}

void error4reportText(int code, long location, const char* routine, const char* text1,
                      const char* text2, const char* text3, char* out, int outSize) {
  if (outSize <= 0) return;
  out[0] = 0;
  char line[64];
  snprintf(line, sizeof line, "Error #: %d\n", code);
  append(out, outSize, line);
  snprintf(line, sizeof line, "Error #: %ld\n", location);
  append(out, outSize, line);
  append(out, outSize, error4text(code));
  append(out, outSize, "\n");
  for (const char* t : {routine, text1, text2, text3}) {
    if (t == nullptr || *t == 0) continue;
    append(out, outSize, t);
    append(out, outSize, "\n");
  }
}

int error4describe(CODE4* c, int code, long location, const char* text1, const char* text2,
                   const char* text3) {
  if (c == nullptr) c = lastHookContext;
  if (c != nullptr) {
    c->errorCode = code;
    c->errorLocation = location;
    if (c->errorHook != nullptr) {
      lastHookContext = c;
      c->errorHook(c, code, location, text1 ? text1 : "", text2 ? text2 : "",
                   text3 ? text3 : "");
      return code;
    }
    if (c->errorBoxOff) return code;
  }
  // The default report: there is no message box here, so it goes to stderr
  // under the box's title. The text is limited to 256 characters.
  char text[257];
  error4reportText(code, location, nullptr, text1, text2, text3, text, sizeof text);
  fprintf(stderr, "TARNWICK ERROR\n%s", text);
  fflush(stderr);
  return code;
}

int error4(CODE4* c, int code, long location) {
  return error4describe(c, code, location, nullptr, nullptr, nullptr);
}

int error4code(const CODE4* c) { return c ? c->errorCode : 0; }

int error4set(CODE4* c, int code) {
  int old = c->errorCode;
  c->errorCode = code;
  return old;
}

void error4contextGone(CODE4* c) {
  if (lastHookContext == c) lastHookContext = nullptr;
}
