#include "maintenance/cabinet.h"

#include "maintenance/cabinet_gcab.h"
#include "maintenance/cabinet_layout.h"
#include "platform/file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSet>

#include <algorithm>
#include <cstdint>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <optional>

namespace maintenance {

namespace fs = std::filesystem;
namespace layout = cabinet_layout;

namespace {

// One folder holds at most 65535 data blocks of 32 KiB, and a cabinet at
// most 65535 files.
constexpr qint64 kMaxTotalSize = qint64(65535) * layout::kBlockSize;
constexpr std::size_t kMaxFiles = 65535;

const QString kFormatLimitText =
    QStringLiteral("Data-size or file-count exceeded CAB format limits");
const QString kCreateCabinetText = QStringLiteral("Could not create cabinet file");
const QString kTargetFileText = QStringLiteral("Failure writing to target file");
const QString kCheckFailedText = QStringLiteral("Cabinet written does not read back correctly");

using platform::fsPath;

// A source or a cabinet is read whole: a program folder's files are small, and
// a cabinet is checked whole before anything comes out of it. What grows past
// anything a cabinet could hold stops there.
QByteArray readWholeFile(const QString& path) {
    return platform::readFile(path, kMaxTotalSize);
}

bool failedToOpen(const platform::FileError& error) {
    return error.action() == platform::FileError::Action::Open;
}

SystemError systemErrorOf(const platform::FileError& error) {
    return SystemError::fromErrno(error.systemError() != 0 ? error.systemError() : EIO);
}

QByteArray readCabinetFile(const QString& path) {
    try {
        return readWholeFile(path);
    } catch (const platform::FileError& error) {
        if (failedToOpen(error)) {
            throw CabinetError(QStringLiteral("Cabinet not found"), CabinetError::kCabinetNotFound,
                               systemErrorOf(error));
        }
        throw CabinetError(QStringLiteral("Cabinet file is corrupt"), CabinetError::kCorrupt,
                           systemErrorOf(error));
    }
}

CabinetEntry entryOf(const layout::File& file) {
    return CabinetEntry{file.name, file.size, layout::fromDos(file.date, file.time),
                        file.attributes};
}

[[noreturn]] void targetFailed(const std::error_code& code) {
    throw CabinetError(kTargetFileText, CabinetError::kTargetFile, SystemError::from(code));
}

void setModified(const fs::path& path, const QDateTime& local, std::error_code& code) {
    using namespace std::chrono;
    const sys_seconds when{seconds(local.toSecsSinceEpoch())};
    fs::last_write_time(path, file_clock::from_sys(when), code);
}

// A fresh folder for the files on their way out of a cabinet, inside `folder`
// so that moving them into place is a rename on the same disk.
QString makeStagingFolder(const QString& folder) {
    std::error_code code;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString name =
            QStringLiteral(".cabinet-%1")
                .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
        const QString path = QDir(folder).filePath(name);
        if (fs::create_directory(fsPath(path), code)) return path;
        if (code) targetFailed(code);  // an existing name leaves code clear: try another
    }
    targetFailed(std::make_error_code(std::errc::file_exists));
}

// The check made on every new cabinet before it replaces the old one.
void verifySources(const QString& cabinetPath, const std::vector<cabinet_gcab::Source>& sources) {
    auto failed = [](const QString& name) {
        throw CabinetError(name.isEmpty()
                               ? kCheckFailedText
                               : kCheckFailedText + QStringLiteral(" (\"%1\")").arg(name),
                           CabinetError::kCompress);
    };
    QByteArray bytes;
    layout::Layout stored;
    try {
        bytes = readCabinetFile(cabinetPath);
        stored = layout::parse(bytes);
    } catch (const CabinetError&) {
        failed({});
    }
    if (stored.files.size() != sources.size()) failed({});
    for (std::size_t i = 0; i < sources.size(); ++i) {
        const layout::File& file = stored.files[i];
        const cabinet_gcab::Source& source = sources[i];
        if (file.name != source.name || qint64(file.size) != source.data.size() ||
            file.date != source.modified.date || file.time != source.modified.time ||
            (file.attributes & ~layout::kNameIsUtf8) != source.attributes) {
            failed(source.name);
        }
    }
    cabinet_gcab::Decompressed data;
    try {
        data = cabinet_gcab::decompress(bytes, stored, std::vector<bool>(sources.size(), true));
    } catch (const CabinetError&) {
        failed({});
    }
    for (std::size_t i = 0; i < sources.size(); ++i) {
        if (data.data(i) != QByteArrayView(sources[i].data)) failed(sources[i].name);
    }
}

}  // namespace

