#include "devices/abstract_device.h"

#include <gtest/gtest.h>

namespace {

class MinimalDevice : public CAbstractDevice {
public:
    void OnReceive(uint32_t, const char*, int32_t) override {}
};

TEST(AbstractDeviceTest, DefaultsAcceptEveryQueryAndRefuseControl)
{
    MinimalDevice device;
    CAbstractDevice& base = device;
    const ClientRef client{7};
    EXPECT_TRUE(base.CanConnect(0, nullptr));
    EXPECT_TRUE(base.CanConnect(0, &client));
    EXPECT_TRUE(base.CanDisconnect(0, nullptr));
    EXPECT_TRUE(base.CanDisconnect(0, &client));
    EXPECT_TRUE(base.CanReceive(0, &client));
    EXPECT_FALSE(base.Connect());
    EXPECT_FALSE(base.Poll());
    EXPECT_EQ(base.Reserved1(), 0);
}

}  // namespace
