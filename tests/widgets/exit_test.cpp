// Leaving the program while it waits for the results server, and the news panel: the real
// program closes and its process ends within seconds of the close, whatever the server
// does; the window's thread is free while the start-up waits; a news page the user closed
// stays closed.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "../core/loopback_server.h"
#include "app/help_form.h"
#include "app/main_form.h"
#include "common/log.h"
#include "window_wait.h"

namespace {

// A server that answers the version check with a news page and leaves every other request,
// the page itself included, without an answer.
Loopback_Server::Reply News_Then_Silence(const std::string& request) {
  if (Loopback_Server::Target(request).rfind("/program_version3.php", 0) == 0)
    return Loopback_Server::Ok("[VERSION]0.0.1[/VERSION][MESSAGES]news.php[/MESSAGES]");
  return {Loopback_Server::Mode::Silent, ""};
}

Loopback_Server::Reply Silence(const std::string&) { return {Loopback_Server::Mode::Silent, ""}; }

QString Log_Text(const QString& folder) {
  QString text;
  for (const QString& day : QDir(folder).entryList({QStringLiteral("*-logs-*")}, QDir::Dirs))
    for (const QString& name : QDir(folder + "/" + day).entryList(QDir::Files)) {
      QFile file(folder + "/" + day + "/" + name);
      if (file.open(QIODevice::ReadOnly)) text += QString::fromUtf8(file.readAll());
    }
  return text;
}

// The program under test; PS_PROGRAM names another build of it (an older one, to see a fault
// again).
QString Program_Path() {
  const QString other = qEnvironmentVariable("PS_PROGRAM");
  return other.isEmpty() ? QStringLiteral(PS_PROGRAM_PATH) : other;
}

}  // namespace

// The program itself, on the offscreen platform, with --screenshot: two seconds after it is
// shown it saves a picture and closes its window as File > Exit does, while the start-up is
// still waiting for the server. The process must be gone a moment later.
TEST(ExitTest, TheProgramEndsSoonAfterItsCloseWhileTheServerHoldsItsAnswer) {
  const struct {
    const char* what;
    Loopback_Server::Script script;
  } cases[] = {{"a server that never answers", Silence},
               {"the news panel shown, its page never coming", News_Then_Silence}};
  for (const auto& one : cases) {
    SCOPED_TRACE(one.what);
    Loopback_Server server(one.script);
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("PLATTERSCOPE_SERVER"), QString::fromStdString(server.url("")));
    env.insert(QStringLiteral("TMPDIR"), home.path());
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_STATE_HOME"), home.path() + QStringLiteral("/state"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home.path() + QStringLiteral("/cache"));
    env.insert(QStringLiteral("PLATTERSCOPE_SETTINGS"), home.path() + QStringLiteral("/Platterscope.conf"));
    QProcess program;
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(Program_Path(), {QStringLiteral("--screenshot"), home.filePath("shot.png")});
    ASSERT_TRUE(program.waitForStarted(5000));
    // Two seconds to the close; the transfer then has one second to end.
    const bool ended = program.waitForFinished(8000);
    if (!ended) {
      program.kill();
      program.waitForFinished(5000);
    }
    EXPECT_TRUE(ended) << "the process stayed after its window closed";
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_FALSE(server.Requests().empty()) << "the close came while a request was out";
    const QString log = Log_Text(home.path());
    EXPECT_TRUE(log.contains(QStringLiteral("Application Finish"))) << log.toStdString();
    EXPECT_TRUE(log.trimmed().endsWith(QStringLiteral("Application Destroyed"))) << log.toStdString();
  }
}

