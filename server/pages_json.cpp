// JSON documents of the pages' views. The serial's hash stays on the server: it is there to
// follow a drive, not to be handed out.
#include "server/pages_json.h"

#include "server/result_reading.h"
#include "server/svg_charts.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

namespace {

QString Q(const std::string& text) { return QString::fromStdString(Display_Text(text)); }

QJsonObject Report_Object(const Stored_Report& stored) {
  const Report& report = stored.report;
  QJsonObject fields;
  for (std::size_t i = 0; i < kProfileCount; ++i)
    if (i != kSignature && i != kSerial) fields[kProfileFields[i].label] = Q(report.profile[i]);
  QJsonObject rates;
  for (std::size_t t = 0; t < kRateCount; ++t)
    if (report.rates[t]) rates[kRateFields[t].key] = *report.rates[t];
  QJsonObject object;
  object["id"] = static_cast<qint64>(stored.id);
  object["received"] = Q(Time_Text(report.received_ms));
  object["received_ms"] = static_cast<qint64>(report.received_ms);
  object["fields"] = fields;
  object["rates"] = rates;
  return object;
}

QJsonObject Tests_Object(const std::array<Test_View, kRateCount>& tests, bool with_drive) {
  QJsonObject object;
  for (std::size_t t = 0; t < kRateCount; ++t) {
    const Test_View& test = tests[t];
    QJsonObject entry;
    entry["count"] = static_cast<qint64>(test.summary.count);
    const bool any = test.summary.count > 0;
    entry["median"] = any ? QJsonValue(test.summary.median) : QJsonValue();
    entry["p10"] = any ? QJsonValue(test.summary.p10) : QJsonValue();
    entry["p90"] = any ? QJsonValue(test.summary.p90) : QJsonValue();
    if (with_drive) {
      entry["value"] = test.value ? QJsonValue(*test.value) : QJsonValue();
      entry["percentile"] = test.percentile ? QJsonValue(*test.percentile) : QJsonValue();
      entry["flagged"] = test.flagged;
    }
    object[kRateFields[t].key] = entry;
  }
  return object;
}

std::string Text(const QJsonObject& object) {
  return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

}  // namespace

std::string Compare_Json(const Compare_View& view) {
  QJsonObject object;
  object["report"] = Report_Object(view.latest);
  object["model"] = Q(view.latest.report.profile[kModel]);
  object["model_computers"] = static_cast<qint64>(view.model_computers);
  object["counted"] = view.counted;
  QJsonArray reading;
  for (const std::string& sentence : Reading_Of(view)) reading.append(Q(sentence));
  object["reading"] = reading;
  object["tests"] = Tests_Object(view.tests, true);
  return Text(object);
}

std::string Drive_Json(const Drive_View& view) {
  QJsonObject object;
  object["model"] = Q(view.model);
  object["computers"] = static_cast<qint64>(view.computers);
  object["tests"] = Tests_Object(view.tests, false);
  return Text(object);
}

std::string Computer_Json(const Computer_View& view) {
  QJsonArray reports;
  for (const Stored_Report& stored : view.history) reports.append(Report_Object(stored));
  QJsonObject object;
  object["reports"] = reports;
  return Text(object);
}
