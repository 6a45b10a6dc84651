// Signals while a command runs. Handlers only count; the command looks at the counts between
// timer ticks, so a stop always clears DTR and closes the port first. During a transfer the
// first Ctrl+C only warns (stopping leaves the meter without firmware) and a second one stops;
// SIGTERM and SIGHUP stop at once. A closed output pipe never stops anything.
#pragma once

namespace pxr7 {

// A reader that goes away (a closed pipe) must never end the program mid-transfer.
void ignoreBrokenPipes();

// Installs the counting handlers for SIGINT, SIGTERM and SIGHUP. Until then the signals end
// the program as usual: at a question, or while bridges are only being looked at.
void installStopSignals();

enum class StopRequest { None, WarnOnce, Stop };

// What the signals so far ask of a running transfer; WarnOnce is returned once.
StopRequest stopRequested();

// Whether any stop signal has arrived at all (before a transfer, one is enough).
bool anyStopSignal();

// The exit code for the signal that stopped the command: 130, 143 or 129.
int stopExitCode();

} // namespace pxr7
