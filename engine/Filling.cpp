#include "engine/Filling.h"

#include "util/FileSystem.h"
#include "util/WholeNumber.h"

namespace quillon {

std::int32_t FillSizeFor(const LineParts& parts, const RunSettings& settings,
                         const ReportSink& report) {
  const std::string& kind = settings.FillKind;
  std::int32_t size = 0;
  if ((kind == "var" || kind == "fixifnovar") && parts.SeparatorPos != 0 &&
      !parts.SizeText.empty()) {
    if (const auto number = ReadWholeNumber(parts.SizeText)) {
      size = *number;
    } else {
      report(parts.RawLine + ": Unable to find valid size. Size set to 0. ");
    }
  }
  if (kind == "fix") {
    size = settings.FillSize;
  } else if (kind == "fixifnovar" && parts.SeparatorPos == 0) {
    size = settings.FillSize;
  }
  return size;
}

void FillCreatedFile(int fd, std::int32_t fill_size, const std::string& raw_line,
                     const RunSettings& settings) {
  if (fill_size > 0) {
    WriteFillBytes(fd, fill_size, static_cast<unsigned char>(settings.FillCharCode & 0xFF));
  }
  if (settings.FillKind != "single") return;
  if (settings.FillSource) AppendLineTo(fd, raw_line);
  if (settings.FillText) AppendFileTextTo(fd, settings.FillTextFile);
}

}  // namespace quillon
