// What every device shares: its transport, timing, settings, a one-shot timer
// and the system channels.
#include "devices/base_device.h"

#include "runtime/tick_count.h"
#include "transport/abstract_transport.h"

#include <cstdio>
#include <cstdlib>

// A kind whose first two strings belong to the controller, not the device.
static constexpr uint32_t kSettingsKindMask = 0xF;
static constexpr uint32_t kSettingsKindBorrowed = 3;

// "255.255.255.255" and its terminating zero.
static constexpr size_t kDottedTextSize = 16;

static void FreeAndForget(char** text)
{
    if (*text != nullptr) {
        std::free(*text);
        *text = nullptr;
    }
}

// The address is held in socket byte order, so its lowest byte is the first octet.
static void FormatDotted(uint32_t address, char (&text)[kDottedTextSize])
{
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", address & 0xFFu, (address >> 8) & 0xFFu,
                  (address >> 16) & 0xFFu, address >> 24);
}

CBaseDevice::CBaseDevice()
    : transport(nullptr), connectStart(0), connectTimeout(3000), lastReceive(0),
      receiveTimeout(5000), creationTick(TickCount()), deviceId(0), ownedBlock1(nullptr),
      ownedBlock2(nullptr), timerArmed(false), timerInterval(0), timerStart(0), connected(false),
      state(DeviceIdle), settings{}, systemValue(0), systemFlag(false)
{
}

// The transport is the derived device's to delete, not ours.
CBaseDevice::~CBaseDevice()
{
    std::free(ownedBlock1);
    ownedBlock1 = nullptr;
    std::free(ownedBlock2);
    ownedBlock2 = nullptr;
    CBaseDevice::ReleaseSettings();
}

bool CBaseDevice::Open(const ConnectionSettings* newSettings)
{
    if (newSettings == nullptr) {
        return false;
    }
    ReleaseSettings();
    settings = *newSettings;  // the strings are ours from here on
    return true;
}

void CBaseDevice::ReleaseSettings()
{
    if ((settings.kind & kSettingsKindMask) == kSettingsKindBorrowed) {
        FreeAndForget(&settings.string3);
        return;
    }
    FreeAndForget(&settings.string1);
    FreeAndForget(&settings.string2);
    FreeAndForget(&settings.string3);
}

void CBaseDevice::Reserved3() {}
void CBaseDevice::Reserved4() {}
bool CBaseDevice::Reserved5(uint32_t, uint32_t, uint32_t, uint32_t) { return false; }
int32_t CBaseDevice::Reserved6(uint32_t) { return 0; }
bool CBaseDevice::Reserved7(uint32_t, uint32_t, uint32_t) { return false; }
bool CBaseDevice::Reserved8(uint32_t, uint32_t) { return false; }
bool CBaseDevice::Send(uint16_t, const char*, uint32_t) { return false; }
int32_t CBaseDevice::Reserved9(uint32_t) { return 0; }
void CBaseDevice::Reserved10(uint32_t, uint32_t) {}

bool CBaseDevice::SetSystemChannel(uint32_t id, const CVariant& channelValue)
{
    if (id != kChannelSystemValue) {
        return false;
    }
    systemValue = channelValue.GetU32();
    return true;
}

bool CBaseDevice::GetSystemChannel(uint32_t id, CVariant& channelValue)
{
    switch (id) {
    case kChannelConnected:
        channelValue.SetBool(connected);
        return true;
    case kChannelState:
        channelValue.SetU8(state.load());
        return true;
    case kChannelSystemFlag:
        channelValue.SetBool(systemFlag);
        return true;
    case kChannelPeerHost:
    case kChannelPeerAddress:
    case kChannelPeerPort:
    case kChannelLocalAddress:
    case kChannelLocalPort:
        break;
    default:
        return false;
    }

    // The rest ask the transport, which a device need not have.
    if (transport == nullptr) {
        return false;
    }
    char dotted[kDottedTextSize];
    switch (id) {
    case kChannelPeerHost:
        channelValue.SetString(transport->GetPeerHost());
        break;
    case kChannelPeerAddress:
        FormatDotted(transport->GetPeerAddress(), dotted);
        channelValue.SetString(dotted);
        break;
    case kChannelPeerPort:
        channelValue.SetU16(transport->GetPeerPort());
        break;
    case kChannelLocalAddress:
        FormatDotted(transport->GetLocalAddress(), dotted);
        channelValue.SetString(dotted);
        break;
    default:
        channelValue.SetU16(transport->GetLocalPort());
        break;
    }
    return true;
}

void CBaseDevice::SetTimerInterval(uint32_t milliseconds)
{
    timerInterval = milliseconds;
}

void CBaseDevice::StartTimer()
{
    timerArmed = true;
    timerStart = Now();
}

void CBaseDevice::StopTimer()
{
    timerArmed = false;
}

// Elapsed time against the interval, in unsigned arithmetic, so the timer
// still works once the device is more than 49.7 days old. An elapsed time
// equal to the interval is not enough.
void CBaseDevice::CheckTimer()
{
    if (!timerArmed) {
        return;
    }
    if (Now() - timerStart > timerInterval) {
        timerArmed = false;
        OnTimer();
    }
}

void CBaseDevice::OnTimer() {}

uint32_t CBaseDevice::Now() const
{
    return TickCount() - creationTick;
}
