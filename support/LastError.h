#pragma once
// The calling thread's last-error code (stands in for SetLastError/GetLastError).
#include <cstdint>

void SetLastErrorCode(uint32_t code);
uint32_t GetLastErrorCode();
