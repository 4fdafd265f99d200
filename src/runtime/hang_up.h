#pragma once

// When the caller's line drops, the kernel sends SIGHUP (and a write to a
// closed pipe or socket raises SIGPIPE). The program records the hang-up
// instead of dying, so the files that moved before the drop still reach the
// DSZ log; its own writes to the dead line are ignored. A child restores the
// default actions before it runs the shell, so the protocol programs still
// end when the line drops.
void catch_hang_up();
void restore_default_hang_up();
bool line_dropped();
