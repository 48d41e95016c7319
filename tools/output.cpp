#include "tools/output.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

namespace tarvik::cli {
namespace {

void write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // stdout closed or full disk: the lines are lost, the program goes on
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

// One writer thread takes every line. Appending only wakes it when it sleeps: with light traffic a
// line is written at once, with heavy traffic the lines gathered during one write go out together
// in the next, and no caller (a runtime thread answering a machine) ever writes other callers' lines.
class LineWriter {
  static constexpr auto kGatherTime = std::chrono::milliseconds(1);

 public:
  // Appends `text` and a newline. With `wait`, returns only once the line is written.
  void write(std::string_view text, bool wait) {
    std::unique_lock lock(mutex_);
    pending_.append(text);
    pending_.push_back('\n');
    const std::uint64_t mine = ++appended_;
    if (!started_) start();
    if (writer_sleeps_) work_cv_.notify_one();
    if (wait) wait_written(lock, mine);
  }

  // Returns once every line appended so far is written.
  void flush() {
    std::unique_lock lock(mutex_);
    wait_written(lock, appended_);
  }

 private:
  void wait_written(std::unique_lock<std::mutex>& lock, std::uint64_t seq) {
    if (!started_) return;
    ++waiters_;
    written_cv_.wait(lock, [&] { return written_ >= seq; });
    --waiters_;
  }

  void start() {
    try {
      std::thread([this] { run(); }).detach();
      started_ = true;
    } catch (const std::system_error&) {
      // no thread: lines are written by the caller below instead
      write_all(STDOUT_FILENO, pending_);
      pending_.clear();
      written_ = appended_;
    }
  }

  void run() {
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);  // signals are for the main thread
    std::unique_lock lock(mutex_);
    for (;;) {
      // After a write, lines that follow within a moment are picked up without anyone waking the
      // writer (under load that saves a wake-up per line); only then does it sleep until woken.
      if (pending_.empty()) work_cv_.wait_for(lock, kGatherTime);
      while (pending_.empty()) {
        writer_sleeps_ = true;
        work_cv_.wait(lock);
        writer_sleeps_ = false;
      }
      writing_.swap(pending_);
      const std::uint64_t upto = appended_;
      lock.unlock();
      write_all(STDOUT_FILENO, writing_);
      writing_.clear();
      lock.lock();
      written_ = upto;
      if (waiters_ > 0) written_cv_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable work_cv_;
  std::condition_variable written_cv_;
  std::string pending_;  // under mutex_
  std::string writing_;  // the writer thread's
  bool started_ = false;
  bool writer_sleeps_ = false;
  std::uint64_t appended_ = 0;
  std::uint64_t written_ = 0;
  int waiters_ = 0;
};

LineWriter& writer() {
  static LineWriter* w = new LineWriter;  // never destroyed: runtime threads may print while main() returns
  return *w;
}

std::mutex& error_mutex() {
  static std::mutex mu;
  return mu;
}

}  // namespace

void print_line(const nlohmann::ordered_json& line) {
  // Texts come from 8-bit code pages; anything that is not valid UTF-8 is replaced, never fatal.
  writer().write(line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace), true);
}

void print_text_line(std::string_view text) { writer().write(text, false); }

void flush_output() { writer().flush(); }

void print_error(std::string_view message) {
  std::lock_guard lock(error_mutex());
  std::fprintf(stderr, "tarvik: %.*s\n", static_cast<int>(message.size()), message.data());
  std::fflush(stderr);
}

}  // namespace tarvik::cli
