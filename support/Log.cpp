// The log object: records, queues, the writer thread and the process-wide instance.
#include "support/Log.h"
#include "support/PlatformFolders.h"
#include "support/TextConvert.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <mutex>
#include <stdexcept>

namespace {

constexpr std::chrono::milliseconds kStopWait{500};

// The process-wide alive flag: trivially destructible, so it can still be read after the
// process-wide log itself has been destroyed.
bool g_processLogAlive = false;

// One file descriptor, closed when it goes.
class FileHandle {
public:
    explicit FileHandle(int fd) : m_fd(fd) {}
    ~FileHandle()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd;
};

std::string NativePath(std::u16string_view path) { return WideToUtf8(path); }

bool WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

// Creates the folder and every missing folder above it; true when it then exists and can be
// written.
bool MakeWritableFolder(const std::string& folder)
{
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    return std::filesystem::is_directory(folder, error) && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

std::u16string_view AfterLastSeparator(std::u16string_view path)
{
    const size_t separator = path.find_last_of(u"/\\");
    return separator == std::u16string_view::npos ? path : path.substr(separator + 1);
}

// "%04d-%02d-%02d %02d:%02d:%02d.%03d" of a local time.
void WriteTimeText(std::u16string& out, const std::tm& local, int milliseconds)
{
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, milliseconds);
    out.assign(text, text + std::char_traits<char>::length(text));
}

std::tm LocalTime(std::chrono::system_clock::time_point when, int* milliseconds = nullptr)
{
    const auto sinceEpoch = when.time_since_epoch();
    auto seconds = std::chrono::floor<std::chrono::seconds>(sinceEpoch);
    if (milliseconds != nullptr)
        *milliseconds = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch - seconds).count());
    const std::time_t time = static_cast<std::time_t>(seconds.count());
    std::tm local{};
    ::localtime_r(&time, &local);
    return local;
}

} // namespace

// A queued message. Its texts keep their buffers when the record is reused.
namespace cxlog {
struct LogRecord {
    std::u16string timeText;
    std::u16string file;
    std::u16string function;
    int32_t line = 0;
    int32_t level = 0;
    std::u16string message;
};
} // namespace cxlog

// Everything the writer thread touches. The thread holds a share, so that a writer that is let go
// at exit never outlives what it uses.
struct CxLog::Shared {
    CxLogOptions options;
    cxlog::Config config;

    // Queue lock: the pending queue, the data and stop events and the batch counters.
    std::mutex queueMutex;
    std::condition_variable wake;     // data or stop
    std::condition_variable progress; // a batch done, or the writer ended
    std::deque<std::unique_ptr<cxlog::LogRecord>> pending;
    bool dataSignalled = false;
    bool stopSignalled = false;
    bool writerEnded = false;
    uint64_t posted = 0;
    uint64_t taken = 0;
    uint64_t completed = 0;

    // Pool lock: the spare pool.
    std::mutex poolMutex;
    std::deque<std::unique_ptr<cxlog::LogRecord>> pool;

    // The writer's own state.
    bool folderKnown = false;
    bool moduleKnown = false;
    std::u16string logFolder;
    std::u16string moduleName;
    std::u16string fileName;
    std::u16string filePath;
    std::u16string line;
    std::string bytes;

    mutable std::mutex pathMutex;
    std::u16string lastFilePath;

    void Run();
    void WriteBatch();
    void ResolveFolder();
    const std::u16string& CurrentFilePath();
};

void CxLog::Shared::Run()
{
    for (;;) {
        {
            std::unique_lock lock(queueMutex);
            wake.wait(lock, [this] { return dataSignalled || stopSignalled; });
            if (!dataSignalled)
                break; // data wins when both are set
            dataSignalled = false;
        }
        WriteBatch();
    }
    {
        std::lock_guard lock(queueMutex);
        writerEnded = true;
    }
    progress.notify_all();
}

