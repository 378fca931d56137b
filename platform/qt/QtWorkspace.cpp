#include "platform/qt/QtWorkspace.h"

#include <QDesktopServices>
#include <QStringList>
#include <QSysInfo>
#include <QUrl>

#include "core/config/Language.h"

namespace tamsel {

void QtWorkspace::openURL(const std::string& url) {
    QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}

std::vector<std::string> QtWorkspace::preferredLanguages() {
    return systemPreferredLanguages();
}

OperatingSystemVersion QtWorkspace::operatingSystemVersion() {
    // The distribution's version ("12", "24.04"); the kernel's says little to a reader.
    const QStringList parts = QSysInfo::productVersion().split('.');
    OperatingSystemVersion version;
    int* fields[] = {&version.major, &version.minor, &version.patch};
    for (int i = 0; i < 3 && i < parts.size(); ++i) {
        *fields[i] = parts[i].toInt();
    }
    return version;
}

} // namespace tamsel
