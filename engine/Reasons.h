// Why a line is not created, or why its file exists, in words a user reads beside the line.
#pragma once

#include <cstdint>
#include <string>

#include "util/Platform.h"

namespace quillon {

std::string RefusalReason(const CreateFailure& failure);

// The path's length, at least that long when the name was too long to keep whole.
std::string PathLimitReason(std::uint64_t length, bool at_least, std::uint64_t limit);

// earlier_line: the line of the same source that makes the file; 0 when it was there before.
std::string ExistsReason(std::int64_t earlier_line);

}  // namespace quillon
