// GLib first: Qt's keyword macros (signals, slots) would break its headers.
#include <libgcab.h>

#include "maintenance/cabinet_gcab.h"

#include "maintenance/cabinet_error.h"

#include <QFile>

#include <cstring>
#include <optional>
#include <unordered_set>

namespace maintenance::cabinet_gcab {

namespace {

// Owning handles for the GLib objects used here.
struct Unref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T>
using Ref = std::unique_ptr<T, Unref>;

struct ErrorHolder {
    GError* error = nullptr;
    ~ErrorHolder() { g_clear_error(&error); }
};

[[noreturn]] void compressFailed() {
    throw CabinetError(QStringLiteral("Failure compressing data"), CabinetError::kCompress);
}

[[noreturn]] void corrupt() {
    throw CabinetError(QStringLiteral("Cabinet file is corrupt"), CabinetError::kCorrupt);
}

// The stored fields go to the library as they are: it writes a date's year,
// month, day, hour, minute and second without looking at its time zone.
GDateTime* dateTimeOf(cabinet_layout::DosDateTime dos) {
    return g_date_time_new_utc((dos.date >> 9) + 1980, (dos.date >> 5) & 0x0F, dos.date & 0x1F,
                               dos.time >> 11, (dos.time >> 5) & 0x3F, (dos.time & 0x1F) * 2);
}

// The cabinet reads the file's bytes straight out of the QByteArray, which the
// GBytes keeps alive.
GBytes* bytesOf(const QByteArray& data) {
    auto* kept = new QByteArray(data);
    return g_bytes_new_with_free_func(
        kept->constData(), static_cast<gsize>(kept->size()),
        [](gpointer p) { delete static_cast<QByteArray*>(p); }, kept);
}

}  // namespace

QByteArray compress(const std::vector<Source>& sources) {
    Ref<GCabCabinet> cabinet(gcab_cabinet_new());
    Ref<GCabFolder> folder(gcab_folder_new(GCAB_COMPRESSION_MSZIP));
    for (const Source& source : sources) {
        GBytes* bytes = bytesOf(source.data);
        Ref<GCabFile> file(gcab_file_new_with_bytes(source.name.toUtf8().constData(), bytes));
        g_bytes_unref(bytes);
        GDateTime* modified = dateTimeOf(source.modified);
        if (modified == nullptr) compressFailed();
        gcab_file_set_date_time(file.get(), modified);
        g_date_time_unref(modified);
        gcab_file_set_attributes(file.get(), source.attributes);
        ErrorHolder failure;
        if (!gcab_folder_add_file(folder.get(), file.get(), FALSE, nullptr, &failure.error)) {
            compressFailed();
        }
    }
    ErrorHolder failure;
    if (!gcab_cabinet_add_folder(cabinet.get(), folder.get(), &failure.error)) compressFailed();

    Ref<GOutputStream> out(g_memory_output_stream_new_resizable());
    if (!gcab_cabinet_write_simple(cabinet.get(), out.get(), nullptr, nullptr, nullptr,
                                   &failure.error) ||
        !g_output_stream_close(out.get(), nullptr, &failure.error)) {
        compressFailed();
    }
    auto* memory = G_MEMORY_OUTPUT_STREAM(out.get());
    return QByteArray(static_cast<const char*>(g_memory_output_stream_get_data(memory)),
                      static_cast<qsizetype>(g_memory_output_stream_get_data_size(memory)));
}

struct Decompressed::Impl {
    Ref<GInputStream> stream;
    Ref<GCabCabinet> cabinet;
    std::vector<GBytes*> data;

