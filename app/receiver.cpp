// Sets up the syslog receiver inside the main loop and takes it down again.
#include "app/receiver.h"

#include "app/listen_report.h"
#include "devices/syslog_server.h"
#include "logwindow/log_append.h"
#include "runtime/tick_count.h"
#include "transport/udp_server_transport.h"

#include <cstdio>

static constexpr uint16_t kSyslogPort = 514;
static constexpr uint32_t kSenderSlots = 1024;
static constexpr uint32_t kSenderTimeoutMs = 12000;
// A few times a second is plenty to notice a port that became free.
static constexpr uint32_t kPollIntervalMs = 250;
static constexpr char kBanner[] = "Syslog\r\n";

static CSyslogServer* gReceiver = nullptr;
static CListenReport gListenReport;
static uint32_t gLastPoll = 0;

// What the user reads when the receiver could not start at all.
static void TellStartFailure(const CUDPServerTransport* udp)
{
    char line[128];
    switch (udp->openFailure) {
    case OpenFailure::Winsock:
        snprintf(line, sizeof line,
                 "Cannot start the receiver: Windows Sockets did not start (error %d).\r\n",
                 udp->openError);
        break;
    case OpenFailure::NoTable:
        snprintf(line, sizeof line,
                 "Cannot start the receiver: not enough memory for the table of senders.\r\n");
        break;
    case OpenFailure::NoThread:
        snprintf(line, sizeof line,
                 "Cannot start the receiver: the receiving thread could not be created "
                 "(error %d).\r\n",
                 udp->openError);
        break;
    default:
        snprintf(line, sizeof line, "Cannot start the receiver.\r\n");
        break;
    }
    AppendUtf8ToLog(line);
}

void StartReceiver()
{
    AppendUtf8ToLog(kBanner);

    gReceiver = new CSyslogServer();
    ConnectionSettings settings{};
    settings.port = kSyslogPort;
    settings.slotCount = kSenderSlots;
    settings.timeout = kSenderTimeoutMs;
    if (!gReceiver->Open(&settings)) {
        // No thread serves a receiver that did not open, so nothing would
        // ever come of polling it: it goes, and the window stays useful.
        TellStartFailure(static_cast<CUDPServerTransport*>(gReceiver->transport));
        delete gReceiver;
        gReceiver = nullptr;
        return;
    }
    gReceiver->Connect();
    gLastPoll = TickCount();
}

bool ReceiverListens()
{
    // The device is connected only once its transport has bound the port.
    return gReceiver != nullptr && gReceiver->state == DeviceConnected;
}

static void TellListenState()
{
    auto* udp = static_cast<CUDPServerTransport*>(gReceiver->transport);
    const bool listening = ReceiverListens();
    const auto port = static_cast<unsigned>(kSyslogPort);
    char line[96];
    switch (gListenReport.Update(udp->LastSocketError(), udp->TakeReceiveError(), listening)) {
    case ListenNote::CannotListen:
        snprintf(line, sizeof line, "Cannot listen on UDP port %u (error %d); retrying.\r\n", port,
                 gListenReport.Error());
        AppendUtf8ToLog(line);
        break;
    case ListenNote::Listening:
        snprintf(line, sizeof line, "Listening on UDP port %u.\r\n", port);
        AppendUtf8ToLog(line);
        break;
    case ListenNote::ReceiveFailed:
        snprintf(line, sizeof line,
                 "Receiving on UDP port %u failed (error %d); listening again.\r\n", port,
                 gListenReport.Error());
        AppendUtf8ToLog(line);
        break;
    case ListenNote::None:
        break;
    }
}

void PollReceiver()
{
    if (gReceiver == nullptr) {
        return;
    }
    const uint32_t now = TickCount();
    if (now - gLastPoll < kPollIntervalMs) {
        return;
    }
    gLastPoll = now;
    // The device's own recovery: a connect that did not come through in time
    // is dropped, and an idle transport is asked to connect again.
    gReceiver->Poll();
    TellListenState();
}

void StopReceiver()
{
    if (gReceiver == nullptr) {
        return;
    }
    gReceiver->Disconnect();
    // The transport stops its worker before it announces the disconnection.
    delete gReceiver;
    gReceiver = nullptr;
}
