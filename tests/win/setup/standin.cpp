// Stand-in for a tool of Windows' own that the setup runs (icacls, cacls): appends its command line
// to the file KELVANE_STANDIN_LOG names and ends with the code KELVANE_STANDIN_EXIT gives.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main() {
    if (FILE *log = fopen(getenv("KELVANE_STANDIN_LOG"), "a"))
        fprintf(log, "%s\n", GetCommandLineA()), fclose(log);
    return atoi(getenv("KELVANE_STANDIN_EXIT"));
}
