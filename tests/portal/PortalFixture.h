#pragma once

// A test with its own bus, the real portal frontend and our fake desktop
// behind it; `client` is the connection the code under test uses.

#include <memory>

#include <gtest/gtest.h>

#include "tests/portal/FakeDesktop.h"
#include "tests/portal/PortalBus.h"

namespace tamsel::testing {

class RealPortalTest : public ::testing::Test {
protected:
    void SetUp() override {
        bus = std::make_unique<PortalBus>();
        ASSERT_FALSE(bus->address().isEmpty()) << "no private dbus-daemon";
        desktop = std::make_unique<FakeDesktop>(bus->address());
        ASSERT_TRUE(desktop->owned());
        ASSERT_TRUE(bus->startPortal(QLatin1String(FakeDesktop::busName),
                                     QLatin1String(FakeDesktop::interfaces)))
            << "xdg-desktop-portal did not come up";
        client = bus->connect(QStringLiteral("tamsel-client"));
        ASSERT_TRUE(client.isConnected());
    }
    void TearDown() override {
        client = QDBusConnection(QString());
        QDBusConnection::disconnectFromBus(QStringLiteral("tamsel-client"));
        desktop.reset();
        bus.reset();
    }

    std::unique_ptr<PortalBus> bus;
    std::unique_ptr<FakeDesktop> desktop;
    QDBusConnection client{QString()};
};

} // namespace tamsel::testing