// ---------------------------------------------------------------- writing

struct CabinetWriter::Impl {
    QString path;
    QString tempPath;
    std::unique_ptr<platform::File> temp;
    std::vector<cabinet_gcab::Source> sources;
    QSet<QString> added;  // absolute paths
    QStringList skipped;
    qint64 total = 0;

    ~Impl() { discard(); }

    void discard() {
        if (temp) {
            temp.reset();
            platform::removeFile(tempPath);
        }
        sources.clear();
        added.clear();
        skipped.clear();
        total = 0;
    }
};

CabinetWriter::CabinetWriter() : impl_(std::make_unique<Impl>()) {}
CabinetWriter::~CabinetWriter() = default;

bool CabinetWriter::isOpen() const {
    return static_cast<bool>(impl_->temp);
}

QStringList CabinetWriter::skipped() const {
    return impl_->skipped;
}

QStringList CabinetWriter::names() const {
    QStringList names;
    for (const cabinet_gcab::Source& source : impl_->sources) names << source.name;
    return names;
}

void CabinetWriter::create(const QString& path) {
    impl_->discard();
    const QFileInfo info(path);
    impl_->path = info.absoluteFilePath();
    impl_->tempPath = impl_->path + QStringLiteral(".tmp");

    std::error_code code;
    fs::create_directories(fsPath(info.absolutePath()), code);
    if (code)
        throw CabinetError(kCreateCabinetText, CabinetError::kCreateCabinet,
                           SystemError::from(code));
    // A temporary file left by an interrupted run is ours to replace.
    fs::remove(fsPath(impl_->tempPath), code);
    if (code)
        throw CabinetError(kCreateCabinetText, CabinetError::kCreateCabinet,
                           SystemError::from(code));
    try {
        impl_->temp = std::make_unique<platform::File>(
            impl_->tempPath, platform::File::Access::ReadWrite, platform::File::Create::Yes);
    } catch (const platform::FileError& error) {
        throw CabinetError(kCreateCabinetText, CabinetError::kCreateCabinet, systemErrorOf(error));
    }
}

int CabinetWriter::addFiles(const QString& folder, const QString& mask) {
    if (!isOpen()) throw CabinetError(QStringLiteral("FCI error"), CabinetError::kCreateCabinet);
    const QFileInfoList found =
        QDir(folder).entryInfoList(QStringList{mask}, QDir::Files | QDir::Hidden, QDir::Unsorted);
    int count = 0;
    for (const QFileInfo& info : found) {
        const QString absolute = info.absoluteFilePath();
        if (!info.isFile() || absolute == impl_->path || absolute == impl_->tempPath ||
            impl_->added.contains(absolute)) {
            continue;
        }
        // A name that extraction would refuse would make the whole backup
        // impossible to restore: the file stays out, and the caller says so.
        if (!layout::unsafeNameReason(info.fileName()).isEmpty()) {
            if (!impl_->skipped.contains(info.fileName())) impl_->skipped << info.fileName();
            continue;
        }
        if (impl_->sources.size() >= kMaxFiles || impl_->total + info.size() > kMaxTotalSize) {
            throw CabinetError(kFormatLimitText, CabinetError::kFormatLimit);
        }
        QByteArray data;
        try {
            data = readWholeFile(absolute);
        } catch (const platform::FileError& error) {
            const bool opened = !failedToOpen(error);
            throw CabinetError(opened
                                   ? QStringLiteral("Failure reading file to be stored in cabinet")
                                   : QStringLiteral("Failure opening file to be stored in cabinet"),
                               opened ? CabinetError::kReadSource : CabinetError::kOpenSource,
                               systemErrorOf(error));
        }
        if (impl_->total + data.size() > kMaxTotalSize) {
            throw CabinetError(kFormatLimitText, CabinetError::kFormatLimit);
        }

        cabinet_gcab::Source source;
        source.name = info.fileName();
        source.modified = layout::toDos(info.lastModified());
        source.attributes = layout::kArchive;
        if (!info.permission(QFileDevice::WriteOwner)) source.attributes |= layout::kReadOnly;
        if (source.name.startsWith(QLatin1Char('.'))) source.attributes |= layout::kHidden;
        source.data = std::move(data);
        impl_->total += source.data.size();
        impl_->sources.push_back(std::move(source));
        impl_->added.insert(absolute);
        ++count;
    }
    return count;
}

