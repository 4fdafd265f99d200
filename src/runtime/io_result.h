#pragma once

#include <cstdint>

// The pending I/O result: 0 while nothing has failed, else the number of the
// first failure. While it is set, every file, directory and console operation
// does nothing, until a caller takes it or the I/O check ends the program.

// Error numbers set by the file layer itself.
inline constexpr std::uint16_t kErrorBadFileState = 102;
inline constexpr std::uint16_t kErrorFileNotOpen = 103;
inline constexpr std::uint16_t kErrorNotOpenForInput = 104;
inline constexpr std::uint16_t kErrorNotOpenForOutput = 105;

bool io_failed();

// Returns the pending result and clears it.
std::uint16_t take_io_result();

// Makes `number` pending unless a failure is pending already.
void set_io_error(std::uint16_t number);

// Translates a system error; 0 for errors the program does not translate.
std::uint16_t io_error_number(int system_error);

// Records a failed system call's errno. An untranslated error leaves the
// result unchanged, so the operation counts as done.
void record_system_error(int system_error);

// Opens a file for the file layer. Returns false when the open failed with a
// translated error, which is then pending. An untranslated failure (EISDIR,
// a directory opened for writing) counts as done: true with *fd = -1, so the
// handle is open without a descriptor and its first system call gives 6.
// A read-write open that a read-only file system refuses is tried read-only.
bool open_for_file_layer(const char* name, int flags, int* fd);
