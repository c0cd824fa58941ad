// How many fill bytes a line's file gets, and writing them or a single text into it.
#pragma once

#include <cstdint>

#include "engine/Naming.h"
#include "engine/RunSettings.h"

namespace quillon {

std::int32_t FillSizeFor(const LineParts& parts, const RunSettings& settings,
                         const ReportSink& report);

// Fills the file just created (its open descriptor). A negative size leaves it empty. The
// source line goes in whole: a line too long to keep is read again from the source, which may
// be null for lines that were kept whole. Throws IoError when writing, or reading the fill text
// file, fails.
void FillCreatedFile(int fd, std::int32_t fill_size, const LineParts& line, TextLineReader* source,
                     const RunSettings& settings);

}  // namespace quillon
