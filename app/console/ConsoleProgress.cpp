#include "app/console/ConsoleProgress.h"

#include "support/TextConvert.h"

CConsoleProgress::CConsoleProgress(std::FILE* out, bool terminal)
    : m_out(out), m_terminal(terminal)
{
}

std::string CConsoleProgress::FormatBar(int32_t position, int32_t maximum, int width)
{
    if (maximum <= 0 || width <= 0)
        return {};
    const int64_t clamped = position < 0 ? 0 : (position > maximum ? maximum : position);
    const int filled = static_cast<int>(clamped * width / maximum);
    const int percent = static_cast<int>(clamped * 100 / maximum);
    std::string bar = "[";
    bar.append(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(width - filled), ' ');
    bar += "] ";
    bar += std::to_string(percent);
    bar += "%";
    return bar;
}

int32_t CConsoleProgress::OnProgress(int32_t position, int32_t maximum, const std::u16string& text)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_barShown)
        std::fputs("\r\033[K", m_out);
    std::fprintf(m_out, "[%d/%d] %s\n", position, maximum, WideToUtf8(text).c_str());
    m_barShown = false;
    if (m_terminal) {
        const std::string bar = FormatBar(position, maximum, 40);
        if (!bar.empty()) {
            std::fputs(bar.c_str(), m_out);
            m_barShown = true;
        }
    }
    std::fflush(m_out);
    return 1;
}

void CConsoleProgress::Finish()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_barShown)
        std::fputs("\r\033[K", m_out);
    m_barShown = false;
    std::fflush(m_out);
}
