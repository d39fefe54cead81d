// verdict_property.hpp - random posts with random damage, decoded in-process, judged by their verdict.
//
// A run posts one to three random files of one format as real encoders write
// them (uuencode in backtick and blank style, bare or in articles, split over parts with
// subject counters of every form, a set of binaries under one subject; yEnc in
// one part or many, with and without "=ypart"), with CR LF or LF, with and
// without a final line break, saved one article per file or merged, and
// applies at most one kind of damage. The verdict must be trustworthy: a run
// without any error or warning must have written every posted file exactly,
// and a run of complete posts must give no error or warning. The choices come
// from a byte source (the fuzzer's input) and then from a seeded generator.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "article_writer.hpp"
#include "hooks.hpp"
#include "vantorelle/engine.hpp"

namespace vantorelle::verdict {

// Picks from the given bytes first, then from a generator seeded by them.
class Chooser {
 public:
  Chooser(std::string_view bytes, std::uint64_t seed) : bytes_(bytes), rng_(seed) {}
  // A value in [0, n).
  std::size_t below(std::size_t n) {
    if (n <= 1) return 0;
    if (!bytes_.empty()) {
      const auto b = static_cast<unsigned char>(bytes_.front());
      bytes_.remove_prefix(1);
      return b % n;
    }
    return static_cast<std::size_t>(rng_() % n);
  }
  std::size_t between(std::size_t lo, std::size_t hi) { return lo + below(hi - lo + 1); }
  bool chance(std::size_t percent) { return below(100) < percent; }
  std::string bytes(std::size_t n) {
    std::string out(n, '\0');
    for (auto& c : out) c = static_cast<char>(rng_() & 0xFF);
    return out;
  }

 private:
  std::string_view bytes_;
  std::mt19937_64 rng_;
};

enum class Role { kText, kBegin, kData, kTerminator, kEnd, kYBegin, kYPart, kYEnd };

inline bool encoded(Role role) { return role != Role::kText; }

struct Line {
  std::string text;
  Role role = Role::kText;
};

struct Article {
  std::vector<Line> lines;
  std::size_t post = 0;
  bool final_break = true;
  bool own_file = false;  // a bare post: nothing before it may join it
  std::string cut_tail;   // a line cut short: its first bytes, with no break
};

struct Expected {
  std::string name;
  std::string data;
};

struct Post {
  bool yenc = false;
  std::string eol;
  std::vector<Expected> files;
  std::vector<Article> articles;
};

enum class Damage {
  kNone,
  kCutAtLineEnd,
  kCutInLine,
  kPadOutside,  // separator, title and signature lines around the data
  kPadInside,   // junk lines among the data lines
  kDropLine,
  kFlipByte,
  kPartMissing,
  kPartDuplicated,
  kStripBlanks,
  kCount,
};

inline const char* damage_name(Damage d) {
  static const char* const names[] = {"none",        "cut-at-line-end", "cut-in-line",
                                      "pad-outside", "pad-inside",      "drop-line",
                                      "flip-byte",   "part-missing",    "part-duplicated",
                                      "strip-blanks"};
  return names[static_cast<int>(d)];
}

// Damage after which every posted byte is still there, in order, and nothing
// in the data was changed: the run must decode without error or warning.
inline bool harmless(Damage d) {
  return d == Damage::kNone || d == Damage::kPadOutside || d == Damage::kStripBlanks;
}

// ---------------------------------------------------------------------------
// Posting
// ---------------------------------------------------------------------------

inline std::vector<Line> article_head(Chooser& pick, const std::string& subject) {
  std::vector<Line> head = {{"From: poster@example.invalid"}, {"Newsgroups: alt.binaries.test"}};
  // Long subjects are folded before the counter now and then.
  const std::size_t fold = subject.rfind(' ');
  if (fold != std::string::npos && fold > 0 && pick.chance(15)) {
    head.push_back({"Subject: " + subject.substr(0, fold)});
    head.push_back({(pick.chance(50) ? "\t" : "  ") + subject.substr(fold + 1)});
  } else {
    head.push_back({"Subject: " + subject});
  }
  head.push_back({"Message-ID: <" + std::to_string(pick.below(1000000)) + "@example.invalid>"});
  head.push_back({""});
  return head;
}

// The part counter in one of the forms posters use; sometimes a set counter
// of another form stands further left.
inline std::string subject_with_counter(const std::string& title,
                                        const std::string& name, std::size_t part,
                                        std::size_t total, std::size_t form, bool set_counter) {
  const bool pad = total >= 10 && form == 1;
  auto num = [&](std::size_t n) {
    std::string s = std::to_string(n);
    if (pad && s.size() < std::to_string(total).size()) s.insert(0, std::to_string(total).size() - s.size(), '0');
    return s;
  };
  std::string counter;
  switch (form) {
    case 0: counter = "(" + num(part) + "/" + num(total) + ")"; break;
    case 1: counter = "[" + num(part) + "/" + num(total) + "]"; break;
    default: counter = "(" + num(part) + " of " + num(total) + ")"; break;
  }
  std::string subject = title;
  if (set_counter) subject += form == 1 ? " (1/2)" : " [01/15]";
  return subject + " - " + name + " " + counter;
}

inline std::string uu_line_style(std::string line, bool blank_style) {
  if (blank_style) std::replace(line.begin(), line.end(), '`', ' ');
  return line;
}

// begin, data lines, terminator, end.
inline std::vector<Line> uu_body(Chooser& pick, const std::string& name, std::string_view data,
                                 bool blank_style) {
  static const char* const modes[] = {"644", "0644", "664", "755", "600"};
  std::vector<Line> body = {{std::string("begin ") + modes[pick.below(5)] + " " + name, Role::kBegin}};
  const std::vector<std::string> lines = test::uuencode_lines(data);
  for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
    body.push_back({uu_line_style(lines[i], blank_style), Role::kData});
  }
  body.push_back({uu_line_style(lines.back(), blank_style), Role::kTerminator});
  body.push_back({"end", Role::kEnd});
  return body;
}