void CxLog::Shared::ResolveFolder()
{
    if (folderKnown && moduleKnown)
        return;
    const std::u16string& executable = options.executablePath;
    const size_t separator = executable.find_last_of(u'/');
    if (!moduleKnown) {
        std::u16string_view name = AfterLastSeparator(executable);
        if (const size_t dot = name.find_last_of(u'.'); dot != std::u16string_view::npos)
            name = name.substr(0, dot);
        moduleName = name;
        moduleKnown = true;
    }
    if (folderKnown)
        return;
    folderKnown = true;
    if (!config.path.empty()) {
        logFolder = config.path;
        return;
    }
    logFolder = separator == std::u16string::npos ? std::u16string(u"./Log/") : executable.substr(0, separator) + u"/Log/";
    if (!options.fallbackLogFolder.empty() && !MakeWritableFolder(NativePath(logFolder)))
        logFolder = options.fallbackLogFolder;
}

const std::u16string& CxLog::Shared::CurrentFilePath()
{
    ResolveFolder();
    const std::tm local = LocalTime(options.clock());
    std::u16string name = cxlog::LogFileName(moduleName, config.moduleLogName, config.periodType, local);
    if (name == fileName && !filePath.empty())
        return filePath;
    fileName = std::move(name);
    filePath = logFolder + fileName;
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(NativePath(filePath)).parent_path(), error);
    return filePath;
}

void CxLog::Shared::WriteBatch()
{
    const std::string path = NativePath(CurrentFilePath());
    {
        std::lock_guard lock(pathMutex);
        lastFilePath = filePath;
    }
    constexpr int kFlags = O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC;
    int fd = ::open(path.c_str(), kFlags, 0644);
    if (fd < 0 && errno == ENOENT) {
        // The folder went away since the file name was worked out: make it again.
        std::error_code error;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
        fd = ::open(path.c_str(), kFlags, 0644);
    }
    const FileHandle file(fd);
    bool writable = file.Get() >= 0;
    for (;;) {
        std::unique_ptr<cxlog::LogRecord> record;
        {
            std::lock_guard lock(queueMutex);
            if (pending.empty())
                break;
            record = std::move(pending.front());
            pending.pop_front();
            ++taken;
        }
        if (writable) {
            cxlog::FormatLine(line, record->timeText, record->level, record->file, record->function, record->line,
                              record->message, config.funcName);
            cxlog::ConvertLine(bytes, line, options.codeset);
            writable = WriteAll(file.Get(), bytes);
        }
        std::lock_guard lock(poolMutex);
        pool.push_back(std::move(record));
    }
    {
        std::lock_guard lock(queueMutex);
        completed = taken;
    }
    progress.notify_all();
}

CxLogOptions CxLogOptions::Defaults()
{
    CxLogOptions options;
    options.commonConfigPath = CommonDocumentsFolder() + u"/Orvane/Vexa Arbora/log.cfg";
    options.executablePath = ExecutablePath();
    options.fallbackLogFolder = StateFolder() + u"/Orvane/Vexa Arbora/Log/";
    options.codeset = cxlog::LocaleCodeset();
    options.clock = [] { return std::chrono::system_clock::now(); };
    return options;
}

CxLog& CxLog::Instance()
{
    static CxLog instance(CxLogOptions::Defaults(), &g_processLogAlive);
    if (!g_processLogAlive) {
        std::fputs("CxLog has destroy!\n", stderr);
        throw std::runtime_error("CxLog has destroy!");
    }
    return instance;
}

CxLog::CxLog(CxLogOptions options) : CxLog(std::move(options), nullptr) {}

CxLog::CxLog(CxLogOptions options, bool* aliveFlag) : m_shared(std::make_shared<Shared>())
{
    if (aliveFlag != nullptr)
        m_alive = aliveFlag;
    *m_alive = true;
    if (options.codeset.empty())
        options.codeset = cxlog::LocaleCodeset();
    if (!options.clock)
        options.clock = [] { return std::chrono::system_clock::now(); };
    LoadConfig(options);
    m_shared->options = std::move(options);
    m_shared->config = m_config;
    m_writer = std::thread([shared = m_shared] { shared->Run(); });
}

CxLog::~CxLog() { Stop(); }

