// Prints what one append costs as the view fills, in the program's own set-up:
// the view made at 0 by 0 and sized by WM_SIZE, text sent from another thread.
#include "logwindow/log_search.h"
#include "logwindow/window_numbers.h"
#include "logwindow/windows_system_log.h"
#include "runtime/scoped_lock.h"

#include <windows.h>
#include <richedit.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace {

enum class Text {
    Syslog,    // messages as senders send them: words, numbers, punctuation
    Firewall,  // a firewall's lines: mostly numbers and fields
    Letters,   // one unbroken word of letters
};

struct Run {
    const char* name;
    size_t chunk;     // characters per append, the line break included
    bool lineBreaks;  // each append ends with a line break
    size_t fill;      // characters sent in all
    Text text;
    size_t lineEvery = 0;  // with line breaks: one every this many characters, 0 = at the end only
};

const Run kRuns[] = {
    {"lines of 100", 100, true, 60000, Text::Syslog},
    {"lines of 1000", 1000, true, 60000, Text::Syslog},
    {"one paragraph, appends of 100", 100, false, 60000, Text::Syslog},
    {"one paragraph, appends of 1000", 1000, false, 60000, Text::Syslog},
    // Past the threshold: the later appends trim or come close to it.
    {"lines of 100, trimming", 100, true, 130000, Text::Syslog},
    {"one paragraph, 1000, trimming", 1000, false, 130000, Text::Syslog},
    {"one firewall paragraph, 1000, trimming", 1000, false, 130000, Text::Firewall},
    // Many datagrams in one append, as the window shows a burst in one step.
    {"batches of 16 lines of 100, trimming", 1600, true, 200000, Text::Syslog, 100},
    {"batches of 64 lines of 100, trimming", 6400, true, 200000, Text::Syslog, 100},
    {"batches of 256 lines of 100, trimming", 25600, true, 400000, Text::Syslog, 100},
    {"batches of 640 lines of 100, trimming", 64000, true, 640000, Text::Syslog, 100},
    {"one paragraph, batches of 6400, trimming", 6400, false, 200000, Text::Firewall},
    // Runs that never join keep an unbroken word linear.
    {"letters only, one paragraph", 1000, false, 30000, Text::Letters},
    {"letters only, one paragraph, trimming", 1000, false, 130000, Text::Letters},
};

std::wstring Repeat(const std::wstring& pattern, size_t length)
{
    std::wstring text;
    while (text.size() < length) {
        text += pattern;
    }
    text.resize(length);
    return text;
}

std::wstring Sample(const Run& run)
{
    std::wstring text;
    switch (run.text) {
    case Text::Syslog:
        text = Repeat(L"<13>Dec  8 16:00:00 host.example app[4242]: user session opened for "
                      L"account operator from 192.0.2.17 port 50123; ",
                      run.chunk);
        break;
    case Text::Firewall:
        text = Repeat(L"<4>Dec  9 04:15:01 gw01 kernel: [UFW BLOCK] IN=eth0 OUT= "
                      L"MAC=52:54:00:12:34:56 SRC=203.0.113.7 DST=192.0.2.10 LEN=60 TTL=51 "
                      L"PROTO=TCP SPT=40312 DPT=22 SYN ",
                      run.chunk);
        break;
    case Text::Letters:
        text = Repeat(L"abcdefghijklmnopqrstuvwxyz", run.chunk);
        break;
    }
    if (run.lineBreaks) {
        for (size_t i = run.lineEvery; i > 0 && i <= text.size(); i += run.lineEvery) {
            text[i - 1] = L'\n';
        }
        text.back() = L'\n';
    }
    return text;
}

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / frequency.QuadPart;
}

double AppendAndTime(CWindowsSystemLog* log, const std::wstring& text)
{
    auto* copy = static_cast<wchar_t*>(malloc((text.size() + 1) * sizeof(wchar_t)));
    wmemcpy(copy, text.c_str(), text.size() + 1);
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    {
        CScopedLock guard(log->lock);
        SendMessageW(log->window, WM_LOG_APPEND, reinterpret_cast<WPARAM>(copy), 0);
    }
    QueryPerformanceCounter(&end);
    return Milliseconds(start, end);
}

