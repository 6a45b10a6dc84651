// Signals while a command runs. Handlers only count; the command looks at the counts between
// timer ticks, so a stop always clears DTR and closes the port first. During a transfer the
// first Ctrl+C only warns (stopping leaves the meter without firmware) and a second one stops;
// SIGTERM, SIGHUP and SIGQUIT stop at once. A closed output pipe never stops anything.
//
// A driver call that never returns would hold such a stop for ever, so a watchdog started
// with the handlers ends the program anyway about two seconds after a stop was asked for,
// with the signal's exit code and a line on stderr saying DTR could not be cleared. A program
// that stops in time never hears from it.
#pragma once

#include "exit_codes.h"

namespace pxr7 {

// A reader that goes away (a closed pipe) or a file at its size limit must never end the
// program mid-transfer: such a write fails instead, and its caller says so.
void ignoreFailedWriteSignals();

// Installs the counting handlers for SIGINT, SIGTERM, SIGHUP and SIGQUIT and starts the
// watchdog. Until then the signals end the program as usual: at a question, or while bridges
// are only being looked at. Calls after the first change nothing.
void installStopSignals();

enum class StopRequest { None, WarnOnce, Stop };

// What the signals so far ask of a running transfer; WarnOnce is returned once.
StopRequest stopRequested();

// Whether any stop signal has arrived at all (before a transfer, one is enough).
bool anyStopSignal();

// The outcome for the signal that stopped the command: Terminated, Hangup, Quit or Interrupted.
Outcome stopOutcome();

// How long the watchdog gives a stop before it ends the program itself.
constexpr int kStopGraceMs = 2000;

} // namespace pxr7
