#include "relan/file_io.hpp"

#include "relan/error.hpp"
#include "relan/text1251.hpp"
#include "relan/text_decoding.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>
#include <optional>
#include <random>
#include <system_error>
#include <utility>

namespace relan {
namespace {

constexpr const char* kFileMissing = "Указанный файл не существует";
constexpr const char* kIsFolder = "это папка, а не файл";
constexpr const char* kNotRegular = "это не обычный файл (устройство, канал или сокет)";
constexpr const char* kReadOnlyFile = "файл только для чтения";
constexpr const char* kFolderMissing = "папка не существует";
constexpr const char* kNoFolderRights = "нет прав на запись в папку";
constexpr const char* kNoFileRights = "нет прав на запись в файл";
// Links followed before a write gives up, as the kernel's own limit.
constexpr int kMaxSymlinkHops = 40;

class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd(Fd&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
    Fd& operator=(Fd&& o) noexcept {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(o.fd_, -1);
        return *this;
    }
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    // A write may first fail at close (on network file systems): its error
    // counts like any other.
    int close() { return ::close(std::exchange(fd_, -1)) == 0 ? 0 : errno; }

  private:
    int fd_;
};

// 0 or the errno of the failure.
int writeAll(int fd, std::string_view bytes) {
    off_t offset = 0;
    while (!bytes.empty()) {
        const ssize_t n = ::pwrite(fd, bytes.data(), bytes.size(), offset);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return EIO;
        bytes.remove_prefix(static_cast<std::size_t>(n));
        offset += n;
    }
    return 0;
}

// Reads to the end of the file but never more than `limit` bytes, so that a
// huge or growing file costs no more than the bound; 0 or the errno.
int readUpTo(int fd, std::size_t limit, std::size_t sizeHint, std::string& out) {
    out.clear();
    std::size_t have = 0;
    std::size_t want = std::min(limit, std::max<std::size_t>(sizeHint + 1, 4096));
    while (have < limit) {
        if (have == out.size()) {
            out.resize(want);
            want = std::min(limit, want * 2);
        }
        const ssize_t n = ::read(fd, out.data() + have, out.size() - have);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) break;
        have += static_cast<std::size_t>(n);
    }
    out.resize(have);
    return 0;
}

// The input files by name, one of each kind; written by a load, read by
// every write, which may run on another thread. Compared by what the name
// leads to at the time of the write: an identity taken at the load could
// belong to an unrelated file by then, once the input is deleted and its
// inode reused, and holding the file open would keep its disk from being
// unmounted.
struct RememberedInput {
    std::filesystem::path shown;    // as the load named it
    std::filesystem::path absolute; // the same, whatever the current folder becomes
};
std::mutex inputsMutex;
std::optional<RememberedInput> inputs[2];

const char* inputKindText(InputFile kind) {
    return kind == InputFile::FailureData ? "файл данных по отказам" : "файл гарантийных сроков";
}

// Why a regular file `st` may not be written: it is one of the input files.
std::optional<std::string> inputConflict(const struct stat& st) {
    const std::lock_guard<std::mutex> lock(inputsMutex);
    for (const InputFile kind : {InputFile::FailureData, InputFile::WarrantyTerms}) {
        const auto& in = inputs[static_cast<int>(kind)];
        if (!in) continue;
        struct stat now {};
        const bool same =
            ::stat(in->absolute.c_str(), &now) == 0 && now.st_dev == st.st_dev && now.st_ino == st.st_ino;
        if (same)
            return std::string("это загруженный ") + inputKindText(kind) + " «" + in->shown.string() +
                   "», он не будет заменен; выберите другое имя";
    }
    return std::nullopt;
}

// The temporary a write is filling, for a signal handler: a flag and a fixed
// buffer, read without locks or allocation. A write on another thread while
// one is recorded goes unrecorded.
struct PendingTemporary {
    std::atomic<int> state{0}; // 0 none, 1 being recorded, 2 recorded
    int folder = -1;
    char name[NAME_MAX + 1] = {};
};
static_assert(std::atomic<int>::is_always_lock_free);
PendingTemporary pending;
void (*interruptionForTests)() = nullptr;

class RecordedTemporary {
  public:
    RecordedTemporary(int folder, const std::string& name) {
        int expected = 0;
        if (name.size() > NAME_MAX || !pending.state.compare_exchange_strong(expected, 1)) return;
        pending.folder = folder;
        std::memcpy(pending.name, name.c_str(), name.size() + 1);
        pending.state.store(2);
        owned_ = true;
    }
    RecordedTemporary(const RecordedTemporary&) = delete;
    RecordedTemporary& operator=(const RecordedTemporary&) = delete;
    ~RecordedTemporary() {
        if (owned_) pending.state.store(0);
    }

