// What every device shares: its transport, timing, settings, a one-shot timer
// and the system channels.
#pragma once

#include "devices/abstract_device.h"
#include "devices/variant.h"

#include <atomic>
#include <cstdint>

class CAbstractTransport;

enum DeviceState : uint8_t {
    DeviceIdle = 0,
    DeviceConnecting = 1,
    DeviceConnected = 2,
};

// Written by the controlling thread and by the transport's worker without a
// lock, so it must be one lock-free byte.
static_assert(std::atomic<DeviceState>::is_always_lock_free, "device state must be lock-free");
static_assert(sizeof(std::atomic<DeviceState>) == 1, "device state is one byte");

// The record a controller hands to Open. Strings are malloc'd; the device owns
// them once opened (for kind 3, only string3). Unset fields must be zero.
struct ConnectionSettings {
    uint32_t kind;  // the low 4 bits are the kind of connection
    char* string1;
    uint16_t port;
    char* string2;
    char* string3;
    uint32_t reserved1;
    uint32_t slotCount;
    uint32_t timeout;  // client idle time-out, ms
    uint32_t reserved2[4];
};

// System channels, read and written as variants.
inline constexpr uint32_t kChannelConnected = 0xFF000000;
inline constexpr uint32_t kChannelState = 0xFF000001;
inline constexpr uint32_t kChannelPeerHost = 0xFF000002;
inline constexpr uint32_t kChannelPeerAddress = 0xFF000003;
inline constexpr uint32_t kChannelPeerPort = 0xFF000004;
inline constexpr uint32_t kChannelLocalAddress = 0xFF000005;
inline constexpr uint32_t kChannelLocalPort = 0xFF000006;
inline constexpr uint32_t kChannelSystemValue = 0xFF000009;  // write only
inline constexpr uint32_t kChannelSystemFlag = 0xFF00000A;   // read only

class CBaseDevice : public CAbstractDevice {
public:
    CBaseDevice();
    ~CBaseDevice() override;

    CBaseDevice(const CBaseDevice&) = delete;
    CBaseDevice& operator=(const CBaseDevice&) = delete;

    virtual bool Open(const ConnectionSettings* newSettings);
    virtual void ReleaseSettings();
    // Slots kept for the interface's layout; nothing calls them.
    virtual void Reserved3();
    virtual void Reserved4();
    virtual bool Reserved5(uint32_t first, uint32_t second, uint32_t third, uint32_t fourth);
    virtual int32_t Reserved6(uint32_t first);
    virtual bool Reserved7(uint32_t first, uint32_t second, uint32_t third);
    virtual bool Reserved8(uint32_t first, uint32_t second);
    // `client` 0 stands for every client of the transport.
    virtual bool Send(uint16_t client, const char* data, uint32_t length);
    virtual int32_t Reserved9(uint32_t first);
    virtual bool SetSystemChannel(uint32_t id, const CVariant& channelValue);
    // Leaves `channelValue` untouched when the result is false.
    virtual bool GetSystemChannel(uint32_t id, CVariant& channelValue);
    virtual void Reserved10(uint32_t first, uint32_t second);
    virtual void SetTimerInterval(uint32_t milliseconds);
    virtual void StartTimer();
    virtual void StopTimer();
    virtual void CheckTimer();
    virtual void OnTimer();

    // Milliseconds since construction, wrapping after about 49.7 days.
    uint32_t Now() const;

    CAbstractTransport* transport;  // the derived device creates and deletes it
    uint32_t connectStart;
    uint32_t connectTimeout;
    uint32_t lastReceive;
    uint32_t receiveTimeout;
    uint32_t creationTick;
    uint16_t deviceId;
    void* ownedBlock1;  // malloc'd, freed by the destructor
    void* ownedBlock2;
    bool timerArmed;
    uint32_t timerInterval;
    uint32_t timerStart;
    bool connected;
    std::atomic<DeviceState> state;
    ConnectionSettings settings;
    uint32_t systemValue;
    bool systemFlag;
};
