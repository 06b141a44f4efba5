// What an upgrade leaves next to the program, the downloaded installer and the moved old
// executable, is gone after the next start-up.
#include <gtest/gtest.h>

#include <QFile>

#include "app/main_form.h"
#include "common/global_functions.h"

TEST(UpgradeLeftovers, TheStartUpRemovesInstallersAndTheMovedProgram) {
  const QString folder = QString::fromStdString(Get_Application_Folder());
  const QStringList leftovers{folder + QStringLiteral("_Quillorane24608791234567.run"),
                              folder + QStringLiteral("_Quillorane-platterscope")};
  for (const QString& path : leftovers) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write("#!/bin/sh\n");
  }
  TMainForm form;
  form.FormActivate();
  for (const QString& path : leftovers) EXPECT_FALSE(QFile::exists(path)) << path.toStdString();
}
