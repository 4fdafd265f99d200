#pragma once

// `--send <file list> <letter>`: sends every listed file with sz, sx or sb and
// appends a DSZ send record for every file that moved.
void run_send_mode();
