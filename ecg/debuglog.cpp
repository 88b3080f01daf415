#include "debuglog.h"

#include "filesafety.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <locale>
#include <sstream>

CDebugLog* g_pDebugLog = nullptr;

CDebugLog::CDebugLog(int level, bool rotate, std::string directory, std::string baseName)
    : m_level(level)
{
    // The base name field holds at most 31 characters and its terminating zero.
    std::strncpy(m_baseName, baseName.c_str(), sizeof(m_baseName) - 1);
    m_baseName[sizeof(m_baseName) - 1] = '\0';
    m_path = directory;
    // Log lines name patients and owners: the folder and files are the owner's alone.
    if (!directory.empty())
        platform::setOwnerOnly(directory);
    if (!m_path.empty() && m_path.back() != '/')
        m_path += '/';
    m_path += baseName;
    if (rotate)
        this->rotate();
    open();
}

CDebugLog::~CDebugLog()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_debugFile) {
        std::fclose(m_debugFile);
        m_debugFile = nullptr;
    }
    if (m_errorFile) {
        std::fclose(m_errorFile);
        m_errorFile = nullptr;
    }
}

void CDebugLog::open()
{
    m_debugFile = platform::appendOwnerOnlyFile(m_path);
    if (!m_debugFile) {
        std::fprintf(stderr, "unable to open file %s due to error %d\n", m_path.c_str(), errno);
        std::exit(1);
    }
    const std::string errorName = errorPath();
    m_errorFile = platform::appendOwnerOnlyFile(errorName);
    if (!m_errorFile) {
        std::fprintf(stderr, "unable to open file %s due to error %d\n", errorName.c_str(), errno);
        std::exit(1);
    }
}

// Keeps one previous generation of each file; a plain rename, no shell.
void CDebugLog::rotate()
{
    std::rename(m_path.c_str(), (m_path + ".bak").c_str());
    std::rename(errorPath().c_str(), (errorPath() + ".bak").c_str());
}

std::string CDebugLog::timeStamp(std::time_t t)
{
    static const char* const months[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                           "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm tmLocal{};
    localtime_r(&t, &tmLocal);
    char buf[32];
    std::snprintf(buf, sizeof(buf), "%02d-%s-%04d %02d:%02d:%02d", tmLocal.tm_mday,
                  months[(tmLocal.tm_mon % 12 + 12) % 12], tmLocal.tm_year + 1900,
                  tmLocal.tm_hour, tmLocal.tm_min, tmLocal.tm_sec);
    return buf;
}

std::string CDebugLog::escapeControls(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b != 0x7F) {
            out += c;
            continue;
        }
        switch (b) {
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default: {
            static const char kHex[] = "0123456789ABCDEF";
            out += "\\x";
            out += kHex[b >> 4];
            out += kHex[b & 0xF];
        }
        }
    }
    return out;
}

void CDebugLog::writeLine(std::FILE* f, const std::string& stamp, const std::string& text)
{
    // One line per entry: text from users and peers can't forge lines of its own.
    const std::string line = escapeControls(text);
    std::fprintf(f, "[%s] %s\n", stamp.c_str(), line.c_str());
    std::fflush(f);
}

void CDebugLog::log(int level, std::string text)
{
    if (level > m_level)
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_debugFile)
        return;
    writeLine(m_debugFile, timeStamp(std::time(nullptr)), text);
}

void CDebugLog::logError(std::string text)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_errorFile)
        return;
    const std::string stamp = timeStamp(std::time(nullptr));
    writeLine(m_errorFile, stamp, text);
    if (m_debugFile)
        writeLine(m_debugFile, stamp, text);
}

void debugLog(int level, const std::string& text)
{
    if (g_pDebugLog)
        g_pDebugLog->log(level, text);
}

void debugLogError(const std::string& text)
{
    if (g_pDebugLog)
        g_pDebugLog->logError(text);
}

namespace {
template <typename T>
std::string streamText(const T& value)
{
    std::ostringstream os;
    os.imbue(std::locale::classic());
    os << value;
    return os.str();
}
}

std::string toStdString(int value) { return streamText(value); }
std::string toStdString(long value) { return streamText(value); }
std::string toStdString(double value) { return streamText(value); }
std::string toStdString(const char* value) { return value ? std::string(value) : std::string(); }
std::string toStdString(long long value) { return streamText(value); }
std::string toStdString(bool value) { return value ? "1" : "0"; }
