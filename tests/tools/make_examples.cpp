// make_examples.cpp - writes the sample article files of examples/ with the test article writer.
//
// Usage: make_examples FOLDER
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "article_writer.hpp"
#include "test_support.hpp"

namespace {

using vantorelle::test::uu_articles;
using vantorelle::test::write_file;
using vantorelle::test::yenc_articles;

// A small colour gradient as a binary PPM picture.
std::string sunset_ppm() {
  const int width = 64;
  const int height = 40;
  std::string data = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      data += static_cast<char>(255 - y * 3);
      data += static_cast<char>(80 + y * 4 + x);
      data += static_cast<char>(40 + x * 3);
    }
  }
  return data;
}

void put_le(std::string& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// Half a second of a 440 Hz tone as an 8-bit mono WAV file.
std::string tone_wav() {
  const std::uint32_t rate = 8000;
  const std::uint32_t samples = rate / 2;
  std::string out = "RIFF";
  put_le(out, 36 + samples, 4);
  out += "WAVEfmt ";
  put_le(out, 16, 4);
  put_le(out, 1, 2);
  put_le(out, 1, 2);
  put_le(out, rate, 4);
  put_le(out, rate, 4);
  put_le(out, 1, 2);
  put_le(out, 8, 2);
  out += "data";
  put_le(out, samples, 4);
  for (std::uint32_t i = 0; i < samples; ++i) {
    out += static_cast<char>(128 + static_cast<int>(100 * std::sin(2 * M_PI * 440.0 * i / rate)));
  }
  return out;
}

const char* kReadme =
    "These files were decoded by Vantorelle from saved news articles.\n"
    "Every part was gathered by its subject and part counter, and the\n"
    "parts were decoded in order into one file beside the articles.\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_examples FOLDER\n");
    return 2;
  }
  namespace fs = std::filesystem;
  const fs::path root = argv[1];

  // A yEnc binary over three article files, as a newsreader saves them.
  fs::create_directories(root / "yenc-multipart");
  const auto sunset = yenc_articles("Example pictures", "sunset.ppm", sunset_ppm(), 3000);
  for (std::size_t i = 0; i < sunset.size(); ++i) {
    write_file((root / "yenc-multipart" / ("sunset-" + std::to_string(i + 1) + ".txt")).string(),
               sunset[i]);
  }

  // A uuencoded binary over three article files with LF line ends.
  fs::create_directories(root / "uu-multipart");
  const auto tone = uu_articles("Example sound", "tone.wav", tone_wav(), 32, "\n");
  for (std::size_t i = 0; i < tone.size(); ++i) {
    write_file((root / "uu-multipart" / ("tone-" + std::to_string(i + 1) + ".txt")).string(),
               tone[i]);
  }

  // One file holding several articles of two binaries, saved out of order.
  fs::create_directories(root / "one-file");
  const auto readme = uu_articles("Notes", "readme.txt", kReadme, 3, "\n");
  const auto small = yenc_articles("Small picture", "small.ppm", sunset_ppm().substr(0, 1500), 600, "\n");
  std::string digest;
  for (const auto& article : readme) digest += article + "\n";
  for (auto it = small.rbegin(); it != small.rend(); ++it) digest += *it + "\n";
  write_file((root / "one-file" / "digest.txt").string(), digest);
  return 0;
}
