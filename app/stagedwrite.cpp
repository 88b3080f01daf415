#include "stagedwrite.h"

#include "debuglog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <filesystem>
#include <system_error>

namespace stagedwrite {

Outcome writeFile(const QString& destination, bool replace,
                  const std::function<bool(const QString& staging)>& write)
{
    const QFileInfo target(destination);
    if (!replace && (target.exists() || target.isSymLink()))
        return Outcome::Exists;
    // Beside the destination, so the move is a rename within one folder.
    QTemporaryFile staging(target.dir().filePath(target.fileName() + QStringLiteral(".XXXXXX.part")));
    if (!staging.open()) {
        debugLogError("unable to create a file in " + target.absolutePath().toStdString() + ": "
                      + staging.errorString().toStdString());
        return Outcome::Failed;
    }
    const QString stagingPath = staging.fileName();
    staging.close();
    if (!write(stagingPath)) {
        // The destructor takes the staging file away.
        return Outcome::Failed;
    }
    if (!replace) {
        // A rename never replaces: a file that came meanwhile is kept.
        if (QFile::rename(stagingPath, destination)) {
            staging.setAutoRemove(false);
            return Outcome::Written;
        }
        if (QFileInfo::exists(destination))
            return Outcome::Exists;
        debugLogError("unable to move " + stagingPath.toStdString() + " to " + destination.toStdString());
        return Outcome::Failed;
    }
    // The earlier file is replaced in one step: it stays whole until the new one is complete.
    std::error_code ec;
    std::filesystem::rename(std::filesystem::path(stagingPath.toStdU16String()),
                            std::filesystem::path(destination.toStdU16String()), ec);
    if (ec) {
        debugLogError("unable to replace " + destination.toStdString() + ": " + ec.message());
        return Outcome::Failed;
    }
    staging.setAutoRemove(false);
    return Outcome::Written;
}

} // namespace stagedwrite
