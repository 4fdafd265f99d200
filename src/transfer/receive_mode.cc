#include "transfer/receive_mode.h"

void run_receive_mode() {}
