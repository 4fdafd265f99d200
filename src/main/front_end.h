#pragma once

// The program: start-up, banner, dispatch on the first argument. Never returns.
[[noreturn]] void program_entry(int argc, char** argv, char** envp);
