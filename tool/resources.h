// Resource ids of tarnwell.exe, shared by tarnwell.rc and the window code.
#pragma once

// The application's icon: the window's and the program file's.
#define IDI_TARNWELL 1
