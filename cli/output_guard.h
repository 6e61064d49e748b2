#pragma once

// Checks made on every output path before any work starts: an output must
// never be one of the inputs (writing it would destroy the recording it is
// made from), and an existing file is replaced only when the user says so.

#include <filesystem>
#include <string>
#include <vector>

namespace kalo::cli {

// CliError naming the first output that resolves to an input (same file
// through any relative path, "..", or symlink: compared by device and
// inode), or that already exists while `overwrite` is false. Outputs that
// do not exist yet are always fine.
void checkOutputs(const std::vector<std::filesystem::path>& outputs, const std::vector<std::string>& inputs,
                  bool overwrite);

} // namespace kalo::cli
