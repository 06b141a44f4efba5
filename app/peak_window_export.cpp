// The peak window's exports: the results as a plain-text table on the clipboard (numbers in
// the user's locale), as CSV or JSON (points before the decimals, whatever the locale), and
// the chart as a PNG picture. Files are written whole or not at all.
#include <QBuffer>
#include <QClipboard>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>

#include "app/error_box.h"
#include "app/peak_window.h"
#include "app/save_dialog.h"
#include "common/clock.h"
#include "common/log.h"
#include "common/peak_export.h"
#include "common/plain_text.h"
#include "common/results_export.h"
#include "platform/safe_files.h"

namespace {

// The table's rows of cells, the header first; the first and last columns are text, aligned
// left, the others numbers, aligned right.
QString Aligned_Table(const std::vector<QStringList>& rows) {
  std::vector<qsizetype> widths;
  for (const QStringList& row : rows)
    for (qsizetype c = 0; c < row.size(); ++c) {
      if (static_cast<std::size_t>(c) >= widths.size()) widths.push_back(0);
      widths[static_cast<std::size_t>(c)] = std::max(widths[static_cast<std::size_t>(c)], row[c].size());
    }
  QString text;
  for (const QStringList& row : rows) {
    QString line = row[0].leftJustified(widths[0]);
    for (qsizetype c = 1; c < row.size(); ++c) {
      const qsizetype width = widths[static_cast<std::size_t>(c)];
      line += QStringLiteral("  ") + (c + 1 == row.size() ? row[c].leftJustified(width) : row[c].rightJustified(width));
    }
    text += line.trimmed() + QLatin1Char('\n');
  }
  return text;
}

}  // namespace

QString Peak_Window::Results_Table_Text() const {
  if (!result_) return {};
  const QLocale locale;
  QString text = QStringLiteral("Drive: ") + QString::fromStdString(Label_Text(result_->target)) + QLatin1Char('\n') +
                 QStringLiteral("I/O engine: ") + QString::fromStdString(One_Line_Text(Peak_Setup_Text(*result_))) +
                 QLatin1Char('\n');
  std::vector<QStringList> rows = {{QStringLiteral("Test"), QStringLiteral("MB/s"), QStringLiteral("IOPS"),
                                    QStringLiteral("p50 µs"), QStringLiteral("p99 µs"), QStringLiteral("p99.9 µs"),
                                    QStringLiteral("Answered by")}};
  for (const Peak_Test_Result& test : result_->tests) {
    // A test that measured nothing has no figures.
    const auto figure = [&](double value, int decimals) {
      return test.ios > 0 ? locale.toString(value, 'f', decimals) : QStringLiteral("-");
    };
    rows.push_back({QString::fromStdString(test.key), figure(test.Mbps(), 2), figure(test.Iops(), 0),
                    figure(test.p50_us, 1), figure(test.p99_us, 1), figure(test.p999_us, 1),
                    QString::fromStdString(One_Line_Text(Device_Check_Brief(test.check)))});
  }
  text += Aligned_Table(rows);
  if (!result_->note.empty()) text += QString::fromStdString(One_Line_Text(result_->note)) + QLatin1Char('\n');
  for (const Peak_Test_Result& test : result_->tests)
    if (!test.note.empty()) text += QString::fromStdString(test.key + ": " + One_Line_Text(test.note)) + QLatin1Char('\n');
  if (result_->outcome == Peak_Outcome::Stopped) text += QStringLiteral("Stopped before the end.\n");
  return text;
}

QString Peak_Window::Ask_Save_Path(const QString& caption, const QString& name, const QString& filters) {
  const QString suggested = Suggested_Export_Path(last_export_folder_, name);
  return Ask_Save_File_Name ? Ask_Save_File_Name(caption, suggested, filters)
                            : Ask_Save_File_By_Dialog(this, caption, suggested, filters);
}

void Peak_Window::Show_Error(const QString& text) {
  Show_Joined_Error(error_box_, this, QStringLiteral("PeakErrorBox"), text, Qt::WindowModal);
}

void Peak_Window::Save(const std::string& what, const QString& path, const std::string& data) {
  std::string reason;
  if (!platform::Save_File_Whole(QFile::encodeName(path).toStdString(), data, reason)) {
    const std::string line = "Cannot save " + what + " to " + path.toStdString() + ": " + reason;
    Write_Log(line);
    Show_Error(QString::fromStdString(line));
    return;
  }
  last_export_folder_ = QFileInfo(path).absolutePath();
  Write_Log("Saved " + what + " to " + path.toStdString());
  status_->setText(QString::fromStdString("Saved " + what + " to " + path.toStdString()));
}

void Peak_Window::CopyClick() {
  if (Run_Going() || !result_) return;
  QGuiApplication::clipboard()->setText(Results_Table_Text());
  status_->setText(QStringLiteral("Results copied to the clipboard"));
}

void Peak_Window::SaveResultsClick() {
  if (Run_Going() || !result_) return;
  const QString path = Ask_Save_Path(QStringLiteral("Save peak results"), QStringLiteral("platterscope-peak.csv"),
                                     QStringLiteral("CSV file (*.csv);;JSON file (*.json)"));
  if (path.isEmpty()) return;
  const Results_Format format = Format_Of_File(path.toStdString());
  if (format == Results_Format::Unknown) {
    Show_Error(QStringLiteral("Cannot save results to ") + path + QStringLiteral(": the name must end in .csv or .json"));
    return;
  }
  // The wall clock: the date a user reads.
  const QDateTime now = QDateTime::currentDateTime();
  const std::string date = Date_Text(Day_Count_From_Time(now.toSecsSinceEpoch(), now.offsetFromUtc()));
  Save("results", path, format == Results_Format::Csv ? Peak_Csv(*result_, date) : Peak_Json(*result_));
}

void Peak_Window::SaveChartClick() {
  if (Run_Going() || !result_) return;
  const QString path = Ask_Save_Path(QStringLiteral("Save chart picture"), QStringLiteral("platterscope-latency.png"),
                                     QStringLiteral("PNG picture (*.png)"));
  if (path.isEmpty()) return;
  if (!path.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive)) {
    Show_Error(QStringLiteral("Cannot save the chart to ") + path + QStringLiteral(": the name must end in .png"));
    return;
  }
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!chart_.Image().save(&buffer, "PNG")) {
    Show_Error(QStringLiteral("Cannot save the chart to ") + path + QStringLiteral(": the picture could not be made"));
    return;
  }
  Save("the chart", path, bytes.toStdString());
}
