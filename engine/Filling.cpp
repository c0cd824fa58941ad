#include "engine/Filling.h"

#include <optional>

#include "util/FileSystem.h"
#include "util/WholeNumber.h"

namespace quillon {

std::int32_t FillSizeFor(const LineParts& parts, const RunSettings& settings,
                         const ReportSink& report) {
  const std::string& kind = settings.FillKind;
  std::int32_t size = 0;
  if ((kind == "var" || kind == "fixifnovar") && parts.SeparatorPos != 0 &&
      !parts.SizeText.empty()) {
    std::optional<std::int32_t> number;
    if (!parts.SizeTextCut) number = ReadWholeNumber(parts.SizeText, HexDigits::InAll);
    if (number) {
      size = *number;
    } else {
      report(parts.RawLine + (parts.RawLineCut ? "..." : "") +
             ": Unable to find valid size. Size set to 0. ");
    }
  }
  if (kind == "fix") {
    size = settings.FillSize;
  } else if (kind == "fixifnovar" && parts.SeparatorPos == 0) {
    size = settings.FillSize;
  }
  return size;
}

namespace {

class WrittenPieces : public TextLineReader::Pieces {
 public:
  explicit WrittenPieces(int fd) : fd_(fd) {}
  void Append(std::string_view piece) override { WriteAllTo(fd_, piece); }

 private:
  int fd_;
};

}  // namespace

void FillCreatedFile(int fd, std::int32_t fill_size, const LineParts& line, TextLineReader* source,
                     const RunSettings& settings) {
  if (fill_size > 0) {
    WriteFillBytes(fd, fill_size, static_cast<unsigned char>(settings.FillCharCode & 0xFF));
  }
  if (settings.FillKind != "single") return;
  if (settings.FillSource) {
    if (line.RawLineCut) {
      WrittenPieces pieces(fd);
      source->ReadLastLineAgain(pieces);
      AppendLineTo(fd, "");
    } else {
      AppendLineTo(fd, line.RawLine);
    }
  }
  if (settings.FillText) AppendFileTextTo(fd, settings.FillTextFile);
}

}  // namespace quillon
