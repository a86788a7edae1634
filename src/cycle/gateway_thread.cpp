#include "cycle/gateway_thread.h"

#include <vector>

#include "platform/clock.h"

GatewayThread::~GatewayThread() { stop(); }

void GatewayThread::start() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (started_) return;
  started_ = true;
  stopping_ = false;
  thread_ = std::thread([this] { loop(); });
  gatewayId_ = thread_.get_id();
}

void GatewayThread::stop() {
  std::deque<std::shared_ptr<Job>> cancelled;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    cancelled.swap(queue_);
  }
  wake_.notify_all();
  // Dropping the promises unanswered tells the waiting callers.
  cancelled.clear();
  if (thread_.joinable()) {
    if (std::this_thread::get_id() == thread_.get_id())
      thread_.detach();  // stopped from one of its own tasks: the loop ends after it
    else
      thread_.join();
  }
  std::lock_guard<std::mutex> lock(mutex_);
  started_ = false;
}

bool GatewayThread::running() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return started_ && !stopping_;
}

bool GatewayThread::onGatewayThread() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return started_ && std::this_thread::get_id() == gatewayId_;
}

bool GatewayThread::post(Task task) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_) return false;
    auto job = std::make_shared<Job>();
    job->task = std::move(task);
    queue_.push_back(std::move(job));
  }
  wake_.notify_all();
  return true;
}

bool GatewayThread::call(Task task) {
  if (onGatewayThread()) {
    task();
    return true;
  }
  std::future<void> done;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_ || !started_) return false;  // nobody would ever run it
    auto job = std::make_shared<Job>();
    job->task = std::move(task);
    done = job->done.get_future();
    queue_.push_back(std::move(job));
  }
  wake_.notify_all();
  try {
    done.get();
  } catch (const std::future_error&) {
    return false;  // cancelled by stop()
  }
  return true;
}

void GatewayThread::setTimer(int id, int64_t periodMs, Task handler) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    TimerEntry& entry = timers_[id];
    entry.timer.set(platformClock().monotonicMs(), periodMs);
    entry.handler = std::move(handler);
    if (!entry.timer.armed()) timers_.erase(id);
    ++timerChanges_;
  }
  wake_.notify_all();
}

void GatewayThread::killTimer(int id) {
  std::lock_guard<std::mutex> lock(mutex_);
  timers_.erase(id);
}

bool GatewayThread::timerArmed(int id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = timers_.find(id);
  return it != timers_.end() && it->second.timer.armed();
}

int64_t GatewayThread::timerPeriodMs(int id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = timers_.find(id);
  return it == timers_.end() ? 0 : it->second.timer.periodMs();
}

int GatewayThread::pump() {
  int ran = 0;
  for (;;) {
    std::shared_ptr<Job> job;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (queue_.empty()) break;
      job = std::move(queue_.front());
      queue_.pop_front();
    }
    try {
      job->task();
      job->done.set_value();
    } catch (...) {
      job->done.set_exception(std::current_exception());
    }
    ++ran;
  }
  // Timers: each that fell due runs once; the handler may change timers.
  std::vector<Task> due;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    int64_t now = platformClock().monotonicMs();
    for (auto& [id, entry] : timers_)
      if (entry.timer.takeDue(now)) due.push_back(entry.handler);
  }
  for (Task& handler : due) {
    if (handler) handler();
    ++ran;
  }
  return ran;
}

int64_t GatewayThread::nextWaitLocked(int64_t nowMs) const {
  int64_t wait = -1;
  for (const auto& [id, entry] : timers_) {
    auto until = entry.timer.untilDue(nowMs);
    if (until && (wait < 0 || *until < wait)) wait = *until;
  }
  return wait;
}

void GatewayThread::loop() {
  for (;;) {
    pump();
    std::unique_lock<std::mutex> lock(mutex_);
    if (stopping_) return;
    if (!queue_.empty()) continue;
    int64_t wait = nextWaitLocked(platformClock().monotonicMs());
    if (wait == 0) continue;
    uint64_t changes = timerChanges_;
    auto woken = [this, changes] { return stopping_ || !queue_.empty() || timerChanges_ != changes; };
    if (wait < 0)
      wake_.wait(lock, woken);
    else
      wake_.wait_for(lock, std::chrono::milliseconds(wait), woken);
    if (stopping_) return;
  }
}
