#include "platform/portal/KWinActiveWindow.h"

#include <algorithm>

#include <QDBusMessage>
#include <QDir>
#include <QFile>

#include "platform/portal/KWinScriptText.h"

namespace tamsel {

namespace {

const QString kwinService = QStringLiteral("org.kde.KWin");
const QString scriptingPath = QStringLiteral("/Scripting");
const QString scriptingInterface = QStringLiteral("org.kde.kwin.Scripting");

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

KWinActiveWindow::KWinActiveWindow(QDBusConnection bus) : bus_(std::move(bus)) {}

KWinActiveWindow::~KWinActiveWindow() {
    unload();
}

QString KWinActiveWindow::scriptText(const QString& service) {
    QString text = QString::fromUtf8(kwinScriptText);
    return text.replace(QStringLiteral("__TAMSEL_SERVICE__"), service);
}

std::optional<std::string> KWinActiveWindow::load(const std::string& folder) {
    if (!bus_.isConnected()) {
        return "there is no session bus to reach KWin";
    }
    if (!registered_) {
        registered_ = bus_.registerObject(QLatin1String(objectPath), this,
                                          QDBusConnection::ExportScriptableSlots);
        if (!registered_) {
            return "could not offer KWin a D-Bus object to call back (" +
                   bus_.lastError().message().toStdString() + ")";
        }
    }
    scriptFile_ =
        QDir(QString::fromStdString(folder)).filePath(QStringLiteral("tamsel-active-window.js"));
    QFile file(scriptFile_);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(scriptText(bus_.baseService()).toUtf8()) < 0 || !file.flush()) {
        return "could not write " + scriptFile_.toStdString();
    }
    file.close();
    auto call = [this](const QString& path, const QString& interface, const QString& method,
                       const QVariantList& arguments) {
        QDBusMessage message = QDBusMessage::createMethodCall(kwinService, path, interface, method);
        message.setArguments(arguments);
        return bus_.call(message, QDBus::Block, 5000);
    };
    // A copy left by a run that crashed would call a bus name that is gone.
    call(scriptingPath, scriptingInterface, QStringLiteral("unloadScript"),
         {QLatin1String(pluginName)});
    const QDBusMessage loaded =
        call(scriptingPath, scriptingInterface, QStringLiteral("loadScript"),
             {scriptFile_, QLatin1String(pluginName)});
    if (loaded.type() != QDBusMessage::ReplyMessage || loaded.arguments().isEmpty()) {
        return "KWin did not load the script that reports the active window (" +
               loaded.errorMessage().toStdString() + ")";
    }
    // KWin answers -1, with no error, only while a script of that name is loaded.
    if (loaded.arguments().first().toInt() < 0) {
        return std::string("KWin did not load the script that reports the active window: it "
                           "still has one named ") +
               pluginName + " that it would not unload";
    }
    loaded_ = true;
    // Runs every loaded script that is not running yet, on Plasma 5 and 6 alike.
    const QDBusMessage started =
        call(scriptingPath, scriptingInterface, QStringLiteral("start"), {});
    if (started.type() != QDBusMessage::ReplyMessage) {
        return "KWin did not start the script that reports the active window (" +
               started.errorMessage().toStdString() + ")";
    }
    return std::nullopt;
}

void KWinActiveWindow::unload() {
    if (loaded_) {
        QDBusMessage message = QDBusMessage::createMethodCall(
            kwinService, scriptingPath, scriptingInterface, QStringLiteral("unloadScript"));
        message << QLatin1String(pluginName);
        bus_.call(message, QDBus::Block, 2000);
        loaded_ = false;
    }
    if (!scriptFile_.isEmpty()) {
        QFile::remove(scriptFile_);
        scriptFile_.clear();
    }
    if (registered_) {
        bus_.unregisterObject(QLatin1String(objectPath));
        registered_ = false;
    }
}

std::optional<std::string> KWinActiveWindow::spelled(
    const std::optional<std::string>& reported) const {
    if (!reported || std::find(knownNames_.begin(), knownNames_.end(), *reported) !=
                         knownNames_.end()) {
        return reported;
    }
    const auto sameButForCase = [&](const std::string& name) {
        return std::equal(name.begin(), name.end(), reported->begin(), reported->end(),
                          [](char a, char b) { return asciiLower(a) == asciiLower(b); });
    };
    auto found = std::find_if(knownNames_.begin(), knownNames_.end(), sameButForCase);
    return found == knownNames_.end() ? reported : std::optional(*found);
}

std::optional<std::string> KWinActiveWindow::application() const {
    std::lock_guard lock(mutex_);
    return spelled(application_);
}

void KWinActiveWindow::setKnownNames(std::vector<std::string> names) {
    std::optional<std::string> before, after;
    {
        std::lock_guard lock(mutex_);
        before = spelled(application_);
        knownNames_ = std::move(names);
        after = spelled(application_);
    }
    if (before != after && onChange) {
        onChange(after);
    }
}

void KWinActiveWindow::activeWindowChanged(const QString& resourceClass, const QString&) {
    std::optional<std::string> application;
    if (!resourceClass.isEmpty()) {
        application = resourceClass.toStdString();
    }
    {
        std::lock_guard lock(mutex_);
        application_ = application;
        application = spelled(application_);
    }
    if (onChange) {
        onChange(application);
    }
}

} // namespace tamsel
