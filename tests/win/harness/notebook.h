// Arranging the simulated notebook, the registry and the program folder for a test, and reading back
// the event log, the registry and the files.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// A first start: no state of the simulated notebook, no values of the program, no power schemes,
// a fresh empty event log in the test's folder, and no step files (the shipped defaults stay).
void resetNotebook();

// The folder of the running test program, ending in a backslash.
std::string testFolder();

// The event log.
std::vector<std::string> logLines();
void clearLog();
bool logContains(const std::string &line);
// Waits until the log holds `line`; false on time-out.
bool waitForLogLine(const std::string &line, DWORD timeoutMs = 15000);

// Registry text: absent values read as "<missing>".
std::string regText(HKEY root, const char *key, const char *value);
// Stored without a terminator, the text's length only (the 9x family cannot: it adds one).
void setRegText(HKEY root, const char *key, const char *value, const std::string &text);
// Stored with its terminator, as Windows and its tools keep text.
void setRegTextTerminated(HKEY root, const char *key, const char *value, const std::string &text);
// A value's data exactly as stored (its length as the registry reports it), or "<missing>".
std::string regBytes(HKEY root, const char *key, const char *value);
// Stores `bytes` of type `type` with exactly their length.
void setRegBytes(HKEY root, const char *key, const char *value, DWORD type, const std::string &bytes);
// A simulated setting's value in force (the last activation's), or -1 when missing.
long inForce(const GUID &subgroup, const GUID &setting, bool ac);
void setRegDword(HKEY root, const char *key, const char *value, DWORD data);
void deleteRegTree(HKEY root, const char *key);
bool regKeyExists(HKEY root, const char *key);

// Files.
std::vector<uint8_t> fileBytes(const std::string &path);
bool fileExists(const std::string &path);
void writeFile(const std::string &path, const std::vector<uint8_t> &bytes);
