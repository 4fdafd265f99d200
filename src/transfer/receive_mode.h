#pragma once

// `--receive <directory> <letter>`: receives files into the directory with rz,
// rx or rb and appends a DSZ receive record for every file that arrived.
void run_receive_mode();
