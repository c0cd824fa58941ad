#include "engine/Reasons.h"

#include <cstdio>

#include "util/IoError.h"

namespace quillon {
namespace {

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string CharacterReason(const std::string& subject) {
  const auto byte = static_cast<unsigned char>(subject.empty() ? 0 : subject[0]);
  if (byte >= 32 && byte != 127) return "invalid character " + Quoted(subject);
  char code[8];
  std::snprintf(code, sizeof code, "0x%02X", byte);
  return std::string("non-portable control character ") + code;
}

}  // namespace

std::string RefusalReason(const CreateFailure& failure) {
  switch (failure.cause) {
    case CreateCause::InvalidCharacter: return CharacterReason(failure.subject);
    case CreateCause::DeviceName: return "reserved device name " + Quoted(failure.subject);
    case CreateCause::ClimbsAbove: return "climbs above the destination";
    case CreateCause::NoFileName: return "no file name";
    case CreateCause::MissingSubfolder: return "missing subfolder " + Quoted(failure.subject);
    case CreateCause::SubfolderIsLink: return "subfolder " + Quoted(failure.subject) + " is a link";
    case CreateCause::SubfolderIsFile:
      return Quoted(failure.subject) + " is a file, not a subfolder";
    case CreateCause::NoPermission:
      return failure.subject.empty() ? "no permission to create in the destination"
                                     : "no permission to create in " + Quoted(failure.subject);
    case CreateCause::FolderOfThatName: return "a folder of that name is there";
    case CreateCause::SystemError: return IoErrorText(failure.error);
    case CreateCause::None: break;
  }
  return "cannot be created";
}

std::string PathLimitReason(std::uint64_t length, bool at_least, std::uint64_t limit) {
  return std::string("path of ") + (at_least ? "at least " : "") + std::to_string(length) +
         " characters, over " + std::to_string(limit);
}

std::string ExistsReason(std::int64_t earlier_line) {
  if (earlier_line == 0) return "a file of that name is there";
  return "line " + std::to_string(earlier_line) + " creates it";
}

}  // namespace quillon
