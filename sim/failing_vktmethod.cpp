// Stand-in VKTMETHOD.dll whose every method fails, for smoke tests of the real build.
#include <windows.h>

extern "C" {
__declspec(dllexport) int __stdcall None_Method(DWORD, DWORD *) { return 0; }
__declspec(dllexport) int __stdcall One_Method(DWORD, DWORD, DWORD *) { return 0; }
}
