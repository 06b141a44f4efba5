#include "inventory/fixture_provider.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>

#include <cmath>

using platform::Cim_Instance;
using platform::Cim_Scalar;
using platform::Cim_Value;

namespace {

bool Is_Whole(double number) { return std::isfinite(number) && std::floor(number) == number && std::fabs(number) < 9.2e18; }

Cim_Scalar Scalar_Of(const QJsonValue& value) {
  if (value.isBool()) return value.toBool();
  if (value.isString()) return value.toString().toStdString();
  const double number = value.toDouble();
  if (Is_Whole(number)) return static_cast<std::int64_t>(number);
  return number;
}

Cim_Value Value_Of(const QJsonValue& json) {
  using namespace platform;
  if (json.isNull()) return Cim_Value::Null(kCimString);
  if (json.isString()) return Cim_Value::Text(json.toString().toStdString());
  if (json.isBool()) return Cim_Value::Scalar(kCimBoolean, json.toBool());
  if (json.isDouble()) return Cim_Value::Scalar(Is_Whole(json.toDouble()) ? kCimSint64 : kCimReal64, Scalar_Of(json));
  const QJsonObject typed = json.toObject();
  const int type = typed.value("type").toInt(kCimString);
  const QJsonValue value = typed.value("value");
  if (value.isNull() || value.isUndefined()) return Cim_Value::Null(type);
  if (value.isArray()) {
    std::vector<Cim_Scalar> elements;
    for (const QJsonValue element : value.toArray()) elements.push_back(Scalar_Of(element));
    return Cim_Value::Array(type, std::move(elements), typed.value("lower_bound").toInteger(0));
  }
  return Cim_Value::Scalar(type, Scalar_Of(value));
}

std::string Normal_Path(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// The entry of a volume table whose key is the mount point that holds path.
QJsonObject Entry_For(const QJsonObject& table, const std::string& path, std::string& mount_point) {
  const std::string wanted = Normal_Path(path);
  QJsonObject found;
  std::size_t best = 0;
  mount_point.clear();
  for (auto it = table.begin(); it != table.end(); ++it) {
    const std::string key = Normal_Path(it.key().toStdString());
    const bool holds = wanted == key || (key == "/" && !wanted.empty() && wanted[0] == '/') ||
                       wanted.rfind(key + "/", 0) == 0;
    if (holds && key.size() + 1 > best) {
      best = key.size() + 1;
      found = it.value().toObject();
      mount_point = key;
    }
  }
  return found;
}

}  // namespace

bool Fixture_Provider::Load_File(const std::string& path, std::string& reason) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) {
    root_ = {};
    reason = path + ": " + file.errorString().toStdString();
    return false;
  }
  return Load_Text(file.readAll().toStdString(), reason);
}

bool Fixture_Provider::Load_Text(const std::string& json, std::string& reason) {
  root_ = {};
  QJsonParseError error{};
  const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(json), &error);
  if (error.error != QJsonParseError::NoError) {
    reason = "not JSON: " + error.errorString().toStdString() + " at offset " + std::to_string(error.offset);
    return false;
  }
  if (!document.isObject()) {
    reason = "the inventory must be a JSON object";
    return false;
  }
  root_ = document.object();
  return true;
}

void Fixture_Provider::Instances_Of(const std::string& class_name,
                                    const std::function<void(const Cim_Instance&)>& each) {
  const QJsonObject classes = root_.value("classes").toObject();
  QJsonValue entry;
  for (auto it = classes.begin(); it != classes.end(); ++it)
    if (it.key().compare(QString::fromStdString(class_name), Qt::CaseInsensitive) == 0) entry = it.value();
  const QJsonArray instances = entry.isArray() ? entry.toArray() : entry.toObject().value("instances").toArray();
  const qint64 fail_after = entry.isObject() ? entry.toObject().value("fail_after").toInteger(-1) : -1;
  qint64 delivered = 0;
  for (const QJsonValue item : instances) {
    if (delivered == fail_after) break;
    Cim_Instance instance;
    const QJsonObject properties = item.toObject();
    for (auto it = properties.begin(); it != properties.end(); ++it)
      instance.Set(it.key().toStdString(), Value_Of(it.value()));
    each(instance);
    ++delivered;
  }
  if (fail_after >= 0)
    throw platform::Inventory_Error("the enumeration of " + class_name + " failed after " + std::to_string(delivered) +
                                    " instances");
}

platform::Volume_Information Fixture_Provider::Volume(const std::string& path) {
  platform::Volume_Information info;
  std::string mount_point;
  const QJsonObject volume = Entry_For(root_.value("volumes").toObject(), path, mount_point);
  if (mount_point.empty()) return info;
  info.ok = true;
  info.mount_point = mount_point;
  info.file_system = volume.value("file_system").toString().toStdString();
  info.label = volume.value("label").toString().toStdString();
  info.uuid = volume.value("uuid").toString().toStdString();
  info.drive_type = volume.value("drive_type").toInt(0);
  info.max_name_length = volume.value("max_name_length").toInteger(255);
  info.space_ok = volume.contains("block_size");
  info.block_size = volume.value("block_size").toInteger(0);
  info.free_blocks = volume.value("free_blocks").toInteger(0);
  info.total_blocks = volume.value("total_blocks").toInteger(0);
  return info;
}

platform::Disk_Extent Fixture_Provider::Volume_Disk_Extent(const std::string& mount_point) {
  platform::Disk_Extent extent;
  const QJsonObject extents = root_.value("extents").toObject();
  const QJsonObject entry = extents.value(QString::fromStdString(Normal_Path(mount_point))).toObject();
  if (entry.isEmpty()) return extent;
  extent.DiskNumber = static_cast<std::uint32_t>(entry.value("DiskNumber").toInteger(0));
  extent.StartingOffset = entry.value("StartingOffset").toInteger(0);
  extent.ExtentLength = entry.value("ExtentLength").toInteger(0);
  return extent;
}
