// desktop_services.cpp - the file manager, the focus, desktop notifications and the launcher entry's progress.
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QUrl>
#include <QVariantMap>

#include "qt_toolbox_impl.hpp"

namespace vantorelle::toolbox {
namespace {

constexpr char kNotifications[] = "org.freedesktop.Notifications";
constexpr char kNotificationsPath[] = "/org/freedesktop/Notifications";
constexpr char kLauncherEntry[] = "com.canonical.Unity.LauncherEntry";
constexpr char kLauncherPath[] = "/org/vantorelle/Vantorelle";
constexpr char kDesktopEntryUri[] = "application://org.vantorelle.Vantorelle.desktop";
constexpr char kIconName[] = "org.vantorelle.Vantorelle";
constexpr int kServerTimeout = -1;  // the server's own choice

QString FromBytes(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

OSErr QtToolbox::OpenFolder(const std::string& folder) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(folder))) ? noErr : fnfErr;
}

bool QtToolbox::ApplicationActive() const { return QGuiApplication::applicationState() == Qt::ApplicationActive; }

void QtToolbox::NotifyUser(std::string_view title, std::string_view body) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(QLatin1String(kNotifications)))
    return;
  QDBusMessage call = QDBusMessage::createMethodCall(QLatin1String(kNotifications), QLatin1String(kNotificationsPath),
                                                     QLatin1String(kNotifications), QStringLiteral("Notify"));
  call << QGuiApplication::applicationDisplayName() << 0u << QLatin1String(kIconName) << FromBytes(title)
       << FromBytes(body) << QStringList() << QVariantMap() << kServerTimeout;
  bus.call(call, QDBus::NoBlock);
}

void QtToolbox::SetLauncherProgress(int percent) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return;
  QVariantMap properties;
  properties.insert(QStringLiteral("progress-visible"), percent >= 0);
  properties.insert(QStringLiteral("progress"), percent < 0 ? 0.0 : std::min(percent, 100) / 100.0);
  QDBusMessage update =
      QDBusMessage::createSignal(QLatin1String(kLauncherPath), QLatin1String(kLauncherEntry), QStringLiteral("Update"));
  update << QLatin1String(kDesktopEntryUri) << properties;
  bus.send(update);
}

}  // namespace vantorelle::toolbox