inline std::string random_data(Chooser& pick) {
  std::size_t size = pick.chance(10) ? pick.below(4) : pick.between(1, 3000);
  if (pick.chance(5)) size = pick.between(3000, 20000);
  std::string data = pick.bytes(size);
  if (pick.chance(20)) {  // text-like data: runs of blanks and line breaks
    for (auto& c : data) c = " \t\r\nabcxyz0123=.`"[static_cast<unsigned char>(c) % 17];
  }
  return data;
}

inline void post_uu(Chooser& pick, Post& post, const std::string& title, const std::string& name) {
  const std::string data = random_data(pick);
  post.files.push_back({name, data});
  const bool blank_style = pick.chance(30);
  std::vector<Line> body = uu_body(pick, name, data, blank_style);
  const std::size_t shape = pick.below(10);
  if (shape < 2) {  // sharutils output saved as it is, no article around it
    post.articles.push_back({body, 0, true, true, {}});
    return;
  }
  const std::size_t per_part = shape < 5 ? body.size() : pick.between(1, 40);
  const std::size_t parts = (body.size() + per_part - 1) / per_part;
  const std::size_t form = pick.below(3);
  const bool set_counter = pick.chance(20);
  for (std::size_t p = 0; p < parts; ++p) {
    const std::string subject = parts == 1 && pick.chance(30)
                                    ? title + " - " + name
                                    : subject_with_counter(title, name, p + 1, parts, form,
                                                           set_counter);
    Article article{article_head(pick, subject), 0, true, false, {}};
    for (std::size_t i = p * per_part; i < body.size() && i < (p + 1) * per_part; ++i) {
      article.lines.push_back(body[i]);
    }
    post.articles.push_back(std::move(article));
  }
}

