#pragma once

#include <QObject>
#include <QString>

class QLocalServer;
class QWidget;

// One display per receive port. The display that opens its link on a port
// serves a local socket named after that port; a second start for the same
// port finds it there and asks it to bring its window to the front, instead
// of sitting offline beside it with the port taken.
class SingleDisplay : public QObject
{
    Q_OBJECT

public:
    // How long a second start waits for the running display to answer.
    static constexpr int answerTimeoutMs = 2000;

    // The window to bring to the front; also the parent.
    explicit SingleDisplay(QWidget *window);

    // Asks the display serving port to bring its window to the front; true
    // when one is there.
    static bool bringForward(quint16 port);

    // Serves the requests for port from now on, in place of an earlier one.
    void serve(quint16 port);

private slots:
    void onNewConnection();

private:
    static QString serverName(quint16 port);

    QWidget *window;
    QLocalServer *server;
};

// Lets the process of the running display take the foreground when it is
// asked to. Where the system does not restrict that, nothing to do.
void allowRunningDisplayForward();
