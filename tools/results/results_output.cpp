#include "results_output.h"

#include "stagedfile.h"
#include "textfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <dirent.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <vector>

namespace results {
namespace {

struct Identity {
    dev_t device;
    ino_t inode;
    bool operator==(const Identity& other) const {
        return device == other.device && inode == other.inode;
    }
};

// The file a path leads to, through every link on its way; none when nothing is there.
std::optional<Identity> identityOf(const QString& path) {
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    return Identity{st.st_dev, st.st_ino};
}

bool isLink(const QString& path) {
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISLNK(st.st_mode);
}

// A path's folder resolved through every link, and its own name.
QString resolved(const QString& path) {
    const QFileInfo info(path);
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    return (folder.isEmpty() ? QDir::cleanPath(info.absolutePath()) : folder) + QLatin1Char('/') +
           info.fileName();
}

// Whether a name matches "*.usr" as QDir's case-blind pattern matches it. Most names settle
// on their last four characters; one with other than ASCII among them (which Unicode case
// folding might match) goes to the pattern itself.
bool isProtocolName(const QString& name) {
    if (name.size() < 4)
        return false;
    const QStringView tail = QStringView(name).right(4);
    if (tail.compare(QLatin1String(".usr"), Qt::CaseInsensitive) == 0)
        return true;
    for (QChar c : tail)
        if (c.unicode() >= 0x80) {
            static const QRegularExpression pattern(
                QRegularExpression::wildcardToRegularExpression(QStringLiteral("*.usr")),
                QRegularExpression::CaseInsensitiveOption);
            return pattern.match(name).hasMatch();
        }
    return false;
}

} // namespace

// QDir builds a file information per entry and sorts those: over a year's folder that took
// near a tenth of the whole report. The entry's own type spares a stat() but for links and
// file systems that do not tell it.
QStringList protocolNames(const QString& folder) {
    QStringList names;
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return names;
    const QByteArray prefix = QFile::encodeName(folder) + '/';
    while (const dirent* entry = ::readdir(dir)) {
        const QString name = QFile::decodeName(entry->d_name);
        if (!isProtocolName(name))
            continue;
        // A name that is not UTF-8 cannot be opened by its decoded form: QDir leaves it out.
        if (name.contains(QChar::ReplacementCharacter) &&
            QFile::encodeName(name) != QByteArrayView(entry->d_name))
            continue;
        if (entry->d_type != DT_REG) {
            struct stat st;
            if (entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN)
                continue;
            if (::stat((prefix + entry->d_name).constData(), &st) != 0 || !S_ISREG(st.st_mode))
                continue;
        }
        names << name;
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end(),
              [](const QString& a, const QString& b) { return a.compare(b) < 0; });
    return names;
}

bool sameFile(const QString& a, const QString& b) {
    if (resolved(a) == resolved(b))
        return true;
    const auto first = identityOf(a), second = identityOf(b);
    return first && second && *first == *second;
}

QString protocolPathPrefix(const QString& folder) {
    return QDir(folder).filePath(QStringLiteral("x")).chopped(1);
}

QStringList inputFiles(const QStringList& inputs) {
    QStringList files;
    for (const QString& input : inputs) {
        if (!QFileInfo(input).isDir()) {
            files << input;
            continue;
        }
        const QString prefix = protocolPathPrefix(input);
        for (const QString& name : protocolNames(input))
            files << prefix + name;
    }
    return files;
}

QString writeOutputs(const QList<OutputFile>& outputs, const QStringList& inputs) {
    // Only an output that is already there can be one of the inputs: the inputs are looked up
    // then, and not for a report written afresh (a folder may hold thousands of them).
    std::optional<std::vector<Identity>> read;
    const auto isRead = [&](const Identity& id) {
        if (!read) {
            read.emplace();
            for (const QString& input : inputs)
                if (const auto found = identityOf(input))
                    read->push_back(*found);
        }
        return std::find(read->begin(), read->end(), id) != read->end();
    };
    std::vector<std::unique_ptr<textfile::StagedFile>> staged;
    try {
        for (const OutputFile& output : outputs) {
            const QString path = QFileInfo(output.path).absoluteFilePath();
            const auto id = identityOf(path);
            if (id && isRead(*id))
                return QStringLiteral("Файл %1 — один из прочитанных файлов; он не "
                                      "перезаписывается.")
                    .arg(path);
            if (isLink(path))
                return QStringLiteral("Под именем %1 стоит символическая ссылка: отчёт через "
                                      "ссылку не записывается, укажите другое имя.")
                    .arg(path);
            staged.push_back(std::make_unique<textfile::StagedFile>(path));
            staged.back()->adoptTarget();
            staged.back()->write(output.bytes);
            staged.back()->finish();
        }
    } catch (const FileError& e) {
        return e.message() + QStringLiteral(". Ни один файл отчёта не записан.");
    }
    QStringList placed;
    try {
        for (const auto& file : staged) {
            file->place(textfile::StagedFile::Replace);
            placed << file->target();
        }
    } catch (const FileError& e) {
        return QStringLiteral("%1. Записаны только: %2.")
            .arg(e.message(), placed.isEmpty() ? QStringLiteral("ничего") : placed.join(", "));
    }
    return {};
}

} // namespace results
