#include "app/help_form.h"

#include <QLabel>

#include "app/window_style.h"
#include "common/global_functions.h"

namespace {
const char* const kSupportAddress = "support@platterscope.example";
}

THELPFORM::THELPFORM(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("HELPFORM"));
  setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setFont(Tahoma(11));
  resize(426, 294);

  auto* coming = new QLabel(QStringLiteral("Comming Soon."), this);
  coming->setObjectName(QStringLiteral("Label1"));
  coming->setFont(Tahoma(16, true));
  coming->move(144, 56);
  coming->adjustSize();

  auto* comments = new QLabel(
      QStringLiteral("Please send your comments or suggestions to ") + QString::fromLatin1(kSupportAddress), this);
  comments->setObjectName(QStringLiteral("Label2"));
  comments->setFont(Tahoma(15, true));
  comments->setWordWrap(true);
  comments->setGeometry(32, 112, 342, 36);
  FormCreate();
}

void THELPFORM::FormCreate() { setWindowTitle(Caption_For(Get_File_Version(4, ""))); }

QString THELPFORM::Caption_For(const std::string& version) {
  std::vector<std::string> fields(4);
  try {
    Split_String(fields, version, ".");
  } catch (const std::exception&) {
    // More than four fields: the first four are what the caption shows.
  }
  return QStringLiteral("Quillorane - Platterscope v%1.%2.%3(%4)")
      .arg(QString::fromStdString(fields[0]), QString::fromStdString(fields[1]), QString::fromStdString(fields[2]),
           QString::fromStdString(fields[3]));
}
