// The runner's standard output: whatever it prints (rates, JSON, CSV, listings, the
// identifier) must reach it, or the user is told and the exit status says so.
#pragma once

#include <ostream>
#include <streambuf>
#include <string>

// A stream buffer that writes to a file descriptor and keeps the first error of a write;
// after one, everything is dropped and the stream fails.
class Output_Buffer : public std::streambuf {
 public:
  explicit Output_Buffer(int fd) : fd_(fd) {}
  Output_Buffer(const Output_Buffer&) = delete;
  Output_Buffer& operator=(const Output_Buffer&) = delete;
  // The system's error number of the first write that failed; 0 when none did.
  int error() const { return error_; }

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* text, std::streamsize n) override;
  int sync() override;

 private:
  bool Send();

  int fd_;
  int error_ = 0;
  std::string pending_;
};

// Gives the C library's stdout (the identifier, the report's status) a buffer large enough
// that its output is written at its close, where a failure still has its reason.
void Hold_Standard_Output();

// Flushes out (over buffer) and closes the C library's stdout; when a write to either failed
// (a full disk, /dev/full), writes "platterscope-bench: Cannot write the results: <reason>" to
// err and returns 1, otherwise status. A reader that went away (EPIPE, as in "... | head -1")
// chose to stop reading: that ends only the printing.
int Close_Output(int status, std::ostream& out, const Output_Buffer& buffer, std::ostream& err);