// Several complete binaries posted under one subject, one per article.
inline void post_uu_set(Chooser& pick, Post& post, const std::string& title, const std::string& name) {
  const std::size_t count = pick.between(2, 3);
  const std::size_t form = pick.below(3);
  for (std::size_t k = 0; k < count; ++k) {
    const std::string file = std::to_string(k + 1) + name;
    const std::string data = random_data(pick);
    post.files.push_back({file, data});
    Article article{article_head(pick, subject_with_counter(title, "pictures", k + 1, count,
                                                            form, false)),
                    0, true, false, {}};
    for (auto& l : uu_body(pick, file, data, pick.chance(30))) article.lines.push_back(l);
    post.articles.push_back(std::move(article));
  }
}

inline void post_yenc(Chooser& pick, Post& post, const std::string& title, const std::string& name) {
  const std::string data = random_data(pick);
  post.files.push_back({name, data});
  const std::size_t line_length = pick.chance(70) ? 128 : pick.between(32, 250);
  const std::string size = std::to_string(data.size());
  const bool upper = pick.chance(10);  // some encoders write CRCs in capitals
  auto hex = [upper](std::uint32_t v) {
    std::string h = test::hex8(v);
    if (upper) std::transform(h.begin(), h.end(), h.begin(), [](char c) { return c >= 'a' ? c - 32 : c; });
    return h;
  };
  const std::string crc = hex(test::crc32_of(data));
  const std::size_t shape = pick.below(10);
  const std::string head = " line=" + std::to_string(line_length) + " size=" + size + " name=" + name;
  if (shape < 5) {  // one part: plain, or as a part 1 of 1 (npm yencode's post())
    const bool as_part = shape >= 3;
    std::vector<Line> body;
    body.push_back({std::string("=ybegin") + (as_part ? " part=1 total=1" : "") + head, Role::kYBegin});
    if (as_part) body.push_back({"=ypart begin=1 end=" + size, Role::kYPart});
    for (auto& l : test::yenc_lines(data, line_length)) body.push_back({l, Role::kData});
    std::string end = "=yend size=" + size;
    end += as_part ? " part=1 pcrc32=" + crc + " crc32=" + crc : " crc32=" + crc;
    body.push_back({end, Role::kYEnd});
    if (shape == 0) {
      post.articles.push_back({body, 0, !as_part, true, {}});
      return;
    }
    const std::string subject =
        title + " - \"" + name + "\" yEnc" + (pick.chance(50) ? " (1/1)" : "");
    Article article{article_head(pick, subject), 0, !as_part || pick.chance(50), false, {}};
    for (auto& l : body) article.lines.push_back(l);
    post.articles.push_back(std::move(article));
    return;
  }
  const std::size_t part_size = std::max<std::size_t>(1, pick.between(50, 4000));
  const std::size_t parts = std::max<std::size_t>(1, (data.size() + part_size - 1) / part_size);
  const bool ypart = pick.chance(85);
  const bool crc_on_every_part = pick.chance(30);
  const std::size_t form = pick.below(3);
  const bool set_counter = pick.chance(10);
  for (std::size_t p = 0; p < parts; ++p) {
    const std::size_t begin = p * part_size;
    const std::string_view piece = std::string_view(data).substr(std::min(begin, data.size()), part_size);
    const std::string subject = subject_with_counter(title, "\"" + name + "\" yEnc", p + 1,
                                                     parts, form, set_counter);
    Article article{article_head(pick, subject), 0, true, false, {}};
    article.lines.push_back({"=ybegin part=" + std::to_string(p + 1) + " total=" +
                                 std::to_string(parts) + head,
                             Role::kYBegin});
    if (ypart) {
      article.lines.push_back({"=ypart begin=" + std::to_string(begin + 1) +
                                   " end=" + std::to_string(begin + piece.size()),
                               Role::kYPart});
    }
    for (auto& l : test::yenc_lines(piece, line_length)) article.lines.push_back({l, Role::kData});
    std::string end = "=yend size=" + std::to_string(piece.size()) + " part=" +
                      std::to_string(p + 1) + " pcrc32=" + hex(test::crc32_of(piece));
    if (crc_on_every_part || p + 1 == parts) end += " crc32=" + crc;
    article.lines.push_back({end, Role::kYEnd});
    post.articles.push_back(std::move(article));
  }
}

