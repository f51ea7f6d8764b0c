// The receiver's start-up, with the log window it reports to.
#include "app/receiver.h"

#include "logwindow/windows_system_log.h"
#include "tests/support/failing_socket_calls.h"
#include "tests/support/failing_allocate_client_table.h"
#include "tests/support/failing_create_worker_thread.h"
#include "tests/support/loopback_udp.h"
#include "tests/support/wait_until.h"
#include "tests/support/window_driver.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

namespace {

using testsupport::WaitUntil;

struct StartFailureCase {
    const char* name;
    std::atomic<bool>* failure;  // the seam that makes the start fail
    std::wstring shown;
};

// A receiver that cannot start says why, and the program goes on without it.
TEST(ReceiverTest, FailedStartSaysWhyInTheView)
{
    const StartFailureCase cases[] = {
        {"no memory for the sender table", &gFailTableAllocation,
         L"Syslog\r\nCannot start the receiver: not enough memory for the table of "
         L"senders.\r\n"},
        {"no receiving thread", &gFailThreadCreation,
         L"Syslog\r\nCannot start the receiver: the receiving thread could not be created "
         L"(error 8).\r\n"},
    };
    for (const StartFailureCase& row : cases) {
        SCOPED_TRACE(row.name);
        CWindowsSystemLog* log = CWindowsSystemLog::Instance();
        ASSERT_TRUE(log->StartWindowThread());
        const HWND view = testsupport::FindControl(log->window, IDC_LOG, L"RichEdit50W");
        ASSERT_NE(view, nullptr);

        *row.failure = true;
        StartReceiver();
        *row.failure = false;
        PollReceiver();  // there is nothing left to poll, and nothing to say
        std::wstring text;
        EXPECT_TRUE(WaitUntil([&] {
            text = testsupport::ReadText(view);
            return text == row.shown;
        })) << testing::PrintToString(text);

        StopReceiver();
        CWindowsSystemLog::DestroyInstance();
    }
}

// A socket that fails for good is replaced by a new one: the user reads so
// once, and what arrives afterwards is shown.
TEST(ReceiverTest, FailedSocketIsToldOnceAndReceivingGoesOn)
{
    WSADATA winsock;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &winsock), 0);
    CWindowsSystemLog* log = CWindowsSystemLog::Instance();
    ASSERT_TRUE(log->StartWindowThread());
    const HWND view = testsupport::FindControl(log->window, IDC_LOG, L"RichEdit50W");
    ASSERT_NE(view, nullptr);
    StartReceiver();
    // Asked of the receiver, never by binding its port: a probe that holds
    // the port makes the receiver's own bind fail and wait to try again.
    ASSERT_TRUE(WaitUntil([] { return ReceiverListens(); }));
    // Polled as the main loop does.
    const auto shows = [&](const std::wstring& expected) {
        return WaitUntil([&] {
            PollReceiver();
            return testsupport::ReadText(view) == expected;
        });
    };

    const SOCKET sender = testsupport::BoundUdpSocket(testsupport::kLoopback, 0);
    gReceiveFailure = WSAENETDOWN;
    testsupport::SendToLoopback(sender, 514, "lost\n");
    const std::wstring told =
        L"Syslog\r\nReceiving on UDP port 514 failed (error 10050); listening again.\r\n";
    EXPECT_TRUE(shows(told));
    gReceiveFailure = 0;
    testsupport::SendToLoopback(sender, 514, "later\n");
    EXPECT_TRUE(shows(told + L"later\r\n"));

    closesocket(sender);
    StopReceiver();
    CWindowsSystemLog::DestroyInstance();
    WSACleanup();
}

}  // namespace
