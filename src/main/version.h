#pragma once

#include <string_view>

// The version the banner, --ver and the usage screen print.
inline constexpr std::string_view kVersion = "2.1";
