#pragma once

#include <string>

// `--send <file list> <letter>`: sends every listed file with sz, sx or sb and
// appends a DSZ send record for every file that moved. `start` is the
// starting directory, where the working files go.
void run_send_mode(const std::string& start);
