#include "platform/net/LoopbackHttp.h"

#include <QMetaObject>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include "platform/net/ModelServerAddress.h"

namespace tamsel {

void HttpCall::abort() {
    cancelled_ = true;
    if (reply_) {
        reply_->abort();
    }
}

LoopbackHttp::LoopbackHttp() {
    manager_.setProxy(QNetworkProxy::NoProxy);
    manager_.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    manager_.setStrictTransportSecurityEnabled(false);
}

std::shared_ptr<HttpCall> LoopbackHttp::get(const QUrl& url, int timeoutMS,
                                            std::function<void(HttpResult)> completion) {
    return send(url, nullptr, timeoutMS, std::move(completion));
}

std::shared_ptr<HttpCall> LoopbackHttp::postJSON(const QUrl& url, const QByteArray& body,
                                                 int timeoutMS,
                                                 std::function<void(HttpResult)> completion) {
    return send(url, &body, timeoutMS, std::move(completion));
}

std::shared_ptr<HttpCall> LoopbackHttp::send(const QUrl& url, const QByteArray* body,
                                             int timeoutMS,
                                             std::function<void(HttpResult)> completion) {
    auto call = std::make_shared<HttpCall>();
    const std::string host = url.host().toLower().toStdString();
    if (!ModelServerAddresses::isLoopbackHost(host) && host != allowedHost_) {
        HttpResult refused;
        refused.failure = HttpResult::Failure::refusedHost;
        refused.detail = "not sent: " + host + " is not this computer and was not confirmed";
        // Completions always run later, never inside the call.
        QTimer::singleShot(0, [completion = std::move(completion), refused] { completion(refused); });
        return call;
    }

    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setTransferTimeout(timeoutMS);
    request.setRawHeader("Accept", "application/json");
    QNetworkReply* reply = nullptr;
    if (body) {
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/json"));
        reply = manager_.post(request, *body);
    } else {
        reply = manager_.get(request);
    }
    call->reply_ = reply;

    QObject::connect(reply, &QNetworkReply::readyRead, reply, [reply, call] {
        if (reply->bytesAvailable() > maximumReplyBytes) {
            call->tooLarge_ = true;
            reply->abort();
        }
    });
    QObject::connect(
        reply, &QNetworkReply::finished, reply,
        [reply, call, completion = std::move(completion)] {
            reply->deleteLater();
            HttpResult result;
            result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            const QNetworkReply::NetworkError error = reply->error();
            if (call->cancelled_) {
                result.failure = HttpResult::Failure::cancelled;
                result.detail = "cancelled";
                // Qt finishes an aborted reply inside abort(): the caller
                // hears of it later, never inside its own call.
                QTimer::singleShot(0, [completion, result] { completion(result); });
                return;
            }
            if (call->tooLarge_ || reply->bytesAvailable() > maximumReplyBytes) {
                result.failure = HttpResult::Failure::tooLarge;
                result.detail = "the reply is larger than " +
                                std::to_string(maximumReplyBytes / 1024) + " KiB";
            } else if (result.status >= 300 && result.status < 400) {
                result.failure = HttpResult::Failure::redirected;
                result.detail = "the server redirected to “" +
                                reply->header(QNetworkRequest::LocationHeader)
                                    .toUrl()
                                    .toString()
                                    .toStdString() +
                                "”, which is not followed";
            } else if (error == QNetworkReply::OperationCanceledError ||
                       error == QNetworkReply::TimeoutError) {
                // Ours was not cancelled, so only the silence limit can have ended it.
                result.failure = HttpResult::Failure::timeout;
                result.detail = "the server stayed silent too long";
            } else if (result.status == 0) {
                result.failure = HttpResult::Failure::connection;
                result.detail = reply->errorString().toStdString();
            } else {
                result.body = reply->read(maximumReplyBytes + 1);
            }
            completion(std::move(result));
        });
    return call;
}

} // namespace tamsel
