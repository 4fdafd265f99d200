#pragma once

#include "runtime/short_string.h"

// The version string, set once at start-up before anything is printed.
const ShortString<10>& version();
void set_version();
