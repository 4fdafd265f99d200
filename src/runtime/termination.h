#pragma once

#include <cstdint>

// How every run ends: the exit status, the chain of exit procedures, halt,
// the run-time errors with their report, and the processor fault handlers.

using ExitProcedure = void (*)();

// Puts `procedure` into the exit procedure slot and returns what the slot
// held; the installed procedure puts that back when it runs, so installed
// procedures form a chain that runs most recently installed first.
ExitProcedure install_exit_procedure(ExitProcedure procedure);

// Stores the status and runs the termination sequence: the exit procedures,
// the run-time error report when one is pending, then the exit system call.
// Files still open are neither written out nor closed.
[[noreturn]] void halt(std::uint8_t status);
// The end of a run that nothing halted: the termination sequence as it is.
[[noreturn]] void normal_end();

// Ends the program with error `number`, raised at `location` (a code address).
[[noreturn]] void run_time_error(std::uint16_t number, const void* location);

// Turns a pending I/O failure into a run-time error at the caller's place.
void io_check();

// SIGFPE becomes run-time error 200, SIGSEGV 216.
void install_fault_handlers();
