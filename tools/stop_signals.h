// SIGINT and SIGTERM end the long-running subcommands (listen, machine) cleanly: the signals are
// blocked before the runtime starts its threads, so only the main thread takes them, by waiting.
#pragma once

namespace tarvik::cli {

// Blocks SIGINT and SIGTERM in the calling thread and in every thread it starts afterwards.
void block_stop_signals();
// Waits until SIGINT or SIGTERM arrives (blocked beforehand); returns the signal number.
int wait_for_stop_signal();

}  // namespace tarvik::cli
