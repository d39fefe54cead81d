// remembered_values.cpp - values kept between launches in a settings file of their own, and the window's geometry.
#include <QFile>
#include <QMainWindow>
#include <QSettings>
#include <QString>

#include <string>

#include "qt_toolbox_impl.hpp"
#include "vantorelle/common/base_folders.hpp"
#include "vantorelle/toolbox/qt_toolbox.hpp"

namespace vantorelle::toolbox {
namespace {

constexpr char kGeometryKey[] = "window/geometry";

// $XDG_CONFIG_HOME/vantorelle/options.conf, looked up at each use so that the
// environment in force counts; apart from the preference record, whose
// layout is fixed.
QString OptionsFile() {
  const std::string config = common::XdgBaseFolder("XDG_CONFIG_HOME", "/.config");
  if (config.empty()) return {};
  return QFile::decodeName(QByteArray::fromStdString(config + "/vantorelle/options.conf"));
}

QString Key(std::string_view key) {
  return QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size()));
}

}  // namespace

bool QtToolbox::CFPreferencesGetAppBooleanValue(std::string_view key, bool fallback) const {
  const QString file = OptionsFile();
  if (file.isEmpty()) return fallback;
  const QSettings settings(file, QSettings::IniFormat);
  const QVariant value = settings.value(Key(key));
  return value.isValid() ? value.toBool() : fallback;
}

void QtToolbox::CFPreferencesSetAppValue(std::string_view key, bool value) {
  const QString file = OptionsFile();
  if (file.isEmpty()) return;
  QSettings settings(file, QSettings::IniFormat);
  settings.setValue(Key(key), value);
  settings.sync();
}

void QtToolbox::RestoreWindowGeometry() {
  const QString file = OptionsFile();
  if (file.isEmpty()) return;
  const QSettings settings(file, QSettings::IniFormat);
  // A geometry off every screen now is corrected by Qt; an unreadable one is ignored.
  impl_->window->restoreGeometry(settings.value(QLatin1String(kGeometryKey)).toByteArray());
}

void QtToolbox::SaveWindowGeometry() {
  const QString file = OptionsFile();
  if (file.isEmpty() || !impl_->window_shown) return;
  QSettings settings(file, QSettings::IniFormat);
  settings.setValue(QLatin1String(kGeometryKey), impl_->window->saveGeometry());
  settings.sync();
}

}  // namespace vantorelle::toolbox
