// How many fill bytes a line's file gets, and writing them or a single text into it.
#pragma once

#include <cstdint>

#include "engine/Naming.h"
#include "settings/RunSettings.h"

namespace quillon {

std::int32_t FillSizeFor(const LineParts& parts, const RunSettings& settings,
                         const ReportSink& report);

// Fills the file just created (its open descriptor). A negative size leaves it empty.
// Throws IoError when writing, or reading the fill text file, fails.
void FillCreatedFile(int fd, std::int32_t fill_size, const std::string& raw_line,
                     const RunSettings& settings);

}  // namespace quillon
