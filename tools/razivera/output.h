// Where a command writes its file.  A recording is a night that cannot be
// recorded again, so an output never destroys anything:
//  - a regular file (or a path that does not exist yet) is written under a
//    temporary name beside it and renamed into place only when it is complete
//    and flushed to the disk; a failed or interrupted run (an error, SIGINT,
//    SIGTERM, SIGHUP, SIGPIPE, SIGXFSZ) removes the temporary file and nothing
//    else;
//  - anything else (a device, a FIFO, "-" for standard output) is written as
//    a stream: never created, renamed or removed.
#pragma once

#include <cstdio>
#include <string>

namespace tool {

// True when `path` is standard output: "-", or a name of the file standard
// output already is (/dev/stdout, or the file it was redirected to).  Such an
// output is written through standard output, and messages go to the error
// stream.
bool is_stdout_path(const std::string& path);

// True when `output` is the file `input` (the same device and inode, through
// any name, hard link or symbolic link); "-" compares standard output.
bool same_file(const std::string& input, const std::string& output);

class Output {
 public:
  explicit Output(std::string target);
  ~Output();  // discards whatever was not committed
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  // Looks at the target: false, with the reason, when it cannot be written
  // at all (a directory, a dangling symbolic link, a missing directory).
  bool prepare(std::string& error);
  // True for a stream target (standard output, a device, a FIFO).
  bool stream() const { return stream_; }

  // For a writer that needs a seekable file by name (the library): a new
  // temporary file beside the target, or in the temporary directory for a
  // stream target (copied to the stream on commit).  Empty on failure.
  std::string begin_file(std::string& error);
  // For a writer of a byte stream that never seeks: the temporary file
  // beside a regular target, or the stream itself.  nullptr on failure.
  std::FILE* begin_stream(std::string& error);

  // Finishes the output: flushes it to the disk and renames it into place,
  // or copies it to the stream.  false, with the reason, when that fails;
  // the target is then as it was.
  bool commit(std::string& error);
  // Removes the temporary file, if any; the target stays as it was.
  void discard();

 private:
  bool make_temp(const std::string& dir, const std::string& base, std::string& error);
  bool open_stream(std::string& error);
  bool adopt(int fd, std::string& error);
  bool copy_to_stream(std::string& error);

  std::string target_;  // as the user named it
  std::string real_;    // the file a symbolic link leads to, else target_
  bool stream_ = false;
  bool stdout_ = false;
  bool existed_ = false;
  unsigned mode_ = 0;  // permissions of the file it replaces, or for a new one
  unsigned uid_ = 0, gid_ = 0;
  std::string temp_;           // the temporary file while there is one
  std::FILE* file_ = nullptr;  // the temporary file or stream being written
  bool ownsFile_ = false;      // file_ is to be closed by us (not stdout)
};

}  // namespace tool