void CabinetWriter::close() {
    if (!isOpen()) throw CabinetError(QStringLiteral("FCI error"), CabinetError::kCreateCabinet);
    try {
        // Cabinet tools refuse a cabinet without files, and an empty backup
        // must not take the place of one that holds the archives.
        if (impl_->sources.empty()) {
            throw CabinetError(QStringLiteral("No files to store in cabinet"),
                               CabinetError::kNoFiles);
        }
        const QByteArray cabinet = cabinet_gcab::compress(impl_->sources);

        try {
            impl_->temp->writeAt(0, cabinet.constData(), std::size_t(cabinet.size()));
            impl_->temp->syncData();
            impl_->temp.reset();
            verifySources(impl_->tempPath, impl_->sources);
            platform::replaceFile(impl_->tempPath, impl_->path);
        } catch (const platform::FileError& error) {
            throw CabinetError(kCreateCabinetText, CabinetError::kCreateCabinet,
                               systemErrorOf(error));
        }
        impl_->sources.clear();
        impl_->added.clear();
        impl_->total = 0;
    } catch (...) {
        impl_->temp.reset();
        platform::removeFile(impl_->tempPath);
        impl_->discard();
        throw;
    }
}

// ---------------------------------------------------------------- reading

std::vector<CabinetEntry> listCabinet(const QString& cabinetPath) {
    const QByteArray bytes = readCabinetFile(cabinetPath);
    const layout::Layout stored = layout::parse(bytes);
    std::vector<CabinetEntry> entries;
    for (const layout::File& file : stored.files) entries.push_back(entryOf(file));
    return entries;
}

namespace {

std::optional<qint64> systemFreeSpace(const QString& folder) {
    std::error_code code;
    const fs::space_info info = fs::space(fsPath(folder), code);
    if (code || info.available == static_cast<std::uintmax_t>(-1)) return std::nullopt;
    return qint64(std::min<std::uintmax_t>(info.available, std::uintmax_t(INT64_MAX)));
}

std::error_code systemMove(const QString& from, const QString& to) {
    std::error_code code;
    fs::rename(fsPath(from), fsPath(to), code);
    return code;
}

FreeSpaceQuery& freeSpaceQuery() {
    static FreeSpaceQuery query = systemFreeSpace;
    return query;
}

FileMove& fileMove() {
    static FileMove move = systemMove;
    return move;
}

// Room kept free beyond the files themselves: the file system's own
// bookkeeping, and whatever else the machine writes meanwhile.
qint64 freeSpaceMargin(qint64 total) {
    return total / 16 + (qint64(16) << 20);
}

[[noreturn]] void refused(const QString& why) {
    throw CabinetError(why, CabinetError::kCorrupt);
}

// Checks made on the cabinet as a whole before a single byte is written.
// Returns which files to extract.
std::vector<bool> checkBeforeExtracting(const layout::Layout& stored, const QString& folder,
                                        const std::function<bool(const CabinetEntry&)>& select) {
    if (stored.files.empty()) refused(QStringLiteral("Cabinet holds no files"));
    if (stored.files.size() > kMaxExtractedFiles) {
        refused(QStringLiteral("Cabinet holds %1 files, more than a program folder holds")
                    .arg(stored.files.size()));
    }
    QSet<QString> seen;
    for (const layout::File& file : stored.files) {
        const QString reason = layout::unsafeNameReason(file);
        if (!reason.isEmpty()) {
            refused(QStringLiteral("Cabinet file name \"%1\" %2").arg(file.name, reason));
        }
        // One name twice would leave only the last; in two letter cases, two
        // files here but one on a system that ignores case.
        const QString key = file.name.toCaseFolded();
        if (seen.contains(key))
            refused(QStringLiteral("Cabinet holds \"%1\" twice").arg(file.name));
        seen.insert(key);
    }
    std::vector<bool> wanted;
    qint64 total = 0;
    for (const layout::File& file : stored.files) {
        wanted.push_back(!select || select(entryOf(file)));
        if (wanted.back()) total += file.size;
    }
    if (std::find(wanted.begin(), wanted.end(), true) == wanted.end()) {
        refused(QStringLiteral("Cabinet holds none of the files to extract"));
    }
    if (const std::optional<qint64> available = freeSpaceQuery()(folder)) {
        if (total + freeSpaceMargin(total) > *available) {
            throw CabinetError(QStringLiteral("Not enough free space to extract the cabinet"),
                               CabinetError::kTargetFile, SystemError::fromErrno(ENOSPC));
        }
    }
    return wanted;
}

// Replaces the files of `target` named in `names` by those of `stage`, all or
// nothing: the current ones go to `aside` first, then the new ones come in;
// on a failure the new ones are removed and the old ones put back.
// `stranded` tells whether some old file could not be put back and is still
// in `aside` (the error then says where).
void replaceAllOrNothing(const QDir& stage, const QDir& aside, const QDir& target,
                         const QStringList& names, bool* stranded) {
    QStringList movedAside;
    QStringList movedIn;
    std::error_code code;
    auto rollBack = [&](const CabinetError& error) -> CabinetError {
        bool restored = true;
        std::error_code ignored;
        for (const QString& name : movedIn) {
            fs::remove(fsPath(target.filePath(name)), ignored);
        }
        for (const QString& name : movedAside) {
            std::error_code back;
            fs::rename(fsPath(aside.filePath(name)), fsPath(target.filePath(name)), back);
            restored = restored && !back;
        }
        *stranded = !restored;
        if (restored) return error;
        return error.withNote(QStringLiteral("I file precedenti sono in %1")
                                  .arg(QDir::toNativeSeparators(aside.path())));
    };
    try {
        for (const QString& name : names) {
            const QString current = target.filePath(name);
            if (!fs::exists(fs::symlink_status(fsPath(current), code))) continue;
            code = fileMove()(current, aside.filePath(name));
            if (code) targetFailed(code);
            movedAside << name;
        }
        for (const QString& name : names) {
            code = fileMove()(stage.filePath(name), target.filePath(name));
            if (code) targetFailed(code);
            movedIn << name;
        }
    } catch (const CabinetError& error) {
        throw rollBack(error);
    }
}

}  // namespace

