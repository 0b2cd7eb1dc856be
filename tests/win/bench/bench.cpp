// The benchmark driver: starts the tray program on the simulated notebook and the baseline tray
// program, measures what each costs from outside and prints the figures side by side.
#include "harness/notebook.h"
#include "lumora/processinfo.h"
#include "lumora/program.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kStarts = 5;           // starts of each program; the median counts
constexpr int kSwitches = 30;        // step switches between two mains steps
constexpr int kFloodCommands = 1000; // back-to-back step-cycle commands
constexpr DWORD kIdleMs = 10000;
constexpr double kNone = NAN; // a figure that does not apply or could not be taken

double nowMs() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return double(now.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

double median(std::vector<double> values) {
    if (values.empty())
        return kNone;
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The smallest value that at least 90 % of the values do not exceed.
double p90(std::vector<double> values) {
    if (values.empty())
        return kNone;
    std::sort(values.begin(), values.end());
    return values[size_t(std::ceil(0.9 * double(values.size()))) - 1];
}

bool startsWith(const std::string &text, const std::string &prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// Sleeps about a tenth of a millisecond. Sleep(1) would add half a millisecond on average to every
// time taken by looking; under Wine a non-alertable NtDelayExecution is a plain select() of that length,
// no server call, and the looking costs a few per cent of one core.
void pauseBriefly() {
    using Delay = LONG(WINAPI *)(BOOLEAN, const LARGE_INTEGER *);
    static const Delay delay = reinterpret_cast<Delay>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtDelayExecution")));
    LARGE_INTEGER interval;
    interval.QuadPart = -1000; // 100 ns units, relative
    if (!delay || delay(FALSE, &interval) != 0)
        Sleep(1);
}

// Waits until a log line at or after line `from` satisfies `matches`, looking about every tenth of a
// millisecond whether the log has grown; the time (nowMs) the growth that brought it was seen, or kNone
// on time-out.
template <typename Matches> double waitLogLine(size_t from, Matches matches, DWORD timeoutMs) {
    const std::string path = regText(HKEY_CURRENT_USER, "Software\\KelvaneSim", "Log");
    double start = nowMs();
    ULONGLONG seenSize = ~0ULL;
    for (;;) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
            ULONGLONG size = (ULONGLONG(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
            if (size != seenSize) {
                double seen = nowMs();
                seenSize = size;
                for (const std::string &line : logLinesFrom(from))
                    if (matches(line))
                        return seen;
            }
        }
        if (nowMs() - start > timeoutMs)
            return kNone;
        pauseBriefly();
    }
}

HWND findBaselineWindow(DWORD pid) {
    HWND window = nullptr;
    while ((window = FindWindowExA(nullptr, window, "KelvaneBaseline", nullptr))) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == pid)
            return window;
    }
    return nullptr;
}

// Starts `exe` and measures the time from creating the process until the window `find` looks for
// exists and answers WM_NULL (the program has reached its message loop).
double startToWindow(Program &program, const std::string &exe, HWND (*find)(DWORD)) {
    double start = nowMs();
    if (!program.start(exe))
        return kNone;
    while (nowMs() - start < 30000 && program.running()) {
        DWORD_PTR result = 0;
        HWND window = find(program.pid());
        if (window &&
            SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_BLOCK | SMTO_ABORTIFHUNG, 20000, &result))
            return nowMs() - start;
        Sleep(1);
    }
    return kNone;
}

// The tray program in a fresh program folder on a fresh simulated notebook.
struct Lumora {
    std::unique_ptr<ProgramFolder> folder;
    Program program; // declared after the folder, so it is closed before the folder is removed

    double start() {
        program.kill();
        resetNotebook();
        folder = std::make_unique<ProgramFolder>();
        folder->copyIn(simProgramDir() + "VidmoCFG.EXE", "VidmoCFG.EXE");
        double ms = startToWindow(program, folder->exe(), findProgramWindow);
        return program.waitReady(20000) ? ms : kNone;
    }
};

// The process list's CPU times are believable when a busy loop of this process shows up in them.
double busyLoopReading() {
    double before = cpuMs(processFigures(GetCurrentProcessId()));
    DWORD start = GetTickCount();
    volatile unsigned long spin = 0;
    while (GetTickCount() - start < 300)
        spin = spin + 1;
    return cpuMs(processFigures(GetCurrentProcessId())) - before;
}

struct Row {
    std::string figure, lumora, baseline;
};
std::vector<Row> rows;
bool anyFailed = false;

std::string format(double value, const char *pattern) {
    if (std::isnan(value))
        return "-";
    char text[64];
    snprintf(text, sizeof text, pattern, value);
    return text;
}

// A row of the table; a figure of the tray program that could not be taken fails the run.
void row(const std::string &figure, double lumora, double baseline, const char *pattern) {
    if (std::isnan(lumora))
        anyFailed = true;
    rows.push_back(
        {figure, std::isnan(lumora) ? "FAILED" : format(lumora, pattern), format(baseline, pattern)});
}

