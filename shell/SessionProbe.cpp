#include "shell/SessionProbe.h"

#include <cstdlib>
#include <string>

#include <QDBusConnection>
#include <QDBusConnectionInterface>

#include "platform/portal/PortalRequest.h"
#include "platform/wayland/SwayIpc.h"
#include "platform/wayland/WaylandConnection.h"
#include "platform/x11/X11Accessibility.h"

namespace tamsel::SessionProbe {

namespace {

bool isSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

} // namespace

SessionOffer probe() {
    SessionOffer offer;
    if (isSet("WAYLAND_DISPLAY")) {
        std::string error;
        if (auto connection = WaylandConnection::open(error)) {
            offer.waylandSession = true;
            offer.virtualKeyboard = connection->global("zwp_virtual_keyboard_manager_v1").has_value();
            offer.dataControl = connection->global("zwlr_data_control_manager_v1").has_value();
        }
    }
    if (isSet("DISPLAY")) {
        // A display without XTEST still runs the tray: the setup guide says
        // what is missing, as it always has.
        offer.x11Display = X11Accessibility::probe().displayReachable;
    }
    if (offer.waylandSession && isSet("SWAYSOCK")) {
        std::string error;
        offer.swayIpc = SwayIpc::connect(error) != nullptr;
    }
    return offer;
}

void probeDesktopBus(SessionOffer& offer) {
    if (!offer.waylandSession || offer.swayIpc) {
        return;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    // First of all: GNOME binds shortcuts only for a host program whose
    // application id it knows.
    Portal::registerApplication(bus);
    offer.portalShortcuts =
        Portal::version(bus, QStringLiteral("org.freedesktop.portal.GlobalShortcuts")).value_or(0);
    offer.portalRemoteDesktop =
        Portal::version(bus, QStringLiteral("org.freedesktop.portal.RemoteDesktop")).value_or(0);
    offer.portalClipboard =
        Portal::version(bus, QStringLiteral("org.freedesktop.portal.Clipboard")).value_or(0);
    offer.kwinScripting =
        bus.interface()->isServiceRegistered(QStringLiteral("org.kde.KWin")).value();
}

} // namespace tamsel::SessionProbe
