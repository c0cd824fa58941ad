#include "engine/Filling.h"

#include <optional>

#include "util/FileSystem.h"
#include "util/WholeNumber.h"

namespace quillon {

std::int32_t FillSizeFor(const LineParts& parts, const RunSettings& settings,
                         const ReportSink& report) {
  // Compared as views: lengths first, with no search for the end of the keyword.
  const std::string_view kind = settings.FillKind;
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
  explicit WrittenPieces(FileOutput& output) : output_(output) {}
  void Append(std::string_view piece) override { output_.Append(piece); }

 private:
  FileOutput& output_;
};

void AppendSingleText(FileOutput& output, const LineParts& line, TextLineReader* source,
                      const RunSettings& settings) {
  if (settings.FillSource) {
    if (line.RawLineCut) {
      WrittenPieces pieces(output);
      source->ReadLastLineAgain(pieces);
    } else {
      output.Append(line.RawLine);
    }
    output.Append("\r\n");
  }
  if (settings.FillText) AppendFileTextTo(output, settings.FillTextFile);
}

}  // namespace

void FillCreatedFile(int fd, std::int32_t fill_size, const LineParts& line, TextLineReader* source,
                     const RunSettings& settings) {
  if (fill_size > 0) {
    WriteFillBytes(fd, fill_size, static_cast<unsigned char>(settings.FillCharCode & 0xFF));
  }
  if (std::string_view(settings.FillKind) != "single") return;
  FileOutput output(fd);
  AppendSingleText(output, line, source, settings);
  output.Flush();
}

void FillAndComplete(CreatedFile& file, std::int32_t fill_size, const LineParts& line,
                     TextLineReader* source, const RunSettings& settings) {
  try {
    FillCreatedFile(file.descriptor(), fill_size, line, source, settings);
  } catch (...) {
    // A file is whole or absent: a part of one would count as existing in the next run.
    file.Discard();
    throw;
  }
  file.Complete();
}

}  // namespace quillon
