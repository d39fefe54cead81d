// launch_channel.cpp - later launches hand their files to the running instance over a local socket.
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <thread>

#include "launch_message.hpp"
#include "vantorelle/toolbox/qt_desktop.hpp"
#include "vantorelle/toolbox/qt_toolbox.hpp"

namespace vantorelle::toolbox {
namespace {

constexpr int kConnectTimeoutMs = 1000;
// How long a launch waits for another to decide whether it is the instance.
constexpr int kLockPatienceMs = 15000;
constexpr auto kLockRetry = std::chrono::milliseconds(10);
// The same files handed over again within this time are one launch made
// twice (a double click, two launchers at once): they make one run.
constexpr std::int64_t kSameLaunchWindowMs = 5000;

// The display this launch shows on, as a file-name part: Wayland's socket
// when the application runs there, else the X display; empty for none.
std::string DisplayName() {
  const bool wayland = qGuiApp && QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
  const char* display = std::getenv(wayland ? "WAYLAND_DISPLAY" : "DISPLAY");
  if (!display || !*display) return {};
  std::string name(display);
  std::replace(name.begin(), name.end(), '/', '_');
  return name;
}

// FNV-1a over the paths in byte order, each ended by a NUL: the same set
// of files gives the same value whatever the order given.
std::uint64_t FileSetHash(std::vector<std::string> paths) {
  std::sort(paths.begin(), paths.end());
  std::uint64_t hash = 14695981039346656037ull;
  for (const std::string& path : paths) {
    for (const char c : path + '\0') hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  }
  return hash;
}

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

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
  const std::string display = DisplayName();
  const std::string on_display = display.empty() ? std::string() : "-" + display;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && runtime[0] == '/' && QFileInfo(QFile::decodeName(runtime)).isDir())
    return std::string(runtime) + "/vantorelle" + on_display + ".socket";
  return QFile::encodeName(QDir::tempPath()).toStdString() + "/vantorelle-" + std::to_string(::getuid()) +
         on_display + ".socket";
}

LaunchLock::LaunchLock() {
  const std::string path = LaunchSocketPath() + ".lock";
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
}

LaunchLock::~LaunchLock() {
  if (fd_ >= 0) ::close(fd_);
}

bool LaunchLock::Acquire() {
  if (fd_ < 0) return false;
  // Not a blocking wait: the instance may need its event loop to answer the
  // launch that holds the lock.
  const QDeadlineTimer deadline(kLockPatienceMs);
  while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    if ((errno != EWOULDBLOCK && errno != EINTR) || deadline.hasExpired()) return false;
    if (QCoreApplication::instance()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::this_thread::sleep_for(kLockRetry);
  }
  held_ = true;
  return true;
}

void LaunchLock::Release() {
  if (held_) ::flock(fd_, LOCK_UN);
  held_ = false;
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

bool LaunchedLately(const std::vector<std::string>& paths) {
  if (paths.empty()) return false;
  QFile file(QFile::decodeName(QByteArray::fromStdString(LaunchSocketPath() + ".recent")));
  if (!file.open(QIODevice::ReadWrite)) return false;
  file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
  const std::uint64_t mine = FileSetHash(paths);
  const std::int64_t now = NowMs();
  QByteArray kept;
  bool seen = false;
  for (const QByteArray& line : file.readAll().split('\n')) {
    const QList<QByteArray> fields = line.split(' ');
    if (fields.size() != 2) continue;
    const std::int64_t when = fields[0].toLongLong();
    if (now - when > kSameLaunchWindowMs || when > now) continue;
    seen = seen || fields[1].toULongLong(nullptr, 16) == mine;
    kept += line + '\n';
  }
  kept += QByteArray::number(static_cast<qlonglong>(now)) + ' ' + QByteArray::number(static_cast<qulonglong>(mine), 16) + '\n';
  file.resize(0);
  file.seek(0);
  file.write(kept);
  return seen;
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
