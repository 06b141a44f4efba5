// Standard output checked to its end: the first failed write keeps its reason, and the last
// flush and close are checked as well.
#include "bench/output_close.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/safe_files.h"

namespace {
// Output held before it is written.
constexpr std::size_t kHeld = 1 << 16;
}  // namespace

bool Output_Buffer::Send() {
  if (error_ == 0 && !platform::Write_All(fd_, pending_, error_) && error_ == 0) error_ = EIO;
  pending_.clear();
  return error_ == 0;
}

Output_Buffer::int_type Output_Buffer::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return sync() == 0 ? traits_type::not_eof(c) : c;
  const char one = traits_type::to_char_type(c);
  return xsputn(&one, 1) == 1 ? c : traits_type::eof();
}

std::streamsize Output_Buffer::xsputn(const char* text, std::streamsize n) {
  if (error_ != 0) return 0;
  pending_.append(text, static_cast<std::size_t>(n));
  if (pending_.size() >= kHeld && !Send()) return 0;
  return n;
}

int Output_Buffer::sync() { return Send() ? 0 : -1; }

void Hold_Standard_Output() {
  static char held[1 << 20];
  std::setvbuf(stdout, held, _IOFBF, sizeof held);
}

int Close_Output(int status, std::ostream& out, const Output_Buffer& buffer, std::ostream& err) {
  out.flush();
  int error = buffer.error();
  errno = 0;
  const bool stdout_failed = std::ferror(stdout) != 0;
  if (std::fclose(stdout) != 0 || stdout_failed) {
    if (error == 0) error = errno != 0 ? errno : EIO;
  }
  if (error == 0 || error == EPIPE) return status;
  err << "platterscope-bench: Cannot write the results: " << std::strerror(error) << std::endl;
  return 1;
}