inline Post make_post(Chooser& pick, std::size_t index, bool yenc) {
  Post post;
  post.yenc = yenc;
  post.eol = pick.chance(50) ? "\r\n" : "\n";
  static const char* const titles[] = {"Holiday", "My pictures", "Old scans", "Report"};
  const std::string title = std::string(titles[pick.below(4)]) + " " + std::to_string(index);
  static const char* const names[] = {"pic.jpg", "data.bin", "notes.txt", "archive.zip"};
  const std::string name = "p" + std::to_string(index) + names[pick.below(4)];
  if (post.yenc) {
    post_yenc(pick, post, title, name);
  } else if (pick.chance(10)) {
    post_uu_set(pick, post, title, name);
  } else {
    post_uu(pick, post, title, name);
  }
  for (auto& a : post.articles) {
    a.post = index;
    if (pick.chance(20)) a.final_break = false;
  }
  return post;
}

// ---------------------------------------------------------------------------
// Damage
// ---------------------------------------------------------------------------

inline std::vector<std::size_t> lines_with(const Article& a, bool (*want)(Role)) {
  std::vector<std::size_t> at;
  for (std::size_t i = 0; i < a.lines.size(); ++i) {
    if (want(a.lines[i].role)) at.push_back(i);
  }
  return at;
}

inline std::string junk_line(Chooser& pick) {
  static const char* const junk[] = {"-----", "*****", "=====", "FILE: PIC.JPG", "ENJOY!",
                                     "-- ",   "Posted with a newsreader", "begin again next week",
                                     "",      "thanks", "M", "Part 2 follows"};
  return junk[pick.below(std::size(junk))];
}

// Separator and title lines before the data, a signature after its end
// (after a part that ends in data lines, a signature would read as data).
inline void pad_outside(Chooser& pick, Article& a) {
  const auto at = lines_with(a, encoded);
  if (at.empty()) return;
  const Role last = a.lines[at.back()].role;
  if (pick.chance(50) || (last != Role::kEnd && last != Role::kYEnd)) {
    std::vector<Line> title = {{"====="}, {"FILE: PIC.JPG"}, {"====="}};
    if (pick.chance(50)) title = {{junk_line(pick)}};
    if (title.front().text.empty() || title.front().text == "M") title = {{"-----"}};
    a.lines.insert(a.lines.begin() + static_cast<std::ptrdiff_t>(at.front()), title.begin(), title.end());
  } else {
    a.lines.insert(a.lines.begin() + static_cast<std::ptrdiff_t>(at.back()) + 1,
                   {Line{"-- "}, Line{"Posted with a newsreader"}});
  }
}

inline bool is_data(Role r) { return r == Role::kData; }
inline bool uu_droppable(Role r) { return r == Role::kEnd || r == Role::kTerminator; }
inline bool yenc_droppable(Role r) {
  return r == Role::kData || r == Role::kYBegin || r == Role::kYPart || r == Role::kYEnd;
}

// Changes one character of a data line so that the change can be seen: for
// uuencode a character outside its alphabet, or a full line's count; for yEnc
// any bit (the CRCs see it).
inline bool flip_byte(Chooser& pick, Article& a, bool yenc) {
  const auto at = lines_with(a, is_data);
  if (at.empty()) return false;
  std::string& text = a.lines[at[pick.below(at.size())]].text;
  if (text.empty()) return false;
  const std::size_t i = pick.below(text.size());
  if (yenc) {
    text[i] = static_cast<char>(text[i] ^ (1 << pick.below(8)));
  } else if (i == 0) {
    if (text[0] != 'M') return false;
    text[0] = static_cast<char>('A' + pick.below(8));  // 33..40 bytes: never 60 characters
  } else {
    text[i] = static_cast<char>('a' + pick.below(26));
  }
  return true;
}

