// The peak tests on real disks: io_uring and the pool of threads on a small loop ext4 the test
// mounts itself (root only), with the device's own counters matching the bytes counted and
// the loop device's in-flight count, sampled meanwhile, reaching each test's depth; and the
// pool standing in where a seccomp filter refuses io_uring, as in a container.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <thread>

#include "common/peak_export.h"
#include "mounted_file_system.h"
#include "peak_recorder.h"

namespace {

constexpr std::int64_t kMiB = 1 << 20;

// The most reads the block device had in flight while each test ran, read from its sysfs
// "inflight" every 100 us on a thread of its own.
class In_Flight_Sampler {
 public:
  explicit In_Flight_Sampler(const std::string& mount_point) {
    struct stat st {};
    if (::stat(mount_point.c_str(), &st) == 0) {
      const std::string path =
          "/sys/dev/block/" + std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev)) + "/inflight";
      fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    }
    if (fd_ >= 0) thread_ = std::thread([this] { Sample(); });
  }
  ~In_Flight_Sampler() {
    done_ = true;
    if (thread_.joinable()) thread_.join();
    if (fd_ >= 0) ::close(fd_);
  }
  bool ok() const { return fd_ >= 0; }
  void Now_Running(int test) { test_ = test; }
  int Most(int test) const { return most_[static_cast<std::size_t>(test)]; }

 private:
  void Sample() {
    char text[64];
    while (!done_) {
      const ssize_t n = ::pread(fd_, text, sizeof text - 1, 0);
      const int test = test_;
      if (n > 0 && test >= 0) {
        text[n] = '\0';
        const int reads = std::atoi(text);
        std::atomic<int>& most = most_[static_cast<std::size_t>(test)];
        if (reads > most) most = reads;
      }
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
  }

  int fd_ = -1;
  std::atomic<bool> done_{false};
  std::atomic<int> test_{-1};
  std::array<std::atomic<int>, kPeakTests.size()> most_{};
  std::thread thread_;
};

Peak_Request Short_Request(const std::string& drive) {
  Peak_Request request;
  request.drive = drive;
  request.size = 64 * kMiB;
  request.test_ms = 500;
  request.warmup_ms = 100;
  request.pause_ms = 0;
  return request;
}

// Makes io_uring_setup fail with EPERM for this process and its children, as the seccomp
// profiles of container runtimes do.
bool Refuse_Io_Uring() {
  sock_filter filter[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_io_uring_setup, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (EPERM & SECCOMP_RET_DATA)),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  sock_fprog program{static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
  return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

}  // namespace

TEST(Peak_Disk, IoUringAndThePoolKeepTheirDepthAndTheDeviceMovesTheirBytes) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a test file system needs root";
  for (const platform::Io_Backend backend : {platform::Io_Backend::Io_Uring, platform::Io_Backend::Thread_Pool}) {
    const std::string name = backend == platform::Io_Backend::Io_Uring ? "io_uring" : "thread pool";
    SCOPED_TRACE(name);
    Mounted_File_System disk(Mounted_File_System::Kind::Ext4, 160);
    ASSERT_TRUE(disk.mounted());
    In_Flight_Sampler sampler(disk.path());
    ASSERT_TRUE(sampler.ok());
    Peak_Request request = Short_Request(disk.path());
    request.backend = backend;
    Peak_Recorder recorder(System_Clock());
    recorder.on_started = [&](int index) { sampler.Now_Running(index); };
    recorder.on_finished = [&](const Peak_Test_Result&) { sampler.Now_Running(-1); };
    const Peak_Result result = Run_Peak(request, recorder, {});

    ASSERT_EQ(result.outcome, Peak_Outcome::Completed) << result.error;
    EXPECT_EQ(result.engine, name);
    EXPECT_TRUE(result.direct);
    ASSERT_EQ(result.tests.size(), 8u);
    for (const Peak_Test_Result& test : result.tests) {
      const Peak_Test& plan = kPeakTests[static_cast<std::size_t>(test.index)];
      SCOPED_TRACE(test.key);
      EXPECT_TRUE(test.note.empty()) << test.note;
      EXPECT_GT(test.ios, 0);
      // The span ends at the last completion, which may come a little before the test's
      // time is up when the next transfer was not sent.
      EXPECT_GE(test.span_ns, 450'000'000);
      EXPECT_GT(test.p50_us, 0);
      EXPECT_LE(test.p50_us, test.p999_us);
      EXPECT_EQ(test.check.verdict, Device_Verdict::Device) << test.check.reason;
      // The device moved what the test counted, give or take the transfers in flight as the
      // span began (a thread of the pool may hand back a transfer the device finished just
      // before), and a little metadata and journal.
      const std::int64_t slack = plan.depth * plan.block + (plan.write ? kMiB : 64 * 1024);
      EXPECT_NEAR(static_cast<double>(test.check.device_bytes), static_cast<double>(test.bytes),
                  static_cast<double>(slack));
    }
    // The device really had the queue's depth of reads in flight (others, such as udev
    // probing a new loop device, may add their own). A thread of the pool sends its next
    // read only once it has taken its last one back, so a sample may catch a few of them
    // in between: the pool shows at least three quarters of its depth.
    const int share = backend == platform::Io_Backend::Io_Uring ? 4 : 3;
    EXPECT_GE(sampler.Most(0), 8 * share / 4);
    EXPECT_GE(sampler.Most(4), 32 * share / 4);
    EXPECT_TRUE(std::filesystem::is_empty(disk.path() + "/lost+found"));
    EXPECT_FALSE(std::filesystem::exists(disk.path() + "/_Quillorane"));
  }
}

TEST(Peak_Disk, WhereIoUringIsRefusedThePoolStandsInAndSaysWhy) {
  Scratch_Folder scratch;
  int pipe_fds[2];
  ASSERT_EQ(::pipe(pipe_fds), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(pipe_fds[0]);
    std::string said = "cannot install the seccomp filter";
    if (Refuse_Io_Uring()) {
      Peak_Request request = Short_Request(scratch.path());
      request.test_ms = 200;
      request.selected.fill(false);
      request.selected[6] = true;  // RND4K-Q1T1-R
      Peak_Recorder recorder(System_Clock());
      const Peak_Result result = Run_Peak(request, recorder, {});
      said = Peak_Text(result) + (recorder.Logged("I/O Engine:thread pool (io_uring is unavailable: Operation not permitted)")
                                      ? "logged\n" : "not logged\n");
    }
    (void)!::write(pipe_fds[1], said.data(), said.size());
    ::_exit(0);
  }
  ::close(pipe_fds[1]);
  std::string said;
  char buffer[4096];
  for (ssize_t n; (n = ::read(pipe_fds[0], buffer, sizeof buffer)) > 0;) said.append(buffer, static_cast<std::size_t>(n));
  ::close(pipe_fds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_EQ(said.rfind("thread pool (io_uring is unavailable: Operation not permitted), ", 0), 0u) << said;
  EXPECT_NE(said.find("\nRND4K-Q1T1-R "), std::string::npos) << said;
  EXPECT_NE(said.find("\nlogged\n"), std::string::npos) << said;
  EXPECT_TRUE(std::filesystem::is_empty(scratch.path()));
}
