#pragma once

// A model server on 127.0.0.1 that plays Ollama, llama-server or LM Studio
// from a script of replies, and records every request it was sent. It runs
// on the calling thread's event loop, so tests drive it without threads.

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace tamsel::testing {

struct FakeReply {
    int status = 200;
    QByteArray body;
    int delayMS = 0;
    bool never = false; // keep the connection open and say nothing
    std::map<QByteArray, QByteArray> headers;
};

struct RecordedRequest {
    QByteArray method;
    QByteArray path;
    QByteArray body;
};

class FakeModelServer final : public QObject {
public:
    enum class Flavour { ollama, llamaServer, lmStudio };

    explicit FakeModelServer(Flavour flavour, std::vector<std::string> models = {"small-model"})
        : flavour_(flavour), models_(std::move(models)) {
        server_.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server_, &QTcpServer::newConnection, this, [this] { accept(); });
    }

    int port() const { return server_.serverPort(); }
    std::string baseURL() const { return "http://127.0.0.1:" + std::to_string(port()); }
    const std::vector<RecordedRequest>& requests() const { return requests_; }
    std::vector<RecordedRequest> requestsTo(const QByteArray& path) const {
        std::vector<RecordedRequest> matching;
        for (const auto& request : requests_) {
            if (request.path == path) {
                matching.push_back(request);
            }
        }
        return matching;
    }

    // Replies for one path, used in order; the last one repeats.
    void script(const QByteArray& path, std::vector<FakeReply> replies) {
        scripts_[path] = std::deque<FakeReply>(replies.begin(), replies.end());
    }
    void setLoaded(std::vector<std::string> loaded) { loaded_ = std::move(loaded); }
    void setLoading(bool loading) { loading_ = loading; }

    // A chat answer in this server's own shape.
    QByteArray chatAnswer(const std::string& content, const std::string& finish = "stop",
                          const std::string& reasoning = {}) const {
        QByteArray escaped = escape(content);
        if (flavour_ == Flavour::ollama) {
            return "{\"model\":\"m\",\"message\":{\"role\":\"assistant\",\"content\":\"" + escaped +
                   "\"" +
                   (reasoning.empty() ? QByteArray()
                                      : ",\"thinking\":\"" + escape(reasoning) + "\"") +
                   "},\"done\":true,\"done_reason\":\"" + QByteArray::fromStdString(finish) +
                   "\"}";
        }
        return "{\"id\":\"x\",\"object\":\"chat.completion\",\"choices\":[{\"index\":0,"
               "\"message\":{\"role\":\"assistant\",\"content\":\"" +
               escaped + "\"" +
               (reasoning.empty() ? QByteArray()
                                  : ",\"reasoning_content\":\"" + escape(reasoning) + "\"") +
               "},\"finish_reason\":\"" + QByteArray::fromStdString(finish) + "\"}]}";
    }
    QByteArray errorBody(const std::string& message) const {
        if (flavour_ == Flavour::ollama) {
            return "{\"error\":\"" + escape(message) + "\"}";
        }
        return "{\"error\":{\"code\":500,\"message\":\"" + escape(message) +
               "\",\"type\":\"server_error\"}}";
    }
    QByteArray chatPath() const {
        return flavour_ == Flavour::ollama ? "/api/chat" : "/v1/chat/completions";
    }

    static QByteArray escape(const std::string& text) {
        QByteArray out;
        for (char c : text) {
            switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\x1b':
                out += "\\u001b";
                break;
            default:
                out += c;
            }
        }
        return out;
    }

private:
    FakeReply defaultReply(const QByteArray& path) const {
        auto json = [](QByteArray body) { return FakeReply{200, std::move(body), 0, false, {}}; };
        auto list = [this](const char* open, const char* close) {
            QByteArray items;
            for (const auto& model : models_) {
                items += (items.isEmpty() ? "" : ",") + QByteArray(open) +
                         QByteArray::fromStdString(model) + close;
            }
            return items;
        };
        if (flavour_ == Flavour::ollama) {
            if (path == "/api/version") {
                return json("{\"version\":\"0.9.0\"}");
            }
            if (path == "/api/tags") {
                return json("{\"models\":[" +
                            list("{\"name\":\"", "\",\"details\":{\"family\":\"llama\"}}") + "]}");
            }
            if (path == "/api/ps") {
                QByteArray items;
                for (const auto& model : loaded_) {
                    items += (items.isEmpty() ? "" : ",") + QByteArray("{\"name\":\"") +
                             QByteArray::fromStdString(model) + "\"}";
                }
                return json("{\"models\":[" + items + "]}");
            }
            return FakeReply{404, "404 page not found", 0, false, {}};
        }
        if (loading_) {
            return FakeReply{503,
                             "{\"error\":{\"code\":503,\"message\":\"Loading model\","
                             "\"type\":\"unavailable_error\"}}",
                             0,
                             false,
                             {}};
        }
        if (path == "/v1/models") {
            return json("{\"object\":\"list\",\"data\":[" +
                        list("{\"id\":\"", "\",\"object\":\"model\"}") + "]}");
        }
        if (path == "/health") {
            return json("{\"status\":\"ok\"}");
        }
        return FakeReply{404, errorBody("File Not Found"), 0, false, {}};
    }

    void accept() {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            auto buffer = std::make_shared<QByteArray>();
            QObject::connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
                *buffer += socket->readAll();
                const qsizetype headerEnd = buffer->indexOf("\r\n\r\n");
                if (headerEnd < 0) {
                    return;
                }
                const QByteArray head = buffer->left(headerEnd);
                qsizetype length = 0;
                for (const QByteArray& line : head.split('\n')) {
                    if (line.toLower().startsWith("content-length:")) {
                        length = line.mid(15).trimmed().toLongLong();
                    }
                }
                if (buffer->size() < headerEnd + 4 + length) {
                    return;
                }
                const QList<QByteArray> requestLine = head.left(head.indexOf("\r\n")).split(' ');
                RecordedRequest request{requestLine.value(0), requestLine.value(1),
                                        buffer->mid(headerEnd + 4, length)};
                buffer->clear();
                requests_.push_back(request);
                answer(socket, request);
            });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    }

    void answer(QTcpSocket* socket, const RecordedRequest& request) {
        FakeReply reply = defaultReply(request.path);
        if (auto found = scripts_.find(request.path); found != scripts_.end() && !found->second.empty()) {
            reply = found->second.front();
            if (found->second.size() > 1) {
                found->second.pop_front();
            }
        }
        if (reply.never) {
            return;
        }
        QPointer<QTcpSocket> guarded = socket;
        auto send = [guarded, reply] {
            if (!guarded) {
                return;
            }
            QByteArray out = "HTTP/1.1 " + QByteArray::number(reply.status) + " X\r\n";
            out += "Content-Type: application/json\r\nContent-Length: " +
                   QByteArray::number(reply.body.size()) + "\r\nConnection: close\r\n";
            for (const auto& [name, value] : reply.headers) {
                out += name + ": " + value + "\r\n";
            }
            out += "\r\n" + reply.body;
            guarded->write(out);
            guarded->disconnectFromHost();
        };
        if (reply.delayMS > 0) {
            QTimer::singleShot(reply.delayMS, this, send);
        } else {
            send();
        }
    }

    Flavour flavour_;
    std::vector<std::string> models_;
    std::vector<std::string> loaded_;
    bool loading_ = false;
    QTcpServer server_;
    std::map<QByteArray, std::deque<FakeReply>> scripts_;
    std::vector<RecordedRequest> requests_;
};

} // namespace tamsel::testing
