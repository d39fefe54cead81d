// input_file.hpp - buffered reading of an input file, line by line, with positions.
//
// The line rule, shared by the scanner and both decoders: a line ends at a CR,
// an LF, or a CR directly followed by an LF; the whole line break is consumed
// and never stored. At most kLineCapacity characters of a line are kept, the
// rest is read and dropped. A line's text ends at its first NUL byte. A last
// line without a break is a line like any other; only a read that finds no
// byte left sets the end-of-file state. A read error sets it too (and counts
// in read_errors()), even in the middle of a line, whose text is then not to
// be examined: an error is never taken for the end of the file. Looking past
// a CR for its LF never counts as meeting the end of the input.
#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "line_scan.hpp"
#include "vantorelle/engine.hpp"

namespace vantorelle {

class InputFile {
 public:
  static constexpr std::size_t kDefaultBufferSize = 256 * 1024;
  static constexpr std::size_t kPadding = 64;

  // Opens `path` for reading as open() does (only a regular file, never
  // waiting on a FIFO) and gives its descriptor and identity; -1 when that fails.
  struct Identity;
  static int open_regular(const std::string& path, Identity& identity);
  // The identity the file at `path` has now; nothing when it cannot be stat()ed.
  static std::optional<Identity> identity_now(const std::string& path);

  // Where bytes read ahead on another thread come from: the bytes of the
  // file at `path` with `identity` from `position` on are put into `buffer`
  // (kDefaultBufferSize bytes and kPadding more; it may be swapped for
  // another of that size), and their count returned; 0 when it has none.
  class BlockSource {
   public:
    virtual std::size_t take(const std::string& path, const Identity& identity, std::uint64_t position,
                             std::unique_ptr<char[]>& buffer) = 0;

   protected:
    ~BlockSource() = default;
  };

  // Opens the file for reading; nothing when it cannot be opened or is not a
  // regular file (never waits on a FIFO).
  static std::optional<InputFile> open(const std::string& path,
                                       std::size_t buffer_size = kDefaultBufferSize);

  // A buffer of `capacity` bytes and kPadding more, and kAlignment more
  // where it is a whole file's.
  static constexpr std::size_t kAlignment = 64;
  struct Buffer {
    std::unique_ptr<char[]> bytes;
    std::size_t capacity = 0;
  };

  // Opens the file with a buffer that holds all of it, read through at the
  // first read, where it is no larger than `most` bytes; nothing otherwise.
  // `spare` is taken for that buffer where it is large enough: a new one
  // costs a page fault for each page it is read into.
  static std::optional<InputFile> open_whole(const std::string& path, std::size_t most, Buffer& spare);

  // Gives up the buffer, for another open_whole(); nothing is read after.
  Buffer release_buffer();

  InputFile(InputFile&& other) noexcept;
  InputFile& operator=(InputFile&& other) noexcept;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile();

  // Reads the next line. The view stays valid until the next read or seek.
  std::string_view read_line();

  // What tells this file apart from others across opens: device, inode, and
  // the size and modification time it had when it was opened.
  struct Identity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modified_ns = 0;
    auto operator<=>(const Identity&) const = default;
  };
  const Identity& identity() const { return identity_; }
  // Reading a line of any length: read_line_head() gives its first
  // kLineCapacity characters (NULs included: the caller applies the NUL rule)
  // and sets `cut` when more of the line follows; read_line_piece() then gives
  // the rest in pieces, the last of them empty with `ended` set once the line
  // break is consumed or the end of the input met. Each view stays valid
  // until the next read or seek.
  std::string_view read_line_head(bool& cut);
  std::string_view read_line_piece(bool& ended);

  // Whether a read has met the end of the input (or a read error).
  bool eof() const { return eof_; }

  // Whether the line read last ended with a line break (not with the end of
  // the input).
  bool line_had_break() const { return had_break_; }

  // How many reads of the file have failed since it was opened.
  unsigned read_errors() const { return read_errors_; }

  // The path the file was opened by.
  const std::string& path() const { return path_; }

  // The number (from 1) of the line that starts at this byte position, as
  // the line rule counts lines. Counts from the last answer when asked in
  // ascending order, so a file is counted through once.
  std::uint64_t line_number_at(std::uint64_t position);

  // The byte position of the next read.
  std::uint64_t position() const { return buffer_pos_ + begin_; }

  // Moves the next read to this byte position and clears the end-of-file state.
  void seek(std::uint64_t position);

  // The file is to be read on to its end: reads ask for the whole buffer
  // from the first on (until a seek), as small first reads gain nothing.
  void read_through() { next_read_ = capacity_; }

  // Of a file opened whole and read to its end: puts its bytes back in the
  // buffer, from position 0, so that it can be read again without a call;
  // false when the buffer no longer holds the file as opened.
  bool rewind_whole();

  // Refills from `source` where it has the bytes (it must outlive the reads).
  void read_from(BlockSource* source) { source_ = source; }

  // Bulk access for the fast paths: the unread bytes in the buffer, followed
  // by at least kPadding readable bytes, and taking n of them as read.
  std::string_view buffered() const { return {data_ + begin_, end_ - begin_}; }
  void consume(std::size_t n) { begin_ += n; }

 private:
  InputFile(int fd, std::size_t buffer_size, const Identity& identity, std::string path,
            std::unique_ptr<char[]> buffer = {});
  bool refill();
  void took_block(std::size_t n);
  void skip_lf_after_cr();
  void keep_text(std::string_view text);
  std::string_view kept() const { return {line_.data(), line_length_}; }

  int fd_ = -1;
  Identity identity_;
  std::string path_;
  unsigned read_errors_ = 0;
  // Where line_number_at counted to: the position, the breaks before it and
  // whether the byte before it was a CR (whose LF would not count again).
  struct LineCount {
    std::uint64_t position = 0;
    std::uint64_t breaks = 0;
    bool after_cr = false;
  };
  LineCount counted_;
  // capacity_ bytes and kPadding more; only the padding is cleared, since
  // every other byte is read before it is looked at.
  std::unique_ptr<char[]> buffer_;
  char* data_ = nullptr;  // where the bytes start in buffer_
  std::size_t capacity_ = 0;
  // Bytes the next refill asks for: small after opening or seeking, doubling
  // up to capacity_, so a short segment costs a short read however large the
  // buffer is.
  static constexpr std::size_t kFirstRead = 4096;
  std::size_t next_read_ = kFirstRead;
  std::size_t begin_ = 0;        // next unread byte in buffer_
  std::size_t end_ = 0;          // bytes held in buffer_
  std::uint64_t buffer_pos_ = 0; // file position of buffer_[0]
  bool eof_ = false;
  bool had_break_ = false;
  std::array<char, kLineCapacity> line_{};  // a line that had to leave the buffer
  std::size_t line_length_ = 0;
  BlockSource* source_ = nullptr;
  // The buffer holds the whole file from position 0: read at once, as opened.
  bool whole_ = false;
};

}  // namespace vantorelle
