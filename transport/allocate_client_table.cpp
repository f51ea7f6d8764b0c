// The one place where the sender table is allocated.
#include "transport/udp_server_transport.h"

#include <cstdlib>

ClientSlot* AllocateClientTable(uint16_t count)
{
    // Zero bytes: every slot free.
    return static_cast<ClientSlot*>(calloc(count, sizeof(ClientSlot)));
}
