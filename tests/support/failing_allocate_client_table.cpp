// Link-time stand-in for the sender table allocation, able to fail on request.
#include "tests/support/failing_allocate_client_table.h"

#include "transport/udp_server_transport.h"

#include <cstdlib>

std::atomic<bool> gFailTableAllocation{false};

ClientSlot* AllocateClientTable(uint16_t count)
{
    if (gFailTableAllocation.load()) {
        return nullptr;
    }
    return static_cast<ClientSlot*>(calloc(count, sizeof(ClientSlot)));
}
