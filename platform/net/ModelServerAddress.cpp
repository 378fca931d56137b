#include "platform/net/ModelServerAddress.h"

#include <QHostAddress>
#include <QString>
#include <QUrl>

namespace tamsel {

std::string ModelServerAddress::hostAndPort() const {
    const bool ipv6 = host.find(':') != std::string::npos;
    return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::string ModelServerAddress::baseURL() const { return scheme + "://" + hostAndPort(); }

bool ModelServerAddress::isLoopback() const { return ModelServerAddresses::isLoopbackHost(host); }

namespace ModelServerAddresses {

bool isLoopbackHost(const std::string& host) {
    const QString name = QString::fromStdString(host).toLower();
    // The name alone: resolving it would let /etc/hosts send the history away.
    if (name == QLatin1String("localhost") || name.endsWith(QLatin1String(".localhost"))) {
        return true;
    }
    QHostAddress address;
    return address.setAddress(name) && address.isLoopback();
}

Parsed parseURL(const std::string& text) {
    const QString trimmed = QString::fromStdString(text).trimmed();
    if (trimmed.isEmpty()) {
        return {std::nullopt, "The address is empty."};
    }
    const QUrl url(trimmed, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty()) {
        return {std::nullopt, "“" + trimmed.toStdString() +
                                  "” is not an address such as http://127.0.0.1:11434."};
    }
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https")) {
        return {std::nullopt, "Only http and https addresses can be used, not “" +
                                  scheme.toStdString() + "”."};
    }
    if (!url.userInfo().isEmpty() || url.hasQuery() || url.hasFragment() ||
        (!url.path().isEmpty() && url.path() != QLatin1String("/"))) {
        return {std::nullopt,
                "Give only the server's address, such as http://127.0.0.1:11434, without a path."};
    }
    ModelServerAddress address;
    address.scheme = scheme.toStdString();
    address.host = url.host().toLower().toStdString();
    address.port = url.port(scheme == QLatin1String("https") ? 443 : 80);
    return {address, {}};
}

std::optional<ModelServerAddress> parseOllamaHost(const std::string& text) {
    QString value = QString::fromStdString(text).trimmed();
    if (value.isEmpty()) {
        return std::nullopt;
    }
    if (!value.contains(QLatin1String("://"))) {
        value = QStringLiteral("http://") + value;
    }
    const QUrl url(value, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        return std::nullopt;
    }
    ModelServerAddress address;
    address.scheme = scheme.toStdString();
    address.host = url.host().toLower().toStdString();
    address.port = url.port(11434);
    QHostAddress listening;
    if (listening.setAddress(url.host()) &&
        (listening == QHostAddress::AnyIPv4 || listening == QHostAddress::AnyIPv6)) {
        address.host = "127.0.0.1";
    }
    return address;
}

const std::vector<DefaultPort>& defaultPorts() {
    static const std::vector<DefaultPort> ports{
        {11434, ModelServerFlavour::ollama},
        {8080, ModelServerFlavour::openAICompatible}, // llama-server, llamafile
        {9931, ModelServerFlavour::openAICompatible}, // llama-server's newer default
        {1234, ModelServerFlavour::openAICompatible}, // LM Studio
        {8000, ModelServerFlavour::openAICompatible}, // vLLM
    };
    return ports;
}

} // namespace ModelServerAddresses

} // namespace tamsel
