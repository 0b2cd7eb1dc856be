// Paths of the program's own files, built from the folder of its executable.
#pragma once
#include <cstddef>

// The folder of the program's executable, ending in a backslash; false when it does not fit `size`.
bool programDirectory(char *dir, size_t size);

// The program's folder followed by `name`; false, after an error message, when the path would not
// fit `size` (a cut path would name another file).
bool programFilePath(const char *name, char *out, size_t size);

// Windows Vista or later (NT 6.0 and up): power schemes by GUID and the files of each user apart.
bool ntSixOrLater();

// Where a file the program writes lives: from Windows Vista on in "%APPDATA%\Kelvane\" (created when
// missing), before that in the program's folder. False, after an error message, when it would not fit.
bool userFilePath(const char *name, char *out, size_t size);
