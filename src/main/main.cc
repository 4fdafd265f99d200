#include "main/front_end.h"

int main(int argc, char** argv, char** envp) { program_entry(argc, argv, envp); }