  private:
    bool owned_ = false;
};

extern "C" void endOnSignal(int sig) {
    removeUnfinishedWrite();
    // The handler was reset on entry: the signal, blocked until the handler
    // returns, then ends the program with its own status.
    ::raise(sig);
}

const char* notRegularReason(mode_t mode) {
    return S_ISDIR(mode) ? kIsFolder : kNotRegular;
}

// As root, access() grants writing to any file and folder; the user still
// expects a file or folder without a single write bit to be left alone.
bool writeAllowed(const struct stat& st, const std::filesystem::path& p, int mode, int& err) {
    if ((st.st_mode & 0222) == 0) {
        err = EACCES;
        return false;
    }
    if (::faccessat(AT_FDCWD, p.c_str(), mode, AT_EACCESS) != 0) {
        err = errno;
        return false;
    }
    return true;
}

std::string tempName(const std::string& name) {
    // Beside the target so that rename stays on one file system; the
    // target's name (cut on a character boundary) tells a user whose file a
    // leftover of a crash was.
    std::size_t keep = std::min<std::size_t>(name.size(), 100);
    while (keep > 0 && keep < name.size() && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80)
        --keep;
    thread_local std::mt19937_64 rng{std::random_device{}()};
    static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string out = "." + name.substr(0, keep) + ".";
    for (int i = 0; i < 10; ++i)
        out += kAlphabet[rng() % (sizeof kAlphabet - 1)];
    return out + ".tmp";
}

// One write in progress: where the file is and what is there now.
class SafeWrite {
  public:
    SafeWrite(const std::filesystem::path& shown, const WriteOptions& options)
        : shown_(shown), options_(options) {}

    bool run(std::string_view bytes) {
        const std::optional<bool> canCreate = check();
        if (!canCreate) return false;
        // A file with other names stays one file for all of them; a folder
        // that takes no new file still lets its files be rewritten.
        if (existing_ && (existing_->st_nlink > 1 || !*canCreate))
            rewriteInPlace(bytes);
        else
            replace(bytes);
        return true;
    }

    // Everything that refuses the target before a byte is written. Empty
    // when it is a special file to skip; otherwise whether a new file can be
    // made in its folder.
    std::optional<bool> check() {
        if (shown_.empty()) fail("не указано имя файла");
        if (!locate()) return std::nullopt;
        struct stat dirSt {};
        if (::fstat(dir_.get(), &dirSt) != 0) fail(fileErrorReason(errno));
        int folderErr = 0;
        const bool canCreate = writeAllowed(dirSt, folder_, W_OK | X_OK, folderErr);
        if (!canCreate && !existing_)
            fail(folderErr == EACCES || folderErr == EPERM ? kNoFolderRights : fileErrorReason(folderErr));
        return canCreate;
    }

  private:
    [[noreturn]] void fail(const std::string& reason) const {
        throw Error(writeFailureMessage(shown_, reason));
    }

