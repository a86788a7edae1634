#include "common/gui_session.h"

#include "common/string_mapper.h"
#include "common/user_interaction.h"

namespace {

stringT joined(const stringT& message, const stringT& extra) { return message + "\r\n" + extra; }

bool allowedPair(int first, int second) {
  auto is = [&](int a, int b) { return (first == a && second == b) || (first == b && second == a); };
  return is(GUISession::Yes, GUISession::No) || is(GUISession::OK, GUISession::Cancel);
}

}  // namespace

void GUISession::Info(const stringT& message) {
  userInteraction().messageBox(MessageIcon::Information, translate("*Tarnwick Information"), message);
}

void GUISession::Info(const stringT& message, const stringT& extra) { Info(joined(message, extra)); }

void GUISession::Error(const stringT& message) {
  userInteraction().messageBox(MessageIcon::Error, translate("*Tarnwick Error"), message);
}

void GUISession::Error(const stringT& message, const stringT& extra) { Error(joined(message, extra)); }

void GUISession::InternalError(const stringT& message) {
  userInteraction().messageBox(MessageIcon::Error, "Tarnwick Internal Error", stringT("Internal Error\r\n") + message);
}

void GUISession::InternalError(const stringT& message, const stringT& extra) {
  InternalError(joined(message, extra));
}

bool GUISession::Ask(int first, int second, const stringT& message) { return ask(first, second, message); }

bool GUISession::Ask(int first, int second, const stringT& message, const stringT& extra) {
  return ask(first, second, joined(message, extra));
}

bool GUISession::ask(int first, int second, const stringT& text) {
  if (!allowedPair(first, second)) {
    InternalError("Illegal options to GUISession::Ask");
    return false;
  }
  return userInteraction().ask(translate("*Tarnwick Question"), text, first, second) == second;
}

GUISession& guiSession() {
  static GUISession session;
  return session;
}
