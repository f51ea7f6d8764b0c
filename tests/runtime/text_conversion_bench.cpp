// Throughput of the text conversions on 1 KiB datagrams; prints MB/s, asserts nothing.
#include "runtime/text_conversion.h"

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr size_t kDatagramBytes = 1024;
constexpr auto kMeasureFor = std::chrono::milliseconds(500);

// Repeats a sample up to exactly one datagram, never splitting a sequence.
std::string MakeDatagram(const std::string& sample)
{
    std::string datagram;
    while (datagram.size() + sample.size() <= kDatagramBytes) {
        datagram += sample;
    }
    datagram.append(kDatagramBytes - datagram.size(), '.');
    return datagram;
}

// Runs `convert` on one datagram until the time is up and gives MB/s of input.
template <typename Convert>
double MeasureMegabytesPerSecond(size_t inputBytes, Convert convert)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    Clock::time_point now = start;
    uint64_t rounds = 0;
    while (now - start < kMeasureFor) {
        for (int i = 0; i < 256; ++i) {
            convert();
        }
        rounds += 256;
        now = Clock::now();
    }
    const double seconds = std::chrono::duration<double>(now - start).count();
    return static_cast<double>(rounds) * static_cast<double>(inputBytes) / seconds / 1e6;
}

// The platform's converter in the same shape as ours: size, allocate, fill.
wchar_t* PlatformUtf8ToUtf16(const char* text)
{
    const int size = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    auto* out = static_cast<wchar_t*>(malloc(static_cast<size_t>(size) * sizeof(wchar_t)));
    MultiByteToWideChar(CP_UTF8, 0, text, -1, out, size);
    return out;
}

char* PlatformUtf16ToUtf8(const wchar_t* text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    auto* out = static_cast<char*>(malloc(static_cast<size_t>(size)));
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out, size, nullptr, nullptr);
    return out;
}

struct Sample {
    const char* name;
    std::string text;
};

}  // namespace

int main()
{
    const Sample samples[] = {
        {"ascii syslog line",
         "<34>1 2026-12-07T09:05:03.042Z host app 1234 ID47 - disk usage at 91 percent\n"},
        {"latin accents (utf-8)", "Caf\xC3\xA9 cr\xC3\xA8me br\xC3\xBBl\xC3\xA9" "e, na\xC3\xAFve "},
        {"cjk (utf-8)", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x83\xAD\xE3\x82\xB0 "},
        {"emoji (utf-8)", "ok \xF0\x9F\x98\x80\xF0\x9F\x9A\x80 "},
        {"latin-1 bytes (ill-formed)", "Caf\xE9 cr\xE8me br\xFBl\xE9" "e, na\xEFve "},
    };

    printf("1 KiB datagrams, MB/s of input (higher is better)\n");
    printf("%-28s %12s %12s %12s %12s\n", "text", "Utf8ToUtf16", "platform", "Utf16ToUtf8",
           "platform");
    volatile unsigned sink = 0;
    for (const Sample& sample : samples) {
        const std::string datagram = MakeDatagram(sample.text);
        wchar_t* wide = Utf8ToUtf16(datagram.c_str());
        if (wide == nullptr) {
            return 1;
        }
        const size_t wideBytes = wcslen(wide) * sizeof(wchar_t);

        const double toUtf16 = MeasureMegabytesPerSecond(datagram.size(), [&] {
            wchar_t* out = Utf8ToUtf16(datagram.c_str());
            sink = sink + out[0];
            free(out);
        });
        const double platformToUtf16 = MeasureMegabytesPerSecond(datagram.size(), [&] {
            wchar_t* out = PlatformUtf8ToUtf16(datagram.c_str());
            sink = sink + out[0];
            free(out);
        });
        const double toUtf8 = MeasureMegabytesPerSecond(wideBytes, [&] {
            char* out = Utf16ToUtf8(wide);
            sink = sink + static_cast<unsigned char>(out[0]);
            free(out);
        });
        const double platformToUtf8 = MeasureMegabytesPerSecond(wideBytes, [&] {
            char* out = PlatformUtf16ToUtf8(wide);
            sink = sink + static_cast<unsigned char>(out[0]);
            free(out);
        });
        printf("%-28s %12.1f %12.1f %12.1f %12.1f\n", sample.name, toUtf16, platformToUtf16,
               toUtf8, platformToUtf8);
        free(wide);
    }
    return 0;
}
