#include "fixtures.hpp"

#include "relan/error.hpp"
#include "relan/file_io.hpp"
#include "relan/input_files.hpp"
#include "relan/text1251.hpp"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <random>

using namespace relan;
using relan::test::characterDevice;
using relan::test::TempDir;
namespace fs = std::filesystem;

namespace {

std::string fileBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

struct stat lstatOf(const fs::path& p) {
    struct stat st {};
    EXPECT_EQ(::lstat(p.c_str(), &st), 0) << p;
    return st;
}

bool isRoot() {
    return ::geteuid() == 0;
}

// A call that blocks on a FIFO ends the test program instead of hanging it.
struct Deadline {
    explicit Deadline(unsigned seconds) { ::alarm(seconds); }
    ~Deadline() { ::alarm(0); }
};

// The message of the relan::Error `f` raises; a failure when it raises none.
std::string errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Error& e) {
        return e.what();
    }
    ADD_FAILURE() << "no error";
    return {};
}

std::string writeError(const fs::path& p, const std::string& reason) {
    return "Не удалось записать файл «" + p.string() + "»: " + reason;
}

// Every entry under a folder with its type, inode and contents: equal
// snapshots mean nothing was changed, replaced or left behind.
std::map<std::string, std::string> snapshot(const fs::path& dir) {
    std::map<std::string, std::string> s;
    // By hand rather than recursive_directory_iterator, which follows
    // every link it meets to ask whether it is a folder.
    std::function<void(const fs::path&)> walk = [&](const fs::path& folder) {
        for (const auto& e : fs::directory_iterator(folder)) {
            const struct stat st = lstatOf(e.path());
            std::string v = std::to_string(st.st_mode) + " " + std::to_string(st.st_ino);
            if (S_ISREG(st.st_mode)) v += " " + fileBytes(e.path());
            if (S_ISLNK(st.st_mode)) v += " -> " + fs::read_symlink(e.path()).string();
            s[e.path().lexically_relative(dir).string()] = v;
            if (S_ISDIR(st.st_mode)) walk(e.path());
        }
    };
    walk(dir);
    return s;
}

void makeSocket(const fs::path& p) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strncpy(a.sun_path, p.c_str(), sizeof a.sun_path - 1);
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0) << std::strerror(errno);
    ::close(fd); // the node stays
}

void makeFifo(const fs::path& p) {
    ASSERT_EQ(::mkfifo(p.c_str(), 0644), 0) << std::strerror(errno);
}

// Gives a folder its write bits back, so that the temporary folder can go
// even when a test failed half-way.
struct WritableAgain {
    fs::path dir;
    ~WritableAgain() {
        std::error_code ignored; // the folder may not have been made
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ignored);
    }
};

void makeReadOnlyFolder(const fs::path& dir) {
    fs::create_directories(dir);
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                             fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
}

// Bytes this process has taken in through read(2) so far; -1 where the
// kernel does not count them.
long long bytesReadSoFar() {
    std::ifstream io("/proc/self/io");
    std::string key;
    long long value = 0;
    while (io >> key >> value)
        if (key == "rchar:") return value;
    return -1;
}

// Files of this process cannot grow past `bytes`: a write beyond fails half-
// way with EFBIG, where a full disk would fail with ENOSPC.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit r = old_;
        r.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &r);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }

  private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
};

const WriteOptions kLinkFileOptions{OnSymlink::Replace, OnSpecialFile::Skip};

} // namespace

TEST(LinkFile, RemembersThePathInCp1251) {
    TempDir dir;
    EXPECT_FALSE(readLinkFile(dir.path()));
    writeLinkFile(dir.path(), "/home/инженер/отказы.rel");
    std::ifstream in(dir.path() / kLinkFileName, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(bytes, cp1251::fromUtf8("/home/инженер/отказы.rel") + "\r\n");
    EXPECT_EQ(readLinkFile(dir.path()), "/home/инженер/отказы.rel");
}

TEST(LogFile, Cp1251WithCrLfAfterEveryLineAndReplacesTheFile) {
    TempDir dir;
    const auto p = dir.path() / "журнал";
    writeLogFile(p, {"Ход решения"});
    EXPECT_EQ(fileBytes(p), cp1251::fromUtf8("Ход решения") + "\r\n");
    writeLogFile(p, {"Ход решения", "", " ЦФ=1,5"});
    EXPECT_EQ(fileBytes(p),
              cp1251::fromUtf8("Ход решения") + "\r\n\r\n" + cp1251::fromUtf8(" ЦФ=1,5") + "\r\n");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "журнал.part"));
}

