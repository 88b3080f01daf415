#ifndef MALVORANT_REPLACEQUESTION_H
#define MALVORANT_REPLACEQUESTION_H

#include <QString>
#include <QUrl>

#include <optional>

class QmlItems;

// The question "replace the file that is there?" of a report or an export:
// what was about to be written while the user is asked, and the answer.
class ReplaceQuestion
{
public:
    enum class Kind { Pdf, ExportEcg, ExportDcm };

    // What the user agreed to: the same write, into the same folder, allowed
    // to replace exactly this file.
    struct Agreed
    {
        Kind kind;
        QUrl folder;
        QString path;
    };

    explicit ReplaceQuestion(QmlItems& items);

    ReplaceQuestion(const ReplaceQuestion&) = delete;
    ReplaceQuestion& operator=(const ReplaceQuestion&) = delete;

    // Asks the user about the file at path, which the write of kind into
    // folder would replace.
    void ask(Kind kind, const QUrl& folder, const QString& path);
    // The user's answer: what to write again when they agreed. A question
    // answers once.
    std::optional<Agreed> answer(bool replace);

private:
    QmlItems& m_items;
    std::optional<Agreed> m_pending;
};

#endif
