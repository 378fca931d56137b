#include "tests/shell/FakeStatusNotifierWatcher.h"

namespace tamsel::testing {

void FakeStatusNotifierWatcher::RegisterStatusNotifierItem(const QString& service,
                                                           const QDBusMessage& message) {
    // An item names its object path on its own connection, or a bus name
    // whose item sits at the usual path.
    items_ << (service.startsWith('/') ? message.service() + service
                                       : service + QStringLiteral("/StatusNotifierItem"));
    emit StatusNotifierItemRegistered(service);
}

} // namespace tamsel::testing
