#pragma once

#include <cstdint>

// The pending I/O result: 0 while nothing has failed, else the number of the
// first failure. While it is set, every file, directory and console operation
// does nothing, until a caller takes it or the I/O check ends the program:
//
//   print_line("Send mode active.");   // not shown while a failure is pending
//   io_check();                        // a pending failure ends the program here
//
// The numbers are the run-time error numbers the program reports.

bool io_failed();

// Returns the pending result and clears it.
std::uint16_t take_io_result();

// Makes `number` pending unless a failure is pending already.
void set_io_error(std::uint16_t number);

// The number for a system error; 0 for those the program does not translate.
std::uint16_t io_error_number(int system_error);

// Records a failed system call's errno. An untranslated error leaves the
// result unchanged, so the operation counts as done.
void record_system_error(int system_error);

// Records a failed write: always a failure, 101 (disk write error) unless the
// error has a number of its own.
void record_write_error(int system_error);
