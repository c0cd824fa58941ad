// How many fill bytes a line's file gets, and writing them or a single text into it.
#pragma once

#include <cstdint>

#include "engine/Naming.h"
#include "engine/RunSettings.h"
#include "util/DestinationFolder.h"

namespace quillon {

std::int32_t FillSizeFor(const LineParts& parts, const RunSettings& settings,
                         const ReportSink& report);

// Fills the file just created (its open descriptor). A negative size leaves it empty. The
// source line goes in whole: a line too long to keep is read again from the source, which may
// be null for lines that were kept whole. Throws IoError when writing, or reading the fill text
// file, fails.
void FillCreatedFile(int fd, std::int32_t fill_size, const LineParts& line, TextLineReader* source,
                     const RunSettings& settings);

// Fills of this many bytes and more are written to a file that takes its name only once
// complete, so that not even a run killed meanwhile leaves a part of one behind.
inline constexpr std::int32_t kNamedWhenCompleteFrom = 1 << 20;
inline Naming NamingFor(std::int32_t fill_size) {
  return fill_size >= kNamedWhenCompleteFrom ? Naming::WhenComplete : Naming::AtOnce;
}

// Fills the file the run has just made and gives it its name. A fill that fails removes the
// file and throws on; a name taken while the file was filled leaves it ExistsAlready, dropped.
void FillAndComplete(CreatedFile& file, std::int32_t fill_size, const LineParts& line,
                     TextLineReader* source, const RunSettings& settings);

}  // namespace quillon
