#include "tools/stop_signals.h"

#include <pthread.h>
#include <signal.h>

namespace tarvik::cli {
namespace {
sigset_t stop_set() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}
}  // namespace

void block_stop_signals() {
  const sigset_t set = stop_set();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

int wait_for_stop_signal() {
  const sigset_t set = stop_set();
  int sig = 0;
  while (sigwait(&set, &sig) != 0) {
  }
  return sig;
}

}  // namespace tarvik::cli