void CxLog::Stop()
{
    *m_alive = false;
    if (!m_writer.joinable())
        return;
    std::unique_lock lock(m_shared->queueMutex);
    m_shared->stopSignalled = true;
    m_shared->wake.notify_all();
    const bool ended = m_shared->progress.wait_for(lock, kStopWait, [this] { return m_shared->writerEnded; });
    lock.unlock();
    if (ended)
        m_writer.join();
    else
        m_writer.detach(); // it keeps its share of the state and ends when its batch is done
}

bool CxLog::Flush(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_shared->queueMutex);
    const uint64_t target = m_shared->posted;
    m_shared->progress.wait_for(lock, timeout, [&] { return m_shared->completed >= target || m_shared->writerEnded; });
    return m_shared->completed >= target;
}

std::u16string CxLog::LastLogFilePath() const
{
    std::lock_guard lock(m_shared->pathMutex);
    return m_shared->lastFilePath;
}

void CxLog::Post(cxlog::Text file, cxlog::Text function, int32_t line, int32_t level, cxlog::Text message)
{
    if (level < m_config.level)
        return;
    Enqueue(file.View(), function.View(), line, level, message.View(), {});
}

void CxLog::Enqueue(std::u16string_view file, std::u16string_view function, int32_t line, int32_t level,
                    std::u16string_view format, std::span<const cxlog::FormatArg> args)
{
    Shared& shared = *m_shared;
    std::unique_ptr<cxlog::LogRecord> record;
    {
        std::lock_guard lock(shared.poolMutex);
        if (!shared.pool.empty()) {
            record = std::move(shared.pool.front());
            shared.pool.pop_front();
        }
    }
    if (!record)
        record = std::make_unique<cxlog::LogRecord>();

    int milliseconds = 0;
    const std::tm local = LocalTime(shared.options.clock(), &milliseconds);
    WriteTimeText(record->timeText, local, milliseconds);
    record->file.assign(AfterLastSeparator(file));
    record->function.assign(function);
    record->line = line;
    record->level = level;
    if (args.empty()) {
        // No arguments: the text is the message itself, '%' included.
        record->message.assign(format.substr(0, cxlog::kMaxMessageLength));
        if (record->message.size() == cxlog::kMaxMessageLength && record->message.back() >= 0xD800 &&
            record->message.back() <= 0xDBFF)
            record->message.pop_back();
    } else {
        cxlog::FormatMessage(record->message, format, args);
    }

    {
        std::lock_guard lock(shared.queueMutex);
        shared.pending.push_back(std::move(record));
        ++shared.posted;
        shared.dataSignalled = true;
    }
    shared.wake.notify_one();
}

void CxLog::LoadConfig(const CxLogOptions& options)
{
    std::u16string path = options.commonConfigPath;
    struct stat status {};
    if (path.empty() || ::stat(NativePath(path).c_str(), &status) != 0) {
        const size_t separator = options.executablePath.find_last_of(u'/');
        if (separator == std::u16string::npos)
            return;
        path = options.executablePath.substr(0, separator) + u"/log.cfg";
    }
    // Beside the executable an absent file is created empty, ready to be filled in. Opening does
    // not wait (a FIFO would block here), and only a regular file of sensible size is read: a
    // device or a pipe would never end.
    const FileHandle file(::open(NativePath(path).c_str(), O_RDONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0644));
    if (file.Get() < 0)
        return;
    struct stat opened {};
    if (::fstat(file.Get(), &opened) != 0 || !S_ISREG(opened.st_mode) ||
        static_cast<uint64_t>(opened.st_size) > cxlog::kMaxConfigBytes)
        return;
    std::string bytes;
    char buffer[4096];
    for (;;) {
        const ssize_t count = ::read(file.Get(), buffer, sizeof buffer);
        if (count < 0) {
            if (errno == EINTR)
                continue;
            return; // not readable whole: the defaults hold
        }
        if (count == 0)
            break;
        bytes.append(buffer, static_cast<size_t>(count));
        if (bytes.size() > cxlog::kMaxConfigBytes)
            return; // grew while read: the defaults hold
    }
    m_configPath = path;
    cxlog::ParseConfig(bytes, options.codeset, m_config);
}