FreeSpaceQuery setFreeSpaceQuery(FreeSpaceQuery query) {
    FreeSpaceQuery previous = std::move(freeSpaceQuery());
    freeSpaceQuery() = query ? std::move(query) : FreeSpaceQuery(systemFreeSpace);
    return previous;
}

FileMove setFileMove(FileMove move) {
    FileMove previous = std::move(fileMove());
    fileMove() = move ? std::move(move) : FileMove(systemMove);
    return previous;
}

QStringList extractAll(const QString& cabinetPath, const QString& folder,
                       const std::function<bool(const CabinetEntry&)>& select) {
    const QByteArray bytes = readCabinetFile(cabinetPath);
    const layout::Layout stored = layout::parse(bytes);

    std::error_code code;
    fs::create_directories(fsPath(folder), code);
    if (code) targetFailed(code);
    const std::vector<bool> wanted = checkBeforeExtracting(stored, folder, select);
    const QDir target(folder);
    QStringList names;
    for (std::size_t i = 0; i < stored.files.size(); ++i) {
        if (!wanted[i]) continue;
        names << stored.files[i].name;
        if (fs::is_directory(fsPath(target.filePath(stored.files[i].name)), code)) {
            targetFailed(std::make_error_code(std::errc::is_a_directory));
        }
    }

    const QString staging = makeStagingFolder(folder);
    QString aside;
    bool keepAside = false;
    try {
        const QDir stage(staging);
        cabinet_gcab::extractTo(bytes, stored, wanted, staging);
        for (std::size_t i = 0; i < stored.files.size(); ++i) {
            if (!wanted[i]) continue;
            const layout::File& file = stored.files[i];
            const fs::path path = fsPath(stage.filePath(file.name));
            if (fs::file_size(path, code) != file.size || code) {
                throw CabinetError(QStringLiteral("Cabinet file is corrupt"),
                                   CabinetError::kCorrupt);
            }
            const QDateTime modified = layout::fromDos(file.date, file.time);
            if (modified.isValid()) {
                setModified(path, modified, code);
                if (code) targetFailed(code);
            }
            if (file.attributes & layout::kReadOnly) {
                fs::permissions(
                    path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove, code);
                if (code) targetFailed(code);
            }
        }
        // Everything came out whole: now, and only now, replace the files.
        aside = makeStagingFolder(folder);
        replaceAllOrNothing(stage, QDir(aside), target, names, &keepAside);
    } catch (...) {
        std::error_code ignored;
        fs::remove_all(fsPath(staging), ignored);
        if (!aside.isEmpty() && !keepAside) fs::remove_all(fsPath(aside), ignored);
        throw;
    }
    platform::syncFolder(folder);
    fs::remove_all(fsPath(staging), code);
    fs::remove_all(fsPath(aside), code);
    return names;
}

void verifyCabinet(const QString& cabinetPath, const std::vector<ExpectedFile>& expected) {
    std::vector<cabinet_gcab::Source> sources;
    for (const ExpectedFile& file : expected) {
        sources.push_back(
            cabinet_gcab::Source{file.entry.name, file.data, layout::toDos(file.entry.modified),
                                 quint16(file.entry.attributes & ~layout::kNameIsUtf8)});
    }
    verifySources(cabinetPath, sources);
}

}  // namespace maintenance
