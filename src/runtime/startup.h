#pragma once

// Brings up the runtime services in order: the command line, the standard
// files, the fault and hang-up handlers, then the console driver.
void start_runtime(int argc, char** argv, char** envp);
