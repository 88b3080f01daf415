#ifndef MALVORANT_DBINSPECT_H
#define MALVORANT_DBINSPECT_H

#include <QString>

// What the start learns of an existing database before it opens it for
// writing. A damaged database must stay byte for byte as it is, with its
// write-ahead log and shared-memory index: SQLite rewrites the index even
// on a read-only connection, and the last connection to close folds the log
// into the file. So the look is taken at a private copy of the database and
// its log, which is removed again; the originals are only read.
struct DbInspection
{
    enum Kind {
        Usable,     // the program's own, whole, with its version
        Empty,      // a database without any table
        Foreign,    // tables, but not the program's
        Uncheckable, // no copy could be taken for the look (no room)
        Unreadable, // not a database SQLite can read
        Damaged,    // the integrity check found faults
        NoVersion,  // the program's tables without a valid schema version
    };
    Kind kind = Unreadable;
    int version = -1;
    // What is wrong, in SQLite's words where it found it.
    QString detail;
};

// Inspects the database at path through a copy made in a new folder under
// scratchFolder (the system's temporary folder when that one takes nothing).
DbInspection inspectDatabase(const QString& path, const QString& scratchFolder);

#endif
