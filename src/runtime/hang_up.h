#pragma once

// When the caller's line drops, the kernel sends SIGHUP. The program records
// it instead of dying, so the files that moved before the drop still reach
// the DSZ log. A child restores the default action before it runs the shell.
void catch_hang_up();
void restore_default_hang_up();
bool line_dropped();
