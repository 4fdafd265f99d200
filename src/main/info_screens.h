#pragma once

// The three fixed screens of the informational switches.
void show_usage_screen();
void show_info_screen();
void show_known_issues_screen();
