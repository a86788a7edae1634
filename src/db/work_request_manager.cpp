#include "db/work_request_manager.h"

#include <algorithm>

#include "common/code_page.h"
#include "common/string_mapper.h"
#include "db/gateway_tables.h"
#include "db/maintenance_layouts.h"
#include "db/record_counter.h"
#include "engine/error4.h"

namespace {

template <DBTableLayout (*Make)()>
const DBTableLayout* layout() {
  static const DBTableLayout l = Make();
  return &l;
}

bool found(int rc) { return rc == 0; }
bool notFound(int rc) { return rc == r4after || rc == r4eof; }

int selectIfOpen(DBTable& t, int tag) { return t.isOpen() ? t.selectTag(*t.tag(tag)) : 0; }

// The Tarnwick program reads the memos written here, and FoxPro cannot
// read a memo file of 2 GB: a text longer than kMaxTarnwickMemo keeps its
// first part (cut between characters) and a line saying where the whole
// text is, the gateway's log row.
stringT memoText(const stringT& text, long logKey) {
  if (text.size() <= kMaxTarnwickMemo) return text;
  stringT note = stringT::format(translateFormat("*[Text cut at %lu KB; the whole text is in @Orvane log %ld]").c_str(),
                                 static_cast<unsigned long>(kMaxTarnwickMemo / 1024), logKey);
  size_t keep = kMaxTarnwickMemo - std::min(kMaxTarnwickMemo, note.size() + 2);
  std::string_view whole = text.view();
  while (keep > 0 && (static_cast<unsigned char>(whole[keep]) & 0xC0) == 0x80) --keep;
  return stringT(whole.substr(0, keep)) + "\r\n" + note;
}

}  // namespace

WorkRequestManager::WorkRequestManager(DatabaseContext& maintenance)
    : Manager(translate("*Tarnwick WorkRequest Manager")),
      wrequest_(maintenance, "wrequest.dbf", kOpenExisting, layout<wrequestLayout>()),
      worders_(maintenance, "worders.dbf", kOpenReadOnly, layout<wordersLayout>()),
      units_(maintenance, "units.dbf", kOpenReadOnly, layout<unitsLayout>()),
      contacts_(maintenance, "contacts.dbf", kOpenReadOnly, layout<contactsLayout>()),
      workcat_(maintenance, "workcat.dbf", kOpenReadOnly, layout<workcatLayout>()),
      priority_(maintenance, "priority.dbf", kOpenReadOnly, layout<priorityLayout>()),
      access_(maintenance, "access.dbf", kOpenReadOnly, layout<accessLayout>()) {
  for (DBTable* t : {&wrequest_, &worders_, &units_, &workcat_, &priority_})
    if (!t->isOpen()) {
      setStatus(1, translate("*can't load one or more tables"));
      return;
    }
  int rc = wrequest_.selectTag(*wrequest_.tag(kWrTagKey));
  if (rc == 0) rc = worders_.selectTag(*worders_.tag(kWoTagClassLink));
  if (rc == 0) rc = units_.selectTag(*units_.tag(kCodeTagKey));
  if (rc == 0) rc = selectIfOpen(contacts_, kConTagKey);
  if (rc == 0) rc = workcat_.selectTag(*workcat_.tag(kCodeTagCode));
  if (rc == 0) rc = priority_.selectTag(*priority_.tag(kCodeTagCode));
  if (rc == 0) rc = selectIfOpen(access_, kCodeTagCode);
  if (rc != 0) {
    setStatus(1, translate("*can't load one or more tables"));
    return;
  }
  initiated_ = true;
}

int WorkRequestManager::noCurrent() { return setStatus(1, translate("*no current work request")); }

int WorkRequestManager::workOutState() {
  workOrderKey_ = 0;
  stringT status = wrequest_.field(kWrStatus)->raw();
  char letter = status.empty() ? ' ' : status[0];
  switch (letter) {
    case ' ': state_ = kRequestOpen; return 0;
    case 'V': state_ = kRequestVoid; return 0;
    case 'T': break;
    default: state_ = kRequestUnknown; return 0;
  }
  stringT link = stringT::format("C%10ld", wrequest_.field(kWrKey)->asLong());
  int rc = worders_.seekExact(link);
  if (notFound(rc)) {
    state_ = kRequestNoWorkOrder;
    return 0;
  }
  if (!found(rc)) {
    state_ = kRequestUnknown;
    return rc;
  }
  workOrderKey_ = worders_.field(kWoKey)->asLong();
  stringT type = worders_.field(kWoType)->raw();
  switch (type.empty() ? ' ' : type[0]) {
    case 'C': state_ = kRequestClosed; break;
    case 'O': state_ = kRequestTransferred; break;
    case 'V': state_ = kRequestVoid; break;
    default: state_ = kRequestUnknown; break;
  }
  return 0;
}

long WorkRequestManager::currentKey() { return wrequest_.field(kWrKey)->asLong(); }

int WorkRequestManager::FindByKey(long key) {
  if (!initiated_) return notInitiated();
  int rc = wrequest_.seekExact(static_cast<double>(key));
  if (notFound(rc)) return setStatus(1, stringT::format(translateFormat("*work request with key '%ld' not found").c_str(), key));
  if (!found(rc)) return setStatus(rc, translate("*can't read work requests table"));
  pending_ = false;
  rc = workOutState();
  if (rc != 0) return setStatus(rc, translate("*can't read work orders table"));
  hasCurrent_ = true;
  return setStatus(0);
}

