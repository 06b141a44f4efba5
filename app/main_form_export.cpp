// The File menu's exports: the grid's runs as CSV or JSON, the graph as a PNG picture, and
// the runs as a plain-text table on the clipboard. Files are written whole or not at all.
#include <QBuffer>
#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>

#include "app/main_form.h"
#include "app/save_dialog.h"
#include "common/results_export.h"
#include "platform/safe_files.h"

QString TMainForm::Ask_Save_Path(const QString& caption, const QString& suggested, const QString& filters) {
  return Ask_Save_File_Name ? Ask_Save_File_Name(caption, suggested, filters)
                            : Ask_Save_File_By_Dialog(this, caption, suggested, filters);
}

bool TMainForm::May_Ask_The_User() const { return !Run_Going() && !Startup_Going(); }

QString TMainForm::Suggested_Export_Path(const QString& name) const {
  return ::Suggested_Export_Path(last_export_folder_, name);
}

void TMainForm::Save_Export(const std::string& what, const QString& path, const std::string& data) {
  std::string reason;
  if (!platform::Save_File_Whole(QFile::encodeName(path).toStdString(), data, reason)) {
    const std::string line = "Cannot save " + what + " to " + path.toStdString() + ": " + reason;
    Local_Writelog(line);
    Show_Error(line);
    return;
  }
  last_export_folder_ = QFileInfo(path).absolutePath();
  Local_Writelog("Saved " + what + " to " + path.toStdString());
  Set_Status_Text("Saved " + what + " to " + path.toStdString());
}

void TMainForm::SaveResults1Click() {
  if (!May_Ask_The_User() || gridresults->Runs().empty()) return;
  const QString path =
      Ask_Save_Path(QStringLiteral("Save results"), Suggested_Export_Path(QStringLiteral("platterscope-results.csv")),
                         QStringLiteral("CSV file (*.csv);;JSON file (*.json)"));
  if (path.isEmpty()) return;
  const Results_Format format = Format_Of_File(path.toStdString());
  if (format == Results_Format::Unknown) {
    Show_Error("Cannot save results to " + path.toStdString() + ": the name must end in .csv or .json");
    return;
  }
  const std::vector<Run_Record>& runs = gridresults->Runs();
  Save_Export("results", path, format == Results_Format::Csv ? Results_Csv(runs) : Results_Json(runs));
}

void TMainForm::SaveGraph1Click() {
  if (!May_Ask_The_User()) return;
  const QString path = Ask_Save_Path(QStringLiteral("Save graph picture"),
                                     Suggested_Export_Path(QStringLiteral("platterscope-graph.png")),
                                     QStringLiteral("PNG picture (*.png)"));
  if (path.isEmpty()) return;
  if (!path.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive)) {
    Show_Error("Cannot save the graph to " + path.toStdString() + ": the name must end in .png");
    return;
  }
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!bar_graph_.Image().save(&buffer, "PNG")) {
    Show_Error("Cannot save the graph to " + path.toStdString() + ": the picture could not be made");
    return;
  }
  Save_Export("the graph", path, bytes.toStdString());
}

void TMainForm::CopyResults1Click() {
  if (gridresults->Runs().empty()) return;
  QGuiApplication::clipboard()->setText(QString::fromStdString(Results_Table(gridresults->Runs())));
  Set_Status_Text("Results copied to the clipboard");
}