    ~Impl() {
        for (GBytes* bytes : data) {
            if (bytes != nullptr) g_bytes_unref(bytes);
        }
    }
};

Decompressed::Decompressed() = default;
Decompressed::Decompressed(Decompressed&&) noexcept = default;
Decompressed& Decompressed::operator=(Decompressed&&) noexcept = default;
Decompressed::~Decompressed() = default;

QByteArrayView Decompressed::data(std::size_t file) const {
    if (!impl_ || file >= impl_->data.size() || impl_->data[file] == nullptr) return {};
    gsize size = 0;
    const auto* bytes = static_cast<const char*>(g_bytes_get_data(impl_->data[file], &size));
    return QByteArrayView(bytes, static_cast<qsizetype>(size));
}

namespace {

// A cabinet loaded by the library, its files matched one by one with the
// layout already checked.
struct Loaded {
    Ref<GInputStream> stream;
    Ref<GCabCabinet> cabinet;
    std::vector<GCabFile*> files;  // layout order; owned by `cabinet`
};

Loaded load(QByteArrayView bytes, const cabinet_layout::Layout& layout) {
    // The layout has checked every block's checksum already, accepting the 0
    // that stands for "not computed"; the library would refuse that one.
    static const bool checksumsChecked = g_setenv("GCAB_SKIP_CHECKSUM", "1", TRUE);
    Q_UNUSED(checksumsChecked);
    Loaded loaded;
    loaded.stream.reset(g_memory_input_stream_new_from_data(bytes.data(), bytes.size(), nullptr));
    loaded.cabinet.reset(gcab_cabinet_new());
    ErrorHolder failure;
    if (!gcab_cabinet_load(loaded.cabinet.get(), loaded.stream.get(), nullptr, &failure.error)) {
        corrupt();
    }
    GPtrArray* folders = gcab_cabinet_get_folders(loaded.cabinet.get());
    if (folders->len != layout.folders.size()) corrupt();
    loaded.files.assign(layout.files.size(), nullptr);
    for (guint f = 0; f < folders->len; ++f) {
        GSList* list = gcab_folder_get_files(GCAB_FOLDER(g_ptr_array_index(folders, f)));
        GSList* item = list;
        bool matches = true;
        for (std::size_t i = 0; i < layout.files.size() && matches; ++i) {
            if (layout.files[i].folder != f) continue;
            GCabFile* file = item != nullptr ? GCAB_FILE(item->data) : nullptr;
            matches = file != nullptr && layout.files[i].rawName == gcab_file_get_name(file) &&
                      layout.files[i].size == gcab_file_get_size(file);
            loaded.files[i] = file;
            if (item != nullptr) item = item->next;
        }
        matches = matches && item == nullptr;
        g_slist_free(list);
        if (!matches) corrupt();
    }
    return loaded;
}

using Selection = std::unordered_set<GCabFile*>;

Selection selectionOf(const Loaded& loaded, const std::vector<bool>& wanted) {
    Selection selected;
    for (std::size_t i = 0; i < loaded.files.size(); ++i) {
        if (i < wanted.size() && wanted[i]) selected.insert(loaded.files[i]);
    }
    return selected;
}

gboolean isSelected(GCabFile* file, gpointer selection) {
    return static_cast<Selection*>(selection)->count(file) != 0;
}

// The library reports a failed write with its own error codes; the system's
// number is the one whose text its message carries.
std::optional<SystemError> systemErrorOf(const GError* error) {
    if (error == nullptr || error->domain != G_IO_ERROR) return std::nullopt;
    for (int number = 1; number < 200; ++number) {
        if (g_io_error_from_errno(number) == error->code &&
            std::strstr(error->message, g_strerror(number)) != nullptr) {
            return SystemError::fromErrno(number);
        }
    }
    return std::nullopt;
}

}  // namespace

Decompressed decompress(QByteArrayView cabinet, const cabinet_layout::Layout& layout,
                        const std::vector<bool>& wanted) {
    Loaded loaded = load(cabinet, layout);
    Selection selected = selectionOf(loaded, wanted);
    ErrorHolder failure;
    if (!gcab_cabinet_extract(loaded.cabinet.get(), nullptr, isSelected, nullptr, &selected,
                              nullptr, &failure.error)) {
        corrupt();
    }

    Decompressed result;
    result.impl_ = std::make_unique<Decompressed::Impl>();
    result.impl_->data.assign(loaded.files.size(), nullptr);
    for (std::size_t i = 0; i < loaded.files.size(); ++i) {
        if (selected.count(loaded.files[i]) == 0) continue;
        GBytes* bytes = gcab_file_get_bytes(loaded.files[i]);
        if (bytes == nullptr || g_bytes_get_size(bytes) != layout.files[i].size) corrupt();
        result.impl_->data[i] = g_bytes_ref(bytes);
    }
    result.impl_->cabinet = std::move(loaded.cabinet);
    result.impl_->stream = std::move(loaded.stream);
    return result;
}

void extractTo(QByteArrayView cabinet, const cabinet_layout::Layout& layout,
               const std::vector<bool>& wanted, const QString& folder) {
    Loaded loaded = load(cabinet, layout);
    Selection selected = selectionOf(loaded, wanted);
    // The names were checked to be bare; they go to disk as decoded, not as
    // the bytes stored.
    for (std::size_t i = 0; i < loaded.files.size(); ++i) {
        gcab_file_set_extract_name(loaded.files[i],
                                   QFile::encodeName(layout.files[i].name).constData());
    }
    Ref<GFile> target(g_file_new_for_path(QFile::encodeName(folder).constData()));
    ErrorHolder failure;
    if (!gcab_cabinet_extract(loaded.cabinet.get(), target.get(), isSelected, nullptr, &selected,
                              nullptr, &failure.error)) {
        if (std::optional<SystemError> system = systemErrorOf(failure.error)) {
            throw CabinetError(QStringLiteral("Failure writing to target file"),
                               CabinetError::kTargetFile, system);
        }
        corrupt();
    }
}

}  // namespace maintenance::cabinet_gcab
