// On Windows the task allocator is declared here; the host declares it in windows.h.
#pragma once
#include <windows.h>