// Applies the damage to the run's articles; false when it does not fit them.
inline bool apply_damage(Chooser& pick, Damage damage, std::vector<Post>& posts,
                         std::vector<Article>& articles) {
  if (articles.empty()) return false;
  Article& a = articles[pick.below(articles.size())];
  const bool yenc = posts[a.post].yenc;
  switch (damage) {
    case Damage::kNone:
      return true;
    case Damage::kCutAtLineEnd:
    case Damage::kCutInLine: {
      const auto at = lines_with(a, encoded);
      // An article cut before its first encoded line says nothing of a
      // binary when it is the post's only one.
      const bool alone = posts[a.post].articles.size() == 1;
      if (at.size() < (alone ? 2u : 1u)) return false;
      // Full uuencoded lines carry no count: a part other than the last one
      // of its binary cut between lines cannot be told from a shorter part.
      const auto ends = lines_with(a, [](Role r) { return r == Role::kEnd; });
      if (!yenc && damage == Damage::kCutAtLineEnd && ends.empty()) return false;
      const std::size_t cut = at[pick.between(alone ? 1 : 0, at.size() - 1)];
      const std::string line = a.lines[cut].text;
      if (damage == Damage::kCutInLine && line.size() < 2) return false;
      // Nor, cut inside its begin line, from one that may hold only that line.
      if (!yenc && ends.empty() && a.lines[cut].role == Role::kBegin) return false;
      a.lines.resize(cut);
      if (damage == Damage::kCutInLine) a.cut_tail = line.substr(0, pick.between(1, line.size() - 1));
      return true;
    }
    case Damage::kPadOutside:
      pad_outside(pick, a);
      return true;
    case Damage::kPadInside: {
      const auto at = lines_with(a, is_data);
      if (at.size() < 2) return false;
      const std::size_t where = at[pick.between(1, at.size() - 1)];
      std::string junk = junk_line(pick);
      // A lone "M" is a full line of zeros whose blanks were stripped, unless
      // the data shows it writes grave accents.
      const bool accents = std::any_of(at.begin(), at.end(), [&](std::size_t i) {
        return a.lines[i].text.find('`') != std::string::npos;
      });
      if (junk == "M" && !accents) junk = "ENJOY!";
      a.lines.insert(a.lines.begin() + static_cast<std::ptrdiff_t>(where), Line{junk});
      return true;
    }
    case Damage::kDropLine: {
      const auto at = lines_with(a, yenc ? yenc_droppable : uu_droppable);
      if (at.empty()) return false;
      const std::size_t drop = at[pick.below(at.size())];
      // An empty file that lost its =ybegin line lost only its name, and its
      // CRC of 0 reads as none given: nothing can tell.
      if (a.lines[drop].role == Role::kYBegin && posts[a.post].files.front().data.empty()) return false;
      a.lines.erase(a.lines.begin() + static_cast<std::ptrdiff_t>(drop));
      return true;
    }
    case Damage::kFlipByte:
      return flip_byte(pick, a, yenc);
    case Damage::kPartMissing: {
      const std::size_t post = a.post;
      std::vector<std::size_t> of_post;
      for (std::size_t i = 0; i < articles.size(); ++i) {
        if (articles[i].post == post) of_post.push_back(i);
      }
      if (of_post.size() < 2) return false;
      articles.erase(articles.begin() + static_cast<std::ptrdiff_t>(of_post[pick.below(of_post.size())]));
      return true;
    }
    case Damage::kPartDuplicated: {
      Article copy = a;
      copy.own_file = true;
      articles.push_back(std::move(copy));
      return true;
    }
    case Damage::kStripBlanks:
      // Stripped in transit, so each article still ends in a line break: a
      // last line short of its length without one may as well be cut.
      for (auto& art : articles) {
        art.final_break = true;
        for (auto& l : art.lines) {
          while (!l.text.empty() && l.text.back() == ' ') l.text.pop_back();
        }
      }
      return true;
    default:
      return false;
  }
}

