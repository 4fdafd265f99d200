#pragma once

#include <string>
#include <string_view>

#include "dszlog/package_rules.h"
#include "runtime/confinement.h"

// The configuration file: /etc/vurel.conf, or the file VUREL_CONF names.
//
//   # comments, then key = value
//   package = generic | synchronet | mystic | wwiv | maximus | elebbs
//   record_name = path | base           what a record names
//   upload_names = keep | portable | upper | dos83
//   upload_name_max = N                  bytes
//   line_max = N                         the longest record line its reader takes
//   name_word_max = N | N.M              the longest word of a record's name, or
//                                        the longest part before and after its last dot
//   confine = best-effort | required | off
//
// `package` sets the record and name keys; a key set on its own wins over
// it, in any order. With no file, or `generic`, records are as they always
// were, and the protocol program is confined where the kernel can.

struct Configuration {
  PackageRules rules;
  ConfineMode confine = ConfineMode::kBestEffort;
};

// Reads the settings in `text` into `configuration`; false with `error` (a
// line for the screen, the line number after `where`) at the first that is
// wrong.
bool parse_configuration(std::string_view text, std::string_view where,
                         Configuration& configuration, std::string& error);

// Settles the run's package rules and confinement from the configuration
// file. Ends the program with a clear line and status 1 when the file is
// unreadable or wrong, or when it requires a confinement this kernel cannot
// give: all before any working file is made.
void read_configuration();
ConfineMode confine_mode();
