// Result files that are either complete or absent: each is written under a
// temporary name beside its final one and renamed into place only after every
// write, the flush and the close have succeeded. A file not committed (a failed
// write, an error elsewhere, an interruption) is removed.
#pragma once

#include <cstdio>
#include <string>

#include "link/result.h"

namespace amihost {

class OutputFile {
public:
    explicit OutputFile(std::string path);
    ~OutputFile();  // removes the temporary file unless committed
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Fails when the temporary file cannot be created.
    Status Open(bool binary = false);
    void Write(const void* data, std::size_t size);
    void Write(const std::string& text) { Write(text.data(), text.size()); }
    // Flushes, closes and renames into place: fails when any of it did, or
    // an earlier write.
    Status Commit();
    // The temporary path, for writers that need a file name (PNG); after such
    // a writer has finished, CommitWritten renames what it wrote into place.
    const std::string& TemporaryPath() const { return temporary_; }
    Status CommitWritten(const Status& written);
    const std::string& Path() const { return path_; }

private:
    std::string path_, temporary_, error_;
    std::FILE* file_ = nullptr;
    bool failed_ = false, committed_ = false, direct_ = false;
};

// Writes `text` to `path` through an OutputFile.
Status WriteWholeFile(const std::string& path, const std::string& text);

}  // namespace amihost
