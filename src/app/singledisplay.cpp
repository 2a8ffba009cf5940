#include "singledisplay.h"

#include <QDebug>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QWidget>

namespace {
// What the running display answers once its window is in front.
const char answer[] = "shown\n";
constexpr int connectTimeoutMs = 1000;
} // namespace

SingleDisplay::SingleDisplay(QWidget *window)
    : QObject(window), window(window), server(new QLocalServer(this))
{
    // Only the same user's starts may ask.
    server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server, SIGNAL(newConnection()), this, SLOT(onNewConnection()));
}

QString SingleDisplay::serverName(quint16 port)
{
    // Per user as well: another user's display is not ours to bring forward.
    return QStringLiteral("vontra-meters-%1-%2")
        .arg(qHash(QDir::homePath()), 8, 16, QLatin1Char('0'))
        .arg(port);
}

bool SingleDisplay::bringForward(quint16 port)
{
    QLocalSocket socket;
    socket.connectToServer(serverName(port));
    if (!socket.waitForConnected(connectTimeoutMs))
        return false;
    allowRunningDisplayForward();
    // A display too busy to answer still holds the port: a second one would
    // only sit offline.
    const bool answered = socket.waitForReadyRead(answerTimeoutMs);
    qInfo().noquote() << QStringLiteral("A display runs already for receive port %1%2")
                             .arg(port)
                             .arg(answered ? ": brought to the front" : "; it did not answer");
    return true;
}

void SingleDisplay::serve(quint16 port)
{
    const QString name = serverName(port);
    if (server->isListening()) {
        if (server->serverName() == name)
            return;
        server->close();
    }
    // A name left behind by a display that did not end normally: nobody
    // answered at start, so nobody is there.
    if (!server->listen(name) && server->serverError() == QAbstractSocket::AddressInUseError) {
        QLocalServer::removeServer(name);
        server->listen(name);
    }
    if (!server->isListening())
        qInfo().noquote() << "A second start for receive port" << port
                          << "cannot be told to bring this window forward:"
                          << server->errorString();
}

void SingleDisplay::onNewConnection()
{
    while (QLocalSocket *socket = server->nextPendingConnection()) {
        window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
        window->show();
        window->raise();
        window->activateWindow();
        qInfo("A second start for this receive port: window brought to the front");
        socket->write(answer);
        connect(socket, SIGNAL(disconnected()), socket, SLOT(deleteLater()));
        socket->disconnectFromServer();
    }
}
