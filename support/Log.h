#pragma once
// CxLog: the system's one diagnostic log.
//
// Any thread hands a message to the log; a writer thread of the log's own appends the messages,
// one text line each, to a dated log file. Callers never touch the file and never wait for it.
//   CxLog::Instance().Log(u"TavDB", u"CTavDB::CreateCategoryTable", __LINE__, 3, e.ErrorMessage());
//   CxLog::Instance().Log(u"TavDB", u"CTavDB::X", __LINE__, 3, u"%s-->Sql:%s", message, sql);
//   CxLog::Instance().Log(u"TavDB", u"CTavDB::Y", __LINE__, 0, u"%s不存在", folderPath);
// Arguments after the format are std::u16string, std::u16string_view, const char16_t* or
// integers. With no arguments the format is written exactly as it stands (a '%' in it is text).
//
// Where things live: `log.cfg` is `$XDG_DATA_HOME/Orvane/Vexa Arbora/log.cfg` when that file
// exists, else the one beside the executable (created empty there). The default log folder is
// `Log` beside the executable, and when that folder cannot be written,
// `$XDG_STATE_HOME/Orvane/Vexa Arbora/Log/`. `log.cfg` and the log files use the locale's
// character set (the plain C locale's ASCII counts as UTF-8).
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <type_traits>

namespace cxlog {

// A piece of text that may be absent: built from const char16_t* (a null pointer is empty text),
// std::u16string or std::u16string_view.
class Text {
public:
    Text() = default;
    Text(const char16_t* text) : m_view(text != nullptr ? std::u16string_view(text) : std::u16string_view()) {}
    Text(const std::u16string& text) : m_view(text) {}
    Text(std::u16string_view text) : m_view(text) {}
    std::u16string_view View() const { return m_view; }

private:
    std::u16string_view m_view;
};

// One argument of a message format.
struct FormatArg {
    enum class Kind { Text, Signed, Unsigned };
    Kind kind = Kind::Text;
    std::u16string_view text;
    long long signedValue = 0;
    unsigned long long unsignedValue = 0; // integers: the value as the unsigned type of its width
};

inline FormatArg MakeArg(std::u16string_view text)
{
    FormatArg arg;
    arg.text = text;
    return arg;
}
inline FormatArg MakeArg(const std::u16string& text) { return MakeArg(std::u16string_view(text)); }
inline FormatArg MakeArg(const char16_t* text) { return MakeArg(Text(text).View()); }
inline FormatArg MakeArg(Text text) { return MakeArg(text.View()); }

template <typename T>
    requires(std::is_integral_v<T> || std::is_enum_v<T>)
FormatArg MakeArg(T value)
{
    using Underlying = typename std::conditional_t<std::is_enum_v<T>, std::underlying_type<T>, std::type_identity<T>>::type;
    using Widened = std::conditional_t<std::is_same_v<Underlying, bool>, unsigned char, Underlying>;
    const auto raw = static_cast<Widened>(value);
    FormatArg arg;
    if constexpr (std::is_signed_v<Widened>) {
        arg.kind = FormatArg::Kind::Signed;
        arg.signedValue = static_cast<long long>(raw);
    } else {
        arg.kind = FormatArg::Kind::Unsigned;
        arg.signedValue = static_cast<long long>(raw);
    }
    arg.unsignedValue = static_cast<unsigned long long>(static_cast<std::make_unsigned_t<Widened>>(raw));
    return arg;
}

// The longest formatted message, in UTF-16 units (a buffer of 5120 with its terminator).
inline constexpr size_t kMaxMessageLength = 5119;
// The longest log line, in UTF-16 units, and the longest converted line, in bytes.
inline constexpr size_t kMaxLineLength = 5120;
inline constexpr size_t kMaxLineBytes = 5120;
// The longest log file name (a buffer of 64 with its terminator).
inline constexpr size_t kMaxFileNameLength = 63;

// Formats `format` with `args` into `out` (replaced), at most kMaxMessageLength units.
// Conversions: %s %S %c %d %i %u %o %x %X %%, flags '-', '0', '+', ' ', '#', a width, a
// precision (for %s: the most characters taken), length modifiers h hh l ll L j z t w I I32 I64
// (ignored: the argument's own type decides). A text argument for a numeric conversion prints as
// text; an integer for %s prints in decimal. A conversion without a matching argument, and one
// that is not known, prints as it stands.
void FormatMessage(std::u16string& out, std::u16string_view format, std::span<const FormatArg> args);
std::u16string FormatMessage(std::u16string_view format, std::span<const FormatArg> args);

template <typename... Args>
std::u16string Format(std::u16string_view format, const Args&... args)
{
    const FormatArg packed[] = {FormatArg(), MakeArg(args)...};
    return FormatMessage(format, std::span<const FormatArg>(packed).subspan(1));
}

// The settings of `log.cfg`.
struct Config {
    std::u16string path; // the folder prefix, expanded; empty when not configured
    int32_t level = -1;
    int32_t periodType = 0;
    bool funcName = true;
    bool moduleLogName = true;
};
// The largest `log.cfg` that is read; a larger one (or one that is no regular file) leaves
// the defaults.
inline constexpr size_t kMaxConfigBytes = 64 * 1024;
// Applies the text of a `log.cfg` (bytes in `codeset`) over `config`.
void ParseConfig(std::string_view bytes, const std::string& codeset, Config& config);
// atoi as the configuration reads it: leading blanks, an optional sign, digits; anything else
// gives 0; out-of-range values saturate.
int32_t AtoI(std::string_view text);
// Expands $VAR and ${VAR} from the environment; unknown variables stay as written.
std::u16string ExpandEnvironment(std::u16string_view text);
// The name of a log file: the module name (when wanted) and the date part of the period type,
// at most kMaxFileNameLength units (a long module name is shortened to leave room for the date).
std::u16string LogFileName(std::u16string_view moduleName, bool withModuleName, int32_t periodType, const std::tm& localTime);
// The word printed for a level: "Message", "Warning", "Exception", "Error" for 0 to 3; any
// other level prints as "Level" and its number.
std::u16string LevelWord(int32_t level);
// The line written for one record ("%s %s %s(%s, %d): %s\r\n" or "%s %s %s\r\n"): at most
// kMaxLineLength units, always ending with "\r\n", a doubled final "\r\n" trimmed to one.
void FormatLine(std::u16string& out, std::u16string_view timeText, int32_t level, std::u16string_view file,
                std::u16string_view function, int32_t line, std::u16string_view message, bool withFunction);
// The character set of the environment's locale; "UTF-8" for the plain C/POSIX locale.
std::string LocaleCodeset();
// Converts a line into `codeset`, at most kMaxLineBytes bytes: a longer converted form is cut at a
// character boundary and keeps its final "\r\n". Characters that the character set cannot
// represent become '?'.
void ConvertLine(std::string& out, std::u16string_view line, const std::string& codeset);
// Text in `codeset` to UTF-16; bytes that do not decode become U+FFFD.
std::u16string DecodeText(std::string_view bytes, const std::string& codeset);

} // namespace cxlog

