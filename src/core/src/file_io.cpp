#include "relan/file_io.hpp"

#include "relan/error.hpp"
#include "relan/text1251.hpp"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <system_error>

namespace relan {
namespace {

constexpr const char* kFileMissing = "Указанный файл не существует";

} // namespace

std::string readInputFile(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path p(path);
    if (path.empty() || !std::filesystem::is_regular_file(p, ec))
        throw Error(std::string(kFileMissing) + (path.empty() ? "" : ": " + path));
    auto size = std::filesystem::file_size(p, ec);
    if (!ec && size > kMaxInputFileBytes)
        throw Error("Файл " + path + " слишком велик для файла данных (" + std::to_string(size) + " байт)");
    std::ifstream in(p, std::ios::binary);
    if (!in) throw Error(std::string(kFileMissing) + ": " + path);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw Error("Не удалось прочитать файл " + path);
    return bytes;
}

void writeLinkFile(const std::filesystem::path& folder, const std::string& filePathText) {
    std::ofstream out(folder / kLinkFileName, std::ios::binary | std::ios::trunc);
    if (!out) throw Error("Не удалось записать файл " + (folder / kLinkFileName).string());
    out << cp1251::fromUtf8(filePathText) << "\r\n";
    if (!out) throw Error("Не удалось записать файл " + (folder / kLinkFileName).string());
}

std::optional<std::string> readLinkFile(const std::filesystem::path& folder) {
    std::error_code ec;
    const auto p = folder / kLinkFileName;
    if (!std::filesystem::is_regular_file(p, ec)) return std::nullopt;
    std::ifstream in(p, std::ios::binary);
    std::string line;
    if (!in || !std::getline(in, line)) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > 4096) return std::nullopt;
    return cp1251::toUtf8(line);
}

void writeLogFile(const std::filesystem::path& path, const std::vector<std::string>& lines) {
    std::string bytes;
    for (const auto& l : lines) {
        bytes += cp1251::fromUtf8(l);
        bytes += "\r\n";
    }
    auto refuse = [&](int err) {
        return Error("Cannot create file \"" + path.string() + "\". " + std::strerror(err));
    };
    // Written beside the target and renamed over it, so that a failure half-way
    // (a full disk) never leaves a truncated log in place of a good one.
    std::filesystem::path tmp = path;
    tmp += ".part";
    errno = 0;
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out) throw refuse(errno ? errno : EACCES);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) {
            const int err = errno ? errno : EIO;
            out.close();
            std::error_code ec;
            std::filesystem::remove(tmp, ec);
            throw refuse(err);
        }
    }
    std::error_code ec;
    std::filesystem::rename(tmp, path, ec);
    if (ec) {
        std::error_code ignored;
        std::filesystem::remove(tmp, ignored);
        throw refuse(ec.value());
    }
}

} // namespace relan
