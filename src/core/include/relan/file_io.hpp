#pragma once

// Every file the program reads or writes by name goes through here. A path
// typed by the user may name anything: a symbolic link, a FIFO, a device, a
// folder, a read-only file or one with other names (hard links). None of
// these may block the program, and a write either replaces the contents whole
// or leaves the old ones.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace relan {

// What a write does when the target is a symbolic link: write the file it
// points to (the link stays), or put a regular file in place of the link.
enum class OnSymlink { WriteThrough, Replace };
// What a write does when the target exists and is not a regular file (a
// folder, FIFO, device or socket): raise an Error, or leave it and return.
enum class OnSpecialFile { Refuse, Skip };

struct WriteOptions {
    OnSymlink symlink = OnSymlink::WriteThrough;
    OnSpecialFile special = OnSpecialFile::Refuse;
};

// The files the program's data were read from. No write replaces one of
// them, by whatever name it is reached (the same name, another hard link, a
// symbolic link): the target is compared by device and inode with the file
// each remembered name leads to. Such a write is refused by writeFileSafely
// and checkWritable like any other, the file's kind and name in the reason.
enum class InputFile { FailureData, WarrantyTerms };
// Remembered until the next file of the same kind.
void rememberInputFile(InputFile kind, const std::filesystem::path& path);
void forgetInputFiles();

// Writes `bytes` as the whole contents of `path`. The data go to a new file
// with a unique name beside the target, which is then renamed over it: a new
// file gets the usual mode (0666 less the umask), a replaced one keeps its
// mode and, where allowed, its owner. A file with other hard links, or one in
// a folder where no file can be created, is rewritten in place instead, its
// new size reserved first. Refusals are relan::Error
// "Не удалось записать файл «<path>»: <reason>"; the target then keeps its
// old contents and no file is left behind. A target that is one of the
// program's input files is refused. Returns false only when a special
// file was skipped.
bool writeFileSafely(const std::filesystem::path& path, std::string_view bytes,
                     const WriteOptions& options = {});
// A program that ends on a signal while a write is filling its temporary
// removes it with removeUnfinishedWrite, which is async-signal-safe: it only
// reads a fixed record of the temporary and calls unlinkat. One write at a
// time is recorded (the command line makes one); the target is untouched.
void removeUnfinishedWrite() noexcept;
// Makes SIGINT, SIGTERM and SIGHUP remove the unfinished write and then end
// the program by the same signal, as if it had not been caught. A signal the
// program was started ignoring (nohup) stays ignored.
void removeUnfinishedWriteOnSignals();
// Called by a write once its temporary is complete and before it replaces the
// target; only for tests of an interrupted write. Null by default.
void setWriteInterruptionForTests(void (*hook)());

// The refusals of writeFileSafely that need no data: a missing folder, a
// folder or special file by that name, no rights. A long computation whose
// result goes to `path` is refused before it starts; the write checks again.
void checkWritable(const std::filesystem::path& path, const WriteOptions& options = {});
// The message of every refused write: "Не удалось записать файл «<path>»: <reason>".
std::string writeFailureMessage(const std::filesystem::path& path, const std::string& reason);

// Files larger than this are refused before they are read: a failure file of
// a very large fleet is a few megabytes.
constexpr std::size_t kMaxInputFileBytes = 256u << 20;

// The bytes of a data file. Only a regular file is read, never more than
// kMaxInputFileBytes + 1 bytes of it, and a FIFO or device is refused
// without waiting on it.
std::string readInputFile(const std::string& path);

// The reason a system call on a file failed (an errno value), as the user
// reads it after "Не удалось записать файл «…»: ".
std::string fileErrorReason(int err);
// readInputFile's refusal when opening or reading `path` failed with `err`.
std::string inputFileMessage(const std::string& path, int err);

// The link file remembers the path of the last failure-data file loaded, in
// cp1251 with CR LF, or in UTF-8 when the path has characters cp1251 lacks.
// It is only ever a regular file of ours: a symbolic link of that name is
// replaced, anything else of that name is left alone. A path the reader
// would not accept (control characters, longer than kMaxLinkPathBytes) is
// not written.
inline constexpr const char* kLinkFileName = "linkRel.txt";
constexpr std::size_t kMaxLinkPathBytes = 4096;
void writeLinkFile(const std::filesystem::path& folder, const std::string& filePathText);
// Empty when there is no usable link file: not a regular file, empty, a
// first line longer than kMaxLinkPathBytes, or control characters in it.
// Reads no more than the first line's bound.
std::optional<std::string> readLinkFile(const std::filesystem::path& folder);

// Writes the progress log as the export gives it to the user: cp1251, CR LF
// after every line, written through a symbolic link; a special file or a
// read-only one is refused.
void writeLogFile(const std::filesystem::path& path, const std::vector<std::string>& lines);

} // namespace relan
