#ifndef MALVORANT_DEBUGLOG_H
#define MALVORANT_DEBUGLOG_H

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

// The one process-wide file logger. Created by the bridge before any other
// component and reachable through g_pDebugLog; it is never destroyed before
// the process ends. Safe to call from any thread: every line lands whole.
class CDebugLog
{
public:
    CDebugLog(int level, bool rotate, std::string directory, std::string baseName);
    ~CDebugLog();

    CDebugLog(const CDebugLog&) = delete;
    CDebugLog& operator=(const CDebugLog&) = delete;

    // Writes "[time] text" to the debug file when level <= the configured level.
    void log(int level, std::string text);
    // Writes the line to the error file, then (same time stamp) to the debug file.
    void logError(std::string text);

    const std::string& path() const { return m_path; }
    std::string errorPath() const { return m_path + ".error"; }
    int level() const { return m_level; }

    // The time stamp of a line, "%d-%b-%Y %H:%M:%S" in local time with English
    // month names whatever the process locale is.
    static std::string timeStamp(std::time_t t);
    // The text with control characters written as escapes (\n, \r, \t, \xNN).
    static std::string escapeControls(const std::string& text);

private:
    void open();
    void rotate();
    void writeLine(std::FILE* f, const std::string& stamp, const std::string& text);

    std::FILE* m_debugFile = nullptr;
    std::FILE* m_errorFile = nullptr;
    int m_level = 0;
    std::string m_path;
    char m_baseName[32] = {};
    std::mutex m_mutex;
};

// The process-wide logger; null until the bridge creates it.
extern CDebugLog* g_pDebugLog;

// Convenience wrappers that do nothing while no logger exists.
void debugLog(int level, const std::string& text);
void debugLogError(const std::string& text);

// Number-to-text helpers for log lines (C locale, stream defaults).
std::string toStdString(int value);
std::string toStdString(long value);
std::string toStdString(double value);
std::string toStdString(const char* value);
std::string toStdString(long long value);
std::string toStdString(bool value);
inline std::string toStdString(unsigned value) { return std::to_string(value); }

#endif
