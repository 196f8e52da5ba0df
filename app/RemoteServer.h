// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Corvane developers
// The remote control's server: Hamlib's network protocol (RemoteProtocol) over TCP, on the UI
// thread's event loop. Qt's sockets are non-blocking: a request is read, answered and acted on
// between blocks, like a click, and an idle client costs nothing (no timer, no polling).
#pragma once

#include "RemoteProtocol.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QTcpServer;
class QTcpSocket;

namespace corvane {

class RemoteServer final : public QObject {
public:
    // How the server reads the receiver and makes it act (the window's own controls).
    struct Receiver {
        std::function<RemoteState()> State;
        std::function<void(const RemoteAction&)> Act;
    };

    explicit RemoteServer(Receiver receiver, QObject* parent = nullptr);
    ~RemoteServer() override;
    RemoteServer(const RemoteServer&) = delete;
    RemoteServer& operator=(const RemoteServer&) = delete;

    // Listens at `at` (port 0: one the system chooses); empty when listening, else why not, in
    // words for the operator.
    std::string Listen(const RemoteEndpoint& at);
    std::uint16_t Port() const; // the port listened on, 0 when not listening
    int Clients() const;        // connections being served

    // What has happened, for tests and diagnostics.
    std::uint64_t Requests = 0; // lines answered (empty lines are not requests)
    std::uint64_t Refused = 0;  // connections turned away: all places taken
    std::uint64_t TooLong = 0;  // lines over RemoteMaxLine bytes
    // The most a client's unanswered bytes ever took here (its line so far and what Qt read
    // ahead of it): bounded by RemoteMaxLine and the socket's read buffer, whatever it sends.
    std::size_t PeakHeld = 0;

private:
    struct Client;
    void Accept();
    void Serve(Client& client);
    void ServeLines(Client& client);
    void Forget(QTcpSocket* socket);
    Client* Find(QTcpSocket* socket);

    Receiver Rx;
    QTcpServer* Server;
    std::vector<std::unique_ptr<Client>> Connected;
};

} // namespace corvane
