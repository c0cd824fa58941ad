// Invariant checks of the fuzz targets: a broken one aborts, which libFuzzer reports with the
// input that broke it. Unlike assert, they hold in every build type.
#pragma once

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#define FUZZ_CHECK(condition)                                                                 \
  do {                                                                                        \
    if (!(condition)) {                                                                       \
      std::fprintf(stderr, "invariant broken: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
      std::abort();                                                                           \
    }                                                                                         \
  } while (0)

// Two texts that must be equal; both are shown, escaped, when they are not.
#define FUZZ_CHECK_EQ(a, b)                                                          \
  do {                                                                               \
    const std::string fuzz_a(a), fuzz_b(b);                                          \
    if (fuzz_a != fuzz_b) {                                                          \
      std::fprintf(stderr, "'%s' != '%s'\n", quillon::fuzz::Escaped(fuzz_a).c_str(), \
                   quillon::fuzz::Escaped(fuzz_b).c_str());                          \
      FUZZ_CHECK(!(#a " == " #b));                                                   \
    }                                                                                \
  } while (0)

namespace quillon::fuzz {

inline std::string Escaped(std::string_view text) {
  std::string shown;
  for (unsigned char c : text) {
    if (c >= 32 && c < 127 && c != '\\') {
      shown += static_cast<char>(c);
    } else {
      char code[8];
      std::snprintf(code, sizeof code, "\\x%02x", c);
      shown += code;
    }
  }
  return shown;
}

// An anonymous in-memory file holding the bytes, read from its start.
inline int MemoryFile(std::string_view bytes) {
  const int fd = memfd_create("fuzz", MFD_CLOEXEC);
  FUZZ_CHECK(fd >= 0);
  for (std::size_t done = 0; done < bytes.size();) {
    const ssize_t written = write(fd, bytes.data() + done, bytes.size() - done);
    FUZZ_CHECK(written > 0);
    done += static_cast<std::size_t>(written);
  }
  FUZZ_CHECK(lseek(fd, 0, SEEK_SET) == 0);
  return fd;
}

inline std::string PathOf(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

// A folder of this process for targets that need real files, removed at exit: under
// $QUILLON_FUZZ_SCRATCH when set, else on the memory file system when there is one.
inline const std::string& ScratchFolder() {
  static const std::string folder = [] {
    const char* base = std::getenv("QUILLON_FUZZ_SCRATCH");
    std::string pattern = base && *base                   ? std::string(base) + "/fuzz-XXXXXX"
                          : access("/dev/shm", W_OK) == 0 ? "/dev/shm/quillon-fuzz-XXXXXX"
                                                          : "/tmp/quillon-fuzz-XXXXXX";
    FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr);
    return pattern;
  }();
  static const bool removed_at_exit = [] {
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(folder, ignored);
    });
    return true;
  }();
  (void)removed_at_exit;
  return folder;
}

inline void WriteFile(const std::string& path, std::string_view bytes) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  FUZZ_CHECK(fd >= 0);
  FUZZ_CHECK(write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()));
  close(fd);
}

// The text the readers of text lines see in a file's bytes, written plainly: a UTF-8 mark is
// dropped, and UTF-16 after its mark (either order) is turned into UTF-8, half a character (a
// surrogate without its partner, a last single byte) into "?". first_half, when given, is
// where the first "?" for half a character stands, npos when none does.
inline std::string ReferenceText(std::string_view bytes, std::size_t* first_half = nullptr) {
  if (first_half) *first_half = std::string::npos;
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return std::string(bytes.substr(3));
  const bool little = bytes.substr(0, 2) == "\xFF\xFE";
  if (!little && bytes.substr(0, 2) != "\xFE\xFF") return std::string(bytes);
  std::vector<unsigned> units;
  for (std::size_t at = 2; at + 1 < bytes.size(); at += 2) {
    const unsigned first = static_cast<unsigned char>(bytes[at]);
    const unsigned second = static_cast<unsigned char>(bytes[at + 1]);
    units.push_back(little ? first | second << 8 : first << 8 | second);
  }
  std::string text;
  const auto put = [&](unsigned code) {
    if (code < 0x80) {
      text += static_cast<char>(code);
    } else if (code < 0x800) {
      text += static_cast<char>(0xC0 | code >> 6);
      text += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      text += static_cast<char>(0xE0 | code >> 12);
      text += static_cast<char>(0x80 | (code >> 6 & 0x3F));
      text += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      text += static_cast<char>(0xF0 | code >> 18);
      text += static_cast<char>(0x80 | (code >> 12 & 0x3F));
      text += static_cast<char>(0x80 | (code >> 6 & 0x3F));
      text += static_cast<char>(0x80 | (code & 0x3F));
    }
  };
  const auto half = [&] {
    if (first_half && *first_half == std::string::npos) *first_half = text.size();
    text += '?';
  };
  for (std::size_t i = 0; i < units.size(); ++i) {
    const unsigned unit = units[i];
    const bool high = unit >= 0xD800 && unit < 0xDC00;
    if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
      put(0x10000 + ((unit - 0xD800) << 10) + (units[++i] - 0xDC00));
    } else if (unit >= 0xD800 && unit < 0xE000) {
      half();
    } else {
      put(unit);
    }
  }
  if (bytes.size() % 2 != 0) half();
  return text;
}

// The lines of a text under the text-line rules, written plainly from the rules themselves:
// the first of text_ends ends the text (Ctrl-Z for source texts, NUL for the history files);
// CR LF, CR and LF end a line; a last line without a line end is a line; nothing follows the
// last line end.
inline std::vector<std::string> ReferenceLines(std::string_view text, std::string_view text_ends) {
  text = text.substr(0, text.find_first_of(text_ends));
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.emplace_back(text.substr(start));  // a last line without a line end
      break;
    }
    lines.emplace_back(text.substr(start, end - start));
    start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
  return lines;
}

}  // namespace quillon::fuzz
