// MinGW's powrprof.h has no include guard: include it through this header only.
#pragma once
#include <windows.h>
#include <powrprof.h>
