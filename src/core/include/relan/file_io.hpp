#pragma once

// Every file the program reads or writes by name goes through here.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace relan {

// Files larger than this are refused before they are read: a failure file of
// a very large fleet is a few megabytes.
constexpr std::size_t kMaxInputFileBytes = 256u << 20;

std::string readInputFile(const std::string& path);

// The link file remembers the path of the last failure-data file loaded.
inline constexpr const char* kLinkFileName = "linkRel.txt";
void writeLinkFile(const std::filesystem::path& folder, const std::string& filePathText);
std::optional<std::string> readLinkFile(const std::filesystem::path& folder);

// Writes the progress log as the export gives it to the user: cp1251, CR LF
// after every line. The file is replaced whole or not at all: when it cannot
// be written, relan::Error "Cannot create file "<path>". <reason>" is raised
// and an existing file of that name keeps its contents.
void writeLogFile(const std::filesystem::path& path, const std::vector<std::string>& lines);

} // namespace relan
