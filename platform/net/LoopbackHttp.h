#pragma once

// Plain HTTP requests to a local model server, on the main thread's event
// loop. No proxy (a proxy would carry the history off this computer), no
// redirects followed (a redirect could name another host, and Qt would send
// the body there again), a limit on the reply's size, and a limit on how
// long the server may stay silent.

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QUrl>

#include <functional>
#include <memory>
#include <string>

class QNetworkReply;

namespace tamsel {

struct HttpResult {
    enum class Failure { none, connection, timeout, cancelled, tooLarge, redirected, refusedHost };
    Failure failure = Failure::none;
    int status = 0; // the HTTP status when the server answered
    QByteArray body;
    std::string detail; // what went wrong, for stderr

    bool ok() const { return failure == Failure::none && status >= 200 && status < 300; }
};

// One request under way; aborting it runs its completion with `cancelled`.
class HttpCall {
public:
    void abort();

private:
    friend class LoopbackHttp;
    QPointer<QNetworkReply> reply_;
    bool cancelled_ = false;
    bool tooLarge_ = false;
};

class LoopbackHttp {
public:
    static constexpr qint64 maximumReplyBytes = 64 * 1024;

    LoopbackHttp();

    // Hosts other than this computer are refused unless `allowedHost` names them.
    void setAllowedHost(std::string host) { allowedHost_ = std::move(host); }

    // `timeoutMS` is the longest silence from the server; the completion runs
    // exactly once, later, on the main thread.
    std::shared_ptr<HttpCall> get(const QUrl& url, int timeoutMS,
                                  std::function<void(HttpResult)> completion);
    std::shared_ptr<HttpCall> postJSON(const QUrl& url, const QByteArray& body, int timeoutMS,
                                       std::function<void(HttpResult)> completion);

private:
    std::shared_ptr<HttpCall> send(const QUrl& url, const QByteArray* body, int timeoutMS,
                                   std::function<void(HttpResult)> completion);

    QNetworkAccessManager manager_;
    std::string allowedHost_;
};

} // namespace tamsel
