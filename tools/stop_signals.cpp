#include "tools/stop_signals.h"

#include <pthread.h>
#include <signal.h>

namespace tarvik::cli {
namespace {
sigset_t signal_set(bool with_usr1) {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  if (with_usr1) sigaddset(&set, SIGUSR1);
  return set;
}
}  // namespace

void block_stop_signals(bool with_usr1) {
  const sigset_t set = signal_set(with_usr1);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

int wait_for_stop_signal(const std::function<void()>& on_usr1) {
  const sigset_t set = signal_set(static_cast<bool>(on_usr1));
  for (;;) {
    int sig = 0;
    if (sigwait(&set, &sig) != 0) continue;
    if (sig != SIGUSR1) return sig;
    on_usr1();
  }
}

}  // namespace tarvik::cli
