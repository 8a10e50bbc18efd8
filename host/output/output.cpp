#include "output.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "model_guard.h"

namespace amihost {

OutputFile::OutputFile(std::string path)
    : path_(std::move(path)), temporary_(path_ + ".partial-" + std::to_string(::getpid())) {
    RegisterTemporary(temporary_);
}

OutputFile::~OutputFile() {
    if (file_ != nullptr) std::fclose(file_);
    if (!committed_ && !direct_) std::remove(temporary_.c_str());
    if (!direct_) UnregisterTemporary(temporary_);
}

Status OutputFile::Open(bool binary) {
    // A target that exists and is not a regular file (a device such as
    // /dev/null, a pipe) is written directly: it cannot be replaced by a rename.
    struct stat info {};
    if (::stat(path_.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        UnregisterTemporary(temporary_);
        direct_ = true;
        temporary_ = path_;
    }
    file_ = std::fopen(temporary_.c_str(), binary ? "wb" : "w");
    if (file_ == nullptr) {
        failed_ = true;
        error_ = "cannot write " + path_ + ": " + std::strerror(errno);
        return Error{error_};
    }
    return {};
}

void OutputFile::Write(const void* data, std::size_t size) {
    if (failed_ || file_ == nullptr || size == 0) return;
    if (std::fwrite(data, 1, size, file_) != size) {
        failed_ = true;
        error_ = "cannot write " + path_ + ": " + std::strerror(errno);
    }
}

Status OutputFile::Commit() {
    if (file_ != nullptr) {
        const bool flushed = std::fflush(file_) == 0 && std::ferror(file_) == 0;
        const int savedErrno = errno;
        const bool closed = std::fclose(file_) == 0;
        file_ = nullptr;
        if (!failed_ && (!flushed || !closed)) {
            failed_ = true;
            error_ = "cannot write " + path_ + ": " + std::strerror(flushed ? errno : savedErrno);
        }
    }
    if (failed_) {
        if (!direct_) std::remove(temporary_.c_str());
        return Error{error_.empty() ? "cannot write " + path_ : error_};
    }
    if (direct_) {
        committed_ = true;
        return {};
    }
    if (std::rename(temporary_.c_str(), path_.c_str()) != 0) {
        error_ = "cannot write " + path_ + ": " + std::strerror(errno);
        std::remove(temporary_.c_str());
        failed_ = true;
        return Error{error_};
    }
    committed_ = true;
    return {};
}

Status OutputFile::CommitWritten(const Status& written) {
    if (!written) {
        // The writer knew the temporary name; the user knows the final one.
        failed_ = true;
        error_ = written.error();
        for (std::size_t at; (at = error_.find(temporary_)) != std::string::npos;)
            error_.replace(at, temporary_.size(), path_);
    }
    return Commit();
}

Status WriteWholeFile(const std::string& path, const std::string& text) {
    OutputFile out(path);
    if (Status opened = out.Open(); !opened) return opened;
    out.Write(text);
    return out.Commit();
}

}  // namespace amihost