    // Follows symbolic links as the options say and opens the folder the
    // file's entry is in. False when the target is a special file to skip.
    bool locate() {
        std::filesystem::path p = shown_;
        for (int hops = 0;; ++hops) {
            if (!p.has_filename()) {
                // "folder/": whatever it is, no file can be written by that name.
                struct stat st {};
                if (::stat(p.c_str(), &st) != 0)
                    fail(errno == ENOENT ? kFolderMissing : fileErrorReason(errno));
                return skipOrFail(st.st_mode);
            }
            folder_ = p.parent_path().empty() ? std::filesystem::path(".") : p.parent_path();
            name_ = p.filename();
            dir_ = Fd(::open(folder_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
            if (!dir_) fail(errno == ENOENT ? kFolderMissing : fileErrorReason(errno));
            struct stat st {};
            if (::fstatat(dir_.get(), name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
                if (errno != ENOENT) fail(fileErrorReason(errno));
                return true;
            }
            if (S_ISLNK(st.st_mode) && options_.symlink == OnSymlink::Replace) return true;
            if (S_ISLNK(st.st_mode)) {
                if (hops == kMaxSymlinkHops) fail(fileErrorReason(ELOOP));
                std::string target(PATH_MAX, '\0');
                const ssize_t n = ::readlinkat(dir_.get(), name_.c_str(), target.data(), target.size());
                if (n < 0) fail(fileErrorReason(errno));
                if (static_cast<std::size_t>(n) == target.size()) fail(fileErrorReason(ENAMETOOLONG));
                target.resize(static_cast<std::size_t>(n));
                // A relative link is relative to its own folder.
                p = p.parent_path() / target;
                continue;
            }
            if (!S_ISREG(st.st_mode)) return skipOrFail(st.st_mode);
            if (const auto conflict = inputConflict(st)) fail(*conflict);
            int err = 0;
            if (!writeAllowed(st, folder_ / name_, W_OK, err))
                fail((st.st_mode & 0222) == 0        ? kReadOnlyFile
                     : err == EACCES || err == EPERM ? kNoFileRights
                                                     : fileErrorReason(err));
            existing_ = st;
            return true;
        }
    }

    bool skipOrFail(mode_t mode) const {
        if (options_.special == OnSpecialFile::Skip) return false;
        fail(notRegularReason(mode));
    }

    void replace(std::string_view bytes) {
        Fd out;
        std::string tmp;
        for (int attempt = 0;; ++attempt) {
            tmp = tempName(name_.string());
            // 0666 lets the umask (and a default ACL) decide a new file's mode.
            out = Fd(::openat(dir_.get(), tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                              0666));
            if (out) break;
            if (errno == EEXIST && attempt < 100) continue;
            // A folder may refuse new files in ways its mode does not show
            // (an ACL, a security module); the file itself can still be written.
            if ((errno == EACCES || errno == EPERM) && existing_) return rewriteInPlace(bytes);
            fail(errno == EACCES || errno == EPERM ? kNoFolderRights : fileErrorReason(errno));
        }
        const RecordedTemporary recorded(dir_.get(), tmp);
        int err = existing_ ? keepOwnerAndMode(out.get(), *existing_) : 0;
        if (!err) err = writeAll(out.get(), bytes);
        if (!err && ::fsync(out.get()) != 0) err = errno;
        if (!err) err = out.close();
        if (!err && interruptionForTests) interruptionForTests();
        if (!err && ::renameat(dir_.get(), tmp.c_str(), dir_.get(), name_.c_str()) != 0) err = errno;
        if (err) {
            ::unlinkat(dir_.get(), tmp.c_str(), 0);
            fail(fileErrorReason(err));
        }
        // The rename itself reaches the disk with the folder.
        Fd folder(::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (folder) ::fsync(folder.get());
    }

    // 0 or the errno of the failure.
    static int keepOwnerAndMode(int fd, const struct stat& old) {
        // The owner first: a change of owner clears the set-id bits the mode
        // then puts back. Only root may give a file away, and the group only
        // to one of the writer's groups; where that is not allowed the file
        // becomes the writer's, as any editor's save would make it.
        [[maybe_unused]] const bool ownerKept = ::fchown(fd, old.st_uid, old.st_gid) == 0 ||
                                                ::fchown(fd, static_cast<uid_t>(-1), old.st_gid) == 0;
        return ::fchmod(fd, old.st_mode & 07777) == 0 ? 0 : errno;
    }

    void rewriteInPlace(std::string_view bytes) {
        Fd out(
            ::openat(dir_.get(), name_.c_str(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY));
        if (!out) fail(errno == EACCES || errno == EPERM ? kNoFileRights : fileErrorReason(errno));
        struct stat st {};
        if (::fstat(out.get(), &st) != 0) fail(fileErrorReason(errno));
        // Something else may have taken the name since it was looked at.
        if (!S_ISREG(st.st_mode)) fail(kNotRegular);
        if (st.st_dev != existing_->st_dev || st.st_ino != existing_->st_ino)
            fail("файл заменен во время записи");
        // The new size is reserved before the first byte changes, so that a
        // full disk refuses the write instead of cutting the file short.
        const auto size = static_cast<off_t>(bytes.size());
        if (size > st.st_size) {
            const int err = ::posix_fallocate(out.get(), st.st_size, size - st.st_size);
            if (err == ENOSPC || err == EDQUOT || err == EFBIG || err == EIO) fail(fileErrorReason(err));
        }
        int err = writeAll(out.get(), bytes);
        if (!err && ::ftruncate(out.get(), size) != 0) err = errno;
        if (!err && ::fsync(out.get()) != 0) err = errno;
        if (!err) err = out.close();
        if (err) fail(fileErrorReason(err));
    }

    const std::filesystem::path shown_; // as the user named it
    WriteOptions options_;
    std::filesystem::path folder_;
    std::filesystem::path name_;
    Fd dir_;
    std::optional<struct stat> existing_; // the regular file to replace
};

std::string tooLarge(const std::string& path, std::size_t size) {
    return "Файл " + path + " слишком велик для файла данных (" + std::to_string(size) + " байт)";
}

std::string notRegularInput(const std::string& path, mode_t mode) {
    return "«" + path + "» — " +
           (S_ISDIR(mode) ? "это папка, а не файл" : "не обычный файл (устройство, канал или сокет)");
}

} // namespace

void rememberInputFile(InputFile kind, const std::filesystem::path& path) {
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    if (ec) absolute = path;
    const std::lock_guard<std::mutex> lock(inputsMutex);
    inputs[static_cast<int>(kind)] = RememberedInput{path, std::move(absolute)};
}

void removeUnfinishedWrite() noexcept {
    if (pending.state.load() == 2) ::unlinkat(pending.folder, pending.name, 0);
}

void removeUnfinishedWriteOnSignals() {
    struct sigaction sa {};
    sa.sa_handler = endOnSignal;
    sa.sa_flags = SA_RESETHAND;
    sigemptyset(&sa.sa_mask);
    for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old {};
        if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        ::sigaction(sig, &sa, nullptr);
    }
}

void setWriteInterruptionForTests(void (*hook)()) {
    interruptionForTests = hook;
}

void forgetInputFiles() {
    const std::lock_guard<std::mutex> lock(inputsMutex);
    for (auto& in : inputs)
        in.reset();
}

bool writeFileSafely(const std::filesystem::path& path, std::string_view bytes, const WriteOptions& options) {
    return SafeWrite(path, options).run(bytes);
}

void checkWritable(const std::filesystem::path& path, const WriteOptions& options) {
    SafeWrite(path, options).check();
}

std::string writeFailureMessage(const std::filesystem::path& path, const std::string& reason) {
    return "Не удалось записать файл «" + path.string() + "»: " + reason;
}

std::string fileErrorReason(int err) {
    static constexpr struct {
        int err;
        const char* text;
    } kReasons[] = {
        {ENOENT, "нет такого файла или папки"},
        {ENOTDIR, "часть пути — файл, а не папка"},
        {EISDIR, kIsFolder},
        {ENXIO, kNotRegular},
        {ENODEV, kNotRegular},
        {EACCES, "нет прав доступа"},
        {EPERM, "нет прав доступа"},
        {EROFS, "диск доступен только для чтения"},
        {ENOSPC, "нет места на диске"},
        {EDQUOT, "нет места на диске: исчерпана квота"},
        {EFBIG, "файл больше допустимого размера"},
        {ENAMETOOLONG, "слишком длинное имя"},
        {ELOOP, "слишком много символических ссылок (ссылка указывает сама на себя?)"},
        {EIO, "ошибка ввода-вывода"},
        {EMFILE, "открыто слишком много файлов"},
        {ENFILE, "открыто слишком много файлов"},
        {EBUSY, "файл занят"},
        {ETXTBSY, "файл занят"},
    };
    for (const auto& r : kReasons)
        if (r.err == err) return r.text;
    return std::system_category().message(err);
}

std::string inputFileMessage(const std::string& path, int err) {
    switch (err) {
    case ENOENT:
    case ENOTDIR:
        return std::string(kFileMissing) + ": " + path;
    case EISDIR:
        return notRegularInput(path, S_IFDIR);
    case ENXIO:
    case ENODEV:
        return notRegularInput(path, S_IFIFO);
    case EACCES:
    case EPERM:
        return "Нет прав на чтение файла «" + path + "»";
    default:
        return "Не удалось прочитать файл «" + path + "»: " + fileErrorReason(err);
    }
}

std::string readInputFile(const std::string& path) {
    if (path.empty()) throw Error(kFileMissing);
    // The type is known before anything is opened: opening a device may
    // have effects of its own.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) throw Error(inputFileMessage(path, errno));
    if (!S_ISREG(st.st_mode)) throw Error(notRegularInput(path, st.st_mode));
    Fd in(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!in) throw Error(inputFileMessage(path, errno));
    if (::fstat(in.get(), &st) != 0) throw Error(inputFileMessage(path, errno));
    if (!S_ISREG(st.st_mode)) throw Error(notRegularInput(path, st.st_mode));
    const auto size = static_cast<std::size_t>(st.st_size);
    if (size > kMaxInputFileBytes) throw Error(tooLarge(path, size));
    std::string bytes;
    if (const int err = readUpTo(in.get(), kMaxInputFileBytes + 1, size, bytes))
        throw Error(inputFileMessage(path, err));
    // The file grew while it was read.
    if (bytes.size() > kMaxInputFileBytes) throw Error(tooLarge(path, bytes.size()));
    return bytes;
}

void writeLinkFile(const std::filesystem::path& folder, const std::string& filePathText) {
    // cp1251 as ever, unless that loses characters, or its bytes would read
    // back as UTF-8: then the path goes in UTF-8, which the reader tells apart.
    std::string bytes = cp1251::fromUtf8(filePathText);
    if (cp1251::toUtf8(bytes) != filePathText || text::readsAsUtf8(bytes)) bytes = filePathText;
    if (bytes.empty() || bytes.size() > kMaxLinkPathBytes || text::hasControlCharacters(filePathText)) return;
    writeFileSafely(folder / kLinkFileName, bytes + "\r\n", {OnSymlink::Replace, OnSpecialFile::Skip});
}

std::optional<std::string> readLinkFile(const std::filesystem::path& folder) {
    const auto p = folder / kLinkFileName;
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    Fd in(::open(p.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY));
    if (!in || ::fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    // One line of the bound and its CR LF: the rest of the file is not read.
    constexpr std::size_t kLimit = kMaxLinkPathBytes + 2;
    std::string head;
    if (readUpTo(in.get(), kLimit, 0, head) != 0) return std::nullopt;
    const auto lf = head.find('\n');
    if (lf == std::string::npos && head.size() == kLimit) return std::nullopt;
    std::string_view line(head.data(), lf == std::string::npos ? head.size() : lf);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.size() > kMaxLinkPathBytes) return std::nullopt;
    std::string path = text::unmarkedToUtf8(line);
    if (text::hasControlCharacters(path)) return std::nullopt;
    return path;
}

void writeLogFile(const std::filesystem::path& path, const std::vector<std::string>& lines) {
    std::string bytes;
    for (const auto& l : lines) {
        bytes += cp1251::fromUtf8(l);
        bytes += "\r\n";
    }
    writeFileSafely(path, bytes);
}

} // namespace relan