TEST(LogFile, UncreatableFileIsRefusedAndTheOldOneKept) {
    TempDir dir;
    const auto missingFolder = dir.path() / "нет" / "log.txt";
    try {
        writeLogFile(missingFolder, {"x"});
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), writeError(missingFolder, "папка не существует"));
    }
    // A folder of that name cannot be replaced by a file: the folder stays.
    const auto folder = dir.path() / "log";
    std::filesystem::create_directory(folder);
    EXPECT_THROW(writeLogFile(folder, {"x"}), Error);
    EXPECT_TRUE(std::filesystem::is_directory(folder));
}

TEST(SafeWrite, RefusalsNameTheFileAndTheReasonAndChangeNothing) {
    const std::string notRegular = "это не обычный файл (устройство, канал или сокет)";
    const struct Case {
        const char* what;
        std::function<fs::path(const fs::path&)> make; // returns the target
        std::string reason;
    } cases[] = {
        {"missing folder", [](const fs::path& d) { return d / "нет" / "log.txt"; }, "папка не существует"},
        {"folder",
         [](const fs::path& d) {
             fs::create_directory(d / "log");
             return d / "log";
         },
         "это папка, а не файл"},
        {"link to a folder",
         [](const fs::path& d) {
             fs::create_directory(d / "sub");
             fs::create_directory_symlink("sub", d / "log");
             return d / "log";
         },
         "это папка, а не файл"},
        {"FIFO",
         [](const fs::path& d) {
             makeFifo(d / "log");
             return d / "log";
         },
         notRegular},
        {"link to a FIFO",
         [](const fs::path& d) {
             makeFifo(d / "fifo");
             fs::create_symlink("fifo", d / "log");
             return d / "log";
         },
         notRegular},
        {"socket",
         [](const fs::path& d) {
             makeSocket(d / "log");
             return d / "log";
         },
         notRegular},
        {"device", [](const fs::path& d) { return characterDevice(d); }, notRegular},
        {"link to a device",
         [](const fs::path& d) {
             const auto device = characterDevice(d);
             if (device.empty()) return device;
             fs::create_symlink(device, d / "log");
             return d / "log";
         },
         notRegular},
        {"read-only file",
         [](const fs::path& d) {
             std::ofstream(d / "log") << "old";
             fs::permissions(d / "log",
                             fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
             return d / "log";
         },
         "файл только для чтения"},
        {"read-only folder without the file",
         [](const fs::path& d) {
             makeReadOnlyFolder(d / "ro");
             return d / "ro" / "log";
         },
         "нет прав на запись в папку"},
        {"file as a folder",
         [](const fs::path& d) {
             std::ofstream(d / "f") << "old";
             return d / "f" / "log";
         },
         "часть пути — файл, а не папка"},
        {"link loop",
         [](const fs::path& d) {
             fs::create_symlink("log", d / "log");
             return d / "log";
         },
         "слишком много символических ссылок (ссылка указывает сама на себя?)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const fs::path target = c.make(dir.path());
        if (target.empty()) {
            std::cout << c.what << ": root may not make a device node here, not checked\n";
            continue;
        }
        WritableAgain restore{dir.path() / "ro"};
        const auto before = snapshot(dir.path());
        const auto devNull = lstatOf("/dev/null");
        Deadline deadline(10);
        EXPECT_EQ(errorOf([&] { writeLogFile(target, {"новое"}); }), writeError(target, c.reason));
        EXPECT_EQ(snapshot(dir.path()), before);
        const auto after = lstatOf("/dev/null");
        EXPECT_TRUE(S_ISCHR(after.st_mode));
        EXPECT_EQ(after.st_ino, devNull.st_ino);
    }
}

TEST(SafeWrite, WritesThroughSymbolicLinksWhichStay) {
    const struct Case {
        const char* what;
        std::function<void(const fs::path&)> make; // "log" leading to "real/file.txt"
    } cases[] = {
        {"absolute link",
         [](const fs::path& d) {
             std::ofstream(d / "real" / "file.txt") << "old";
             fs::create_symlink(d / "real" / "file.txt", d / "log");
         }},
        {"chain of relative links",
         [](const fs::path& d) {
             std::ofstream(d / "real" / "file.txt") << "old";
             fs::create_symlink("real/link2", d / "log");
             fs::create_symlink("file.txt", d / "real" / "link2");
         }},
        {"dangling link", [](const fs::path& d) { fs::create_symlink("real/file.txt", d / "log"); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        fs::create_directory(dir.path() / "real");
        c.make(dir.path());
        const auto links = [&] {
            auto s = snapshot(dir.path());
            s.erase("real/file.txt");
            return s;
        };
        const auto linksBefore = links();
        writeLogFile(dir.path() / "log", {"новое"});
        EXPECT_EQ(fileBytes(dir.path() / "real" / "file.txt"), cp1251::fromUtf8("новое") + "\r\n");
        EXPECT_TRUE(fs::is_symlink(dir.path() / "log"));
        // The links are as they were and nothing else appeared.
        EXPECT_EQ(links(), linksBefore);
    }
}

TEST(SafeWrite, LeavesAUsersFileNamedLikeAnOldTemporaryAlone) {
    // ".part" was once the fixed name of the temporary file beside the target.
    const std::function<void(const fs::path&)> cases[] = {
        [](const fs::path& d) { std::ofstream(d / "log.part") << "the user's own"; },
        [](const fs::path& d) {
            std::ofstream(d / "victim") << "the user's own";
            fs::create_symlink("victim", d / "log.part");
        },
    };
    for (const auto& make : cases) {
        TempDir dir;
        make(dir.path());
        auto before = snapshot(dir.path());
        writeLogFile(dir.path() / "log", {"x"});
        EXPECT_EQ(fileBytes(dir.path() / "log"), "x\r\n");
        auto after = snapshot(dir.path());
        after.erase("log");
        EXPECT_EQ(after, before);
    }
}

TEST(SafeWrite, NewFileModeFollowsTheUmaskAndAReplacedFileKeepsModeAndOwner) {
    TempDir dir;
    const auto p = dir.path() / "out.txt";
    for (const mode_t mask : {mode_t{022}, mode_t{077}, mode_t{002}}) {
        fs::remove(p);
        const mode_t old = ::umask(mask);
        writeFileSafely(p, "x");
        ::umask(old);
        EXPECT_EQ(lstatOf(p).st_mode & 07777, 0666 & ~mask) << std::oct << mask;
    }
    ASSERT_EQ(::chmod(p.c_str(), 0640), 0);
    const bool root = isRoot();
    if (root) ASSERT_EQ(::chown(p.c_str(), 1234, 5678), 0);
    writeFileSafely(p, "новое");
    const struct stat st = lstatOf(p);
    EXPECT_EQ(fileBytes(p), "новое");
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    // Only root may give a file to someone else; others keep their own files.
    if (root) {
        EXPECT_EQ(st.st_uid, 1234u);
        EXPECT_EQ(st.st_gid, 5678u);
    }
}

TEST(SafeWrite, RewritesAFileInPlaceForItsOtherNamesAndInAReadOnlyFolder) {
    const struct Case {
        const char* what;
        std::function<void(const fs::path& dir, const fs::path& file)> make;
    } cases[] = {
        {"hard link", [](const fs::path& d, const fs::path& f) { fs::create_hard_link(f, d / "other"); }},
        {"read-only folder", [](const fs::path& d, const fs::path&) { makeReadOnlyFolder(d); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir top;
        const fs::path dir = top.path() / "d";
        fs::create_directory(dir);
        WritableAgain restore{dir};
        const fs::path file = dir / "log.txt";
        // Longer than the new contents: nothing of it may remain.
        std::ofstream(file) << std::string(10000, 'o');
        c.make(dir, file);
        const auto inode = lstatOf(file).st_ino;
        const auto namesBefore = snapshot(dir).size();
        writeLogFile(file, {"новое"});
        const std::string expected = cp1251::fromUtf8("новое") + "\r\n";
        EXPECT_EQ(fileBytes(file), expected);
        EXPECT_EQ(lstatOf(file).st_ino, inode);
        EXPECT_EQ(snapshot(dir).size(), namesBefore);
        if (fs::exists(dir / "other")) EXPECT_EQ(fileBytes(dir / "other"), expected);
    }
}

TEST(SafeWrite, WriteFailingHalfWayLeavesTheOldContents) {
    const struct Case {
        const char* what;
        std::function<void(const fs::path& dir, const fs::path& file)> make;
    } cases[] = {
        {"replaced", [](const fs::path&, const fs::path&) {}},
        {"hard link, in place",
         [](const fs::path& d, const fs::path& f) { fs::create_hard_link(f, d / "other"); }},
        {"read-only folder, in place", [](const fs::path& d, const fs::path&) { makeReadOnlyFolder(d); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir top;
        const fs::path dir = top.path() / "d";
        fs::create_directory(dir);
        WritableAgain restore{dir};
        const fs::path file = dir / "log.txt";
        std::ofstream(file) << "old\r\n";
        c.make(dir, file);
        const auto before = snapshot(dir);
        std::string message;
        {
            FileSizeLimit limit(4096);
            message = errorOf([&] { writeFileSafely(file, std::string(65536, 'n')); });
        }
        EXPECT_EQ(message, writeError(file, "файл больше допустимого размера"));
        EXPECT_EQ(snapshot(dir), before);
    }
}

TEST(SafeWrite, FailureReasonsAreRussian) {
    // A full disk and a failing drive cannot be staged in a test folder; their
    // reasons must still read as Russian, not as the C library's English.
    EXPECT_EQ(fileErrorReason(ENOSPC), "нет места на диске");
    for (const int err : {ENOENT, ENOTDIR, EISDIR, ENXIO, EACCES, EPERM, EROFS, ENOSPC, EDQUOT, EFBIG,
                          ENAMETOOLONG, ELOOP, EIO, EMFILE, EBUSY}) {
        const std::string r = fileErrorReason(err);
        EXPECT_FALSE(r.empty()) << err;
        for (const char ch : r)
            EXPECT_FALSE(std::isalpha(static_cast<unsigned char>(ch))) << err << ": " << r;
    }
    EXPECT_FALSE(fileErrorReason(123456).empty());
}

TEST(LinkFile, ReplacesASymbolicLinkInsteadOfWritingThroughIt) {
    TempDir dir;
    const auto victim = dir.write("victim.txt", "the user's own");
    fs::create_symlink(victim, dir.path() / kLinkFileName);
    writeLinkFile(dir.path(), "/data/отказы.rel");
    EXPECT_EQ(fileBytes(victim), "the user's own");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir.path() / kLinkFileName)));
    EXPECT_EQ(readLinkFile(dir.path()), "/data/отказы.rel");
}

TEST(LinkFile, LeavesWhatIsNoRegularFileAloneWithoutBlocking) {
    const std::function<void(const fs::path&)> cases[] = {
        makeFifo,
        [](const fs::path& p) { fs::create_directory(p); },
        makeSocket,
    };
    for (const auto& make : cases) {
        TempDir dir;
        make(dir.path() / kLinkFileName);
        const auto before = snapshot(dir.path());
        Deadline deadline(10);
        EXPECT_NO_THROW(writeLinkFile(dir.path(), "/data/x.rel"));
        EXPECT_FALSE(writeFileSafely(dir.path() / kLinkFileName, "x", kLinkFileOptions));
        EXPECT_FALSE(readLinkFile(dir.path()));
        EXPECT_EQ(snapshot(dir.path()), before);
    }
}

TEST(LinkFile, ReadsOnlyTheFirstLineOfAHugeFile) {
    const struct Case {
        std::string firstLine;
        std::optional<std::string> expected;
    } cases[] = {{"", std::nullopt}, {"/data/x.rel\r\n", "/data/x.rel"}};
    const long long start = bytesReadSoFar();
    if (start < 0) GTEST_SKIP() << "/proc/self/io is not available: the bytes read cannot be counted";
    for (const auto& c : cases) {
        TempDir dir;
        const auto p = dir.write(kLinkFileName, c.firstLine);
        fs::resize_file(p, 300u << 20); // sparse: no disk space taken
        const long long before = bytesReadSoFar();
        EXPECT_EQ(readLinkFile(dir.path()), c.expected);
        EXPECT_LT(bytesReadSoFar() - before, 64 << 10);
    }
}

TEST(LinkFile, IgnoresALineThatIsNoPath) {
    const std::string longest(kMaxLinkPathBytes, 'a');
    const struct Case {
        std::string bytes;
        std::optional<std::string> expected;
    } cases[] = {
        {"/a\tb\r\n", std::nullopt},
        {"/a\x01"
         "b\r\n",
         std::nullopt},
        {"/a\x7f\r\n", std::nullopt},
        {"/a\rb\r\n", std::nullopt},
        {"/a\x98"
         "b\r\n",
         std::nullopt}, // cp1251 byte of the C1 control U+0098
        {"/a\xC2\x85"
         "b\r\n",
         std::nullopt}, // U+0085 in UTF-8
        {"\r\n", std::nullopt},
        {longest + "a\r\n", std::nullopt},
        {longest + "a", std::nullopt},
        {longest + "\r\n", longest},
        {"/no/line/break", "/no/line/break"},
        {"/lf/only\nsecond line\x01", "/lf/only"},
        {cp1251::fromUtf8("/дом/файл.rel") + "\r\n", "/дом/файл.rel"},
        {"/дом/файл.rel\r\n", "/дом/файл.rel"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        dir.write(kLinkFileName, c.bytes);
        EXPECT_EQ(readLinkFile(dir.path()), c.expected) << c.bytes.substr(0, 40);
    }
}

TEST(LinkFile, PathOutsideCp1251IsKeptInUtf8AndAPathNoneCouldReadIsNotWritten) {
    const struct Case {
        std::string path;
        bool cp1251;
    } cases[] = {
        {"/home/用户/数据.rel", false},
        {"/data/Ελληνικά/łódź.rel", false},
        {"/data/№5 — «отчет» €.rel", true},
        {"/data/plain.rel", true},
        // Cyrillic whose cp1251 bytes happen to be valid UTF-8 ("Рѓ" = D0 83).
        {"/data/Рѓ.rel", false},
    };
    for (const auto& c : cases) {
        TempDir dir;
        writeLinkFile(dir.path(), c.path);
        EXPECT_EQ(fileBytes(dir.path() / kLinkFileName),
                  (c.cp1251 ? cp1251::fromUtf8(c.path) : c.path) + "\r\n")
            << c.path;
        EXPECT_EQ(readLinkFile(dir.path()), c.path);
        // A path the reader would refuse leaves the remembered one.
        for (const std::string& bad :
             {std::string("/a\nb.rel"), std::string(kMaxLinkPathBytes + 1, 'a'), std::string()})
            writeLinkFile(dir.path(), bad);
        EXPECT_EQ(readLinkFile(dir.path()), c.path);
    }
}

TEST(InputFile, ReadsTheWholeFileThroughALink) {
    TempDir dir;
    std::string bytes(200000, '\0');
    std::mt19937 rng(7);
    for (char& ch : bytes)
        ch = static_cast<char>(rng());
    const auto p = dir.write("data.rel", bytes);
    fs::create_symlink(p, dir.path() / "link.rel");
    EXPECT_EQ(readInputFile(p), bytes);
    EXPECT_EQ(readInputFile((dir.path() / "link.rel").string()), bytes);
    dir.write("empty.rel", "");
    EXPECT_EQ(readInputFile((dir.path() / "empty.rel").string()), "");
}

TEST(InputFile, RefusalsSayWhatThePathIs) {
    TempDir dir;
    const std::string d = dir.path().string();
    fs::create_directory(dir.path() / "folder");
    makeFifo(dir.path() / "fifo");
    fs::create_symlink("fifo", dir.path() / "to-fifo");
    makeSocket(dir.path() / "socket");
    dir.write("file", "x");
    const std::string special = " — не обычный файл (устройство, канал или сокет)";
    const struct Case {
        std::string path;
        std::string message;
    } cases[] = {
        {"", "Указанный файл не существует"},
        {d + "/missing.rel", "Указанный файл не существует: " + d + "/missing.rel"},
        {d + "/file/x.rel", "Указанный файл не существует: " + d + "/file/x.rel"},
        {d + "/folder", "«" + d + "/folder» — это папка, а не файл"},
        {d + "/fifo", "«" + d + "/fifo»" + special},
        {d + "/to-fifo", "«" + d + "/to-fifo»" + special},
        {d + "/socket", "«" + d + "/socket»" + special},
        {"/dev/null", "«/dev/null»" + special},
    };
    Deadline deadline(10);
    for (const auto& c : cases)
        EXPECT_EQ(errorOf([&] { readInputFile(c.path); }), c.message);
}

TEST(InputFile, UnreadableFileIsRefusedNamingIt) {
    TempDir dir;
    const auto p = dir.write("secret.rel", "x");
    EXPECT_EQ(inputFileMessage(p, EACCES), "Нет прав на чтение файла «" + p + "»");
    if (isRoot()) GTEST_SKIP() << "root reads a file without read permission; only the message was checked";
    fs::permissions(p, fs::perms::none);
    EXPECT_EQ(errorOf([&] { readInputFile(p); }), "Нет прав на чтение файла «" + p + "»");
}

TEST(InputFile, HugeFileIsRefusedWithoutReadingIt) {
    TempDir dir;
    const auto p = dir.write("huge.rel", "x");
    fs::resize_file(p, kMaxInputFileBytes + 1); // sparse
    const long long before = bytesReadSoFar();
    EXPECT_EQ(errorOf([&] { readInputFile(p); }), "Файл " + p + " слишком велик для файла данных (" +
                                                      std::to_string(kMaxInputFileBytes + 1) + " байт)");
    if (before >= 0) EXPECT_LT(bytesReadSoFar() - before, 1 << 20);
}

TEST(SafeWrite, AnInputFileIsNeverReplacedWhateverNameLeadsToIt) {
    TempDir dir;
    const fs::path data = dir.path() / "d.rel", terms = dir.path() / "gar.txt";
    std::ofstream(data) << "data";
    std::ofstream(terms) << "terms";
    fs::create_hard_link(data, dir.path() / "hard.pdf");
    fs::create_symlink(data, dir.path() / "link.png");
    fs::create_symlink("gar.txt", dir.path() / "relative-link.csv");
    rememberInputFile(InputFile::FailureData, data);
    rememberInputFile(InputFile::WarrantyTerms, terms);
    const std::string dataReason = "это загруженный файл данных по отказам «" + data.string() +
                                   "», он не будет заменен; выберите другое имя";
    const std::string termsReason = "это загруженный файл гарантийных сроков «" + terms.string() +
                                    "», он не будет заменен; выберите другое имя";
    const struct {
        fs::path target;
        std::string reason;
    } cases[] = {
        {data, dataReason},
        {dir.path() / "." / "d.rel", dataReason},
        {dir.path() / "hard.pdf", dataReason},
        {dir.path() / "link.png", dataReason},
        {dir.path() / "relative-link.csv", termsReason},
        {terms, termsReason},
    };
    const auto before = snapshot(dir.path());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        EXPECT_EQ(errorOf([&] { checkWritable(c.target); }), writeError(c.target, c.reason));
        EXPECT_EQ(errorOf([&] { writeFileSafely(c.target, "%PDF"); }), writeError(c.target, c.reason));
        EXPECT_EQ(errorOf([&] { writeLogFile(c.target, {"log"}); }), writeError(c.target, c.reason));
    }
    EXPECT_EQ(snapshot(dir.path()), before);

    // Any other file is written as ever, and a file no longer loaded is free.
    EXPECT_TRUE(writeFileSafely(dir.path() / "report.pdf", "%PDF"));
    rememberInputFile(InputFile::FailureData, dir.path() / "another.rel");
    EXPECT_TRUE(writeFileSafely(dir.path() / "hard.pdf", "%PDF"));
    EXPECT_EQ(fileBytes(data), "%PDF");
    forgetInputFiles();
    EXPECT_TRUE(writeFileSafely(terms, "new"));
}

TEST(SafeWrite, ALoadRemembersItsFile) {
    TempDir dir;
    const auto data =
        dir.write("d.rel", relan::test::cp1251File({"Парк", "1000", "300", "50", "1", "0", "10\tнасос"}));
    Analysis s;
    loadFailureData(data, NumberFormat{}, s);
    EXPECT_NE(errorOf([&] { writeFileSafely(data, "%PDF"); }).find("это загруженный файл данных по отказам"),
              std::string::npos);
    forgetInputFiles();
}

TEST(SafeWrite, ASignalDuringTheWriteRemovesTheTemporaryAndEndsWithTheSignal) {
    for (const int sig : {SIGTERM, SIGINT}) {
        for (const bool existing : {false, true}) {
            SCOPED_TRACE(std::to_string(sig) + (existing ? " over a file" : " new file"));
            TempDir dir;
            const fs::path target = dir.path() / "report.pdf";
            if (existing) std::ofstream(target) << "old";
            const auto before = snapshot(dir.path());
            static int signalToSend;
            signalToSend = sig;
            const pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                // As a program started from a terminal, whatever this test
                // program was started with; the temporary is complete and
                // about to replace the target when the signal comes.
                std::signal(sig, SIG_DFL);
                removeUnfinishedWriteOnSignals();
                setWriteInterruptionForTests([] { ::raise(signalToSend); });
                try {
                    writeFileSafely(target, std::string(1 << 20, 'x'));
                } catch (...) {
                }
                ::_exit(0);
            }
            int status = 0;
            ASSERT_EQ(::waitpid(child, &status, 0), child);
            EXPECT_TRUE(WIFSIGNALED(status));
            EXPECT_EQ(WIFSIGNALED(status) ? WTERMSIG(status) : 0, sig);
            EXPECT_EQ(snapshot(dir.path()), before);
        }
    }
}
