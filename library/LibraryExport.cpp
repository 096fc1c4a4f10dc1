#include "library/LibraryExport.h"

#include "library/ExportModel.h"
#include "support/Guid.h"
#include "support/TextConvert.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace fs = std::filesystem;

bool ParseExportFormat(const std::string& name, EExportFormat& format)
{
    if (name == "csl-json")
        format = EExportFormat::CslJson;
    else if (name == "bibtex")
        format = EExportFormat::Bibtex;
    else if (name == "ris")
        format = EExportFormat::Ris;
    else
        return false;
    return true;
}

std::string ExportEntryText(const SLibraryEntryContents& contents, EExportFormat format, const fs::path& outputFolder)
{
    const std::vector<SExportItem> items = BuildExportItems(contents, outputFolder);
    switch (format) {
    case EExportFormat::Bibtex:
        return WriteBibtex(items);
    case EExportFormat::Ris:
        return WriteRis(items);
    case EExportFormat::CslJson:
        break;
    }
    return WriteCslJson(items);
}

namespace {

// Closes the descriptor and, unless released, removes the temporary file.
class CTemporaryFile {
public:
    explicit CTemporaryFile(fs::path path)
        : m_path(std::move(path)), m_fd(::open(m_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644))
    {
    }
    ~CTemporaryFile()
    {
        Close();
        if (!m_kept) {
            std::error_code error;
            fs::remove(m_path, error);
        }
    }
    CTemporaryFile(const CTemporaryFile&) = delete;
    CTemporaryFile& operator=(const CTemporaryFile&) = delete;

    int Fd() const { return m_fd; }
    bool Close()
    {
        const bool closed = m_fd < 0 || ::close(m_fd) == 0;
        m_fd = -1;
        return closed;
    }
    void Keep() { m_kept = true; }

private:
    fs::path m_path;
    int m_fd;
    bool m_kept = false;
};

} // namespace

bool WriteFileReplacing(const fs::path& file, const std::string& text, std::string& error)
{
    const fs::path temporary = file.parent_path() / ("." + file.filename().string() + "." + WideToUtf8(NewGuidText()) + ".tmp");
    CTemporaryFile out(temporary);
    if (out.Fd() < 0) {
        error = temporary.string() + ": " + std::strerror(errno);
        return false;
    }
    for (size_t written = 0; written < text.size();) {
        const ssize_t n = ::write(out.Fd(), text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = temporary.string() + ": " + std::strerror(errno);
            return false;
        }
        written += static_cast<size_t>(n);
    }
    if (::fsync(out.Fd()) != 0 || !out.Close()) {
        error = temporary.string() + ": " + std::strerror(errno);
        return false;
    }
    if (std::rename(temporary.c_str(), file.c_str()) != 0) {
        error = file.string() + ": " + std::strerror(errno);
        return false;
    }
    out.Keep();
    return true;
}
