// The installer statement and its digest.
#include "reporting/installer_statement.h"

#include <QByteArray>
#include <QCryptographicHash>

std::string Installer_Statement(const Installer_Facts& facts) {
  return "Platterscope installer\nversion=" + facts.version + "\nplatform=" + facts.platform + "\nfile=" + facts.file +
         "\nsize=" + std::to_string(facts.size) + "\nsha256=" + facts.sha256 + "\n";
}

std::string Sha256_Hex(const std::string& bytes) {
  return QCryptographicHash::hash(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())),
                                  QCryptographicHash::Sha256)
      .toHex()
      .toStdString();
}
