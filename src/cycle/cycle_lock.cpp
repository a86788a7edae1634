#include "cycle/cycle_lock.h"

#include <system_error>

CycleLock::Hold::Hold(CycleLock& lock) : lock_(lock) {
  try {
    lock_.mutex_.lock();
    held_ = true;
  } catch (const std::system_error&) {
    held_ = false;
    return;
  }
  std::lock_guard<std::mutex> state(lock_.stateMutex_);
  lock_.busy_ = true;
}

CycleLock::Hold::~Hold() {
  if (!held_) return;
  {
    std::lock_guard<std::mutex> state(lock_.stateMutex_);
    lock_.busy_ = false;
  }
  lock_.mutex_.unlock();
}

bool CycleLock::busy() const {
  std::lock_guard<std::mutex> state(stateMutex_);
  return busy_;
}
