// The kernel as a second wall around what a process writes (Landlock on Linux). Once raised,
// the kernel refuses the calling thread, and every thread and process it starts afterwards,
// each creation, removal, renaming, linking, writing, truncation and device control outside
// the folders given, whatever path a fault of the program would lead it to. Files opened
// before stay as they were opened; reading stays allowed everywhere. It is never lowered.
#pragma once

#include <string>
#include <vector>

namespace quillon {

enum class WallOutcome { Raised, Unavailable };

// Unavailable where the kernel has no such wall (an older kernel, one built or booted without
// it, Windows): nothing changes then. Throws IoError when the kernel has it but a folder cannot
// be opened or the wall cannot be raised. No folders: no write anywhere.
WallOutcome AllowWritesOnlyBeneath(const std::vector<std::string>& folders);

}  // namespace quillon
