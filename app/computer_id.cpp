#include "app/computer_id.h"

#include <filesystem>

#include "common/registry_functions.h"

namespace {
const char* const kProgramFileName = "platterscope";
}

std::string New_Computer_Id(const QDateTime& now) {
  return now.toString(QStringLiteral("yyyyMMddHHmmsszzz")).toStdString();
}

std::string Load_Computer_Id(const std::string& application_file, const std::string& application_folder) {
  const std::string file_name = std::filesystem::path(application_file).filename().string();
  if (QString::fromStdString(file_name).compare(QLatin1String(kProgramFileName), Qt::CaseInsensitive) == 0) {
    Reg_Write_Value(HKEY_LOCAL_MACHINE, kSettingsKey, "Program_File", REG_TYPE_STRING, Reg_Value{REG_TYPE_STRING, file_name});
    Reg_Write_Value(HKEY_LOCAL_MACHINE, kSettingsKey, "Program_Path", REG_TYPE_STRING,
                    Reg_Value{REG_TYPE_STRING, application_folder});
  }
  std::string id = Reg_Value_Text(Reg_Read_Value(HKEY_LOCAL_MACHINE, kSettingsKey, "Computer_Id", ""));
  if (id.empty()) {
    id = New_Computer_Id(QDateTime::currentDateTime());
    Reg_Write_Value(HKEY_LOCAL_MACHINE, kSettingsKey, "Computer_Id", REG_TYPE_STRING, Reg_Value{REG_TYPE_STRING, id});
  }
  return id;
}
