#include "results_output.h"

#include "stagedfile.h"
#include "textfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
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

} // namespace

bool sameFile(const QString& a, const QString& b) {
    if (resolved(a) == resolved(b))
        return true;
    const auto first = identityOf(a), second = identityOf(b);
    return first && second && *first == *second;
}

QStringList inputFiles(const QStringList& inputs) {
    QStringList files;
    for (const QString& input : inputs) {
        if (!QFileInfo(input).isDir()) {
            files << input;
            continue;
        }
        const QDir dir(input);
        for (const QString& name :
             dir.entryList({QStringLiteral("*.usr")}, QDir::Files | QDir::Hidden, QDir::Name))
            files << dir.filePath(name);
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
