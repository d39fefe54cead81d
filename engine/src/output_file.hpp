// output_file.hpp - buffered writing of an output file with a sticky error state.
#pragma once

#include <cstddef>
#include <memory>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "crc32_fast.hpp"
#include "io_worker.hpp"
#include "uncached_writes.hpp"

namespace vantorelle {

class WriteBehind;

class OutputFile {
 public:
  // Small enough to stay in the processor's cache between decoding into it
  // and the write that copies it out, which is most of a run's cost, and
  // large enough that the kernel takes each write in few, large pages.
  static constexpr std::size_t kDefaultBufferSize = 256 * 1024;

  // Creates or truncates the file for writing; nothing when that fails.
  static std::optional<OutputFile> create(const std::string& path,
                                          std::size_t buffer_size = kDefaultBufferSize);

  // Creates an output for `path` under a hidden temporary name in its folder
  // (.NAME.vantorelle-XXXXXX, made with O_EXCL and without following a link,
  // and locked while it is written), so that no other run ever writes the
  // same file and the final name never holds a cut-short file. close() moves
  // it to `path`, never over another file's data: the name must then be
  // missing, or an empty regular file with no other link (which is
  // replaced); else the next name from the next-name call is tried. Nothing
  // when the temporary file cannot be made.
  static std::optional<OutputFile> create_exclusive(
      const std::string& path, std::size_t buffer_size = kDefaultBufferSize);

  // The temporary file create_exclusive() makes for `path`, left to the
  // caller: its descriptor (locked), and its name in temp_path; -1 when it
  // cannot be made.
  static int create_temporary(const std::string& path, std::string& temp_path);

  // Takes over such a file as create_exclusive() would have made it: its
  // descriptor is the output's own from here on, and close() moves it to `path`.
  static OutputFile adopt_temporary(int fd, std::string temp_path, const std::string& path,
                                    std::size_t buffer_size = kDefaultBufferSize);

  // Writes into the open file `fd` through a descriptor of its own, at the
  // places place_at() gives; close() only closes that descriptor. `buffer`,
  // when given, holds buffer_size bytes and kSlack more, and is used instead
  // of a new one.
  static std::optional<OutputFile> write_into(int fd, std::size_t buffer_size = kDefaultBufferSize,
                                              std::unique_ptr<char[]> buffer = {});

  // How both open their file: open(2), unless a test has put another call
  // in place to have the system refuse (EACCES even as root, ENOSPC). An
  // empty call puts open(2) back; the one replaced is returned.
  using OpenCall = std::function<int(const std::string& path, int flags, int mode)>;
  static OpenCall replace_open(OpenCall call);

  OutputFile(OutputFile&& other) noexcept;
  OutputFile& operator=(OutputFile&& other) noexcept;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();

  // Appends bytes; returns false once any write has failed.
  bool write(const void* data, std::size_t size);

  // Decoding straight into the buffer, with the flushes a write() of the same
  // bytes would make: spare() is the free room (none once a write has failed;
  // kSlack more bytes past it may be scribbled on), commit(n) takes n bytes
  // written there, and buffered() shows what awaits the next flush.
  static constexpr std::size_t kSlack = 64;
  std::span<unsigned char> spare() {
    if (error_) return {};
    return {reinterpret_cast<unsigned char*>(buffer_.get()) + used_, capacity_ - used_};
  }
  void commit(std::size_t n) {
    used_ += n;
    length_ += n;
    appended_ += n;
  }
  std::span<const unsigned char> buffered() const {
    return {reinterpret_cast<const unsigned char*>(buffer_.get()), used_};
  }

  // Whether a write has failed so far.
  bool error() const { return error_; }

  // Bytes handed over by write() and commit() so far.
  std::uint64_t length() const { return length_; }

  // Writes what is buffered and closes the file; false when anything failed.
  // An output of create_exclusive() is moved into place first, also after a
  // failed write (what could be written may still be of use); when the move
  // fails the data stays under the temporary name.
  bool close();

  // The bytes still buffered (as far as the limit), taken out with their
  // buffer and the file position they belong at, for the caller to write;
  // the file is closed unwritten by them.
  struct Unwritten {
    std::unique_ptr<char[]> buffer;
    std::size_t size = 0;
    std::uint64_t offset = 0;
    std::size_t capacity = 0;  // of the buffer, as write_into() takes it
  };
  Unwritten take_unwritten();

  // Closes the file and removes it, unmoved: the output is given up, path()
  // is empty and close() reports failure.
  void discard();

