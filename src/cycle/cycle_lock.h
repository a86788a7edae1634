// CycleLock: the lock every processing run and every timer change holds
// from start to end, so that runs never overlap.
//
// Taking it waits without limit; a Hold that could not take it (the mutex
// itself failed) is false, and the caller returns at once without effect.
// Not recursive: a run never takes it twice (doAll takes it once per run).
#pragma once

#include <mutex>

class CycleLock {
 public:
  class Hold {
   public:
    explicit Hold(CycleLock& lock);
    ~Hold();
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;
    explicit operator bool() const { return held_; }

   private:
    CycleLock& lock_;
    bool held_ = false;
  };

  // True while some thread holds the lock (for the busy indicator only).
  bool busy() const;

 private:
  friend class Hold;
  std::mutex mutex_;
  mutable std::mutex stateMutex_;
  bool busy_ = false;
};
