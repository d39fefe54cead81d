// launch_channel.cpp - later launches hand their files to the running instance over a local socket.
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "launch_message.hpp"
#include "vantorelle/toolbox/qt_desktop.hpp"
#include "vantorelle/toolbox/qt_toolbox.hpp"

namespace vantorelle::toolbox {
namespace {

constexpr int kConnectTimeoutMs = 1000;

// Whether the process at the other end of a connected socket runs as this user.
bool PeerIsThisUser(qintptr descriptor) {
  if (descriptor < 0) return false;
  struct ucred peer {};
  socklen_t size = sizeof peer;
  if (::getsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0) return false;
  return peer.uid == ::getuid();
}

QString SocketName() { return QFile::decodeName(QByteArray::fromStdString(LaunchSocketPath())); }

// Whether an instance answers on `name` (a socket file left by a crash does not).
bool SomeoneListens(const QString& name) {
  QLocalSocket probe;
  probe.connectToServer(name);
  return probe.waitForConnected(kConnectTimeoutMs);
}

// One later launch talking to the server: reads its message, confirms, delivers.
void Serve(QtToolbox& toolbox, QLocalSocket* socket) {
  QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
  if (!PeerIsThisUser(socket->socketDescriptor())) {
    socket->abort();
    return;
  }
  auto buffer = std::make_shared<QByteArray>();
  QObject::connect(socket, &QLocalSocket::readyRead, socket, [&toolbox, socket, buffer] {
    *buffer += socket->readAll();
    std::vector<std::string> paths;
    const LaunchMessageState state =
        buffer->size() > kMaxLaunchMessage ? LaunchMessageState::kInvalid : DecodeLaunchMessage(*buffer, paths);
    if (state == LaunchMessageState::kIncomplete) return;
    if (state == LaunchMessageState::kInvalid) {
      socket->abort();
      return;
    }
    buffer->clear();
    socket->write(kLaunchReply);
    socket->flush();
    socket->disconnectFromServer();
    if (paths.empty()) {
      toolbox.RaiseMainWindow();
      return;
    }
    AppleEvent open{kCoreEventClass, kAEOpenDocuments, {}};
    for (std::string& path : paths) open.direct_object.push_back({std::move(path)});
    toolbox.DeliverAppleEvent(std::move(open));
  });
}

}  // namespace

std::string LaunchSocketPath() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && runtime[0] == '/' && QFileInfo(QFile::decodeName(runtime)).isDir())
    return std::string(runtime) + "/vantorelle.socket";
  return QFile::encodeName(QDir::tempPath()).toStdString() + "/vantorelle-" + std::to_string(::getuid()) +
         ".socket";
}

Handover HandOverToRunningInstance(const std::vector<std::string>& paths, int timeout_ms) {
  QLocalSocket socket;
  socket.connectToServer(SocketName());
  if (!socket.waitForConnected(kConnectTimeoutMs)) return Handover::kNoInstance;
  // A socket of that name held by another user is not an instance of ours.
  if (!PeerIsThisUser(socket.socketDescriptor())) return Handover::kNoInstance;

  socket.write(EncodeLaunchMessage(paths));
  QDeadlineTimer deadline(timeout_ms);
  QByteArray reply;
  while (!reply.contains('\n') && !deadline.hasExpired()) {
    if (socket.bytesToWrite() > 0) socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()));
    if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) break;
    reply += socket.readAll();
  }
  return reply == kLaunchReply ? Handover::kTaken : Handover::kNoAnswer;
}

LaunchServer::LaunchServer(QtToolbox& toolbox) : server_(std::make_unique<QLocalServer>()) {
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  const QString name = SocketName();
  // Listening would replace the socket of a running instance: ask first. A
  // socket file that nobody answers on was left by a crash.
  if (!SomeoneListens(name)) {
    QLocalServer::removeServer(name);
    server_->listen(name);
  }
  QLocalServer* server = server_.get();
  QObject::connect(server, &QLocalServer::newConnection, server, [&toolbox, server] {
    while (QLocalSocket* socket = server->nextPendingConnection()) Serve(toolbox, socket);
  });
}

LaunchServer::~LaunchServer() = default;

bool LaunchServer::listening() const { return server_->isListening(); }

}  // namespace vantorelle::toolbox
