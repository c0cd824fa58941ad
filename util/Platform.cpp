#include "util/Platform.h"

#include <algorithm>
#include <array>

#include "util/Text.h"

namespace quillon {
namespace {

// What a byte of a name tells, as bits a scan gathers over the whole name in one pass.
enum NameByte : unsigned char { kRefusedByte = 1, kSeparatorByte = 2, kNulByte = 4 };

constexpr std::array<unsigned char, 256> kNameBytes = [] {
  std::array<unsigned char, 256> bytes{};
  for (int c = 0; c < 32; ++c) bytes[c] = kRefusedByte;  // control characters
  for (const unsigned char c : {':', '*', '?', '"', '<', '>', '|'}) bytes[c] = kRefusedByte;
  bytes['/'] = bytes['\\'] = kSeparatorByte;
  bytes[0] = kNulByte;
  return bytes;
}();

// The superscript digits one to three in the host's form of texts; empty where it has none.
const std::array<std::string, 3>& SuperscriptDigits() {
  static const std::array<std::string, 3> digits = [] {
    std::array<std::string, 3> texts;
    const char16_t codes[] = {u'\u00B9', u'\u00B2', u'\u00B3'};
    for (std::size_t i = 0; i < texts.size(); ++i) {
      if (AppendHostText(std::u16string_view(&codes[i], 1), texts[i]) != 0) texts[i].clear();
    }
    return texts;
  }();
  return digits;
}

// Windows takes the part before the first dot, blanks before that dot ignored, for a device.
bool IsDeviceName(std::string_view component) {
  // The base's length without its trailing blanks; past CONOUT$ it names no device.
  constexpr std::size_t kLongest = 7;
  std::size_t length = 0;
  for (std::size_t i = 0; i < component.size() && component[i] != '.'; ++i) {
    if (component[i] == ' ') continue;
    length = i + 1;
    if (length > kLongest) return false;
  }
  const std::string_view base = component.substr(0, length);
  for (const std::string_view device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
    if (EqualsIgnoringAsciiCase(base, device)) return true;
  }
  if (base.size() < 4) return false;
  const std::string_view port = base.substr(0, 3);
  if (!EqualsIgnoringAsciiCase(port, "COM") && !EqualsIgnoringAsciiCase(port, "LPT")) return false;
  const std::string_view number = base.substr(3);
  if (number.size() == 1 && number[0] >= '1' && number[0] <= '9') return true;
  const auto& superscripts = SuperscriptDigits();
  return std::any_of(superscripts.begin(), superscripts.end(),
                     [&](const std::string& digit) { return !digit.empty() && number == digit; });
}

std::string_view WithoutTrailingDotsAndBlanks(std::string_view component) {
  while (!component.empty() && (component.back() == '.' || component.back() == ' ')) {
    component.remove_suffix(1);
  }
  return component;
}

// Calls visit with each component of a name that reaches the file system: empty and "."
// components are skipped. False when the name climbs above its folder or ends in no file.
template <typename Visit>
bool ForEachComponent(std::string_view name, Visit&& visit) {
  std::size_t depth = 0;
  for (std::size_t start = 0; start <= name.size();) {
    // A plain scan: find_first_of would search the two separators once per byte.
    std::size_t end = start;
    while (end < name.size() && name[end] != '/' && name[end] != '\\') ++end;
    const std::string_view component = name.substr(start, end - start);
    const bool last = end == name.size();
    start = end + 1;
    if (component.empty() || component == ".") {
      if (last) return false;
      continue;
    }
    if (component == "..") {
      // ".." may step back only into folders the name entered itself.
      if (depth == 0 || last) return false;
      --depth;
    } else {
      ++depth;
    }
    visit(component);
  }
  return true;
}

}  // namespace

FileSystemName FileSystemNameFor(std::string_view name) {
  FileSystemName result;
  unsigned char met = 0;
  for (const char c : name) met |= kNameBytes[static_cast<unsigned char>(c)];
  // A NUL would cut the name short on its way to the file system.
  if (met & kNulByte) return result;
  bool portable = (met & kRefusedByte) == 0;
  if ((met & kSeparatorByte) == 0) {
    // The usual name, a file right in the folder, needs no walk over components.
    if (name.empty() || name == "." || name == "..") return result;
    const std::string_view stored = WithoutTrailingDotsAndBlanks(name);
    if (stored.empty() || IsDeviceName(stored)) portable = false;
    result.path = portable ? stored : name;
    result.use = portable ? NameUse::Create : NameUse::TestOnly;
    return result;
  }
  // Built as Windows stores the name, trailing dots and blanks dropped; built again as it
  // stands in the rare case that it turns out not to be portable after all.
  bool dropped = false;
  result.path.reserve(name.size());
  const bool reachable = ForEachComponent(name, [&](std::string_view component) {
    std::string_view stored = component;
    if (component != "..") {
      stored = WithoutTrailingDotsAndBlanks(component);
      if (stored.empty() || IsDeviceName(stored)) portable = false;
      dropped = dropped || stored.size() != component.size();
    }
    if (!result.path.empty()) result.path += '/';
    result.path.append(stored);
  });
  if (!reachable) return {};
  if (!portable && dropped) {
    result.path.clear();
    ForEachComponent(name, [&](std::string_view component) {
      if (!result.path.empty()) result.path += '/';
      result.path.append(component);
    });
  }
  result.use = portable ? NameUse::Create : NameUse::TestOnly;
  return result;
}

CreateFailure WhyNameRefused(std::string_view name) {
  for (const char c : name) {
    if (kNameBytes[static_cast<unsigned char>(c)] & (kRefusedByte | kNulByte)) {
      return {CreateCause::InvalidCharacter, std::string(1, c)};
    }
  }
  CreateFailure failure;
  const bool reachable = ForEachComponent(name, [&](std::string_view component) {
    if (failure.cause != CreateCause::None || component == "..") return;
    const std::string_view stored = WithoutTrailingDotsAndBlanks(component);
    if (stored.empty()) failure = {CreateCause::NoFileName, std::string(component)};
    if (IsDeviceName(stored)) failure = {CreateCause::DeviceName, std::string(component)};
  });
  if (reachable) return failure;
  // Unreachable: either it ends in no file, or it climbs.
  const std::size_t last = name.find_last_of("/\\");
  const std::string_view leaf = last == std::string_view::npos ? name : name.substr(last + 1);
  if (leaf.empty() || leaf == ".") return {CreateCause::NoFileName, {}};
  return {CreateCause::ClimbsAbove, {}};
}

std::string UnheldCharacterText(char32_t character) {
  if (character == kLoneByte) return "half a UTF-16 character (a last single byte)";
  if (character >= 0xD800 && character <= 0xDFFF) {
    return "half a UTF-16 character (" + UnicodeCode(character) + ")";
  }
  return UnicodeCode(character) + " not in " + std::string(kHostTextName);
}

std::string FolderOfPath(std::string_view path) {
  const std::size_t separator = path.rfind(kPathSeparator);
  if (separator == std::string_view::npos) return std::string(path);
  const std::string_view with_separator = path.substr(0, separator + 1);
  if (IsRootPath(with_separator)) return std::string(with_separator);
  return std::string(path.substr(0, separator));
}

std::string IniPathFor(std::string_view executable_path) {
  const std::size_t separator = executable_path.rfind(kPathSeparator);
  const std::size_t dot = executable_path.rfind('.');
  const bool has_extension =
      dot != std::string_view::npos && (separator == std::string_view::npos || dot > separator + 1);
  return std::string(has_extension ? executable_path.substr(0, dot) : executable_path) + ".ini";
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string joined(folder);
  if (joined.empty() || joined.back() != kPathSeparator) joined += kPathSeparator;
  joined.append(name);
  return joined;
}

}  // namespace quillon
