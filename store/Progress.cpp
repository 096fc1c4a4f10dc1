#include "store/Progress.h"

std::atomic<int32_t> g_cancelFlag{0};