  // The path the file has: the one asked for until close() moved it, then
  // the name it was really moved to (the temporary one if the move failed).
  const std::string& path() const { return path_; }

  // Writes what is buffered; false when that or an earlier write failed.
  bool flush();

  // Bytes written from here on land at `offset`, and those that would land at
  // or past `limit` are dropped (length() still counts them): a part written
  // at its own byte range never spills into the range of the next.
  bool place_at(std::uint64_t offset, std::uint64_t limit);

  // Gives the file this size now, the bytes not yet written reading as
  // zeros (a sparse file where the file system allows).
  bool resize(std::uint64_t size);

  // Sets aside disk space for about the first `size` bytes, which are about
  // to be written: the writes then skip most of the file system's
  // allocation, about a third of their time. The file's size stays; what is
  // set aside past its end is given back at close(). Only a hint; the writes
  // still report a full disk.
  void reserve(std::uint64_t size);

  // From here on flushes hand the buffer to the worker, which writes it at
  // its place while decoding goes on into another; at most a few buffers
  // wait. A failed write shows at the next flush or settle().
  void write_behind(IoWorker& worker);

  // Waits for the writes handed to the worker; false when that or an earlier
  // write failed. What is still buffered stays buffered.
  bool settle();

  // A mark of the writes handed to the worker so far, and a wait for those
  // up to a mark only: false when one of them failed (the output is then in
  // error), true when only a later write did. Without a worker, settle().
  std::uint64_t writes_handed() const;
  bool settle(std::uint64_t mark);

  // The file position the first failed write reached: bytes from there on
  // never got into the file. UINT64_MAX while none failed; kept by close().
  std::uint64_t failed_at() const;

  // Once a write has failed, forgets the bytes committed from `length` on:
  // they were decoded past the failure and will never be written.
  void forget_from(std::uint64_t length);

  // Writes past the page cache from here on (see WantUncachedWrites).
  void write_uncached();

  // With a worker (write_behind() first): from here on the CRC-32 of the
  // bytes is taken there, just before they are written, in pieces cut at
  // every crc_mark(); false when there is no worker.
  bool crc_behind();
  bool crc_is_behind() const { return crc_behind_; }
  // Cuts a piece here; the number of bytes appended so far.
  std::uint64_t crc_mark();
  // The register from 0 over the bytes appended between two marks, waiting
  // for the worker's pieces where it must; nothing when one is missing (the
  // output failed on the way).
  std::optional<std::uint32_t> crc_between(std::uint64_t from, std::uint64_t to);

 private:
  OutputFile(int fd, std::size_t buffer_size, std::unique_ptr<char[]> buffer = {});
  bool move_into_place();
  // Writes bytes that lie from position_ on, as far as limit_.
  bool write_out(const char* data, std::size_t size);
  // The bytes of the buffer as far as limit_; nothing past it is written.
  std::size_t within_limit(std::size_t size) const;
  // Hands the buffer to the worker and takes a free one.
  void hand_over();
  // Gives back the disk space reserve() set aside past the file's end.
  void release_reserve();
  // The buffer's bytes not yet counted, as pieces cut at the marks.
  std::vector<CrcPiece> uncounted_pieces();
  // Takes the CRC of a piece here.
  void count_here(std::uint64_t from, const char* data, std::size_t size);

  int fd_ = -1;
  // capacity_ bytes and kSlack more, never cleared: only written bytes are read.
  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_ = 0;
  std::size_t used_ = 0;
  std::uint64_t length_ = 0;
  std::uint64_t position_ = 0;  // where in the file the next buffered byte goes
  std::uint64_t limit_ = UINT64_MAX;
  std::uint64_t reserved_ = 0;  // bytes set aside by reserve()
  bool error_ = false;
  std::uint64_t failed_at_ = UINT64_MAX;  // where a write made here failed
  std::string path_;
  std::string temp_path_;  // empty unless a temporary file awaits its move
  // Owned apart, so that it stays put when the output moves; the worker uses
  // it until the writes are settled.
  std::unique_ptr<PositionalWriter> writer_ = std::make_unique<PositionalWriter>();
  std::unique_ptr<WriteBehind> behind_;
  // The CRC taken behind: stream positions, counted in bytes appended.
  bool crc_behind_ = false;
  std::uint64_t appended_ = 0;
  std::uint64_t counted_to_ = 0;  // bytes before it are counted or handed over to be
  std::uint64_t handed_to_ = 0;   // the same, handed over only
  std::vector<std::uint64_t> cuts_;  // marks in the buffer
  std::map<std::uint64_t, CrcPiece> pieces_;  // counted, by position
};

}  // namespace vantorelle
