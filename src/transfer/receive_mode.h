#pragma once

#include <string>

// `--receive <directory> <letter>`: receives files into the directory with rz,
// rx or rb and appends a DSZ receive record for every file that arrived.
// `start` is the starting directory, where the working files go.
void run_receive_mode(const std::string& start);