// The start-up against a server that never answers: the sequence's local steps are done and
// logged in their order, the panels show the step, the window keeps serving its events and
// timers, and File > Exit ends the wait at once.
TEST(ExitTest, TheStartUpWaitsForTheServerOffTheWindowsThreadAndExitEndsIt) {
  Loopback_Server server(Silence);
  const QByteArray old = qgetenv("PLATTERSCOPE_SERVER");
  qputenv("PLATTERSCOPE_SERVER", QByteArray::fromStdString(server.url("")));
  QFile::remove(QString::fromStdString(Log_File_Path()));
  {
    TMainForm form;
    form.FormActivate();
    auto* loading = form.findChild<QLabel*>(QStringLiteral("loadinglabel"));
    ASSERT_TRUE(Serve_Until([&] { return loading->text() == QStringLiteral("Checking for new version..."); }));
    EXPECT_TRUE(form.Startup_Going());
    EXPECT_EQ(form.findChild<QLabel*>(QStringLiteral("StatusText"))->text(),
              QStringLiteral("Looking for updates, please wait..."));
    EXPECT_FALSE(form.findChild<QPushButton*>(QStringLiteral("StartButton"))->isEnabled());
    // The window's thread is free: a timer set now fires on time, a second and a half of them.
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(50);
    QTest::qWait(1500);
    EXPECT_GE(ticks, 20);
    EXPECT_TRUE(form.Startup_Going()) << "still waiting for the server";

    form.findChild<QAction*>(QStringLiteral("Exit1"))->trigger();
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(form.Startup_Going());
    EXPECT_TRUE(Serve_Until([&] { return !form.Transfer_Going(); }, 1500)) << "the transfer outlived the close";
  }
  qputenv("PLATTERSCOPE_SERVER", old);
  QFile log(QString::fromStdString(Log_File_Path()));
  ASSERT_TRUE(log.open(QIODevice::ReadOnly));
  const QString text = QString::fromUtf8(log.readAll());
  const QStringList in_order = {QStringLiteral("Refreshing Drives Start"), QStringLiteral("Refreshing Drives Finish"),
                                QStringLiteral("Application Finish"), QStringLiteral("Application Destroyed")};
  qsizetype at = 0;
  for (const QString& line : in_order) {
    const qsizetype found = text.indexOf(line, at);
    EXPECT_GE(found, at) << line.toStdString() << " missing or out of order in:\n" << text.toStdString();
    at = std::max(at, found);
  }
}

// A news page the user closed does not come back when a dialog's closing runs the start-up
// again, and Start stays free; File > Exit works while the panel is up.
TEST(ExitTest, AClosedNewsPageStaysClosedAfterADialogAndExitWorksWhileItIsUp) {
  Loopback_Server server(Loopback_Server::Serve({{"/program_version3.php", "[MESSAGES]news.php[/MESSAGES]"},
                                                 {"/news.php", "<html><body>news</body></html>"}}));
  const QByteArray old = qgetenv("PLATTERSCOPE_SERVER");
  qputenv("PLATTERSCOPE_SERVER", QByteArray::fromStdString(server.url("")));
  TMainForm form;
  form.show();
  auto* panel = form.findChild<QFrame*>(QStringLiteral("messagepanel"));
  auto* start = form.findChild<QPushButton*>(QStringLiteral("StartButton"));
  ASSERT_TRUE(Activate_And_Wait(form));
  ASSERT_FALSE(panel->isHidden()) << "the news is shown at start";
  EXPECT_FALSE(start->isEnabled());
  QTest::mouseClick(form.findChild<QLabel*>(QStringLiteral("messagepanel_close_button")), Qt::LeftButton);
  EXPECT_TRUE(panel->isHidden());
  EXPECT_TRUE(start->isEnabled());

  // The About window closes; its return runs the start-up again (here by hand).
  QTimer::singleShot(50, [] {
    if (auto* about = qobject_cast<THELPFORM*>(QApplication::activeModalWidget())) about->reject();
  });
  form.About1Click();
  ASSERT_TRUE(Activate_And_Wait(form));
  EXPECT_TRUE(panel->isHidden()) << "the closed news came back";
  EXPECT_TRUE(start->isEnabled());

  // A news page not closed yet is shown; Exit closes the window with it up.
  form.Display_Message_Panel(true, "other.php");
  ASSERT_FALSE(panel->isHidden());
  form.findChild<QAction*>(QStringLiteral("Exit1"))->trigger();
  EXPECT_FALSE(form.isVisible());
  qputenv("PLATTERSCOPE_SERVER", old);
}