struct CxLogOptions {
    // The all-users `log.cfg`, used when it exists.
    std::u16string commonConfigPath;
    // The executable's path: gives the module name, the `log.cfg` beside it and the default `Log`
    // folder beside it. Empty: no module name, no `log.cfg`, the folder "./Log/".
    std::u16string executablePath;
    // The log folder (ending with '/') used when the `Log` folder beside the executable cannot be
    // written; empty: none.
    std::u16string fallbackLogFolder;
    // The character set of `log.cfg` and of the log files; empty: the locale's.
    std::string codeset;
    // The clock that dates records and picks the file; empty: the system clock.
    std::function<std::chrono::system_clock::time_point()> clock;

    // The process-wide settings: the XDG folders, /proc/self/exe, the locale, the system clock.
    static CxLogOptions Defaults();
};

class CxLog {
public:
    // The process-wide log. The first call constructs it; at process exit it is stopped and
    // destroyed, and a call after that writes "CxLog has destroy!" to standard error and throws
    // std::runtime_error("CxLog has destroy!"). The first call must not race with another.
    static CxLog& Instance();

    // A log of its own (tests): loads the configuration and starts the writer thread.
    explicit CxLog(CxLogOptions options);
    ~CxLog();
    CxLog(const CxLog&) = delete;
    CxLog& operator=(const CxLog&) = delete;

    // Formats the message (see cxlog::FormatMessage; without arguments the format is the message
    // as it stands) and queues it. Messages below the configured level are dropped unformatted.
    template <typename... Args>
    void Log(cxlog::Text file, cxlog::Text function, int32_t line, int32_t level, cxlog::Text format, const Args&... args)
    {
        if (level < m_config.level)
            return;
        if constexpr (sizeof...(Args) == 0) {
            Enqueue(file.View(), function.View(), line, level, format.View(), {});
        } else {
            const cxlog::FormatArg packed[] = {cxlog::MakeArg(args)...};
            Enqueue(file.View(), function.View(), line, level, format.View(), std::span<const cxlog::FormatArg>(packed));
        }
    }

    // Queues one record with an already formatted message (cut at kMaxMessageLength units).
    void Post(cxlog::Text file, cxlog::Text function, int32_t line, int32_t level, cxlog::Text message);

    // Waits until every message queued before the call has been written (or dropped, when the
    // file could not be opened). False when the writer has stopped first or the time ran out.
    bool Flush(std::chrono::milliseconds timeout = std::chrono::seconds(10));

    // Stops the writer: signals it, waits at most 500 ms, then lets it go. Messages still queued
    // are lost. The destructor calls it.
    void Stop();

    // The settings read from `log.cfg` at construction.
    const cxlog::Config& Settings() const { return m_config; }
    // The `log.cfg` that was read (empty when none was).
    const std::u16string& ConfigPath() const { return m_configPath; }
    // The full path of the file that the last batch went to (empty before the first batch).
    std::u16string LastLogFilePath() const;

private:
    struct Shared;

    // `aliveFlag`: the flag to keep (null: one of the log's own).
    CxLog(CxLogOptions options, bool* aliveFlag);
    // An empty `args` takes `format` as the finished message.
    void Enqueue(std::u16string_view file, std::u16string_view function, int32_t line, int32_t level,
                 std::u16string_view format, std::span<const cxlog::FormatArg> args);
    void LoadConfig(const CxLogOptions& options);

    bool m_ownAlive = false;
    bool* m_alive = &m_ownAlive; // the process-wide log points at a flag that outlives it
    cxlog::Config m_config;
    std::u16string m_configPath;
    std::shared_ptr<Shared> m_shared; // what the writer uses; the writer holds a share too
    std::thread m_writer;
};
