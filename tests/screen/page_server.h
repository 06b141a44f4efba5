// A results server on the loopback for the screen tests: every request is answered with one
// page whose background has a known colour.
#pragma once

#include <QTcpServer>
#include <QTcpSocket>

class Page_Server {
 public:
  explicit Page_Server(const QByteArray& colour) : colour_(colour) {
    server_.listen(QHostAddress::LocalHost);
    QObject::connect(&server_, &QTcpServer::newConnection, [this] {
      while (QTcpSocket* socket = server_.nextPendingConnection()) {
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
          if (!socket->peek(65536).contains("\r\n\r\n")) return;
          socket->readAll();
          const QByteArray body = "<html><body bgcolor=\"" + colour_ + "\" style=\"background:" + colour_ +
                                  "\"><p>&nbsp;</p></body></html>";
          socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\nContent-Length: " +
                        QByteArray::number(body.size()) + "\r\n\r\n" + body);
          socket->disconnectFromHost();
        });
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
      }
    });
  }
  QByteArray Host() const { return "127.0.0.1:" + QByteArray::number(server_.serverPort()); }

 private:
  QByteArray colour_;
  QTcpServer server_;
};
