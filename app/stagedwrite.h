#ifndef MALVORANT_STAGEDWRITE_H
#define MALVORANT_STAGEDWRITE_H

#include <QString>

#include <functional>

// Files the program writes where the user chose (reports, exports): written
// beside their destination first and put in place only once complete, so a
// failed write never leaves half a file, and never over a file that is there
// unless the user agreed to replace it.
namespace stagedwrite {

enum class Outcome {
    Written,  // the destination holds the new file
    Exists,   // a file is there and was not to be replaced: nothing written
    Failed    // the write or the move failed: the destination is as it was
};

// write gets the path of a staging file in the destination's folder and says
// whether it wrote it completely.
Outcome writeFile(const QString& destination, bool replace,
                  const std::function<bool(const QString& staging)>& write);

} // namespace stagedwrite

#endif
