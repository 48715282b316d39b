#include "output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "text.h"

namespace tool {
namespace {

constexpr mode_t kNewFileMode = 0666;  // before the umask, as any program creates files
constexpr mode_t kPermissionBits = 07777;
constexpr size_t kCopyChunk = 1u << 20;
constexpr char kTempSuffix[] = ".XXXXXX";

// The signals that end a run from outside; each removes the temporary file
// before the process ends the way the signal says.
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGXFSZ};
constexpr size_t kSignalCount = sizeof kEndingSignals / sizeof kEndingSignals[0];

// The temporary file of the run, for the signal handler: a fixed buffer and
// a flag, the only things a handler may touch.
char gTempPath[PATH_MAX];
volatile std::sig_atomic_t gHaveTemp = 0;
struct sigaction gPrevious[kSignalCount];
bool gInstalled[kSignalCount] = {};

extern "C" void remove_temp_and_end(int sig) {
  // unlink and raise are async-signal-safe; SA_RESETHAND has restored the
  // default action, which the raised signal takes once this returns.
  if (gHaveTemp) unlink(gTempPath);
  raise(sig);
}

// Blocks the ending signals while the temporary file is created and named
// to the handler, so that no signal falls between the two.
class SignalsHeld {
 public:
  SignalsHeld() {
    sigset_t set;
    sigemptyset(&set);
    for (int s : kEndingSignals) sigaddset(&set, s);
    sigprocmask(SIG_BLOCK, &set, &old_);
  }
  ~SignalsHeld() { sigprocmask(SIG_SETMASK, &old_, nullptr); }
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  sigset_t old_;
};

void install_handlers() {
  for (size_t i = 0; i < kSignalCount; ++i) {
    if (gInstalled[i]) continue;
    struct sigaction now = {};
    sigaction(kEndingSignals[i], nullptr, &now);
    // A signal the caller chose to ignore (nohup) stays ignored.
    if (now.sa_handler == SIG_IGN) continue;
    struct sigaction act = {};
    act.sa_handler = remove_temp_and_end;
    sigemptyset(&act.sa_mask);
    act.sa_flags = SA_RESETHAND;
    if (sigaction(kEndingSignals[i], &act, &gPrevious[i]) == 0) gInstalled[i] = true;
  }
}

void restore_handlers() {
  for (size_t i = 0; i < kSignalCount; ++i) {
    if (!gInstalled[i]) continue;
    sigaction(kEndingSignals[i], &gPrevious[i], nullptr);
    gInstalled[i] = false;
  }
}

void forget_temp() {
  gHaveTemp = 0;
  restore_handlers();
}

mode_t new_file_mode() {
  const mode_t mask = umask(0);
  umask(mask);
  return kNewFileMode & ~mask;
}

std::string dir_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string base_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Where a stream's content waits until it is complete.
std::string temp_dir() {
  const char* dir = std::getenv("TMPDIR");
  return dir && *dir ? dir : P_tmpdir;
}

std::string errno_text() { return std::strerror(errno); }

// Flushes a directory entry change (a rename) to the disk; a file system
// that cannot do that for a directory has nothing to flush.
void sync_dir(const std::string& dir) {
  const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

}  // namespace

bool is_stdout_path(const std::string& path) {
  if (path == "-") return true;
  struct stat named = {}, out = {};
  return stat(path.c_str(), &named) == 0 && fstat(STDOUT_FILENO, &out) == 0 && named.st_dev == out.st_dev &&
         named.st_ino == out.st_ino;
}

bool same_file(const std::string& input, const std::string& output) {
  struct stat in = {}, out = {};
  if (stat(input.c_str(), &in) != 0) return false;
  const int got = output == "-" ? fstat(STDOUT_FILENO, &out) : stat(output.c_str(), &out);
  return got == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino;
}

Output::Output(std::string target) : target_(std::move(target)), real_(target_) {}

Output::~Output() { discard(); }

bool Output::prepare(std::string& error) {
  mode_ = new_file_mode();
  if (is_stdout_path(target_)) {
    stream_ = stdout_ = true;
    return true;
  }
  struct stat link = {};
  if (lstat(target_.c_str(), &link) != 0) {
    if (errno == ENOENT) return true;  // a new file
    error = "cannot use it: " + errno_text();
    return false;
  }
  struct stat st = {};
  if (stat(target_.c_str(), &st) != 0) {
    error = "is a symbolic link to nothing (" + errno_text() + "); not written through";
    return false;
  }
  if (S_ISDIR(st.st_mode)) {
    error = "is a directory";
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    stream_ = true;
    return true;
  }
  existed_ = true;
  mode_ = st.st_mode & kPermissionBits;
  uid_ = st.st_uid;
  gid_ = st.st_gid;
  if (S_ISLNK(link.st_mode)) {
    // The file the link leads to is replaced; the link stays a link.
    char* real = realpath(target_.c_str(), nullptr);
    if (!real) {
      error = "cannot follow its symbolic link: " + errno_text();
      return false;
    }
    real_ = real;
    std::free(real);
  }
  return true;
}

// Takes an open descriptor over as the output's stream (closed by the output).
bool Output::adopt(int fd, std::string& error) {
  file_ = fdopen(fd, "wb");
  if (!file_) {
    error = "cannot write it: " + errno_text();
    close(fd);
    return false;
  }
  ownsFile_ = true;
  return true;
}

bool Output::make_temp(const std::string& dir, const std::string& base, std::string& error) {
  std::string name = dir + "/." + base + kTempSuffix;
  if (name.size() >= sizeof gTempPath) {
    error = "its name is too long";
    return false;
  }
  std::vector<char> buf(name.begin(), name.end());
  buf.push_back('\0');
  int fd = -1;
  {
    const SignalsHeld held;
    fd = mkstemp(buf.data());
    if (fd < 0) {
      error = strf("cannot create a file in %s: %s", dir.c_str(), errno_text().c_str());
      return false;
    }
    std::memcpy(gTempPath, buf.data(), buf.size());
    gHaveTemp = 1;
    install_handlers();
  }
  temp_ = buf.data();
  // The new file takes the permissions (and, where allowed, the owner) of the
  // file it replaces; a new file those of any file a program creates.
  fchmod(fd, mode_);
  if (existed_ && fchown(fd, uid_t(uid_), gid_t(gid_)) != 0) {
    // Only the owner's own files can be given away; ours is then the owner.
  }
  return adopt(fd, error);
}

std::string Output::begin_file(std::string& error) {
  const bool made =
      stream_ ? make_temp(temp_dir(), "razivera", error) : make_temp(dir_of(real_), base_of(real_), error);
  if (!made) return std::string();
  // The writer opens the file by its name.
  std::fclose(file_);
  file_ = nullptr;
  ownsFile_ = false;
  return temp_;
}

std::FILE* Output::begin_stream(std::string& error) {
  if (stream_) return open_stream(error) ? file_ : nullptr;
  return make_temp(dir_of(real_), base_of(real_), error) ? file_ : nullptr;
}

bool Output::open_stream(std::string& error) {
  if (stdout_) {
    file_ = stdout;
    ownsFile_ = false;
    return true;
  }
  // Never created: it exists, and stays what it is.
  const int fd = open(target_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    error = "cannot open it for writing: " + errno_text();
    return false;
  }
  return adopt(fd, error);
}

bool Output::copy_to_stream(std::string& error) {
  std::FILE* in = std::fopen(temp_.c_str(), "rb");
  if (!in) {
    error = "cannot read back what was written: " + errno_text();
    return false;
  }
  if (!open_stream(error)) {
    std::fclose(in);
    return false;
  }
  std::vector<char> buf(kCopyChunk);
  bool ok = true;
  size_t n = 0;
  while (ok && (n = std::fread(buf.data(), 1, buf.size(), in)) > 0)
    ok = std::fwrite(buf.data(), 1, n, file_) == n;
  ok = ok && !std::ferror(in);
  std::fclose(in);
  if (!ok) error = "cannot write it: " + errno_text();
  return ok;
}

bool Output::commit(std::string& error) {
  bool ok = true;
  if (stream_ && !temp_.empty()) ok = copy_to_stream(error);
  if (file_) {
    errno = 0;
    ok = ok && std::fflush(file_) == 0 && !std::ferror(file_);
    // A regular file reaches the disk before it takes the target's name.
    if (ok && !stream_ && fsync(fileno(file_)) != 0) ok = false;
    if (ownsFile_ && std::fclose(file_) != 0) ok = false;
    file_ = nullptr;
    ownsFile_ = false;
    if (!ok && error.empty())
      error = "cannot write it: " + (errno ? errno_text() : std::string("write error"));
  } else if (ok && !stream_) {
    // Written by the library, which has closed it.
    const int fd = open(temp_.c_str(), O_RDONLY | O_CLOEXEC);
    ok = fd >= 0 && fsync(fd) == 0;
    if (!ok) error = "cannot flush it to the disk: " + errno_text();
    if (fd >= 0) close(fd);
  }
  if (!ok) {
    discard();
    return false;
  }
  if (stream_) {
    discard();  // the copy's source, if any
    return true;
  }
  if (std::rename(temp_.c_str(), real_.c_str()) != 0) {
    error = "cannot put it in place: " + errno_text();
    discard();
    return false;
  }
  forget_temp();
  temp_.clear();
  sync_dir(dir_of(real_));
  return true;
}

void Output::discard() {
  if (file_ && ownsFile_) std::fclose(file_);
  file_ = nullptr;
  ownsFile_ = false;
  if (!temp_.empty()) {
    std::remove(temp_.c_str());
    forget_temp();
    temp_.clear();
  }
}

}  // namespace tool
