#include "transfer/send_mode.h"

void run_send_mode() {}
