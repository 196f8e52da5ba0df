// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
#include "RemoteServer.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <algorithm>
#include <array>

namespace corvane {

namespace {

// Replies waiting for a client that does not read: past this, its requests wait too (in the
// socket and the system's buffers), so a client can never make the receiver hold more.
constexpr qint64 MaxUnsent = 64 * 1024;
// What Qt may hold of a client's unread requests.
constexpr qint64 ReadBuffer = 4096;

} // namespace

struct RemoteServer::Client {
    QTcpSocket* Socket = nullptr;
    std::string Line;        // the request being received, at most RemoteMaxLine bytes
    bool Discarding = false; // the line was too long: dropped up to its newline
    bool Closing = false;    // q: answered, closing
    bool Serving = false;    // inside Serve (a flush may signal bytesWritten from within it)
    RemoteSession Session;
};

RemoteServer::RemoteServer(Receiver receiver, QObject* parent)
    : QObject(parent), Rx(std::move(receiver)), Server(new QTcpServer(this)) {
    QObject::connect(Server, &QTcpServer::newConnection, this, [this] { Accept(); });
}

RemoteServer::~RemoteServer() {
    for (const auto& client : Connected) {
        client->Socket->disconnect(this);
        client->Socket->abort();
    }
}

std::string RemoteServer::Listen(const RemoteEndpoint& at) {
    const QHostAddress address(QString::fromStdString(at.Address));
    if (address.isNull()) {
        return std::string("The remote control cannot listen on ") + at.Text() +
               ": not an address.";
    }
    Server->setMaxPendingConnections(RemoteMaxClients + 2);
    if (!Server->listen(address, at.Port)) {
        std::string why = Server->errorString().toStdString();
        if (Server->serverError() == QAbstractSocket::AddressInUseError) {
            why = "the port is in use (another rigctld, or Corvane already running?)";
        }
        return std::string("The remote control cannot listen on ") + at.Text() + ": " + why +
               ". Choose another port with --remote.";
    }
    return {};
}

std::uint16_t RemoteServer::Port() const {
    return Server->isListening() ? Server->serverPort() : 0;
}

int RemoteServer::Clients() const {
    return static_cast<int>(std::count_if(Connected.begin(), Connected.end(), [](const auto& c) {
        return !c->Closing && c->Socket->state() == QAbstractSocket::ConnectedState;
    }));
}

RemoteServer::Client* RemoteServer::Find(QTcpSocket* socket) {
    for (const auto& client : Connected) {
        if (client->Socket == socket) {
            return client.get();
        }
    }
    return nullptr;
}

void RemoteServer::Accept() {
    while (QTcpSocket* socket = Server->nextPendingConnection()) {
        // Gone: removed (and deleted) on the next pass of the event loop, never from inside a
        // signal of its own.
        QObject::connect(
            socket, &QAbstractSocket::disconnected, this,
            [this, gone = QPointer<QTcpSocket>(socket)] {
                if (gone != nullptr) {
                    Forget(gone);
                }
            },
            Qt::QueuedConnection);
        if (Clients() >= RemoteMaxClients) {
            ++Refused;
            const QByteArray line = QByteArrayLiteral("RPRT -11 Corvane serves at most ") +
                                    QByteArray::number(RemoteMaxClients) +
                                    QByteArrayLiteral(" remote clients at once: closing\n");
            socket->write(line);
            socket->disconnectFromHost(); // once the line is out; then forgotten like any other
            continue;
        }
        socket->setReadBufferSize(ReadBuffer);
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1); // no Nagle: answer now
        auto client = std::make_unique<Client>();
        client->Socket = socket;
        Connected.push_back(std::move(client));
        QObject::connect(socket, &QIODevice::readyRead, this, [this, socket] {
            if (Client* c = Find(socket)) {
                Serve(*c);
            }
        });
        // Replies went out: requests held back for a client that did not read go on.
        QObject::connect(socket, &QIODevice::bytesWritten, this, [this, socket] {
            if (Client* c = Find(socket); c != nullptr && socket->bytesAvailable() > 0) {
                Serve(*c);
            }
        });
    }
}

void RemoteServer::Forget(QTcpSocket* socket) {
    const auto it = std::find_if(Connected.begin(), Connected.end(),
                                 [socket](const auto& c) { return c->Socket == socket; });
    if (it != Connected.end()) {
        Connected.erase(it);
    }
    socket->deleteLater();
}

void RemoteServer::Serve(Client& client) {
    if (client.Serving) {
        return; // the running pass reads on until nothing is left
    }
    client.Serving = true;
    ServeLines(client);
    client.Serving = false;
}

void RemoteServer::ServeLines(Client& client) {
    QTcpSocket& socket = *client.Socket;
    std::array<char, 512> chunk{};
    while (!client.Closing && socket.state() == QAbstractSocket::ConnectedState &&
           socket.bytesToWrite() < MaxUnsent) {
        PeakHeld = std::max(PeakHeld,
                            client.Line.size() + static_cast<std::size_t>(socket.bytesAvailable()));
        const qint64 n = socket.read(chunk.data(), static_cast<qint64>(chunk.size()));
        if (n <= 0) {
            return;
        }
        for (qint64 i = 0; i < n && !client.Closing; ++i) {
            const char c = chunk[static_cast<std::size_t>(i)];
            if (c != '\n') {
                if (client.Discarding) {
                    continue;
                }
                if (client.Line.size() >= RemoteMaxLine) {
                    // Too long to be a request: answered once, dropped up to its newline.
                    ++TooLong;
                    client.Line.clear();
                    client.Discarding = true;
                    socket.write("RPRT -1\n");
                    socket.flush();
                    continue;
                }
                client.Line.push_back(c);
                continue;
            }
            if (client.Discarding) {
                client.Discarding = false;
                continue;
            }
            const RemoteAnswer answer =
                AnswerRemoteRequest(client.Line, Rx.State(), client.Session);
            client.Line.clear();
            if (answer.Reply.empty()) {
                continue; // an empty line
            }
            ++Requests;
            // The receiver acts first, as for a click; then the whole reply in one write.
            if (answer.Action.What != RemoteAction::Kind::None) {
                Rx.Act(answer.Action);
            }
            socket.write(answer.Reply.data(), static_cast<qint64>(answer.Reply.size()));
            socket.flush();
            if (answer.Close) {
                client.Closing = true;
                socket.disconnectFromHost();
            }
        }
    }
}

} // namespace corvane