int WorkRequestManager::ReadRequest(FieldMap& m) {
  if (!hasCurrent_) return noCurrent();
  // The stored bytes (blanks kept) in UTF-8.
  auto raw = [&](int field) {
    const DBField* f = wrequest_.field(field);
    return stringT(fromCodePage(f->raw().view(), f->codePage()));
  };
  m.set(kReqDate, raw(kWrDate));
  m.set(kReqTime, raw(kWrTime));
  m.set(kReqNumber, raw(kWrNum));
  m.set(kReqSubject, raw(kWrSubject));
  m.set(kReqDescription, raw(kWrDesc));
  m.set(kReqComment, raw(kWrComment));
  m.set(kReqCategory, raw(kWrWType));
  m.set(kReqAccess, raw(kWrAccessCode));
  m.set(kReqPriority, raw(kWrPriority));
  m.setNumber(kReqRequestor, wrequest_.field(kWrRequestor)->asLong());
  m.setNumber(kReqUnit, wrequest_.field(kWrUnitKey)->asLong());
  m.setNumber(kReqState, state_);
  m.setNumber(kReqWorkOrder, workOrderKey_);
  return setStatus(0);
}

int WorkRequestManager::FindAndRead(long key, FieldMap& record) {
  int rc = FindByKey(key);
  return rc != 0 ? rc : ReadRequest(record);
}

int WorkRequestManager::Initiate() {
  if (!initiated_) return notInitiated();
  auto failed = [&](int rc) {
    discardRecordChanges(wrequest_);
    return setStatus(rc != 0 ? rc : e4append, translate("*can't initiate new record"));
  };
  long k = 0, n = 0;
  int rc = takeCounterKey(wrequest_, kWrKey, wrequest_.tag(kWrTagKey), &k);
  if (rc != 0) return failed(rc);
  rc = takeCounterField(wrequest_, kWrNum, &n);
  if (rc == 0) rc = wrequest_.appendStart(false);
  if (rc == 0) rc = wrequest_.blankRecord();
  if (rc == 0) rc = wrequest_.markDeleted(false);
  if (rc == 0) rc = wrequest_.field(kWrKey)->assignLong(k);
  if (rc == 0) rc = wrequest_.field(kWrNum)->assignLong(n);
  if (rc == 0) rc = wrequest_.field(kWrStatus)->assign(" ");
  if (rc != 0) return failed(rc);
  workOrderKey_ = 0;
  state_ = kRequestOpen;
  hasCurrent_ = true;
  pending_ = true;
  return setStatus(0);
}

int WorkRequestManager::Fill(const FieldMap& m) {
  if (!hasCurrent_) return noCurrent();
  long requestor = m.getNumber(kReqRequestor);
  if (!contacts_.isOpen() || !found(contacts_.seekExact(static_cast<double>(requestor))))
    return setStatus(1, translate("*can't find requestor"));
  auto text = [&](int field, int number) {
    DBField* target = wrequest_.field(field);
    return target->assignUtf8Text(target->isMemo() ? memoText(m.get(number), m.getNumber(kLrKey)) : m.get(number));
  };
  int rc = wrequest_.field(kWrRequestor)->assignLong(requestor);
  if (rc == 0) rc = text(kWrDate, kReqDate);
  if (rc == 0) rc = text(kWrTime, kReqTime);
  if (rc == 0) rc = text(kWrNum, kReqNumber);
  if (rc == 0) rc = text(kWrSubject, kReqSubject);
  if (rc == 0) rc = text(kWrDesc, kReqDescription);
  if (rc == 0) rc = text(kWrComment, kReqComment);
  if (rc == 0) rc = text(kWrWType, kReqCategory);
  if (rc == 0) rc = text(kWrAccessCode, kReqAccess);
  if (rc == 0) rc = text(kWrPriority, kReqPriority);
  long unit = m.getNumber(kReqUnit);
  if (rc == 0 && found(units_.seekExact(static_cast<double>(unit))))
    rc = wrequest_.field(kWrUnitKey)->assignLong(unit);
  if (rc != 0) return setStatus(rc, translate("*can't write work request"));
  return SetState(m.getNumber(kReqState));
}

int WorkRequestManager::writeCurrent() {
  if (pending_) return 0;
  int rc = wrequest_.commit();
  if (rc != 0 && rc != r4uniqueContinue) {
    discardRecordChanges(wrequest_);
    return rc;
  }
  return 0;
}

int WorkRequestManager::SetState(long state) {
  if (!hasCurrent_) return noCurrent();
  const char* letter = state == kRequestOpen ? " " : state == kRequestVoid ? "V" : state == kRequestTransferred ? "T" : nullptr;
  int rc = letter != nullptr ? wrequest_.field(kWrStatus)->assign(letter) : 0;
  if (rc == 0) rc = writeCurrent();
  if (rc != 0) return setStatus(rc, translate("*can't write work request"));
  state_ = state;
  return setStatus(0);
}

int WorkRequestManager::Commit() {
  if (!initiated_) return notInitiated();
  if (!pending_) return noCurrent();
  pending_ = false;
  int rc = wrequest_.commit();
  if (rc != 0 && rc != r4uniqueContinue) {
    discardRecordChanges(wrequest_);
    return setStatus(rc, translate("*can't commit new record"));
  }
  return setStatus(0);
}

int WorkRequestManager::notInitiated() { return setStatus(1, translate("*not initiated")); }
