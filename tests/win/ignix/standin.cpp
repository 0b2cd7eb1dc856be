// Stand-in for the tray program: records each start, with its arguments, in a file beside itself.
#include <windows.h>

#include <cstdio>
#include <string>

int main(int argc, char **) {
    char path[MAX_PATH * 4];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string log = std::string(path, length);
    log = log.substr(0, log.rfind('\\') + 1) + "standin.log";
    char line[MAX_PATH * 4 + 32];
    int size = std::snprintf(line, sizeof line, "argc=%d %s\n", argc, GetCommandLineA());
    if (size < 0 || size >= int(sizeof line))
        size = int(sizeof line) - 1;
    // Append-only access makes each line one atomic write, so stand-ins started together keep both.
    for (int attempt = 0; attempt < 100; ++attempt, Sleep(50)) {
        HANDLE file = CreateFileA(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            continue;
        DWORD written;
        WriteFile(file, line, DWORD(size), &written, nullptr);
        CloseHandle(file);
        break;
    }
    return 0;
}
