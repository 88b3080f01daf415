#ifndef MALVORANT_BRIDGEPARTS_H
#define MALVORANT_BRIDGEPARTS_H

#include <QtCharts/QAbstractSeries>

#include <QString>

#include <array>
#include <cstdint>

struct AppFolders;
class CDbMan;
class CFileMan;
class CPatientMan;
class CSettingsMan;


// The engine the bridge owns, as the units see it. Plain pointers: the bridge
// creates these once and they end with the process.
struct EngineParts
{
    const AppFolders* folders = nullptr;
    CDbMan* db = nullptr;
    CSettingsMan* settings = nullptr;
    CPatientMan* patients = nullptr;
    CFileMan* files = nullptr;
};

// What an import hands to the assignment of the imported recording: the .ecg
// file to copy, the temporary conversion result to remove after the copy
// (empty, or equal to sourcePath), and the recording's start time (Unix
// seconds of its header).
struct ImportHandOver
{
    QString sourcePath;
    QString temporaryPath;
    std::int64_t startTime = 0;
};

// The program's own version and build, as published and logged.
inline constexpr char kAppVersion[] = "8.0.2";
inline constexpr char kAppBuild[] = "078";

#endif