void Measure(CWindowsSystemLog* log, const Run& run)
{
    // As the Clear button does.
    SendMessageW(log->window, WM_COMMAND, IDC_CLEAR, 0);
    const std::wstring text = Sample(run);
    std::vector<double> costs;
    double total = 0;
    for (size_t sent = 0; sent < run.fill; sent += run.chunk) {
        costs.push_back(AppendAndTime(log, text));
        total += costs.back();
    }
    // The last tenth of the appends: the view holds about `fill` characters.
    const size_t tail = std::max<size_t>(1, costs.size() / 10);
    double tailSum = 0;
    double tailMax = 0;
    for (size_t i = costs.size() - tail; i < costs.size(); ++i) {
        tailSum += costs[i];
        tailMax = std::max(tailMax, costs[i]);
    }
    const double worst = *std::max_element(costs.begin(), costs.end());
    std::printf("%-42s %4zu x %5zu: total %8.1f ms; last tenth %7.2f ms mean, %7.2f ms max;"
                " worst %7.2f ms\n",
                run.name, costs.size(), run.chunk, total, tailSum / tail, tailMax, worst);
    std::fflush(stdout);
}

// Find over a full view of run-on firewall lines, from the start down. The
// first search that ignores case also builds the fold table.
void MeasureFind()
{
    struct Find {
        const char* name;
        const wchar_t* pattern;
        bool matchCase;
        bool wholeWord;
    };
    const Find kFinds[] = {
        {"find: miss, case kept", L"PROTO=ICMP", true, false},
        {"find: miss, case ignored", L"proto=icmp", false, false},
        {"find: hit at the end, case ignored", L"proto=udp", false, false},
        {"find: whole word miss", L"kern", false, true},
    };
    const std::wstring end = L" PROTO=UDP";
    std::wstring text = Repeat(L"<4>Dec  9 04:15:01 gw01 kernel: [UFW BLOCK] IN=eth0 OUT= "
                               L"MAC=52:54:00:12:34:56 SRC=203.0.113.7 DST=192.0.2.10 LEN=60 "
                               L"TTL=51 PROTO=TCP SPT=40312 DPT=22 SYN ",
                               65536 - end.size()) + end;
    constexpr int kRepeats = 5;
    for (const Find& find : kFinds) {
        const LogSearch search{find.pattern, wcslen(find.pattern), find.matchCase,
                               find.wholeWord, true};
        double worst = 0;
        double total = 0;
        for (int i = 0; i < kRepeats; ++i) {
            size_t found = 0;
            LARGE_INTEGER start, stop;
            QueryPerformanceCounter(&start);
            // The result is not the point here, only its cost.
            (void)FindInLogText(text.data(), text.size(), 0, search, &found);
            QueryPerformanceCounter(&stop);
            worst = std::max(worst, Milliseconds(start, stop));
            total += Milliseconds(start, stop);
        }
        std::printf("%-42s %4d x %5zu: worst %7.2f ms, mean %7.2f ms\n", find.name, kRepeats,
                    text.size(), worst, total / kRepeats);
        std::fflush(stdout);
    }
}

}  // namespace

// With an argument, only the runs whose name contains it.
int main(int argc, char** argv)
{
    CWindowsSystemLog* log = CWindowsSystemLog::Instance();
    if (!log->StartWindowThread()) {
        std::printf("the window could not be made\n");
        return 1;
    }
    for (const Run& run : kRuns) {
        if (argc > 1 && std::string(run.name).find(argv[1]) == std::string::npos) {
            continue;
        }
        Measure(log, run);
    }
    if (argc <= 1 || std::string("find").find(argv[1]) != std::string::npos) {
        MeasureFind();
    }
    CWindowsSystemLog::DestroyInstance();
    return 0;
}