void printTable() {
    size_t width = 0;
    for (const Row &r : rows)
        width = std::max(width, r.figure.size());
    printf("\n%-*s  %-22s  %s\n", int(width), "Figure", "Lumora.exe (simulated)", "baseline tray");
    printf("%s\n", std::string(width + 2 + 22 + 2 + 13, '-').c_str());
    for (const Row &r : rows)
        printf("%-*s  %-22s  %s\n", int(width), r.figure.c_str(), r.lumora.c_str(), r.baseline.c_str());
    fflush(stdout);
}

void note(const char *text) {
    printf("  %s\n", text);
    fflush(stdout);
}

// The scheme bounce at resume: CPU and time until the user's scheme and then the program's own
// scheme have been activated again.
void schemeBounce(Lumora &lumora) {
    note("scheme bounce at resume ...");
    const std::string own = "ACTIVATE " + regText(HKEY_CURRENT_USER, "Software\\KELVANE", "Power_Scheme_No");
    waitLogQuiet(300, 5000);
    size_t from = logSize();
    ProcessFigures before = processFigures(lumora.program.pid());
    double start = nowMs();
    lumora.program.powerEvent(4); // PBT_APMSUSPEND
    lumora.program.powerEvent(7); // PBT_APMRESUMESUSPEND
    bool userSeen = false;
    double done = waitLogLine(
        from,
        [&](const std::string &line) {
            if (!userSeen && startsWith(line, "ACTIVATE ") && line != own)
                userSeen = true;
            else if (userSeen && line == own)
                return true;
            return false;
        },
        15000);
    ProcessFigures after = processFigures(lumora.program.pid());
    bool ok = !std::isnan(done) && before.found && after.found;
    row("scheme bounce: CPU, ms", ok ? cpuMs(after) - cpuMs(before) : kNone, kNone, "%.0f");
    row("scheme bounce: duration, ms", ok ? done - start : kNone, kNone, "%.0f");
}

// Step switches between two mains steps: from posting the step command to the firmware told the step.
void stepSwitches(Lumora &lumora) {
    note("step switches ...");
    waitLogQuiet(300, 5000);
    unsigned current = 0;
    for (const std::string &line : logLinesFrom(0))
        if (startsWith(line, "SPGS "))
            current = unsigned(atoi(line.c_str() + 5));
    const unsigned steps[2] = {current == 1 ? 2u : 1u, current == 1 ? 1u : 2u};
    std::vector<double> times;
    for (int i = 0; i < kSwitches; ++i) {
        const std::string applied = "SPGS " + std::to_string(steps[i % 2]);
        size_t from = logSize();
        double posted = nowMs();
        lumora.program.command(stepCommand(steps[i % 2]));
        double seen = waitLogLine(
            from, [&](const std::string &line) { return line == applied; }, 10000);
        if (std::isnan(seen))
            break;
        times.push_back(seen - posted);
        waitLogQuiet(150, 5000); // the rest of the application follows the firmware line
    }
    bool ok = times.size() == size_t(kSwitches);
    char label[64];
    snprintf(label, sizeof label, "step switch: median of %d, ms", kSwitches);
    row(label, ok ? median(times) : kNone, kNone, "%.1f");
    snprintf(label, sizeof label, "step switch: p90 of %d, ms", kSwitches);
    row(label, ok ? p90(times) : kNone, kNone, "%.1f");
}

// Step-cycle commands posted back to back: one application 1.5 s after the last, at what cost.
void commandFlood(Lumora &lumora) {
    note("1000 step-cycle commands ...");
    waitLogQuiet(300, 5000);
    ProcessFigures before = processFigures(lumora.program.pid());
    size_t from = logSize();
    for (int i = 0; i < kFloodCommands; ++i)
        lumora.program.command(kCmdStepCycle);
    double lastPost = nowMs();
    double applied = waitLogLine(
        from, [](const std::string &line) { return startsWith(line, "SPGS "); }, 120000);
    ProcessFigures atApplication = processFigures(lumora.program.pid());
    bool ok = !std::isnan(applied) && before.found && atApplication.found;
    // A second application would show within the debounce time; the worker threads wind down meanwhile.
    waitLogQuiet(2500, 30000);
    ProcessFigures after = processFigures(lumora.program.pid());
    bool answers = lumora.program.answers(5000);
    row("flood: CPU until the application, ms", ok ? cpuMs(atApplication) - cpuMs(before) : kNone, kNone,
        "%.0f");
    row("flood: last command to application, ms", ok ? applied - lastPost : kNone, kNone, "%.0f");
    row("flood: applications", ok ? double(countPrefixFrom(from, "SPGS ")) : kNone, kNone, "%.0f");
    if (before.found && after.found) {
        rows.push_back({"flood: handles before / after",
                        std::to_string(before.handles) + " / " + std::to_string(after.handles), "-"});
        rows.push_back({"flood: threads before / after",
                        std::to_string(before.threads) + " / " + std::to_string(after.threads), "-"});
    } else {
        row("flood: handles before / after", kNone, kNone, "");
    }
    if (!answers) {
        rows.push_back({"flood: window answers afterwards", "NO", "-"});
        anyFailed = true;
    }
}

