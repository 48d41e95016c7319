// SIGINT and SIGTERM end the long-running subcommands (listen, machine) cleanly: the signals are
// blocked before the runtime starts its threads, so only the main thread takes them, by waiting.
// SIGUSR1 can be taken the same way (listen --stats prints its counters on it).
#pragma once

#include <functional>

namespace tarvik::cli {

// Blocks SIGINT and SIGTERM (and SIGUSR1 with `with_usr1`) in the calling thread and in every
// thread it starts afterwards.
void block_stop_signals(bool with_usr1 = false);
// Waits until SIGINT or SIGTERM arrives (blocked beforehand); returns the signal number. Each
// SIGUSR1 meanwhile calls `on_usr1` (only when SIGUSR1 was blocked too).
int wait_for_stop_signal(const std::function<void()>& on_usr1 = {});

}  // namespace tarvik::cli
