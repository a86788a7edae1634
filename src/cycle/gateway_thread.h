// GatewayThread: the one thread that runs start-up, the timers, the three
// processing runs and every call into the managers and the engine.
//
// Other threads (the console's HTTP server) never touch those: they post
// work here and, when they need the answer, wait for it:
//
//   console thread                      gateway thread
//   --------------                      --------------
//   call(task) --queue--> ............  loop: run queued tasks in order,
//      waits                              then each timer that fell due
//   <--------------- done -------------   (one handler call per timer),
//                                         then sleep until the next task
//                                         or the next tick
//
// Timers: one ProcessingTimer per id with its handler. A handler still
// running when its next tick falls delays that tick to its end; ticks never
// pile up (processing_timer.h). Tasks posted during a long run wait for it.
//
// Times come from the platform clock (monotonicMs), so pump() can be driven
// by tests under a fake clock without the thread.
//
// Thread-safety: post, call, stop and running may be called from any
// thread; setTimer/killTimer from any thread too (they take the queue's
// mutex), though the program calls them on the gateway thread under the
// cycle lock. Handlers and tasks run only on the gateway thread (or on the
// caller's thread in pump()).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "cycle/processing_timer.h"

class GatewayThread {
 public:
  using Task = std::function<void()>;

  GatewayThread() = default;
  ~GatewayThread();
  GatewayThread(const GatewayThread&) = delete;
  GatewayThread& operator=(const GatewayThread&) = delete;

  // Starts the loop on a new thread.
  void start();
  // Lets the task in hand finish, cancels the queued ones (their callers get
  // false) and joins the thread.
  void stop();
  bool running() const;
  bool onGatewayThread() const;

  // Queues task; returns at once. False when the thread was stopped.
  bool post(Task task);
  // Runs task on the gateway thread and waits for it to end (at once on
  // the gateway thread itself). False when it was not run: the thread was
  // never started, or stopped before the task's turn.
  // An exception thrown by task reaches the caller.
  bool call(Task task);

  // (Re)starts timer id with periodMs (> 0) and handler, counting from now.
  void setTimer(int id, int64_t periodMs, Task handler);
  void killTimer(int id);
  bool timerArmed(int id) const;
  int64_t timerPeriodMs(int id) const;

  // One turn of the loop on the calling thread: every queued task, then
  // every timer that fell due. Returns how many tasks and handlers ran.
  int pump();

 private:
  struct Job {
    Task task;
    std::promise<void> done;
  };
  struct TimerEntry {
    ProcessingTimer timer;
    Task handler;
  };

  void loop();
  // Milliseconds until the next tick, -1 when no timer is armed.
  int64_t nextWaitLocked(int64_t nowMs) const;

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::shared_ptr<Job>> queue_;
  std::map<int, TimerEntry> timers_;
  std::thread thread_;
  std::thread::id gatewayId_;
  bool started_ = false;
  bool stopping_ = false;
  uint64_t timerChanges_ = 0;  // wakes the loop to recompute its wait
};