// From posting WM_CLOSE (as the setup and `kelvanectl exit` do) until the process has ended.
double closeToEnd(Program &program, HWND window) {
    if (!window || !program.running())
        return kNone;
    double start = nowMs();
    PostMessageA(window, WM_CLOSE, 0, 0);
    DWORD code = 0;
    return program.waitExit(20000, &code) ? nowMs() - start : kNone;
}

// The end of the tray program: WM_CLOSE to the process end, and to its last event-log line (the
// scheme handed back), which tells the program's own clean-up from what follows it.
template <typename Baseline> void closing(Lumora &lumora, Baseline baselineClose) {
    note("close ...");
    waitLogQuiet(300, 5000);
    size_t from = logSize();
    const std::string deleted = "DELETE " + regText(HKEY_CURRENT_USER, "Software\\KELVANE", "Power_Scheme_No");
    double start = nowMs();
    double ended = closeToEnd(lumora.program, lumora.program.window());
    double handedBack =
        waitLogLine(from, [&](const std::string &line) { return line == deleted; }, 1000);
    row("close to process end, ms", std::isnan(ended) ? kNone : ended, baselineClose(), "%.0f");
    row("close to scheme handed back, ms", std::isnan(handedBack) ? kNone : handedBack - start, kNone, "%.0f");
}

} // namespace

int main() {
    setvbuf(stdout, nullptr, _IOLBF, 0);
    double busy = busyLoopReading();
    printf("process-list CPU check: a 300 ms busy loop of the driver reads %.0f ms%s\n", busy,
           busy < 150 ? " (the machine is busy, or CPU figures are not reliable here)" : "");

    note("starts ...");
    Lumora lumora;
    Program baseline;
    const std::string baselineExe = testFolder() + "BaselineTray.exe";
    std::vector<double> lumoraStarts, baselineStarts;
    for (int i = 0; i < kStarts; ++i) {
        double ms = lumora.start();
        if (!std::isnan(ms))
            lumoraStarts.push_back(ms);
        baseline.kill();
        ms = startToWindow(baseline, baselineExe, findBaselineWindow);
        if (!std::isnan(ms))
            baselineStarts.push_back(ms);
    }
    std::string each = "starts, ms: Lumora.exe";
    for (double ms : lumoraStarts)
        each.append(" ").append(format(ms, "%.0f"));
    each += "; baseline";
    for (double ms : baselineStarts)
        each.append(" ").append(format(ms, "%.0f"));
    note(each.c_str());
    char label[64];
    snprintf(label, sizeof label, "start to window: median of %d, ms", kStarts);
    row(label, lumoraStarts.size() == size_t(kStarts) ? median(lumoraStarts) : kNone,
        baselineStarts.size() == size_t(kStarts) ? median(baselineStarts) : kNone, "%.0f");
    if (!lumora.program.running() || !baseline.running()) {
        printTable();
        printf("a program did not start; no further figures\n");
        return 1;
    }

    // Both programs idle side by side over the same ten seconds.
    note("idle for 10 s ...");
    waitLogQuiet(500, 10000);
    ProcessFigures lumoraBefore = processFigures(lumora.program.pid());
    ProcessFigures baselineBefore = processFigures(baseline.pid());
    Sleep(kIdleMs);
    ProcessFigures lumoraAfter = processFigures(lumora.program.pid());
    ProcessFigures baselineAfter = processFigures(baseline.pid());
    row("private memory, KB", lumoraAfter.found ? double(lumoraAfter.privateBytes) / 1024 : kNone,
        baselineAfter.found ? double(baselineAfter.privateBytes) / 1024 : kNone, "%.0f");
    row("idle CPU over 10 s, ms", lumoraAfter.found ? cpuMs(lumoraAfter) - cpuMs(lumoraBefore) : kNone,
        baselineAfter.found ? cpuMs(baselineAfter) - cpuMs(baselineBefore) : kNone, "%.0f");
    baseline.kill();

    schemeBounce(lumora);
    stepSwitches(lumora);
    commandFlood(lumora);
    // Each program is closed while its icon is the only one: Wine hides its stand-alone tray window when
    // the last icon goes, and that costs both alike.
    closing(lumora, [&] {
        if (std::isnan(startToWindow(baseline, baselineExe, findBaselineWindow)))
            return kNone;
        Sleep(300); // the window answers while its icon is being added
        return closeToEnd(baseline, findBaselineWindow(baseline.pid()));
    });

    printTable();
    return anyFailed ? 1 : 0;
}
