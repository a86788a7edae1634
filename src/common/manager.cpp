#include "common/manager.h"

#include "common/user_interaction.h"

void Manager::showInformation() const { userInteraction().messageBox(MessageIcon::Information, stringT(), describe()); }

void Manager::showWarning() const { userInteraction().messageBox(MessageIcon::Warning, stringT(), describe()); }

void Manager::showError() const { userInteraction().messageBox(MessageIcon::Error, stringT(), describe()); }

stringT Manager::describe() const {
  return stringT::format("%s : 0x%04x\r\n%s", name_.c_str(), static_cast<unsigned>(status_) & 0xffffffffu,
                         message_.c_str());
}
