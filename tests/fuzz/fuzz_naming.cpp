// One source line through the naming and filling steps, in the run's order, on arbitrary
// bytes and settings: SplitSourceLine, FillSizeFor, ReplaceInvalidChars, OutputPath; and the
// name handed to the file system, which must never reach above the destination.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "engine/Filling.h"
#include "engine/Naming.h"
#include "util/Platform.h"
#include "util/WholeNumber.h"

namespace {

constexpr std::string_view kInvalid = "\"*/:<>?\\|";
constexpr std::size_t kMax = quillon::LineParts::kMaxKept;

bool HasInvalid(std::string_view text) {
  return text.find_first_of(kInvalid) != std::string_view::npos;
}

// What the run hands to the file system: a relative path that stays beneath the destination,
// and for creation only components every desktop can hold.
void CheckPlacement(const std::string& destination, const std::string& path) {
  const std::string_view file_name = std::string_view(path).substr(destination.size() + 1);
  const quillon::FileSystemName mapped = quillon::FileSystemNameFor(file_name);
  if (mapped.use == quillon::NameUse::Refused) return;
  FUZZ_CHECK(!mapped.path.empty() && mapped.path.front() != '/' && mapped.path.back() != '/');
  FUZZ_CHECK(mapped.path.find('\\') == std::string::npos);
  FUZZ_CHECK(mapped.path.find('\0') == std::string::npos);
  for (std::size_t start = 0; start <= mapped.path.size();) {
    const std::size_t end = std::min(mapped.path.find('/', start), mapped.path.size());
    const std::string_view component = std::string_view(mapped.path).substr(start, end - start);
    start = end + 1;
    FUZZ_CHECK(!component.empty() && component != ".");
    if (mapped.use != quillon::NameUse::Create || component == "..") continue;
    FUZZ_CHECK(component.back() != '.' && component.back() != ' ');
    for (unsigned char c : component) {
      FUZZ_CHECK(c >= 32 && std::string_view(":*?\"<>|").find(c) == std::string_view::npos);
    }
  }
  // Resolved by the path library, the file lies below the destination.
  const std::string base = std::filesystem::path(destination).lexically_normal().string();
  const std::string placed =
      std::filesystem::path(destination + "/" + mapped.path).lexically_normal().string();
  const std::string base_folder = base.ends_with('/') ? base : base + "/";
  FUZZ_CHECK(placed.starts_with(base_folder) && placed.size() > base_folder.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  static const char* const kKinds[] = {"none", "fix", "var", "fixifnovar", "single", "Var", ""};
  quillon::RunSettings settings;
  settings.FillKind = kKinds[in.ConsumeIntegralInRange<std::size_t>(0, 6)];
  settings.SizeSeparatorCode = in.ConsumeBool() ? 124 : in.ConsumeIntegral<std::int32_t>();
  settings.ReplaceInvalid = in.ConsumeBool();
  settings.ExtensionAlways = in.ConsumeBool();
  settings.FillSize = in.ConsumeIntegral<std::int32_t>();
  settings.InvalidReplacer = in.ConsumeRandomLengthString(20);
  settings.OutputExtension = in.ConsumeRandomLengthString(20);
  const std::string destination = in.ConsumeBool() ? "/fuzz/dest" : "/fuzz/dest/";
  // Now and then the line is stretched past what the run keeps of it, by tabs, by name bytes
  // or by blanks before a size.
  static const char* const kPadding[] = {"", "\t", "n", " "};
  const std::size_t padding = in.ConsumeIntegralInRange<std::size_t>(0, 3);
  std::string line = in.ConsumeRemainingBytesAsString();
  if (padding != 0) {
    const std::string pad(kMax + 1, kPadding[padding][0]);
    line = padding == 3 ? line.insert(line.find_last_of('|') + 1, pad) : pad + line;
  }

  std::vector<std::string> report;
  const quillon::ReportSink sink = [&report](const std::string& text) { report.push_back(text); };

  const quillon::LineParts parts =
      quillon::SplitSourceLine(line, settings.FillKind, settings.SizeSeparatorCode);
  std::string tab_free = line;
  tab_free.erase(std::remove(tab_free.begin(), tab_free.end(), '\t'), tab_free.end());
  const char separator = static_cast<char>(settings.SizeSeparatorCode & 0xFF);
  const std::size_t last = tab_free.rfind(separator);
  // Each part as kept: its first bytes, and whether more followed.
  const auto kept = [](const std::string& text, const std::string& part, bool cut) {
    return part == text.substr(0, kMax) && cut == (text.size() > kMax);
  };
  FUZZ_CHECK(kept(line, parts.RawLine, parts.RawLineCut));
  FUZZ_CHECK(parts.Blank == tab_free.empty());
  FUZZ_CHECK(parts.SeparatorPos == (last == std::string::npos ? 0 : last + 1));
  const bool split =
      (settings.FillKind == "var" || settings.FillKind == "fixifnovar") && parts.SeparatorPos != 0;
  if (split) {
    FUZZ_CHECK(kept(tab_free.substr(0, last), parts.Name, parts.NameCut));
    FUZZ_CHECK(kept(tab_free.substr(last + 1), parts.SizeText, parts.SizeTextCut));
  } else {
    FUZZ_CHECK(kept(tab_free, parts.Name, parts.NameCut));
    FUZZ_CHECK(parts.SizeText.empty() && !parts.SizeTextCut);
  }

  const std::int32_t fill_size = quillon::FillSizeFor(parts, settings, sink);
  const bool size_on_line = split && !parts.SizeText.empty();
  std::optional<std::int32_t> number;
  if (!parts.SizeTextCut)
    number = quillon::ReadWholeNumber(parts.SizeText, quillon::HexDigits::InAll);
  const bool unreadable = size_on_line && !number;
  FUZZ_CHECK(report.size() == (unreadable ? 1u : 0u));
  const std::string quoted = line.size() > kMax ? line.substr(0, kMax) + "..." : line;
  if (unreadable) FUZZ_CHECK(report[0] == quoted + ": Unable to find valid size. Size set to 0. ");
  if (settings.FillKind == "fix" || (settings.FillKind == "fixifnovar" && !split)) {
    FUZZ_CHECK(fill_size == settings.FillSize);
  } else if (size_on_line && number) {
    FUZZ_CHECK(fill_size == *number);
  } else {
    FUZZ_CHECK(fill_size == 0);
  }
  report.clear();

  std::string name = parts.Name;
  if (settings.ReplaceInvalid) {
    name = quillon::ReplaceInvalidChars(parts.Name, settings.InvalidReplacer, sink);
    const std::size_t replaced =
        std::count_if(parts.Name.begin(), parts.Name.end(), quillon::IsInvalidNameChar);
    FUZZ_CHECK(report.size() == replaced);
    for (const std::string& text : report) {
      FUZZ_CHECK(text.starts_with("replacing ") && text.ends_with(" in " + parts.Name));
    }
    FUZZ_CHECK(name.size() ==
               parts.Name.size() - replaced + replaced * settings.InvalidReplacer.size());
    if (!HasInvalid(settings.InvalidReplacer)) FUZZ_CHECK(!HasInvalid(name));
    if (replaced == 0) FUZZ_CHECK(name == parts.Name);
  }

  std::string path;
  quillon::OutputPath(destination, name, settings.OutputExtension, settings.ExtensionAlways, path);
  FUZZ_CHECK(path.starts_with(destination + "/"));
  const std::string_view file_name = std::string_view(path).substr(destination.size() + 1);
  FUZZ_CHECK(file_name.starts_with(name));
  if (settings.ExtensionAlways || name.find('.') == std::string::npos) {
    FUZZ_CHECK(file_name == name + "." + settings.OutputExtension);
  } else {
    FUZZ_CHECK(file_name == name);
  }
  CheckPlacement(destination, path);
  return 0;
}