// ---------------------------------------------------------------------------
// Saving and decoding
// ---------------------------------------------------------------------------

inline std::string article_text(const Article& a, std::string_view eol) {
  std::string out;
  for (const Line& l : a.lines) {
    out += l.text;
    out += eol;
  }
  if (!a.cut_tail.empty()) return out + a.cut_tail;
  if (!a.final_break && out.size() >= eol.size()) out.resize(out.size() - eol.size());
  return out;
}

struct Outcome {
  bool problem = false;  // an error or a warning was sent
  std::vector<std::string> messages;
  std::map<std::string, std::string> outputs;  // dest_name as written -> bytes
};

inline std::string slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Scans the files and decodes every record, as a run does, with outputs in
// `folder` under their names (made unique, '/' kept out).
inline Outcome decode_files(const std::vector<std::string>& paths, const std::filesystem::path& folder) {
  namespace fs = std::filesystem;
  Outcome outcome;
  dispatch::ResetStateForTesting();
  uuSetMsgCallback([&outcome](int level, std::string_view text) {
    if (level == kLevelError || level == kLevelWarning) outcome.problem = true;
    outcome.messages.push_back(std::to_string(level) + ": " + std::string(text));
    return 1;
  });
  uuSetFNameFilter([&folder](std::string& name) {
    std::string safe = name.empty() || name == "." || name == ".." ? "unnamed" : name;
    std::replace(safe.begin(), safe.end(), '/', '_');
    fs::path path = folder / safe;
    for (int n = 0; fs::exists(fs::symlink_status(path)); ++n) {
      path = folder / (safe + "-(" + std::to_string(n) + ")");
    }
    return path.string();
  });
  Catalogue catalogue;
  for (const auto& p : paths) uuScanFile(catalogue, p);
  for (auto& record : catalogue.records()) uuDecode(&record);
  uuSetMsgCallback({});
  uuSetFNameFilter({});
  for (const auto& entry : fs::directory_iterator(folder)) {
    outcome.outputs[entry.path().filename().string()] = slurp(entry.path());
  }
  // As the command line's exit status has it, a run that wrote nothing failed.
  if (outcome.outputs.empty()) outcome.problem = true;
  return outcome;
}

// The input's lines, each cut to 72 characters, breaks shown.
inline std::string outline(std::string_view text) {
  std::string out;
  while (!text.empty()) {
    std::size_t end = text.find_first_of("\r\n");
    const std::string_view line = text.substr(0, end);
    out += "  |" + std::string(line.substr(0, 72)) + (line.size() > 72 ? "..." : "");
    if (end == std::string_view::npos) return out + " (no break)\n";
    const bool crlf = text.substr(end, 2) == "\r\n";
    out += crlf ? " CRLF\n" : text[end] == '\n' ? " LF\n" : " CR\n";
    text.remove_prefix(end + (crlf ? 2 : 1));
  }
  return out;
}

struct Verdict {
  bool yenc = false;      // the format of the run's posts
  std::size_t posts = 0;
  Damage damage = Damage::kNone;
  bool false_success = false;  // no error or warning, yet a file is not exact
  bool false_alarm = false;    // complete posts, yet an error or warning
  std::string report;          // what went wrong, for a failure
};

