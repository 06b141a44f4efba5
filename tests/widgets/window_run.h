// A main window whose runs go to an in-memory disk with a hand clock, on the fixture drive
// list, with the test time of one second: a whole run through the window takes a moment. A
// test may hold the run on its worker at a step of the disk, look at the window meanwhile,
// and let it go on.
#pragma once

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "../core/memory_rig.h"
#include "app/main_form.h"
#include "window_wait.h"

class Window_Rig {
 public:
  Window_Rig() {
    disk.spend = [this](std::int64_t us) { clock.Advance_Us(us); };
    disk.Add_Folder("/srv/scratch", disk.user);
    Load_Fixture_Inventory(inventory);
    disk.before = [this](const std::string& op, const std::string& path) { Maybe_Hold(op, path); };
    form.Use_Inventory(inventory);
    form.Use_Run_Platform(disk, clock);
    Activate_And_Wait(form);
    auto* drives = Child<QComboBox>("TargetDriveComboBox");
    drives->setCurrentIndex(drives->findText(QStringLiteral("/srv/scratch/"), Qt::MatchStartsWith));
    Child<QComboBox>("combo_testtime")->setCurrentIndex(0);  // "1" second
  }
  ~Window_Rig() { Release(); }

  template <class T>
  T* Child(const char* name) {
    return form.findChild<T*>(QString::fromLatin1(name));
  }
  QString Label(const std::string& name) { return Child<QLabel>(name.c_str())->text(); }
  QColor Label_Colour(const std::string& name) {
    return Child<QLabel>(name.c_str())->palette().color(QPalette::WindowText);
  }

  void Press_Start() { QTest::mouseClick(Child<QPushButton>("StartButton"), Qt::LeftButton); }
  // The run stops on its worker before the nth disk call op on a path that ends with part,
  // until Release(); Wait_Held() waits (the window's events going on) until it has. Each
  // file test's write creates temp-1.tmp on: the nth "/temp-20.tmp" created is in the nth
  // pair of file tests.
  void Hold_At(const std::string& op, const std::string& part, int nth = 1) {
    const std::lock_guard<std::mutex> lock(mutex_);
    hold_op_ = op;
    hold_part_ = part;
    hold_count_ = nth;
  }
  bool Wait_Held(int ms = 10000) {
    return QTest::qWaitFor(
        [this] {
          const std::lock_guard<std::mutex> lock(mutex_);
          return held_;
        },
        ms);
  }
  void Release() {
    const std::lock_guard<std::mutex> lock(mutex_);
    hold_op_.clear();
    held_ = false;
    changed_.notify_all();
  }
  // Waits, the window's events going on, until the run has ended and its result is shown.
  bool Wait_Idle(int ms = 20000) {
    return QTest::qWaitFor([this] { return !form.Run_Going(); }, ms);
  }

  platform::Memory_Platform disk;
  Hand_Clock clock;
  Fixture_Provider inventory;
  TMainForm form;

 private:
  void Maybe_Hold(const std::string& op, const std::string& path) {
    std::unique_lock<std::mutex> lock(mutex_);
    const bool ends_with = path.size() >= hold_part_.size() &&
                           path.compare(path.size() - hold_part_.size(), hold_part_.size(), hold_part_) == 0;
    if (hold_op_.empty() || op != hold_op_ || !ends_with || --hold_count_ > 0) return;
    held_ = true;
    // Never for ever: a test that forgets to let go still ends.
    changed_.wait_for(lock, std::chrono::seconds(30), [this] { return !held_; });
    hold_op_.clear();
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::string hold_op_, hold_part_;
  int hold_count_ = 0;
  bool held_ = false;
};
