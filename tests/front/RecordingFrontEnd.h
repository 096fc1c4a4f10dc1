#pragma once
// A window for CImportDialogLogic that records what it is asked to show. The test thread plays
// the user-interface thread: posted reports wait in a queue until it pumps them.
#include "app/importer/ImportDialogLogic.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

class CRecordingFrontEnd : public IImportFrontEnd {
public:
    // What the window shows.
    std::u16string pathText, accountText, cancelText;
    bool enabled[3] = {true, true, true}; // Browse, Start, Log
    int32_t maximum = -1, position = -1;
    std::u16string log;
    bool closed = false;
    std::chrono::steady_clock::time_point closedAt;
    // Questions asked and their answers.
    std::vector<std::u16string> questions, notices;
    bool answer = true;
    std::optional<std::u16string> chosenFile;

    bool Enabled(EControl control) const { return enabled[static_cast<int>(control)]; }

    bool AskYesNo(const std::u16string& text, const std::u16string& caption) override
    {
        questions.push_back(caption + u"|" + text);
        return answer;
    }
    void ShowNotice(const std::u16string& text, const std::u16string& caption) override
    {
        notices.push_back(caption + u"|" + text);
    }
    std::optional<std::u16string> ChooseFile(const std::u16string& filter, const std::u16string& extension) override
    {
        questions.push_back(u"file|" + filter + u"|" + extension);
        return chosenFile;
    }
    void SetPathText(const std::u16string& text) override { pathText = text; }
    void SetAccountText(const std::u16string& text) override { accountText = text; }
    void SetCancelText(const std::u16string& text) override { cancelText = text; }
    void EnableControl(EControl control, bool on) override { enabled[static_cast<int>(control)] = on; }
    void SetProgress(int32_t max, int32_t pos) override
    {
        maximum = max;
        position = pos;
    }
    void ClearLog() override { log.clear(); }
    void AppendLog(const std::u16string& text) override { log += text; }
    void CloseDialog() override
    {
        closed = true;
        closedAt = std::chrono::steady_clock::now();
    }

    void PostProgress(std::unique_ptr<SProgressRecord> record) override
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(record));
        m_posted.notify_all();
    }

    // Hands every queued report to the logic; with `untilFinished`, first waits for the
    // worker's final message (false when it does not come).
    bool Pump(CImportDialogLogic& logic, bool untilFinished = false)
    {
        std::unique_lock lock(m_mutex);
        if (untilFinished && !m_posted.wait_for(lock, std::chrono::seconds(30), [this] {
                return !m_queue.empty() && m_queue.back()->finished;
            }))
            return false;
        std::deque<std::unique_ptr<SProgressRecord>> records;
        records.swap(m_queue);
        lock.unlock();
        for (auto& record : records)
            logic.OnProgressMessage(std::move(record));
        return true;
    }

    size_t Queued()
    {
        std::lock_guard lock(m_mutex);
        return m_queue.size();
    }

    // Waits until `count` reports are queued; false when they do not come.
    bool WaitForQueued(size_t count)
    {
        std::unique_lock lock(m_mutex);
        return m_posted.wait_for(lock, std::chrono::seconds(30), [&] { return m_queue.size() >= count; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_posted;
    std::deque<std::unique_ptr<SProgressRecord>> m_queue;
};