inline void write_bytes(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// One run: posts, damage, files in `folder`/in, outputs in `folder`/out.
inline Verdict run_once(std::string_view choice_bytes, std::uint64_t seed,
                        const std::filesystem::path& folder) {
  namespace fs = std::filesystem;
  Chooser pick(choice_bytes, seed);
  std::vector<Post> posts;
  // The posts of a run share a format, so that each verdict speaks of one.
  const bool yenc = pick.chance(50);
  const std::size_t count = pick.chance(75) ? 1 : pick.between(2, 3);
  for (std::size_t i = 0; i < count; ++i) posts.push_back(make_post(pick, i, yenc));
  std::vector<Article> articles;
  for (const auto& post : posts) {
    for (const auto& a : post.articles) articles.push_back(a);
  }
  if (pick.chance(20)) {  // articles saved out of order
    for (std::size_t i = articles.size(); i > 1; --i) std::swap(articles[i - 1], articles[pick.below(i)]);
  }
  Verdict verdict;
  verdict.yenc = posts.front().yenc;
  verdict.posts = posts.size();
  verdict.damage = static_cast<Damage>(pick.below(static_cast<std::size_t>(Damage::kCount)));
  if (!apply_damage(pick, verdict.damage, posts, articles)) verdict.damage = Damage::kNone;

  // One file per article, or runs of articles merged into one file; a bare
  // post stands at the start of its own file.
  fs::remove_all(folder);
  fs::create_directories(folder / "in");
  fs::create_directories(folder / "out");
  const bool merge = pick.chance(40);
  std::vector<std::string> files;
  std::string text;
  for (std::size_t i = 0; i < articles.size(); ++i) {
    if (!text.empty() && (!merge || articles[i].own_file)) {
      files.push_back(text);
      text.clear();
    }
    // Saving appends whole articles: only the last of a file may lack its
    // final line break.
    const bool last_in_file = i + 1 == articles.size() || !merge || articles[i + 1].own_file;
    Article& a = articles[i];
    if (!last_in_file) a.final_break = true;
    text += article_text(a, posts[a.post].eol);
  }
  if (!text.empty()) files.push_back(text);
  std::vector<std::string> paths;
  for (std::size_t i = 0; i < files.size(); ++i) {
    paths.push_back((folder / "in" / ("article" + std::to_string(i) + ".txt")).string());
    write_bytes(paths.back(), files[i]);
  }
  const Outcome outcome = decode_files(paths, folder / "out");

  // Each posted file must come out exactly, under its name or, where damage
  // took the name, under another one that no other posted file has.
  std::string wrong;
  std::vector<std::string> unclaimed;
  for (const auto& output : outcome.outputs) {
    const bool claimed = std::any_of(posts.begin(), posts.end(), [&](const Post& post) {
      return std::any_of(post.files.begin(), post.files.end(),
                         [&](const Expected& file) { return file.name == output.first; });
    });
    if (!claimed) unclaimed.push_back(output.second);
  }
  for (const auto& post : posts) {
    for (const auto& file : post.files) {
      const auto it = outcome.outputs.find(file.name);
      if (it != outcome.outputs.end() && it->second == file.data) continue;
      const auto other = std::find(unclaimed.begin(), unclaimed.end(), file.data);
      if (other != unclaimed.end()) {
        unclaimed.erase(other);
      } else if (it == outcome.outputs.end()) {
        wrong += "  no output " + file.name + "\n";
      } else {
        wrong += "  " + file.name + ": " + std::to_string(it->second.size()) + " bytes, posted " +
                 std::to_string(file.data.size()) + "\n";
      }
    }
  }
  verdict.false_success = !outcome.problem && !wrong.empty();
  verdict.false_alarm = harmless(verdict.damage) && (outcome.problem || !wrong.empty());
  if (verdict.false_success || verdict.false_alarm) {
    verdict.report = std::string(verdict.false_success ? "false success" : "false alarm") +
                     " after damage " + damage_name(verdict.damage) + "\n" + wrong;
    for (const auto& m : outcome.messages) verdict.report += "  message " + m + "\n";
    for (std::size_t i = 0; i < files.size(); ++i) {
      verdict.report += "  --- input " + std::to_string(i) + " (" + std::to_string(files[i].size()) +
                        " bytes)\n" + outline(files[i]);
    }
  }
  return verdict;
}

}  // namespace vantorelle::verdict
